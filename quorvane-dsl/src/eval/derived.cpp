// Shapes computed from others: operator expressions on shapes, and the lazy resolution of every
// runtime shape (views, derived outlines through the boolean engine, placements).
#include <cmath>
#include <string>
#include <utility>

#include "base/fatal.hpp"
#include "boolean/boolean.hpp"
#include "boolean/keyhole.hpp"
#include "boolean/offset.hpp"
#include "boolean/path.hpp"
#include "eval/evaluator.hpp"
#include "eval/shapes.hpp"
#include "units/units.hpp"

namespace quorvane_dsl::eval {

namespace {

bool is_shape_only(hir::BinOp op) {
    return op == hir::BinOp::BitAnd || op == hir::BinOp::BitOr || op == hir::BinOp::BitXor;
}

// Whether `v` may denote shapes; every operator evaluated asks, so it looks at the kind alone.
bool may_be_shapes(const Value& v) {
    return std::holds_alternative<Value::Shape>(v.kind) ||
           std::holds_alternative<Value::List>(v.kind);
}

std::optional<hir::Primitive> set_operation(hir::BinOp op) {
    switch (op) {
    case hir::BinOp::Add:
    case hir::BinOp::BitOr:
        return hir::Primitive::Union;
    case hir::BinOp::BitAnd:
        return hir::Primitive::Intersection;
    case hir::BinOp::Sub:
        return hir::Primitive::Difference;
    case hir::BinOp::BitXor:
        return hir::Primitive::Xor;
    default:
        return std::nullopt;
    }
}

geom::LocalShape group_shape(std::vector<geom::LocalGeometry> members) {
    geom::LocalGeometry group{geom::Group{std::move(members)}};
    const geom::BBox box = group.bbox().value_or(geom::BBox{});
    return geom::LocalShape{std::move(group), {}, box};
}

} // namespace

Result<std::optional<Value>> Evaluator::shape_binary(hir::ExprId expr, hir::BinOp op,
                                                     const Value& lhs, const Value& rhs,
                                                     CellState* cell) {
    if (!is_shape_only(op) && !may_be_shapes(lhs) && !may_be_shapes(rhs)) {
        return std::nullopt;
    }
    auto left = shape_indices(lhs);
    auto right = shape_indices(rhs);
    if (!is_shape_only(op) && !left && !right) {
        return std::nullopt;
    }
    if (!cell) {
        return fail_expr(expr, "shapes can only be combined inside a cell");
    }
    const std::string word(hir::binop_text(op));
    const auto cannot = [&] {
        return fail_expr(expr, "cannot apply `" + word + "` to " + std::string(lhs.describe()) +
                                   " and " + std::string(rhs.describe()));
    };
    if (!left) {
        return cannot();
    }
    Derived recipe{hir::Primitive::Union, std::move(*left), {}, 0, join, std::nullopt};
    if (!right) {
        if (op != hir::BinOp::Add && op != hir::BinOp::Sub) {
            return cannot();
        }
        const auto* q = std::get_if<Value::Quantity>(&rhs.kind);
        const auto* i = std::get_if<Value::Int>(&rhs.kind);
        double s = 0;
        if (q && q->dim == Value::length_dim) {
            s = q->value;
        } else if (!i || i->value != 0) {
            return fail_expr(expr, "`" + word + "` combines a shape with shapes or a size, not " +
                                       std::string(rhs.describe()));
        }
        const double signed_distance = op == hir::BinOp::Add ? s : -s;
        recipe.operation = signed_distance < 0 ? hir::Primitive::Erode : hir::Primitive::Dilate;
        recipe.distance = std::abs(signed_distance);
    } else {
        const auto operation = set_operation(op);
        if (!operation) {
            return cannot();
        }
        recipe.operation = *operation;
        recipe.b = std::move(*right);
    }
    // Named by its text only when a message needs it (display_name).
    const ShapeId id = cell->new_shape({}, hir.expr_src(expr), std::nullopt);
    cell->shape(id).derived = std::move(recipe);
    return Value{Value::Shape{id}};
}

Result<geom::Transform> Evaluator::resolve_shape(ShapeId id, CellState& cell) {
    RtShape& shape = cell.shape(id);
    if (shape.failed) {
        return std::unexpected(Stop{});
    }
    if (shape.view) {
        return resolve_view(id, cell);
    }
    PlaceState::Kind& state = shape.place.kind;
    if (const auto* placed = std::get_if<PlaceState::Placed>(&state)) {
        return placed->transform;
    }
    if (std::holds_alternative<PlaceState::Resolving>(state)) {
        return cycle(cell, shape.name, shape.src);
    }
    if (std::holds_alternative<PlaceState::Failed>(state)) {
        return std::unexpected(Stop{});
    }
    if (std::holds_alternative<PlaceState::UsedUnplaced>(state)) {
        if (shape.derived) {
            base::fatal("internal error: entered unreachable code: derived shapes are never used "
                        "unplaced");
        }
        return geom::Transform{};
    }
    if (std::holds_alternative<PlaceState::Unplaced>(state) && !shape.derived) {
        if (!shape.shape) {
            return fail(shape.src, "shape `" + shape_name(shape) + "` is not defined yet");
        }
        state = PlaceState::UsedUnplaced{};
        return geom::Transform{};
    }
    // Unplaced derived, or Pending: resolved now, with the shape on the placement stack.
    PlaceState::Kind taken = std::exchange(state, PlaceState::Resolving{});
    cell.placement_stack.emplace_back(shape.name, shape.src);
    // Chains of shapes, each made from the one before, resolve one level deeper per link.
    Result<geom::Transform> result = deeper(shape.src, [&]() -> Result<geom::Transform> {
        if (!cell.shape(id).derived) {
            return resolve_pending(std::get<Pending>(taken), id, cell);
        }
        auto outline = derived_outline(*cell.shape(id).derived, cell);
        if (!outline) {
            return std::unexpected(Stop{});
        }
        cell.shape(id).shape = std::move(*outline);
        return geom::Transform{};
    });
    cell.placement_stack.pop_back();
    // The operands may have added shapes: the reference is taken again.
    cell.shape(id).place.kind = result ? PlaceState::Kind{PlaceState::Placed{*result}}
                                       : PlaceState::Kind{PlaceState::Failed{}};
    return result;
}

Result<geom::Transform> Evaluator::resolve_view(ShapeId id, CellState& cell) {
    const View view = *cell.shape(id).view;
    auto transform = resolve_shape(view.source, cell);
    if (!transform) {
        return transform;
    }
    if (cell.shape(id).shape) {
        return transform;
    }
    const RtShape& source = cell.shape(view.source);
    std::vector<geom::LocalGeometry> pieces;
    if (source.shape && source.layer == view.layer) {
        pieces.push_back(source.shape->geometry);
    }
    for (const auto& [layer, geometry] : source.pieces) {
        if (layer == view.layer) {
            pieces.push_back(geometry);
        }
    }
    if (pieces.empty()) {
        cell.shape(id).failed = true;
        return fail(cell.shape(id).src, "shape `" + shape_name(source) +
                                            "` has nothing on layer `" +
                                            hir.layers[view.layer].name + "`");
    }
    cell.shape(id).shape = group_shape(std::move(pieces));
    return transform;
}

Result<boolean::Polygons> Evaluator::operand_polygons(const std::vector<ShapeId>& ids,
                                                      CellState& cell) {
    boolean::Polygons rings;
    std::vector<ir::Geometry> geometries;
    for (ShapeId id : ids) {
        auto transform = resolve_shape(id, cell);
        if (!transform || !cell.shape(id).shape) {
            return std::unexpected(Stop{});
        }
        geometries.clear();
        shape_geometry(cell.shape(id).shape->geometry, *transform, geometries);
        for (const ir::Geometry& g : geometries) {
            if (const auto* box = std::get_if<ir::Box>(&g.kind)) {
                rings.push_back({{box->left, box->bottom},
                                 {box->right, box->bottom},
                                 {box->right, box->top},
                                 {box->left, box->top}});
            } else if (const auto* polygon = std::get_if<ir::Polygon>(&g.kind)) {
                boolean::Ring ring;
                ring.reserve(polygon->points.size());
                for (const ir::Point& p : polygon->points) {
                    ring.push_back({p.x, p.y});
                }
                rings.push_back(std::move(ring));
            } else if (const auto* path = std::get_if<ir::Path>(&g.kind)) {
                boolean::Ring line;
                line.reserve(path->points.size());
                for (const ir::Point& p : path->points) {
                    line.push_back({p.x, p.y});
                }
                rings.push_back(boolean::path_polygon(line, path->width));
            }
        }
    }
    return rings;
}

Result<geom::LocalShape> Evaluator::derived_outline(const Derived& recipe, CellState& cell) {
    // Copied: resolving the operands may grow the shape list that holds the recipe.
    const Derived d = recipe;
    auto a = operand_polygons(d.a, cell);
    if (!a) {
        return std::unexpected(a.error());
    }
    auto b = operand_polygons(d.b, cell);
    if (!b) {
        return std::unexpected(b.error());
    }
    const auto segments =
        d.segments ? std::optional(static_cast<std::uint32_t>(*d.segments)) : std::nullopt;
    const auto join_of = static_cast<boolean::Join>(d.join);
    std::expected<boolean::Polygons, boolean::RangeError> result;
    switch (d.operation) {
    case hir::Primitive::Dilate:
        result = boolean::dilate(*a, join_of, segments, d.distance / dbu);
        break;
    case hir::Primitive::Erode:
        result = boolean::erode(*a, join_of, segments, d.distance / dbu);
        break;
    case hir::Primitive::Intersection:
        result = boolean::boolean(*a, *b, boolean::Op::Intersection);
        break;
    case hir::Primitive::Difference:
        result = boolean::boolean(*a, *b, boolean::Op::Difference);
        break;
    case hir::Primitive::Xor:
        result = boolean::boolean(*a, *b, boolean::Op::Xor);
        break;
    default:
        result = boolean::boolean(*a, *b, boolean::Op::Union);
        break;
    }
    if (!result) {
        // Coordinates beyond the engine's range end the shape with the engine's own reason.
        return fail(cell.placement_stack.back().second,
                    "cannot compute `" + std::string(hir::primitive_name(d.operation)) +
                        "`: " + result.error().message);
    }
    std::vector<geom::LocalGeometry> pieces;
    for (const boolean::Ring& ring : boolean::keyholes(std::move(*result))) {
        if (const auto box = boolean::as_box(ring)) {
            pieces.push_back({geom::BBox{
                static_cast<double>(box->x0) * dbu, static_cast<double>(box->y0) * dbu,
                static_cast<double>(box->x1) * dbu, static_cast<double>(box->y1) * dbu}});
            continue;
        }
        geom::Points points;
        points.reserve(ring.size());
        for (const boolean::Point& p : ring) {
            points.push_back({static_cast<double>(p.x) * dbu, static_cast<double>(p.y) * dbu});
        }
        pieces.push_back({geom::Polygon{std::move(points)}});
    }
    return group_shape(std::move(pieces));
}

} // namespace quorvane_dsl::eval
