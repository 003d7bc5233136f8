#include "eval/evaluator.hpp"

namespace quorvane_dsl::eval {

std::unexpected<Stop> Evaluator::fail(hir::Src src, std::string message) {
    diagnostics.push_back(diag::Diagnostic{std::move(message), {}, src, diag::Severity::Error});
    return std::unexpected(Stop{});
}

std::unexpected<Stop> Evaluator::fail_expr(hir::ExprId expr, std::string message) {
    return fail(hir.expr_src(expr), std::move(message));
}

void Evaluator::report_limit() {
    fail(limit_src, "evaluation limit exceeded (is a loop too large?)");
}

Result<void> Evaluator::count_step(hir::Src src) {
    // After the limit every step stops without a word, so the whole evaluation unwinds at once.
    if (limit_reached) {
        return std::unexpected(Stop{});
    }
    if (++steps > max_steps) {
        limit_reached = true;
        limit_src = src;
        report_limit();
        return std::unexpected(Stop{});
    }
    return {};
}

} // namespace quorvane_dsl::eval
