// Member access: coordinates of points, sizes and anchors of shapes, and the origin, markers,
// parameters and attributes of instances and of the cell being built.
#include <algorithm>
#include <cmath>
#include <string>
#include <utility>

#include "base/angle.hpp"
#include "eval/evaluator.hpp"

namespace quorvane_dsl::eval {

namespace {

const ir::Value* stored(const std::vector<ir::NamedValue>& values, std::string_view name) {
    const auto found = std::find_if(values.begin(), values.end(),
                                    [&](const ir::NamedValue& v) { return v.first == name; });
    return found == values.end() ? nullptr : &found->second;
}

} // namespace

Result<Value> Evaluator::field(hir::ExprId expr, Value base, hir::Symbol member, CellState* cell) {
    const std::string name(hir.text(member));
    if (const auto* p = std::get_if<Value::Point>(&base.kind)) {
        if (name == "x" || name == "y") {
            return Value::size(name == "x" ? p->x : p->y);
        }
        if (name == "angle") {
            return Value::angle(p->angle);
        }
        return fail_expr(expr, "a point has no `" + name + "`");
    }
    if (std::holds_alternative<Value::SelfCell>(base.kind)) {
        if (name == "origin") {
            return Value{Value::Point{0, 0, 0, nullptr}};
        }
        if (name == "marker") {
            return Value{Value::Markers{std::nullopt}};
        }
        if (!cell) {
            return std::unexpected(Stop{});
        }
        const hir::Member found = members.find(cell->cell, member);
        if (found.kind == hir::Member::Kind::Param) {
            if (!cell->params[found.index]) {
                return std::unexpected(Stop{});
            }
            return *cell->params[found.index];
        }
        if (found.kind == hir::Member::Kind::Attr) {
            return attr(found.index, *cell);
        }
        return fail_expr(expr, "`self` has no member `" + name + "`");
    }
    if (const auto* c = std::get_if<Value::Cell>(&base.kind)) {
        return fail_expr(expr, "`" + hir.cells[c->def].name + "." + name +
                                   "` can only be used as a `place` target");
    }
    if (const auto* m = std::get_if<Value::Markers>(&base.kind)) {
        if (!cell) {
            return std::unexpected(Stop{});
        }
        if (m->instance) {
            return instance_markers(expr, *m->instance, name, *cell);
        }
        const hir::Member found = members.find(cell->cell, member);
        if (found.kind != hir::Member::Kind::Marker) {
            return fail_expr(expr, "no marker `" + name + "`");
        }
        return marker(found.index, *cell);
    }
    if (const auto* i = std::get_if<Value::Instance>(&base.kind)) {
        if (!cell) {
            return std::unexpected(Stop{});
        }
        const RtInstance& instance = cell->instances[i->id.index];
        if (instance.cell == RtInstance::no_cell) {
            return std::unexpected(Stop{});
        }
        if (name == "marker") {
            return Value{Value::Markers{i->id}};
        }
        if (name == "origin") {
            auto transform = resolve_instance(i->id, *cell);
            if (!transform) {
                return std::unexpected(transform.error());
            }
            const geom::Frame f = transform->apply_frame({});
            return Value{Value::Point{f.x, f.y, f.angle, nullptr}};
        }
        const ir::Cell& child = lib.cells[instance.cell];
        const ir::Value* v = stored_index.value(instance.cell, child, name);
        if (!v) {
            return fail_expr(expr, "`" + child.source + "` has no member `" + name + "`");
        }
        return load_value(*v, hir.expr_src(expr));
    }
    if (const auto* s = std::get_if<Value::Shape>(&base.kind)) {
        if (!cell) {
            return std::unexpected(Stop{});
        }
        return shape_field(expr, s->id, name, *cell);
    }
    if (const auto* xs = std::get_if<Value::XSection>(&base.kind)) {
        return xsection_field(expr, *xs->value, name);
    }
    return fail_expr(expr, std::string(base.describe()) + " has no field `" + name + "`");
}

Result<Value> Evaluator::shape_field(hir::ExprId expr, ShapeId id, const std::string& name,
                                     CellState& cell) {
    if (cell.shape(id).failed) {
        return std::unexpected(Stop{});
    }
    if (cell.shape(id).view || cell.shape(id).derived) {
        if (auto resolved = resolve_shape(id, cell); !resolved) {
            return std::unexpected(resolved.error());
        }
        const auto& geometry = cell.shape(id).shape;
        if (geometry && geometry->geometry == geom::LocalGeometry{geom::Group{}}) {
            return fail_expr(expr, "shape `" + shape_name(cell.shape(id)) + "` is empty");
        }
    }
    if (!cell.shape(id).shape) {
        return fail_expr(expr, "shape `" + shape_name(cell.shape(id)) + "` is not defined yet");
    }
    const geom::LocalShape& local = *cell.shape(id).shape;
    if (name == "width" || name == "height") {
        const geom::BBox box = local.geometry.bbox().value_or(geom::BBox{});
        return Value::size(name == "width" ? box.right - box.left : box.top - box.bottom);
    }
    const auto frame = local.anchor(name);
    if (!frame) {
        return fail_expr(expr, "no anchor `" + name + "`");
    }
    auto transform = resolve_shape(id, cell);
    if (!transform) {
        return std::unexpected(transform.error());
    }
    const geom::Frame placed = transform->apply_frame(*frame);
    std::shared_ptr<const PointSource> source;
    if (const auto& xs = cell.shape(id).xsections; xs && (name == "start" || name == "end")) {
        source = PointSource::of_xsection(name == "start" ? xs->first : xs->second);
    }
    return Value{Value::Point{placed.x, placed.y, placed.angle, std::move(source)}};
}

Result<Value> Evaluator::instance_markers(hir::ExprId expr, InstanceId id, const std::string& name,
                                          CellState& cell) {
    if (cell.instances[id.index].cell == RtInstance::no_cell) {
        return std::unexpected(Stop{});
    }
    auto transform = resolve_instance(id, cell);
    if (!transform) {
        return std::unexpected(transform.error());
    }
    const RtInstance& instance = cell.instances[id.index];
    const ir::Cell& child = lib.cells[instance.cell];
    const ir::Marker* marker = stored_index.marker(instance.cell, child, name);
    if (!marker) {
        return fail_expr(expr, "`" + child.source + "` has no marker `" + name + "`");
    }
    auto xsection = marker_xsection(*marker, expr);
    if (!xsection) {
        return std::unexpected(xsection.error());
    }
    std::vector<Value> points;
    points.reserve(marker->locations.size());
    for (std::size_t i = 0; i < marker->locations.size(); ++i) {
        const ir::Frame& location = marker->locations[i];
        const geom::Frame local{static_cast<double>(location.x) * dbu,
                                static_cast<double>(location.y) * dbu, location.angle};
        const geom::Frame placed = transform->apply_frame(local);
        auto source = std::make_shared<PointSource>();
        source->marker = PointSource::MarkerPart{name, instance.name, i};
        source->xsection = *xsection;
        points.push_back(Value{Value::Point{placed.x, placed.y, placed.angle, std::move(source)}});
    }
    return Value::list(std::move(points));
}

// The cross-section a child's marker keeps under "xsection", so that a port placed on it can
// carry it on; a stored name this design does not define gives none.
Result<std::shared_ptr<const XsValue>> Evaluator::marker_xsection(const ir::Marker& marker,
                                                                  hir::ExprId expr) {
    const ir::Value* v = stored(marker.attrs, "xsection");
    const auto* named = v ? std::get_if<ir::Value::Named>(&v->kind) : nullptr;
    if (!named || !hir.xsection_by_name(named->name)) {
        return nullptr;
    }
    auto loaded = load_value(*v, hir.expr_src(expr));
    if (!loaded) {
        return std::unexpected(loaded.error());
    }
    const auto* xs = std::get_if<Value::XSection>(&loaded->kind);
    return xs ? xs->value : nullptr;
}

} // namespace quorvane_dsl::eval
