#include "check/check.hpp"

#include <unordered_set>

#include "diag/suggestion.hpp"

namespace quorvane_dsl::check {

using hir::Builtin;
using hir::Expr;
using hir::ExprId;

Ty Checker::call(ExprId expr, ExprId callee, std::span<const hir::Arg> args) {
    const auto& callee_kind = hir.expr(callee).kind;
    if (const auto* name = std::get_if<Expr::Name>(&callee_kind)) {
        if (const auto* xs = std::get_if<hir::Res::XSection>(&name->res.kind)) {
            record(callee, Ty::xsection());
            return xsection_call(xs->id, args);
        }
    }
    for (const hir::Arg& arg : args) {
        if (!arg.name) {
            continue;
        }
        const Ty ty = infer(callee);
        if (!ty.is_unknown() && !ty.is(TyKind::XSection)) {
            error(arg.name->src, "only cross-sections take named arguments");
        }
    }
    if (const auto* field = std::get_if<Expr::Field>(&callee_kind);
        field && hir.text(field->name) == "append") {
        return append(expr, *field, args);
    }
    // `pi` reads as the number it is; calling it is its own mistake, reported once.
    if (const auto* name = std::get_if<Expr::Name>(&callee_kind)) {
        const auto* b = std::get_if<hir::Res::Builtin>(&name->res.kind);
        if (b != nullptr && b->builtin == Builtin::Pi) {
            infer(callee);
            for (const hir::Arg& arg : args) {
                infer(arg.value);
            }
            expr_error(callee, "`pi` is a constant, not a function");
            return Ty::number();
        }
    }
    const Ty ty = infer(callee);
    if (ty.is(TyKind::Builtin)) {
        return builtin(expr, ty.builtin_id(), args);
    }
    for (const hir::Arg& arg : args) {
        infer(arg.value);
    }
    if (ty.is_unknown() || ty.is(TyKind::XSection)) {
        return ty;
    }
    expr_error(callee, show(ty) + " is not a function");
    return Ty::unknown();
}

Ty Checker::xsection_call(hir::XsId id, std::span<const hir::Arg> args) {
    const hir::XsDef& xs = hir.xsections[id];
    const std::size_t count = xs.params.size();
    std::unordered_set<std::uint32_t> given;
    bool named_seen = false;
    std::uint32_t position = 0;
    for (const hir::Arg& arg : args) {
        const Ty value = infer(arg.value);
        std::uint32_t param = 0;
        if (!arg.name) {
            if (named_seen) {
                expr_error(arg.value, "positional arguments come before named ones");
            }
            param = position++;
            if (param >= count) {
                expr_error(arg.value, "cross-section `" + xs.name + "` takes " +
                                          std::to_string(count) + " parameter" +
                                          (count == 1 ? "" : "s"));
                continue;
            }
        } else {
            named_seen = true;
            const std::string_view arg_name = hir.text(arg.name->name);
            const auto found = xs.param(arg_name);
            if (!found) {
                std::vector<std::string_view> names;
                for (const hir::ParamDef& p : xs.params) {
                    names.push_back(p.name);
                }
                error(arg.name->src, "cross-section `" + xs.name + "` has no parameter `" +
                                         std::string(arg_name) + "`" +
                                         diag::suggestion(arg_name, names));
                continue;
            }
            param = found->first;
        }
        const std::string& param_name = xs.params[param].name;
        if (!given.insert(param).second) {
            expr_error(arg.value, "parameter `" + param_name + "` is given twice");
        }
        const Ty& declared = types.xs_params.at({id, param});
        if (!assignable(value, declared)) {
            expr_error(arg.value, "parameter `" + param_name + "` of `" + xs.name + "` is " +
                                      show(declared) + ", found " + show(value) +
                                      unit_hint(arg.value, declared));
        }
    }
    return Ty::xsection();
}

Ty Checker::append(ExprId expr, const Expr::Field& callee, std::span<const hir::Arg> args) {
    const Ty base = infer(callee.base);
    // The callee is the method itself, which yields nothing.
    const ExprId callee_id = std::get<Expr::Call>(hir.expr(expr).kind).callee;
    record(callee_id, Ty::nothing());
    if (!base.is_list()) {
        for (const hir::Arg& arg : args) {
            infer(arg.value);
        }
        if (!base.is_unknown()) {
            expr_error(callee_id, show(base) + " has no method `append`");
        }
        return Ty::nothing();
    }
    if (args.size() != 1) {
        expr_error(expr, "`append` takes one value");
    }
    const Ty element = base.element();
    for (const hir::Arg& arg : args) {
        const Ty value = infer(arg.value);
        if (!assignable(value, element)) {
            expr_error(arg.value,
                       "cannot append " + show(value) + " to a list of " + show(element));
        }
    }
    const auto* name = std::get_if<Expr::Name>(&hir.expr(callee.base).kind);
    const auto local = name ? name->res.local() : std::nullopt;
    if (!local || hir.bindings[*local].kind != hir::BindingKind::Define) {
        expr_error(callee.base, "`append` needs a variable declared with `define`");
    }
    return Ty::nothing();
}

Ty Checker::builtin(ExprId expr, Builtin b, std::span<const hir::Arg> args) {
    const std::size_t first = arg_stack.size();
    for (const hir::Arg& arg : args) {
        const Ty value = infer(arg.value);
        arg_stack.push_back(value);
    }
    const Ty ty = builtin_type(expr, b, args, std::span(arg_stack).subspan(first));
    arg_stack.resize(first);
    return ty;
}

Ty Checker::builtin_type(ExprId expr, Builtin b, std::span<const hir::Arg> args,
                         std::span<const Ty> arg_types) {
    const std::string name(hir::builtin_name(b));
    const auto arity = [&](std::size_t count) {
        if (args.size() == count) {
            return true;
        }
        expr_error(expr, name + " takes " + std::to_string(count) + " argument" +
                             (count == 1 ? "" : "s"));
        return false;
    };
    const auto numeric = [&](std::size_t i) -> std::optional<Ty> {
        const Ty& ty = arg_types[i];
        if (ty.is_unknown() || ty.is_numeric()) {
            return ty;
        }
        expr_error(args[i].value, "expected a number, found " + show(ty));
        return std::nullopt;
    };
    const bool variadic = b == Builtin::Min || b == Builtin::Max;
    const std::size_t fixed = b == Builtin::Pow || b == Builtin::Atan2 ? 2 : 1;
    if (!variadic && !arity(fixed)) {
        switch (b) {
        case Builtin::Sign:
        case Builtin::Len:
            return Ty::integer();
        case Builtin::Sin:
        case Builtin::Cos:
        case Builtin::Tan:
            return Ty::number();
        case Builtin::Asin:
        case Builtin::Acos:
        case Builtin::Atan:
        case Builtin::Atan2:
            return Ty::angle();
        case Builtin::Str:
            return Ty::string();
        default:
            return Ty::unknown();
        }
    }
    const auto arg_ty = [&](std::size_t i) { return arg_types[i]; };
    switch (b) {
    case Builtin::Sqrt: {
        const auto ty = numeric(0);
        if (!ty || ty->is_unknown()) {
            return Ty::unknown();
        }
        if (!ty->is(TyKind::Quantity)) {
            return Ty::number();
        }
        if (ty->dim().length % 2 != 0 || ty->dim().angle % 2 != 0) {
            expr_error(args[0].value, "cannot take the square root of " + show(*ty));
            return Ty::unknown();
        }
        return Ty::quantity({static_cast<std::int8_t>(ty->dim().length / 2),
                             static_cast<std::int8_t>(ty->dim().angle / 2)});
    }
    case Builtin::Abs:
        numeric(0);
        return arg_ty(0).is(TyKind::Zero) ? Ty::integer() : arg_ty(0);
    case Builtin::Min:
    case Builtin::Max: {
        if (args.empty()) {
            expr_error(expr, name + " needs at least one argument");
            return Ty::unknown();
        }
        Ty running = arg_ty(0).is(TyKind::Zero) ? Ty::integer() : arg_ty(0);
        for (std::size_t i = 1; i < args.size(); ++i) {
            if (const auto sum = numeric_sum(running, arg_ty(i))) {
                running = *sum;
            } else {
                expr_error(args[i].value, name + " arguments must share a dimension: " +
                                              show(running) + " and " + show(arg_ty(i)));
            }
        }
        return running;
    }
    case Builtin::Floor:
    case Builtin::Ceil:
    case Builtin::Round: {
        const auto ty = numeric(0);
        if (!ty || ty->is_unknown()) {
            return Ty::unknown();
        }
        return ty->is(TyKind::Quantity) && ty->dim() != dim_number ? *ty : Ty::integer();
    }
    case Builtin::Sign:
        numeric(0);
        return Ty::integer();
    case Builtin::Pow: {
        const auto base = numeric(0);
        if (!base) {
            return Ty::unknown();
        }
        if (base->is_unknown()) {
            return *base;
        }
        if (base->is(TyKind::Quantity) && base->dim() != dim_number) {
            const auto* literal = std::get_if<Expr::Number>(&hir.expr(args[1].value).kind);
            if (literal == nullptr || literal->unit || !literal->integer) {
                expr_error(args[1].value,
                           "the exponent of a quantity with a unit must be an integer literal");
                return Ty::unknown();
            }
            return quantity_at(expr, base->dim().length * literal->value(),
                               base->dim().angle * literal->value());
        }
        const auto exponent = numeric(1);
        if (base->is(TyKind::Integer) && exponent && exponent->is(TyKind::Integer)) {
            return Ty::integer();
        }
        return Ty::number();
    }
    case Builtin::Sin:
    case Builtin::Cos:
    case Builtin::Tan: {
        const Ty ty = arg_ty(0);
        if (!ty.is_unknown() && !ty.is(TyKind::Zero) && !ty.is_quantity(dim_angle)) {
            expr_error(args[0].value, name + " takes an angle, found " + show(ty) +
                                          unit_hint(args[0].value, Ty::angle()));
        }
        return Ty::number();
    }
    case Builtin::Asin:
    case Builtin::Acos:
    case Builtin::Atan: {
        const Ty ty = arg_ty(0);
        if (!ty.is_unknown() && !ty.is(TyKind::Integer) && !ty.is(TyKind::Zero) &&
            ty != Ty::number()) {
            expr_error(args[0].value, name + " takes a number, found " + show(ty));
        }
        return Ty::angle();
    }
    case Builtin::Atan2:
        if (!numeric_sum(arg_ty(0), arg_ty(1))) {
            expr_error(expr, "atan2 arguments must share a dimension: " + show(arg_ty(0)) +
                                 " and " + show(arg_ty(1)));
        }
        return Ty::angle();
    case Builtin::Len: {
        const Ty ty = arg_ty(0);
        if (!ty.is_unknown() && !ty.is_list() && !ty.is(TyKind::String)) {
            expr_error(args[0].value, "len takes a list or a string, found " + show(ty));
        }
        return Ty::integer();
    }
    case Builtin::Str:
        return Ty::string();
    case Builtin::Pi:
        return Ty::number();
    }
    return Ty::unknown();
}

} // namespace quorvane_dsl::check
