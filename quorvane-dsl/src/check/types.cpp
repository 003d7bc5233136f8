#include "check/types.hpp"

#include <variant>

namespace quorvane_dsl::check {

Ty Ty::shape(std::optional<hir::Primitive> primitive) {
    const auto item = primitive ? static_cast<std::uint32_t>(*primitive)
                                : static_cast<std::uint32_t>(hir::primitive_count);
    return {TyKind::Shape, 0, item};
}

Ty Ty::list_of(Ty element) {
    ++element.lists;
    return element;
}

bool Ty::is_numeric() const {
    return is(TyKind::Integer) || is(TyKind::Zero) || is(TyKind::Quantity);
}

Ty Ty::element() const {
    Ty element = *this;
    --element.lists;
    return element;
}

Ty Ty::innermost() const {
    Ty element = *this;
    element.lists = 0;
    return element;
}

std::optional<hir::Primitive> Ty::primitive() const {
    if (item >= hir::primitive_count) {
        return std::nullopt;
    }
    return static_cast<hir::Primitive>(item);
}

bool assignable(const Ty& found, const Ty& expected) {
    // Both list depths fall together, so comparing the innermost types with the remaining depths
    // is the element-wise rule applied at every depth.
    const auto common = std::min(found.lists, expected.lists);
    const Ty f = {found.kind, static_cast<std::uint16_t>(found.lists - common), found.item};
    const Ty e = {expected.kind, static_cast<std::uint16_t>(expected.lists - common),
                  expected.item};
    if (f.is_unknown() || e.is_unknown() || f == e) {
        return true;
    }
    if (f.is_list() || e.is_list()) {
        return false;
    }
    if (f.kind == TyKind::Shape && e.kind == TyKind::Shape) {
        return !e.primitive().has_value();
    }
    if (f.kind == TyKind::Zero) {
        return e.kind == TyKind::Integer || e.kind == TyKind::Quantity;
    }
    return f.kind == TyKind::Integer && e == Ty::number();
}

Ty ann_type(const hir::Hir& hir, const hir::TypeAnn& ann) {
    static const std::unordered_map<std::string_view, Ty> named = {
        {"size", Ty::size()},         {"bool", Ty::boolean()},    {"angle", Ty::angle()},
        {"point", Ty::point()},       {"shape", Ty::shape()},     {"number", Ty::number()},
        {"string", Ty::string()},     {"integer", Ty::integer()}, {"Point2D", Ty::point()},
        {"xsection", Ty::xsection()},
    };
    const auto found = named.find(hir.text(ann.name));
    Ty ty = found == named.end() ? Ty::unknown() : found->second;
    ty.lists = static_cast<std::uint16_t>(ann.lists);
    return ty;
}

namespace {

std::string innermost_text(const hir::Hir& hir, const Ty& ty) {
    switch (ty.kind) {
    case TyKind::Unknown:
        return "unknown";
    case TyKind::Integer:
    case TyKind::Zero:
        return "integer";
    case TyKind::Quantity:
        return units::dim_text(ty.dim());
    case TyKind::Bool:
        return "bool";
    case TyKind::String:
        return "string";
    case TyKind::Point:
        return "point";
    case TyKind::Range:
        return "range";
    case TyKind::Shape:
        if (const auto primitive = ty.primitive()) {
            return "shape " + std::string(hir::primitive_name(*primitive));
        }
        return "shape";
    case TyKind::Instance:
        return "instance of " + hir.cells[ty.cell_id()].name;
    case TyKind::Cell:
        return "cell " + hir.cells[ty.cell_id()].name;
    case TyKind::Layer:
        return "layer";
    case TyKind::Markers:
        return "markers of " + hir.cells[ty.cell_id()].name;
    case TyKind::Builtin:
        return std::string(hir::builtin_signature(ty.builtin_id()));
    case TyKind::XSection:
        return "xsection";
    case TyKind::Nothing:
        return "nothing";
    }
    return "unknown";
}

} // namespace

std::string show(const hir::Hir& hir, const Ty& ty) {
    std::string text(ty.lists, '[');
    text += innermost_text(hir, ty);
    text.append(ty.lists, ']');
    return text;
}

std::string unit_hint(const hir::Hir& hir, hir::ExprId expr, const Ty& expected) {
    const auto* number = std::get_if<hir::Expr::Number>(&hir.expr(expr).kind);
    if (number == nullptr || number->unit) {
        return "";
    }
    const char* suffix = expected.is_quantity(dim_size)    ? "um"
                         : expected.is_quantity(dim_angle) ? "deg"
                                                           : nullptr;
    if (suffix == nullptr) {
        return "";
    }
    return "; did you mean `" + units::format_number(number->value()) + suffix + "`?";
}

} // namespace quorvane_dsl::check
