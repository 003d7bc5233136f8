#include <algorithm>
#include <set>
#include <string>
#include <string_view>
#include <unordered_set>
#include <utility>

#include "base/angle.hpp"
#include "base/round.hpp"
#include "eval/arrays.hpp"
#include "eval/evaluator.hpp"
#include "eval/stored.hpp"
#include "eval/xs_value.hpp"

namespace quorvane_dsl::eval {

namespace {

bool has_error_since(const std::vector<diag::Diagnostic>& diagnostics, std::size_t mark) {
    return std::any_of(
        diagnostics.begin() + static_cast<std::ptrdiff_t>(mark), diagnostics.end(),
        [](const diag::Diagnostic& d) { return d.severity == diag::Severity::Error; });
}

template <class T> bool holds(const PlaceState& place) {
    return std::holds_alternative<T>(place.kind);
}

// Every shape that some derived shape takes as an operand.
std::unordered_set<std::uint32_t> operand_set(const CellState& cell) {
    std::unordered_set<std::uint32_t> operands;
    for (const RtShape& shape : cell.shapes) {
        if (!shape.derived) {
            continue;
        }
        for (const auto* list : {&shape.derived->a, &shape.derived->b}) {
            for (ShapeId id : *list) {
                operands.insert(id.index);
            }
        }
    }
    return operands;
}

// The operands a layered derived shape covers on its own layer, found through operands that
// are derived without a layer; they are not written a second time.
std::unordered_set<std::uint32_t> absorbed_set(const CellState& cell) {
    std::unordered_set<std::uint32_t> absorbed;
    for (const RtShape& shape : cell.shapes) {
        if (!shape.derived || !shape.layer) {
            continue;
        }
        std::unordered_set<std::uint32_t> visited;
        std::vector<ShapeId> work;
        const auto push_operands = [&](const Derived& d) {
            work.insert(work.end(), d.a.begin(), d.a.end());
            work.insert(work.end(), d.b.begin(), d.b.end());
        };
        push_operands(*shape.derived);
        while (!work.empty()) {
            const ShapeId id = work.back();
            work.pop_back();
            if (!visited.insert(id.index).second) {
                continue;
            }
            const RtShape& operand = cell.shapes[id.index];
            if (operand.derived && !operand.layer) {
                push_operands(*operand.derived);
            } else if (operand.layer && operand.layer == shape.layer) {
                absorbed.insert(id.index);
            }
        }
    }
    return absorbed;
}

// What a port needs to know of the cross-section it carries; the user's own entries win.
void add_xsection_entries(const XsValue& xs, double dbu, std::vector<ir::NamedValue>& attrs) {
    const auto add = [&](std::string_view name, ir::Value value) {
        const bool present = std::any_of(attrs.begin(), attrs.end(),
                                         [&](const ir::NamedValue& a) { return a.first == name; });
        if (!present) {
            attrs.emplace_back(std::string(name), std::move(value));
        }
    };
    add("xsection", xs.stored);
    add("width", ir::Value{ir::Value::Number{snap(main_width(xs), dbu), Value::length_dim}});
    add("type", ir::Value{ir::Value::String{*xs.type}});
}

} // namespace

// Follows nested blocks by recursion, one level a block, like the run of the body after it.
Result<void> Evaluator::preregister(hir::StmtId stmt, CellState& cell) {
    const auto register_shape = [&](hir::BindingId binding, std::optional<hir::LayerId> layer) {
        const hir::Binding& b = hir.bindings[binding];
        if (!b.recorded) {
            return;
        }
        const ShapeId id = cell.new_shape(std::string(hir.text(b.name)), b.src, layer);
        cell.bindings.insert_or_assign(binding, Value{Value::Shape{id}});
    };
    const auto register_body = [&](const hir::Body& body) -> Result<void> {
        for (hir::StmtId inner : hir.body(body)) {
            auto registered = deeper(hir.stmt_src(inner), [&] { return preregister(inner, cell); });
            if (!registered) {
                return registered;
            }
        }
        return {};
    };
    const hir::Stmt& s = hir.stmt(stmt);
    if (const auto* block = std::get_if<hir::Stmt::LayerBlock>(&s.kind)) {
        return register_body(block->body);
    }
    if (const auto* block = std::get_if<hir::Stmt::PlaceBlock>(&s.kind)) {
        return register_body(block->body);
    }
    if (const auto* shape = std::get_if<hir::Stmt::Shape>(&s.kind)) {
        register_shape(shape->binding, shape->layer);
    } else if (const auto* shape = std::get_if<hir::Stmt::ShapeExpr>(&s.kind)) {
        register_shape(shape->binding, shape->layer);
    } else if (const auto* clone = std::get_if<hir::Stmt::Clone>(&s.kind)) {
        register_shape(clone->binding, std::nullopt);
    }
    return {};
}

// Placements nothing forced while the body ran are resolved now, shapes before instances.
void Evaluator::settle(CellState& cell) {
    const std::size_t shapes = cell.shapes.size();
    for (std::uint32_t i = 0; i < shapes; ++i) {
        const RtShape& shape = cell.shapes[i];
        const bool pending = holds<Pending>(shape.place);
        if (pending || (shape.derived && holds<PlaceState::Unplaced>(shape.place))) {
            (void)resolve_shape(ShapeId{i}, cell);
        }
    }
    const std::size_t instances = cell.instances.size();
    for (std::uint32_t i = 0; i < instances; ++i) {
        (void)resolve_instance(InstanceId{i}, cell);
    }
}

void Evaluator::check_unplaced(const CellState& cell) {
    const auto operands = operand_set(cell);
    for (std::uint32_t i = 0; i < cell.shapes.size(); ++i) {
        const RtShape& shape = cell.shapes[i];
        const bool unplaced = holds<PlaceState::Unplaced>(shape.place) ||
                              holds<PlaceState::UsedUnplaced>(shape.place);
        if (unplaced && !shape.failed && shape.shape && !shape.view && !operands.contains(i)) {
            fail(shape.src, "shape `" + shape_name(shape) + "` is never placed");
        }
    }
}

void Evaluator::marker_attributes(std::uint32_t index, CellState& cell) {
    const hir::MarkerDef& def = hir.cells[cell.cell].markers[index];
    std::vector<ir::NamedValue> attrs;
    for (const hir::Arg& arg : hir.args_of(def.with)) {
        // `xsection` and `angle` shape the marker itself; the other named entries are stored.
        const std::string_view name = arg.name ? hir.text(arg.name->name) : std::string_view{};
        if (!arg.name || name == "xsection" || name == "angle") {
            continue;
        }
        Env env;
        auto v = eval(arg.value, env, &cell);
        if (!v) {
            continue;
        }
        if (auto stored = store_value(*v, arg.name->src)) {
            attrs.emplace_back(std::string(name), std::move(*stored));
        }
    }
    if (const auto& xs = cell.marker_xs[index]) {
        add_xsection_entries(*xs, dbu, attrs);
    }
    cell.marker_attrs.push_back(std::move(attrs));
}

std::vector<ir::Shape> Evaluator::cell_shapes(const CellState& cell) const {
    const auto absorbed = absorbed_set(cell);
    std::set<std::pair<std::uint32_t, std::uint32_t>> hidden;
    for (std::uint32_t i : absorbed) {
        if (const auto& view = cell.shapes[i].view) {
            hidden.emplace(view->source.index, view->layer.raw);
        }
    }
    std::vector<ir::Shape> shapes;
    shapes.reserve(cell.shapes.size());
    std::vector<ir::Geometry> geometries;
    const auto write = [&](hir::LayerId layer, const geom::LocalGeometry& geometry,
                           const geom::Transform& transform) {
        const auto mapped = layer_map.find(layer);
        if (mapped == layer_map.end()) {
            return;
        }
        geometries.clear();
        shape_geometry(geometry, transform, geometries);
        for (ir::Geometry& g : geometries) {
            shapes.push_back(ir::Shape{mapped->second, std::move(g)});
        }
    };
    for (std::uint32_t i = 0; i < cell.shapes.size(); ++i) {
        const RtShape& shape = cell.shapes[i];
        const auto* placed = std::get_if<PlaceState::Placed>(&shape.place.kind);
        if (!placed || shape.auxiliary || shape.view || !shape.shape || !shape.layer) {
            continue;
        }
        if (!absorbed.contains(i) && !hidden.contains({i, shape.layer->raw})) {
            write(*shape.layer, shape.shape->geometry, placed->transform);
        }
        for (const auto& [layer, geometry] : shape.pieces) {
            if (!hidden.contains({i, layer.raw})) {
                write(layer, geometry, placed->transform);
            }
        }
    }
    return shapes;
}

std::vector<ir::Instance> Evaluator::cell_instances(const CellState& cell) const {
    // An instance a connection names keeps its own name, so it never disappears into an array.
    std::unordered_set<std::string_view> connected;
    for (const ir::Connection& c : cell.connections) {
        for (const ir::PortRef* port : {&c.a, &c.b}) {
            if (port->instance) {
                connected.insert(*port->instance);
            }
        }
    }
    std::vector<ArrayCandidate> candidates;
    candidates.reserve(cell.instances.size());
    for (const RtInstance& instance : cell.instances) {
        const auto* placed = std::get_if<PlaceState::Placed>(&instance.place.kind);
        if (!placed) {
            continue;
        }
        const geom::Transform& t = placed->transform;
        candidates.push_back(ArrayCandidate{
            ir::Instance{instance.name, instance.cell, base::round_to_i64(t.offset_x / dbu),
                         base::round_to_i64(t.offset_y / dbu), base::normalize_angle(t.rotation),
                         t.mirror, std::nullopt},
            !instance.named && !connected.contains(instance.name)});
    }
    return merge_arrays(std::move(candidates));
}

std::vector<ir::Marker> Evaluator::cell_markers(CellState& cell) {
    const hir::CellDef& def = hir.cells[cell.cell];
    std::vector<ir::Marker> markers;
    markers.reserve(def.markers.size());
    for (std::size_t m = 0; m < def.markers.size(); ++m) {
        const Lazy& slot = cell.markers[m];
        const auto* list =
            slot.state == Lazy::State::Done ? std::get_if<Value::List>(&slot.value.kind) : nullptr;
        if (!list) {
            continue;
        }
        ir::Marker marker{def.markers[m].name, {}, std::move(cell.marker_attrs[m])};
        if (!keep_library) {
            // A parent reads of a child's marker only the cross-section a port carries on; no
            // spare room of the whole list stays behind.
            std::erase_if(marker.attrs,
                          [](const ir::NamedValue& a) { return a.first != "xsection"; });
            marker.attrs.shrink_to_fit();
        }
        marker.locations.reserve(list->elements().size());
        for (const Value& item : list->elements()) {
            if (const auto* p = std::get_if<Value::Point>(&item.kind)) {
                marker.locations.push_back(ir::Frame{base::round_to_i64(p->x / dbu),
                                                     base::round_to_i64(p->y / dbu),
                                                     base::normalize_angle(p->angle)});
            }
        }
        markers.push_back(std::move(marker));
    }
    return markers;
}

Result<std::uint64_t> Evaluator::build(CellState cell, std::string name) {
    const hir::CellDef& def = hir.cells[cell.cell];
    const std::size_t mark = diagnostics.size();
    const std::uint64_t unreported = unreported_refusals;
    for (hir::StmtId stmt : hir.body(def.body)) {
        if (auto registered = preregister(stmt, cell); !registered) {
            return std::unexpected(registered.error());
        }
    }
    Env env;
    for (hir::StmtId stmt : hir.body(def.body)) {
        exec(stmt, env, cell);
    }
    settle(cell);
    check_unplaced(cell);
    for (std::uint32_t a = 0; a < def.attrs.size(); ++a) {
        (void)attr(a, cell);
    }
    for (std::uint32_t m = 0; m < def.markers.size(); ++m) {
        (void)marker(m, cell);
        marker_attributes(m, cell);
    }
    if (has_error_since(diagnostics, mark) || unreported_refusals != unreported) {
        return std::unexpected(Stop{});
    }
    ir::Cell out;
    // Every built cell holds these lists to the end of evaluation: no spare room.
    out.params.reserve(def.params.size());
    out.attrs.reserve(def.attrs.size());
    out.name = std::move(name);
    out.source = def.name;
    for (std::size_t p = 0; p < def.params.size(); ++p) {
        auto stored = store_value(*cell.params[p], def.params[p].src);
        if (!stored) {
            return std::unexpected(stored.error());
        }
        out.params.emplace_back(def.params[p].name, std::move(*stored));
    }
    for (std::uint32_t a = 0; a < def.attrs.size(); ++a) {
        if (cell.attrs[a].state != Lazy::State::Done) {
            continue;
        }
        auto stored = store_value(cell.attrs[a].value, def.attrs[a].src);
        if (!stored) {
            return std::unexpected(stored.error());
        }
        out.attrs.emplace_back(def.attrs[a].name, std::move(*stored));
    }
    // The values are stored all the same: storing one may be refused.
    if (!keep_library && !placed[cell.cell.raw]) {
        return unkept_cell;
    }
    // A parent reads of its children only their values and markers (members.cpp, placement.cpp);
    // the layout below has no other reader and makes no diagnostic.
    if (keep_library) {
        out.shapes = cell_shapes(cell);
        out.instances = cell_instances(cell);
        out.connections = std::move(cell.connections);
    }
    out.markers = cell_markers(cell);
    lib.cells.push_back(std::move(out));
    return lib.cells.size() - 1;
}

} // namespace quorvane_dsl::eval
