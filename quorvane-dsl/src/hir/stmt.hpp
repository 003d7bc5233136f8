// HIR statements and the table of shape primitives.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <variant>
#include <vector>

#include "hir/expr.hpp"
#include "hir/ids.hpp"

namespace quorvane_dsl::hir {

// The shape primitives, in the order of their u8 values.
enum class Primitive : std::uint8_t {
    Rect,
    Polygon,
    RegularPolygon,
    Circle,
    Ellipse,
    Ring,
    Racetrack,
    Cross,
    Trapezoid,
    Path,
    Straight,
    Arc,
    Euler,
    Sbend,
    Bezier,
    Taper,
    Text,
    Union,
    Intersection,
    Difference,
    Xor,
    Dilate,
    Erode,
};

inline constexpr std::size_t primitive_count = 23;

std::string_view primitive_name(Primitive primitive);
// The primitive of that exact name, or none.
std::optional<Primitive> primitive_by_name(std::string_view name);

// A list of statements in written order, in Hir::bodies.
using Body = Run<StmtId>;

// One statement. Nested statements always have smaller indices than their owner.
struct Stmt {
    struct LayerBlock {
        Body body;
        arena::OptIdx<LayerDef> layer; // absent when the name is missing or no layer
    };
    // A `shape` statement naming a primitive.
    struct Shape {
        ArgRun args;
        arena::OptIdx<LayerDef> layer; // of the enclosing `layer` block
        BindingId binding;
        bool in_layer = false; // inside a `layer` block, even one whose layer is absent
        std::optional<Primitive> primitive;
    };
    // A `shape` statement drawing an expression.
    struct ShapeExpr {
        arena::OptIdx<Expr> join;
        arena::OptIdx<LayerDef> layer;
        BindingId binding;
        ExprId expr;
    };
    struct Clone {
        Res source;
        BindingId binding;
        bool in_layer = false;
    };
    struct Place {
        ArgRun args; // of the `with` clause
        arena::OptIdx<Expr> offset;
        arena::OptIdx<Expr> rotate;
        arena::OptIdx<Binding> name; // the `as` name
        ExprId target;
        ExprId at;
        bool mirror = false;
        bool in_layer = false;
        bool star = false; // inside a `place*` statement
    };
    struct PlaceBlock {
        Body body;
    };
    struct Define {
        std::optional<TypeAnn> ty;
        BindingId binding;
        ExprId value;
    };
    struct Assign {
        ExprId target;
        ExprId value;
    };
    struct Expr {
        ExprId expr;
    };
    struct For {
        Body body;
        BindingId binding;
        ExprId iter;
    };
    // An `else if` is an else body of exactly one If.
    struct If {
        Body then_body;
        Body else_body;
        ExprId cond;
    };

    std::variant<LayerBlock, Shape, ShapeExpr, Clone, Place, PlaceBlock, Define, Assign, Expr, For,
                 If>
        kind;
};

} // namespace quorvane_dsl::hir
