#include "check/check.hpp"

#include <algorithm>

#include "hir/primitives.hpp"

namespace quorvane_dsl::check {

using hir::ExprId;
using hir::ParamKind;
using hir::Primitive;

namespace {

Ty kind_type(ParamKind kind) {
    switch (kind) {
    case ParamKind::Size:
        return Ty::size();
    case ParamKind::Angle:
        return Ty::angle();
    case ParamKind::Number:
        return Ty::number();
    case ParamKind::Integer:
        return Ty::integer();
    case ParamKind::String:
        return Ty::string();
    case ParamKind::Points:
        return Ty::list_of(Ty::point());
    case ParamKind::Shapes:
    case ParamKind::SizeOrXSection:
        break;
    }
    return Ty::unknown();
}

std::string quoted_words(std::span<const std::string_view> words) {
    std::string out;
    for (const std::string_view word : words) {
        out += out.empty() ? "\"" : ", \"";
        out += word;
        out += '"';
    }
    return out;
}

} // namespace

std::uint8_t Checker::primitive_args(Primitive primitive, std::span<const hir::Arg> args,
                                     const hir::Src& at) {
    const auto params = hir::primitive_params(primitive);
    const std::string name(hir::primitive_name(primitive));
    std::vector<std::optional<ExprId>> slots(params.size());
    struct Width {
        ExprId value;
        bool xsection;
    };
    std::vector<Width> widths;
    bool undetermined = false;
    std::size_t positional = 0;

    for (const hir::Arg& arg : args) {
        std::size_t index = 0;
        if (!arg.name) {
            if (positional >= params.size()) {
                infer(arg.value);
                expr_error(arg.value,
                           "too many arguments for " + hir::primitive_signature(primitive));
                ++positional;
                continue;
            }
            index = positional++;
        } else if (const auto found =
                       hir::primitive_param_index(primitive, hir.text(arg.name->name))) {
            index = *found;
        } else {
            infer(arg.value);
            std::string names;
            for (const hir::PrimitiveParam& p : params) {
                names += names.empty() ? "" : ", ";
                names += p.name;
            }
            error(arg.name->src, "`" + name + "` has no parameter `" +
                                     std::string(hir.text(arg.name->name)) +
                                     "`; parameters: " + names);
            continue;
        }
        const hir::PrimitiveParam& param = params[index];
        if (slots[index]) {
            expr_error(arg.value, "parameter `" + std::string(param.name) + "` is given twice");
        }
        slots[index] = arg.value;
        if (param.kind == ParamKind::Shapes) {
            const Ty ty = infer(arg.value);
            const bool shapes =
                ty.is_unknown() || ty.is_shape() ||
                (ty.lists == 1 && (ty.kind == TyKind::Shape || ty.kind == TyKind::Unknown));
            if (!shapes) {
                expr_error(arg.value, "expected a shape or a list of shapes, found " + show(ty));
            }
        } else if (param.kind == ParamKind::SizeOrXSection) {
            const Ty ty = infer(arg.value);
            if (ty.is_unknown()) {
                undetermined = true;
            } else if (ty.is(TyKind::XSection)) {
                widths.push_back({arg.value, true});
            } else if (assignable(ty, Ty::size())) {
                widths.push_back({arg.value, false});
            } else {
                expr_error(arg.value, "expected a size or a cross-section, found " + show(ty) +
                                          unit_hint(arg.value, Ty::size()));
                undetermined = true;
            }
        } else {
            expect(arg.value, kind_type(param.kind));
            const auto* word = std::get_if<hir::Expr::Str>(&hir.expr(arg.value).kind);
            if (!param.choices.empty() && word &&
                std::ranges::find(param.choices, hir.text(word->value)) == param.choices.end()) {
                expr_error(arg.value, "`" + std::string(param.name) + "` must be one of " +
                                          quoted_words(param.choices));
            }
        }
    }

    // Two primitives take exactly one of a pair of parameters that are each optional.
    const char* second = primitive == Primitive::RegularPolygon ? "side_length"
                         : primitive == Primitive::Euler        ? "min_radius"
                                                                : nullptr;
    if (second != nullptr) {
        const auto given = [&](std::string_view p) {
            return slots[*hir::primitive_param_index(primitive, p)].has_value();
        };
        const int count = given("radius") + given(second);
        const std::string pair = "`radius` or `" + std::string(second) + "`";
        if (count == 0) {
            error(at, "missing " + pair + " for " + hir::primitive_signature(primitive));
        } else if (count == 2) {
            error(at, "give only one of " + pair);
        }
    }
    std::string missing;
    for (std::size_t i = 0; i < params.size(); ++i) {
        if (params[i].required && !slots[i]) {
            missing += (missing.empty() ? "`" : ", `") + std::string(params[i].name) + "`";
        }
    }
    if (!missing.empty()) {
        error(at, "missing " + missing + " for " + hir::primitive_signature(primitive));
    }

    if (undetermined) {
        return 2;
    }
    if (std::ranges::none_of(params,
                             [](const auto& p) { return p.kind == ParamKind::SizeOrXSection; })) {
        return 0;
    }
    if (widths.empty()) {
        return 2;
    }
    for (const Width& width : widths) {
        if (width.xsection != widths.front().xsection) {
            expr_error(width.value, "the widths of a taper are both sizes or both cross-sections");
            return 2;
        }
    }
    return widths.front().xsection ? 1 : 0;
}

} // namespace quorvane_dsl::check
