#include "check/check.hpp"

#include <span>

#include "base/stack.hpp"

namespace quorvane_dsl::check {

using hir::Expr;
using hir::ExprId;
using hir::Stmt;

namespace {

bool is_shapes(const Ty& ty) {
    return ty.is_unknown() || ty.is_shape() ||
           (ty.lists == 1 && (ty.kind == TyKind::Shape || ty.kind == TyKind::Unknown));
}

bool is_append_call(const hir::Hir& hir, ExprId id) {
    const auto* call = std::get_if<Expr::Call>(&hir.expr(id).kind);
    const auto* field = call ? std::get_if<Expr::Field>(&hir.expr(call->callee).kind) : nullptr;
    return field != nullptr && hir.text(field->name) == "append";
}

} // namespace

void Checker::stmts(const hir::Body& body) {
    const std::span<const hir::StmtId> ids = hir.body(body);
    if (!ids.empty() && !base::stack_room()) [[unlikely]] {
        too_deep(hir.stmt_src(ids.front()));
        return;
    }
    for (const hir::StmtId id : ids) {
        std::visit(
            [&](const auto& s) {
                using S = std::decay_t<decltype(s)>;
                if constexpr (std::is_same_v<S, Stmt::LayerBlock> ||
                              std::is_same_v<S, Stmt::PlaceBlock>) {
                    stmts(s.body);
                } else if constexpr (std::is_same_v<S, Stmt::Shape>) {
                    shape(id, s);
                } else if constexpr (std::is_same_v<S, Stmt::ShapeExpr>) {
                    shape_expr(s);
                } else if constexpr (std::is_same_v<S, Stmt::Place>) {
                    place(id, s);
                } else if constexpr (std::is_same_v<S, Stmt::Define>) {
                    const Ty value = infer(s.value);
                    Ty ty = value.is(TyKind::Zero) ? Ty::integer() : value;
                    if (s.ty) {
                        ty = ann_type(hir, *s.ty);
                        if (!assignable(value, ty)) {
                            expr_error(s.value, "expected " + show(ty) + ", found " + show(value));
                        }
                    }
                    types.bindings[s.binding.raw] = ty;
                } else if constexpr (std::is_same_v<S, Stmt::Assign>) {
                    assign(s);
                } else if constexpr (std::is_same_v<S, Stmt::Expr>) {
                    infer(s.expr);
                    if (!std::holds_alternative<Expr::Missing>(hir.expr(s.expr).kind) &&
                        !is_append_call(hir, s.expr)) {
                        expr_error(s.expr, "this expression has no effect");
                    }
                } else if constexpr (std::is_same_v<S, Stmt::For>) {
                    const Ty iter = infer(s.iter);
                    Ty element = Ty::unknown();
                    if (iter.is_list()) {
                        element = iter.element();
                    } else if (iter.is(TyKind::Range)) {
                        element = Ty::integer();
                    } else if (!iter.is_unknown()) {
                        expr_error(s.iter, "`for` needs a list or a range such as `0..n`, found " +
                                               show(iter));
                    }
                    types.bindings[s.binding.raw] = element;
                    stmts(s.body);
                } else if constexpr (std::is_same_v<S, Stmt::If>) {
                    expect(s.cond, Ty::boolean());
                    stmts(s.then_body);
                    stmts(s.else_body);
                }
            },
            hir.stmt(id).kind);
    }
}

void Checker::shape(hir::StmtId id, const Stmt::Shape& stmt) {
    if (!stmt.primitive) {
        for (const hir::Arg& arg : hir.args_of(stmt.args)) {
            infer(arg.value);
        }
        return;
    }
    const hir::Src& at = hir.stmt_src(id);
    const std::uint8_t mode = primitive_args(*stmt.primitive, hir.args_of(stmt.args), at);
    if (mode == 0 && !stmt.in_layer) {
        error(at, "`shape` must be inside a `layer` block, unless its width is a cross-section");
    } else if (mode == 1 && stmt.in_layer) {
        error(at, "a shape drawn with a cross-section gets its layers from it; write it outside "
                  "`layer` blocks");
    }
}

void Checker::shape_expr(const Stmt::ShapeExpr& stmt) {
    window_open = stmt.join.has_value();
    const Ty ty = infer(stmt.expr);
    window_open = false;
    if (!is_shapes(ty)) {
        expr_error(stmt.expr,
                   "expected shapes combined with `+`, `-`, `&`, `|` or `^`, found " + show(ty));
    }
    if (!stmt.join) {
        return;
    }
    expect(*stmt.join, Ty::string());
    const auto* word = std::get_if<Expr::Str>(&hir.expr(*stmt.join).kind);
    const std::string_view join = word ? hir.text(word->value) : std::string_view{};
    if (word && join != "miter" && join != "round" && join != "bevel") {
        expr_error(*stmt.join, "the join must be \"miter\", \"round\" or \"bevel\"");
    }
    if (!ty.is_unknown() && !has_offset(stmt.expr)) {
        expr_error(*stmt.join, "a join only applies to growing or shrinking by a distance, as in "
                               "`a + 2um, \"round\"`");
    }
    window.clear();
}

void Checker::assign(const Stmt::Assign& stmt) {
    const Ty value = infer(stmt.value);
    const Ty target = infer(stmt.target);
    const auto& kind = hir.expr(stmt.target).kind;
    if (std::holds_alternative<Expr::Missing>(kind)) {
        return;
    }
    if (const auto* name = std::get_if<Expr::Name>(&kind)) {
        if (name->res.is_unresolved()) {
            return;
        }
        const auto local = name->res.local();
        if (local && hir.bindings[*local].kind == hir::BindingKind::Define) {
            if (!assignable(value, target)) {
                expr_error(stmt.value, "cannot assign " + show(value) + " to `" +
                                           std::string(hir.text(hir.bindings[*local].name)) +
                                           "` of type " + show(target));
            }
            return;
        }
    }
    expr_error(stmt.target, "only variables declared with `define` can be assigned");
}

} // namespace quorvane_dsl::check
