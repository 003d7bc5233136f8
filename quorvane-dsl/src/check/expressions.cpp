#include "check/check.hpp"

#include <algorithm>
#include <array>
#include <cstdint>

#include "base/stack.hpp"

namespace quorvane_dsl::check {

using hir::BinOp;
using hir::CellId;
using hir::Expr;
using hir::ExprId;

namespace {

constexpr std::array<std::string_view, 10> shape_anchors = {
    "origin",        "center",      "left_center",  "right_center", "top_center",
    "bottom_center", "bottom_left", "bottom_right", "top_left",     "top_right"};

// The members a cross-section has besides its parameters, in the order messages list them.
constexpr std::array<std::string_view, 7> xs_members = {"width", "type", "min_radius", "radius",
                                                        "bend",  "p",    "pitch"};

bool has_ends(hir::Primitive p) {
    using P = hir::Primitive;
    return p == P::Path || p == P::Straight || p == P::Arc || p == P::Euler || p == P::Sbend ||
           p == P::Bezier || p == P::Taper;
}

bool is_shape_value(const Ty& ty) {
    return ty.is_shape() || (ty.lists == 1 && ty.kind == TyKind::Shape);
}

// A shape value, or a list whose element is not known yet (an empty list literal).
bool is_loose_shape_value(const Ty& ty) {
    return is_shape_value(ty) || (ty.lists == 1 && ty.kind == TyKind::Unknown);
}

bool is_integral(const Ty& ty) {
    return ty.is(TyKind::Integer) || ty.is(TyKind::Zero);
}

// Integers count as dimensionless in products and quotients.
units::Dim numeric_dim(const Ty& ty) {
    return ty.is(TyKind::Quantity) ? ty.dim() : dim_number;
}

template <class Names> std::string joined(const Names& names) {
    std::string out;
    for (const auto& name : names) {
        if (!out.empty()) {
            out += ", ";
        }
        out += name;
    }
    return out;
}

} // namespace

std::optional<Ty> numeric_sum(const Ty& a, const Ty& b) {
    if (a.is(TyKind::Integer) && is_integral(b)) {
        return Ty::integer();
    }
    if (a.is(TyKind::Zero) && b.is(TyKind::Zero)) {
        return Ty::zero();
    }
    if (a.is(TyKind::Zero) && (b.is(TyKind::Integer) || b.is(TyKind::Quantity))) {
        return b;
    }
    if (a.is(TyKind::Quantity) && b.is(TyKind::Zero)) {
        return a;
    }
    if ((a.is(TyKind::Integer) && b == Ty::number()) ||
        (a == Ty::number() && b.is(TyKind::Integer))) {
        return Ty::number();
    }
    if (a.is(TyKind::Quantity) && a == b) {
        return a;
    }
    return std::nullopt;
}

Ty Checker::quantity_at(ExprId id, double length, double angle) {
    // Exponents are i8; a product or power beyond them would silently wrap into another type.
    const auto fits = [](double e) { return e >= INT8_MIN && e <= INT8_MAX; };
    if (!fits(length) || !fits(angle)) {
        expr_error(id, "the dimension of this value is out of range");
        return Ty::unknown();
    }
    return Ty::quantity({static_cast<std::int8_t>(length), static_cast<std::int8_t>(angle)});
}

Ty Checker::infer(ExprId id) {
    if (!base::stack_room()) [[unlikely]] {
        too_deep(hir.expr_src(id));
        return Ty::unknown();
    }
    const Ty ty = infer_kind(id, hir.expr(id));
    record(id, ty);
    return ty;
}

void Checker::record(ExprId id, const Ty& ty) {
    if (options.expr_types) {
        types.exprs[id.raw] = ty;
    }
    if (window_open) {
        window[id] = ty;
    }
}

// A chain of operators is as long as the source makes it, so its left operands are followed in
// a loop, never by recursion, in the order recursion would take.
Ty Checker::binary_chain(ExprId outermost) {
    // The chain's links stand above `first` on the shared stack; a right operand's own chain
    // pushes above them and pops back, so they are read by position, never by reference.
    const std::size_t first = chain_stack.size();
    chain_stack.push_back(outermost);
    while (const auto* inner = std::get_if<Expr::Binary>(&hir.expr(chain_stack.back()).kind)) {
        chain_stack.push_back(inner->lhs);
    }
    Ty lhs = infer(chain_stack.back());
    chain_stack.pop_back();
    for (std::size_t k = chain_stack.size(); k-- > first;) {
        const ExprId link = chain_stack[k];
        const auto& e = std::get<Expr::Binary>(hir.expr(link).kind);
        const Ty rhs = infer(e.rhs);
        lhs = binary(link, e.op, lhs, rhs, e.lhs, e.rhs);
        record(link, lhs);
    }
    chain_stack.resize(first);
    return lhs;
}

Ty Checker::infer_kind(ExprId id, const Expr& expr) {
    return std::visit(
        [&](const auto& e) -> Ty {
            using E = std::decay_t<decltype(e)>;
            if constexpr (std::is_same_v<E, Expr::Missing>) {
                return Ty::unknown();
            } else if constexpr (std::is_same_v<E, Expr::Number>) {
                if (e.unit) {
                    return units::unit_kind(*e.unit) == units::UnitKind::Length ? Ty::size()
                                                                                : Ty::angle();
                }
                if (!e.integer) {
                    return Ty::number();
                }
                return e.value() == 0 ? Ty::zero() : Ty::integer();
            } else if constexpr (std::is_same_v<E, Expr::Str>) {
                return Ty::string();
            } else if constexpr (std::is_same_v<E, Expr::Bool>) {
                return Ty::boolean();
            } else if constexpr (std::is_same_v<E, Expr::Name>) {
                return name_type(e.res);
            } else if constexpr (std::is_same_v<E, Expr::SelfRef>) {
                if (cell) {
                    return Ty::cell(*cell);
                }
                expr_error(id, "`self` is only available inside a cell");
                return Ty::unknown();
            } else if constexpr (std::is_same_v<E, Expr::Point>) {
                expect(e.x, Ty::size());
                expect(e.y, Ty::size());
                if (e.angle) {
                    expect(*e.angle, Ty::angle());
                }
                return Ty::point();
            } else if constexpr (std::is_same_v<E, Expr::List>) {
                return list(e);
            } else if constexpr (std::is_same_v<E, Expr::Binary>) {
                return binary_chain(id);
            } else if constexpr (std::is_same_v<E, Expr::Prefix>) {
                return prefix(id, e);
            } else if constexpr (std::is_same_v<E, Expr::Field>) {
                return field_expr(e);
            } else if constexpr (std::is_same_v<E, Expr::Index>) {
                return index(e);
            } else {
                return call(id, e.callee, hir.args_of(e.args));
            }
        },
        expr.kind);
}

Ty Checker::name_type(const hir::Res& res) {
    using R = hir::Res;
    return std::visit(
        [&](const auto& r) -> Ty {
            using T = std::decay_t<decltype(r)>;
            if constexpr (std::is_same_v<T, R::Local>) {
                return types.bindings[r.binding.raw].value_or(Ty::unknown());
            } else if constexpr (std::is_same_v<T, R::Param>) {
                const std::vector<Ty>& params = types.params[r.cell.raw];
                return r.index < params.size() ? params[r.index] : Ty::unknown();
            } else if constexpr (std::is_same_v<T, R::Attr>) {
                return attr_type(r.cell, r.index);
            } else if constexpr (std::is_same_v<T, R::Marker>) {
                return Ty::list_of(Ty::point());
            } else if constexpr (std::is_same_v<T, R::Const>) {
                return const_type(r.id);
            } else if constexpr (std::is_same_v<T, R::Cell>) {
                return Ty::cell(r.id);
            } else if constexpr (std::is_same_v<T, R::XSection>) {
                return Ty::xsection();
            } else if constexpr (std::is_same_v<T, R::XsParam>) {
                const auto found = types.xs_params.find({r.xs, r.index});
                return found == types.xs_params.end() ? Ty::unknown() : found->second;
            } else if constexpr (std::is_same_v<T, R::Layer>) {
                return Ty::layer();
            } else if constexpr (std::is_same_v<T, R::Builtin>) {
                // `pi` is a constant, not a function.
                return r.builtin == hir::Builtin::Pi ? Ty::number() : Ty::builtin(r.builtin);
            } else {
                return Ty::unknown();
            }
        },
        res.kind);
}

Ty Checker::list(const Expr::List& list) {
    Ty element = Ty::unknown();
    for (const ExprId id : hir.elements(list.elements)) {
        const Ty ty = infer(id);
        if (element.is_unknown()) {
            element = ty.is(TyKind::Zero) ? Ty::integer() : ty;
            continue;
        }
        if (element.is_shape() && ty.is_shape()) {
            if (element.primitive() != ty.primitive()) {
                element = Ty::shape();
            }
            continue;
        }
        if (!assignable(ty, element)) {
            expr_error(id, "list elements must share a type: expected " + show(element) +
                               ", found " + show(ty));
        }
    }
    return Ty::list_of(element);
}

Ty Checker::prefix(ExprId id, const Expr::Prefix& prefix) {
    const Ty operand = infer(prefix.operand);
    if (operand.is_unknown()) {
        return operand;
    }
    const bool neg = prefix.op == hir::PrefixOp::Neg;
    if (neg && (operand.is_numeric() || operand.is(TyKind::Point))) {
        return operand;
    }
    if (!neg && operand.is(TyKind::Bool)) {
        return operand;
    }
    expr_error(id, std::string("cannot apply `") + (neg ? "-" : "!") + "` to " + show(operand));
    return Ty::unknown();
}

Ty Checker::index(const Expr::Index& index) {
    const Ty base = infer(index.base);
    if (base.is_shape()) {
        const Ty key = infer(index.index);
        if (!key.is_unknown() && !key.is(TyKind::Layer)) {
            expr_error(index.index,
                       "a shape is indexed by a layer, for its sections on it, not " + show(key));
        }
        return Ty::shape();
    }
    expect(index.index, Ty::integer());
    if (base.is_unknown()) {
        return base;
    }
    if (base.is_list()) {
        return base.element();
    }
    expr_error(index.base, "cannot index " + show(base));
    return Ty::unknown();
}

Ty Checker::field_expr(const Expr::Field& field) {
    const Ty base = infer(field.base);
    // A cross-section named directly (or instantiated by name) also exposes its parameters.
    ExprId named = field.base;
    if (const auto* c = std::get_if<Expr::Call>(&hir.expr(named).kind)) {
        named = c->callee;
    }
    const auto* name = std::get_if<Expr::Name>(&hir.expr(named).kind);
    const auto* xs = name ? std::get_if<hir::Res::XSection>(&name->res.kind) : nullptr;
    const std::string_view field_name = hir.text(field.name);
    if (xs == nullptr || std::ranges::find(xs_members, field_name) != xs_members.end()) {
        return this->field(base, field.name, hir.name_srcs[field.name_src]);
    }
    const hir::XsDef& def = hir.xsections[xs->id];
    if (const auto param = def.param(field_name)) {
        return types.xs_params.at({xs->id, param->first});
    }
    std::vector<std::string_view> members(xs_members.begin(), xs_members.end());
    for (const hir::ParamDef& p : def.params) {
        if (std::ranges::find(members, p.name) == members.end()) {
            members.push_back(p.name);
        }
    }
    error(hir.name_srcs[field.name_src], "cross-section `" + def.name + "` has no member `" +
                                             std::string(field_name) +
                                             "`; members: " + joined(members));
    return Ty::unknown();
}

Ty Checker::field(const Ty& base, hir::Symbol member, const hir::Src& name_src) {
    const std::string name(hir.text(member));
    if (base.is_unknown()) {
        return base;
    }
    if (base.is_list()) {
        if (name == "append") {
            return Ty::nothing();
        }
    } else {
        switch (base.kind) {
        case TyKind::Point:
            if (name == "x" || name == "y") {
                return Ty::size();
            }
            if (name == "angle") {
                return Ty::angle();
            }
            error(name_src, "a point has `x`, `y` and `angle`, not `" + name + "`");
            return Ty::unknown();
        case TyKind::Shape: {
            if (name == "width" || name == "height") {
                return Ty::size();
            }
            const auto primitive = base.primitive();
            if (!primitive || std::ranges::find(shape_anchors, name) != shape_anchors.end() ||
                (has_ends(*primitive) && (name == "start" || name == "end"))) {
                return Ty::point();
            }
            std::vector<std::string_view> anchors(shape_anchors.begin(), shape_anchors.end());
            if (has_ends(*primitive)) {
                anchors.insert(anchors.end(), {"start", "end"});
            }
            error(name_src, "`" + std::string(hir::primitive_name(*primitive)) +
                                "` has no anchor `" + name + "`; anchors: " + joined(anchors));
            return Ty::unknown();
        }
        case TyKind::Instance:
        case TyKind::Cell:
            return cell_member(base.cell_id(), member, name_src);
        case TyKind::Markers: {
            if (members.find(base.cell_id(), member).kind == hir::Member::Kind::Marker) {
                return Ty::list_of(Ty::point());
            }
            const hir::CellDef& def = hir.cells[base.cell_id()];
            std::vector<std::string_view> names;
            for (const hir::MarkerDef& marker : def.markers) {
                names.push_back(marker.name);
            }
            error(name_src,
                  "`" + def.name + "` has no marker `" + name + "`; " +
                      (names.empty() ? "it has no markers" : "markers: " + joined(names)));
            return Ty::unknown();
        }
        case TyKind::XSection:
            if (name == "width" || name == "pitch" || name == "radius" || name == "min_radius") {
                return Ty::size();
            }
            if (name == "p") {
                return Ty::number();
            }
            if (name == "type" || name == "bend") {
                return Ty::string();
            }
            return Ty::unknown();
        default:
            break;
        }
    }
    error(name_src, show(base) + " has no field `" + name + "`");
    return Ty::unknown();
}

Ty Checker::cell_member(CellId id, hir::Symbol member, const hir::Src& name_src) {
    const std::string_view name = hir.text(member);
    if (name == "origin") {
        return Ty::point();
    }
    if (name == "marker") {
        return Ty::markers(id);
    }
    const hir::Member found = members.find(id, member);
    if (found.kind == hir::Member::Kind::Param) {
        return types.params[id.raw][found.index];
    }
    if (found.kind == hir::Member::Kind::Attr) {
        return attr_type(id, found.index);
    }
    const hir::CellDef& def = hir.cells[id];
    std::vector<std::string_view> known = {"origin", "marker"};
    for (const hir::ParamDef& param : def.params) {
        known.push_back(param.name);
    }
    for (const hir::AttrDef& attr : def.attrs) {
        known.push_back(attr.name);
    }
    error(name_src, "`" + def.name + "` has no member `" + std::string(name) +
                        "`; members: " + joined(known));
    return Ty::unknown();
}

Ty Checker::binary(ExprId id, BinOp op, const Ty& l, const Ty& r, ExprId lhs, ExprId rhs) {
    const std::string op_text(hir::binop_text(op));
    const bool shape_op = op == BinOp::BitAnd || op == BinOp::BitOr || op == BinOp::BitXor;
    const bool additive = op == BinOp::Add || op == BinOp::Sub;
    const bool equality = op == BinOp::Eq || op == BinOp::Ne;
    const bool ordering = op == BinOp::Lt || op == BinOp::Le || op == BinOp::Gt || op == BinOp::Ge;
    const bool logical = op == BinOp::And || op == BinOp::Or;
    const auto fail = [&](std::string message) {
        expr_error(id, std::move(message));
        return Ty::unknown();
    };
    const auto cannot_apply = [&] {
        std::string hint;
        if (l.is(TyKind::Quantity) && l.dim() != dim_number &&
            (r.is(TyKind::Integer) || r.is(TyKind::Quantity))) {
            hint = unit_hint(rhs, l);
        } else if ((l == Ty::number() || l.is(TyKind::Integer)) && r.is(TyKind::Quantity) &&
                   r.dim() != dim_number) {
            hint = unit_hint(lhs, r);
        }
        return fail("cannot apply `" + op_text + "` to " + show(l) + " and " + show(r) + hint);
    };

    if (l.is_unknown() || r.is_unknown()) {
        if (shape_op || is_shape_value(l.is_unknown() ? r : l)) {
            return Ty::shape();
        }
        if (equality || ordering || logical) {
            return Ty::boolean();
        }
        return op == BinOp::Range ? Ty::range() : Ty::unknown();
    }
    if (shape_op) {
        if (is_loose_shape_value(l) && is_loose_shape_value(r)) {
            return Ty::shape();
        }
        return fail("`" + op_text + "` combines shapes, not " + show(l) + " and " + show(r));
    }
    const bool distance = r.is(TyKind::Zero) || r.is_quantity(dim_size);
    if (additive && is_shape_value(l)) {
        if (distance || is_loose_shape_value(r)) {
            return Ty::shape();
        }
        return fail("`" + op_text + "` combines a shape with shapes or a size, not " + show(r));
    }
    const bool unknown_list = l.lists == 1 && l.kind == TyKind::Unknown;
    if (additive && unknown_list) {
        if (distance || is_shape_value(r)) {
            return Ty::shape();
        }
        return cannot_apply();
    }
    if (additive && is_shape_value(r) && !is_loose_shape_value(l)) {
        return fail("put the shape first: `a " + op_text + " b` combines shapes, `a " + op_text +
                    " 2um` grows or shrinks one");
    }
    if (is_shape_value(l) || is_shape_value(r)) {
        return cannot_apply();
    }
    const auto sum = numeric_sum(l, r);
    const bool numeric = l.is_numeric() && r.is_numeric();
    switch (op) {
    case BinOp::Add:
        if (sum) {
            return *sum;
        }
        if (l.is(TyKind::String) && r.is(TyKind::String)) {
            return Ty::string();
        }
        if (l.is(TyKind::Point) && r.is(TyKind::Point)) {
            return Ty::point();
        }
        break;
    case BinOp::Sub:
        if (sum) {
            return *sum;
        }
        if (l.is(TyKind::Point) && r.is(TyKind::Point)) {
            return Ty::point();
        }
        break;
    case BinOp::Mul:
        if (is_integral(l) && is_integral(r)) {
            return Ty::integer();
        }
        if (numeric) {
            const units::Dim a = numeric_dim(l);
            const units::Dim b = numeric_dim(r);
            return quantity_at(id, a.length + b.length, a.angle + b.angle);
        }
        break;
    case BinOp::Div:
        if (numeric) {
            const units::Dim a = numeric_dim(l);
            const units::Dim b = numeric_dim(r);
            return quantity_at(id, a.length - b.length, a.angle - b.angle);
        }
        break;
    case BinOp::Rem:
        if (is_integral(l) && is_integral(r)) {
            return Ty::integer();
        }
        if (sum) {
            return *sum;
        }
        break;
    case BinOp::Eq:
    case BinOp::Ne:
        if (sum ||
            (l == r && (l.is(TyKind::Bool) || l.is(TyKind::String) || l.is(TyKind::Point)))) {
            return Ty::boolean();
        }
        break;
    case BinOp::Lt:
    case BinOp::Le:
    case BinOp::Gt:
    case BinOp::Ge:
        if (sum) {
            return Ty::boolean();
        }
        break;
    case BinOp::And:
    case BinOp::Or:
        if (l.is(TyKind::Bool) && r.is(TyKind::Bool)) {
            return Ty::boolean();
        }
        break;
    case BinOp::Range:
        if (is_integral(l) && is_integral(r)) {
            return Ty::range();
        }
        break;
    default:
        break;
    }
    return cannot_apply();
}

} // namespace quorvane_dsl::check
