#include <utility>

#include "base/overload.hpp"
#include "eval/evaluator.hpp"

namespace quorvane_dsl::eval {

using base::Overload;

void Evaluator::exec(hir::StmtId stmt, Env& env, CellState& cell) {
    const hir::Src src = hir.stmt_src(stmt);
    if (!count_step(src)) {
        return;
    }
    (void)deeper(src, [&]() -> Result<void> {
        exec_kind(stmt, env, cell);
        return {};
    });
}

void Evaluator::exec_body(const hir::Body& body, Env& env, CellState& cell) {
    for (hir::StmtId stmt : hir.body(body)) {
        exec(stmt, env, cell);
    }
}

std::optional<ShapeId> Evaluator::name_shape(hir::BindingId binding,
                                             std::optional<hir::LayerId> layer, Env& env,
                                             CellState& cell) {
    const hir::Binding& b = hir.bindings[binding];
    if (b.recorded) {
        // The builder's pre-pass registered every cell-level shape name.
        const auto found = cell.bindings.find(binding);
        if (found == cell.bindings.end()) {
            return std::nullopt;
        }
        const auto* shape = std::get_if<Value::Shape>(&found->second.kind);
        return shape ? std::optional(shape->id) : std::nullopt;
    }
    const ShapeId id = cell.new_shape(std::string(hir.text(b.name)), b.src, layer);
    env.set(binding, Value{Value::Shape{id}});
    return id;
}

void Evaluator::exec_kind(hir::StmtId stmt, Env& env, CellState& cell) {
    std::visit(
        Overload{
            [&](const hir::Stmt::LayerBlock& block) { exec_body(block.body, env, cell); },
            [&](const hir::Stmt::PlaceBlock& block) { exec_body(block.body, env, cell); },
            [&](const hir::Stmt::Shape& shape) { exec_shape(stmt, shape, env, cell); },
            [&](const hir::Stmt::ShapeExpr& shape) { exec_shape_expr(shape, env, cell); },
            [&](const hir::Stmt::Clone& clone) { exec_clone(stmt, clone, env, cell); },
            [&](const hir::Stmt::Place& place_stmt) { (void)place(stmt, place_stmt, env, cell); },
            [&](const hir::Stmt::Define& define) {
                if (auto v = eval(define.value, env, &cell)) {
                    env.set(define.binding, std::move(*v));
                }
            },
            [&](const hir::Stmt::Assign& assign) { exec_assign(assign, env, cell); },
            [&](const hir::Stmt::Expr& expr) { (void)eval(expr.expr, env, &cell); },
            [&](const hir::Stmt::For& loop) { exec_for(stmt, loop, env, cell); },
            [&](const hir::Stmt::If& branch) { exec_if(branch, env, cell); },
        },
        hir.stmt(stmt).kind);
}

void Evaluator::exec_assign(const hir::Stmt::Assign& assign, Env& env, CellState& cell) {
    auto v = eval(assign.value, env, &cell);
    if (!v) {
        return;
    }
    const auto* name = std::get_if<hir::Expr::Name>(&hir.expr(assign.target).kind);
    const auto binding = name ? name->res.local() : std::nullopt;
    if (!binding) {
        fail_expr(assign.target, "cannot assign here");
        return;
    }
    env.set(*binding, std::move(*v));
}

void Evaluator::exec_for(hir::StmtId stmt, const hir::Stmt::For& loop, Env& env, CellState& cell) {
    auto iterated = eval(loop.iter, env, &cell);
    if (!iterated) {
        return;
    }
    const hir::Src src = hir.stmt_src(stmt);
    const auto run = [&](Value element) {
        // An iteration is a step of its own, so loops whose bodies take none still end.
        if (!count_step(src)) {
            return false;
        }
        env.set(loop.binding, std::move(element));
        exec_body(loop.body, env, cell);
        // Past the evaluation limit every further iteration would stop at once; end here.
        return !limit_reached;
    };
    if (const auto* list = std::get_if<Value::List>(&iterated->kind)) {
        // By position: the body may append to the list, which may move its elements.
        for (std::size_t i = 0; i < list->size; ++i) {
            if (!run((*list->items)[i])) {
                return;
            }
        }
        return;
    }
    if (const auto* range = std::get_if<Value::Range>(&iterated->kind)) {
        // Counted one by one, never expanded: the evaluation limit bounds a huge range.
        for (std::int64_t i = range->start; i < range->end; ++i) {
            if (!run(Value::integer(i))) {
                return;
            }
        }
        return;
    }
    fail_expr(loop.iter, "cannot iterate over " + std::string(iterated->describe()));
}

void Evaluator::exec_if(const hir::Stmt::If& branch, Env& env, CellState& cell) {
    auto cond = eval(branch.cond, env, &cell);
    if (!cond) {
        return;
    }
    const auto* b = std::get_if<Value::Bool>(&cond->kind);
    if (!b) {
        fail_expr(branch.cond, "`if` needs a bool, found " + std::string(cond->describe()));
        return;
    }
    exec_body(b->value ? branch.then_body : branch.else_body, env, cell);
}

} // namespace quorvane_dsl::eval
