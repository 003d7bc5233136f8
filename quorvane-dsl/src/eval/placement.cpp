// The `place` statement and the lazy resolution of the placements it records.
#include <string>
#include <utility>

#include "base/fatal.hpp"
#include "eval/evaluator.hpp"

namespace quorvane_dsl::eval {

// What a place statement's target names, before anything is instantiated or looked up.
struct CellTarget {
    hir::CellId cell;
    // Absent for the plain cell: its anchor depends on the markers of the variant built.
    std::optional<Pending::Origin> origin;
    std::optional<std::pair<std::string, hir::ExprId>> marker; // name, location index
};

struct ShapeTarget {
    hir::BindingId binding;
    std::string anchor;
};

namespace {

std::optional<hir::CellId> cell_name(const hir::Hir& hir, hir::ExprId expr) {
    const auto* name = std::get_if<hir::Expr::Name>(&hir.expr(expr).kind);
    const auto* cell = name ? std::get_if<hir::Res::Cell>(&name->res.kind) : nullptr;
    return cell ? std::optional(cell->id) : std::nullopt;
}

std::optional<hir::BindingId> local_name(const hir::Hir& hir, hir::ExprId expr) {
    const auto* name = std::get_if<hir::Expr::Name>(&hir.expr(expr).kind);
    return name ? name->res.local() : std::nullopt;
}

std::optional<std::variant<CellTarget, ShapeTarget>> classify(const hir::Hir& hir,
                                                              hir::ExprId target) {
    const hir::Expr& e = hir.expr(target);
    if (const auto cell = cell_name(hir, target)) {
        return CellTarget{*cell, std::nullopt, std::nullopt};
    }
    if (const auto* field = std::get_if<hir::Expr::Field>(&e.kind)) {
        if (const auto cell = cell_name(hir, field->base);
            cell && hir.text(field->name) == "origin") {
            return CellTarget{*cell, Pending::Origin{}, std::nullopt};
        }
        if (const auto local = local_name(hir, field->base)) {
            return ShapeTarget{*local, std::string(hir.text(field->name))};
        }
        return std::nullopt;
    }
    if (const auto* index = std::get_if<hir::Expr::Index>(&e.kind)) {
        const auto* member = std::get_if<hir::Expr::Field>(&hir.expr(index->base).kind);
        const auto* markers =
            member ? std::get_if<hir::Expr::Field>(&hir.expr(member->base).kind) : nullptr;
        if (markers && hir.text(markers->name) == "marker") {
            if (const auto cell = cell_name(hir, markers->base)) {
                return CellTarget{*cell, std::nullopt,
                                  std::pair(std::string(hir.text(member->name)), index->index)};
            }
        }
        return std::nullopt;
    }
    if (const auto local = local_name(hir, target)) {
        return ShapeTarget{*local, "origin"};
    }
    return std::nullopt;
}

geom::Frame frame_of(const ir::Frame& location, double dbu) {
    return {static_cast<double>(location.x) * dbu, static_cast<double>(location.y) * dbu,
            location.angle};
}

} // namespace

Result<void> Evaluator::place(hir::StmtId stmt, const hir::Stmt::Place& statement, Env& env,
                              CellState& cell) {
    const auto target = classify(hir, statement.target);
    if (!target) {
        return fail_expr(statement.target,
                         "`place` needs a shape, a shape anchor, a cell or a cell anchor");
    }
    if (const auto* shape = std::get_if<ShapeTarget>(&*target)) {
        // The target's place is looked up only for a refusal: every placement passes here.
        const Value* value = bound(shape->binding, env, cell);
        if (!value) {
            return unbound(shape->binding, hir.expr_src(statement.target));
        }
        const auto* id = std::get_if<Value::Shape>(&value->kind);
        if (!id) {
            return fail_expr(statement.target, "cannot place " + std::string(value->describe()));
        }
        return place_shape(stmt, statement, id->id, shape->anchor, env, cell);
    }
    return place_cell(stmt, statement, std::get<CellTarget>(*target), env, cell);
}

Result<void> Evaluator::place_shape(hir::StmtId stmt, const hir::Stmt::Place& statement, ShapeId id,
                                    const std::string& anchor, Env& env, CellState& cell) {
    const hir::Src src = hir.stmt_src(stmt);
    RtShape& shape = cell.shape(id);
    if (shape.failed) {
        return std::unexpected(Stop{});
    }
    if (shape.derived) {
        return fail(src, "`" + shape_name(shape) + "` is the result of `" +
                             std::string(hir::primitive_name(shape.derived->operation)) +
                             "` and lies where its operands are placed; it cannot be placed");
    }
    if (std::holds_alternative<PlaceState::Unplaced>(shape.place.kind)) {
        shape.place.kind.emplace<Pending>(Pending::ShapeAnchor{anchor}, geom::Frame{},
                                          env.snapshot(), stmt);
        shape.auxiliary = statement.star;
        return {};
    }
    if (std::holds_alternative<PlaceState::UsedUnplaced>(shape.place.kind)) {
        shape.place.kind = PlaceState::Failed{};
        return fail(src, "shape `" + shape_name(shape) +
                             "` was already used unplaced, at its local coordinates; place it "
                             "before that use");
    }
    return fail(src, "shape `" + shape_name(shape) + "` is already placed");
}

Result<void> Evaluator::place_cell(hir::StmtId stmt, const hir::Stmt::Place& statement,
                                   const CellTarget& target, Env& env, CellState& cell) {
    const hir::Src src = hir.stmt_src(stmt);
    std::optional<std::uint64_t> index;
    if (target.marker) {
        auto v = eval(target.marker->second, env, &cell);
        if (!v) {
            return std::unexpected(v.error());
        }
        const auto* i = std::get_if<Value::Int>(&v->kind);
        if (!i || i->value < 0) {
            return fail_expr(target.marker->second,
                             "a location index must be a non-negative integer");
        }
        index = static_cast<std::uint64_t>(i->value);
    }
    std::vector<ArgValue> args;
    for (const hir::Arg& arg : hir.args_of(statement.args)) {
        if (!arg.name) {
            return std::unexpected(Stop{});
        }
        auto v = eval(arg.value, env, &cell);
        if (!v) {
            return std::unexpected(v.error());
        }
        args.push_back(
            ArgValue{std::string(hir.text(arg.name->name)), std::move(*v), arg.name->src});
    }
    const auto child = instantiate(target.cell, args, src);
    if (!child) {
        cell.instances.push_back(
            RtInstance{"", PlaceState{PlaceState::Failed{}}, RtInstance::no_cell, src, true});
        bind_instance(statement, cell.instances.size() - 1, env, cell);
        return std::unexpected(child.error());
    }
    // Only a cell no `place` names goes unkept; finding one here is a fault of that count.
    if (*child == unkept_cell) {
        base::fatal("internal error: entered unreachable code: a placed cell was built without "
                    "its record");
    }
    const hir::CellDef& def = hir.cells[target.cell];
    const ir::Cell& built = lib.cells[*child];
    Pending pending{Pending::Origin{}, {}, env.snapshot(), stmt};
    if (target.marker) {
        const auto& [name, expr] = *target.marker;
        const ir::Marker* marker = stored_index.marker(*child, built, name);
        if (!marker) {
            return fail(src, "`" + def.name + "` has no marker `" + name + "`");
        }
        if (*index >= marker->locations.size()) {
            return fail(src, "marker `" + name + "` has " +
                                 std::to_string(marker->locations.size()) + " location(s); index " +
                                 std::to_string(*index) + " is out of range");
        }
        pending.anchor = Pending::Marker{name, *index};
        pending.frame = frame_of(marker->locations[*index], dbu);
    } else if (!target.origin) {
        if (const ir::Marker* input = stored_index.marker(*child, built, "input");
            input && !input->locations.empty()) {
            pending.anchor = Pending::Marker{"input", 0};
            pending.frame = frame_of(input->locations[0], dbu);
        }
    }
    auto name = instance_name(statement, def.name, src, cell);
    if (!name) {
        return std::unexpected(name.error());
    }
    cell.instances.push_back(RtInstance{std::move(*name), PlaceState{std::move(pending)}, *child,
                                        src, statement.name.has_value()});
    bind_instance(statement, cell.instances.size() - 1, env, cell);
    return {};
}

// Automatic names skip every name the cell has used, and a chosen name may not repeat one:
// connections and netlists tell instances apart by name alone.
Result<std::string> Evaluator::instance_name(const hir::Stmt::Place& statement,
                                             const std::string& cell_name, hir::Src src,
                                             CellState& cell) {
    const bool named = statement.name.has_value();
    const std::string base =
        named ? std::string(hir.text(hir.bindings[*statement.name].name)) : cell_name + "_";
    std::uint32_t& count = cell.name_counts[base];
    std::string name;
    if (named) {
        name = count == 0 ? base : base + "_" + std::to_string(count);
        ++count;
        if (const auto used = cell.instance_names.find(name); used != cell.instance_names.end()) {
            diagnostics.push_back(
                diag::Diagnostic{"instance name `" + name + "` is already used in this cell",
                                 {diag::Note{"`" + name + "` is first used here", used->second}},
                                 src,
                                 diag::Severity::Error});
            return std::unexpected(Stop{});
        }
    } else {
        do {
            name = base + std::to_string(count);
            ++count;
        } while (cell.instance_names.contains(name));
    }
    cell.instance_names.emplace(name, src);
    return name;
}

void Evaluator::bind_instance(const hir::Stmt::Place& statement, std::size_t index, Env& env,
                              CellState& cell) {
    if (!statement.name) {
        return;
    }
    Value value{Value::Instance{InstanceId{static_cast<std::uint32_t>(index)}}};
    if (hir.bindings[*statement.name].recorded) {
        cell.bindings.insert_or_assign(*statement.name, std::move(value));
    } else {
        env.set(*statement.name, std::move(value));
    }
}

Result<Evaluator::Target> Evaluator::target_frame(Pending& pending, CellState& cell) {
    const auto* statement = std::get_if<hir::Stmt::Place>(&hir.stmt(pending.stmt).kind);
    if (!statement) {
        base::fatal("internal error: entered unreachable code: pending placements come from "
                    "place statements");
    }
    Env& env = pending.env;
    auto at = eval(statement->at, env, &cell);
    if (!at) {
        return std::unexpected(at.error());
    }
    const auto* point = std::get_if<Value::Point>(&at->kind);
    if (!point) {
        return fail_expr(statement->at, "`at` needs a point, found " + std::string(at->describe()));
    }
    Target target{{point->x, point->y, point->angle}, 0, 0, 0, statement->mirror, std::nullopt};
    if (point->source && point->source->marker) {
        const auto& m = *point->source->marker;
        target.port = ir::PortRef{m.marker, m.instance, m.index};
    }
    if (statement->offset) {
        auto offset = eval(*statement->offset, env, &cell);
        if (!offset) {
            return std::unexpected(offset.error());
        }
        const auto* p = std::get_if<Value::Point>(&offset->kind);
        if (!p) {
            return fail_expr(*statement->offset,
                             "`offset` needs a point, found " + std::string(offset->describe()));
        }
        target.dx = p->x;
        target.dy = p->y;
    }
    if (statement->rotate) {
        auto rotate = eval(*statement->rotate, env, &cell);
        if (!rotate) {
            return std::unexpected(rotate.error());
        }
        const auto* i = std::get_if<Value::Int>(&rotate->kind);
        const auto* q = std::get_if<Value::Quantity>(&rotate->kind);
        if (q && q->dim == Value::angle_dim) {
            target.rotate = q->value;
        } else if (!i || i->value != 0) {
            return fail_expr(*statement->rotate,
                             "`rotate` needs an angle, found " + std::string(rotate->describe()));
        }
    }
    return target;
}

Result<geom::Transform> Evaluator::resolve_pending(Pending& pending, ShapeId id, CellState& cell) {
    auto target = target_frame(pending, cell);
    if (!target) {
        return std::unexpected(target.error());
    }
    const auto* anchor = std::get_if<Pending::ShapeAnchor>(&pending.anchor);
    if (!anchor) {
        base::fatal("internal error: entered unreachable code: shape placements use shape "
                    "anchors");
    }
    const RtShape& shape = cell.shape(id);
    if (!shape.shape) {
        return fail(shape.src, "shape `" + shape_name(shape) + "` is not defined");
    }
    const auto frame = shape.shape->anchor(anchor->name);
    if (!frame) {
        return fail(shape.src,
                    "shape `" + shape_name(shape) + "` has no anchor `" + anchor->name + "`");
    }
    return geom::Transform::placing(*frame, target->frame, target->mirror, target->rotate,
                                    target->dx, target->dy);
}

Result<geom::Transform> Evaluator::resolve_instance(InstanceId id, CellState& cell) {
    PlaceState::Kind taken =
        std::exchange(cell.instances[id.index].place.kind, PlaceState::Resolving{});
    if (const auto* placed = std::get_if<PlaceState::Placed>(&taken)) {
        const geom::Transform transform = placed->transform;
        cell.instances[id.index].place.kind = std::move(taken);
        return transform;
    }
    const std::string name = cell.instances[id.index].name;
    const hir::Src src = cell.instances[id.index].src;
    if (std::holds_alternative<PlaceState::Resolving>(taken)) {
        return cycle(cell, name, src);
    }
    auto* pending = std::get_if<Pending>(&taken);
    if (!pending) {
        cell.instances[id.index].place.kind = PlaceState::Failed{};
        return std::unexpected(Stop{});
    }
    cell.placement_stack.emplace_back(name, src);
    auto target = target_frame(*pending, cell);
    cell.placement_stack.pop_back();
    if (!target) {
        cell.instances[id.index].place.kind = PlaceState::Failed{};
        return std::unexpected(target.error());
    }
    if (std::holds_alternative<Pending::ShapeAnchor>(pending->anchor)) {
        base::fatal("internal error: entered unreachable code: instance placements use cell "
                    "anchors");
    }
    const geom::Transform transform = geom::Transform::placing(
        pending->frame, target->frame, target->mirror, target->rotate, target->dx, target->dy);
    const auto* marker = std::get_if<Pending::Marker>(&pending->anchor);
    if (marker && target->port) {
        cell.connections.push_back(ir::Connection{ir::PortRef{marker->name, name, marker->index},
                                                  std::move(*target->port), true});
    }
    cell.instances[id.index].place.kind = PlaceState::Placed{transform};
    return transform;
}

std::unexpected<Stop> Evaluator::cycle(const CellState& cell, const std::string& name,
                                       hir::Src src) {
    const auto& stack = cell.placement_stack;
    const std::string shown = display_name(name, src, hir);
    std::size_t first = 0;
    while (first < stack.size() &&
           !displays_as(stack[first].first, stack[first].second, hir, shown)) {
        ++first;
    }
    if (first == stack.size()) {
        first = 0;
    }
    std::string chain;
    std::vector<diag::Note> notes;
    for (std::size_t j = first; j < stack.size(); ++j) {
        const std::string link = display_name(stack[j].first, stack[j].second, hir);
        chain += link + " \u2192 ";
        notes.push_back(diag::Note{"`" + link + "` depends on the next one", stack[j].second});
    }
    diagnostics.push_back(diag::Diagnostic{"placement cycle: " + chain + shown, std::move(notes),
                                           src, diag::Severity::Error});
    return std::unexpected(Stop{});
}

} // namespace quorvane_dsl::eval
