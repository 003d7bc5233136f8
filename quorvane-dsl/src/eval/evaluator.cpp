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

} // namespace quorvane_dsl::eval
