// Checking without a type per expression (as every command does) reports exactly what checking
// with them does and stores the same definition and binding types. A source that analyses without
// errors evaluates to a library exactly when evaluation reports no error, every diagnostic points
// into the source, evaluating for the diagnostics alone (as `check` does) reports exactly the same
// ones, and the library's IR text, when it prints, reads back to the same library. The evaluation
// limit is lowered so that loops end quickly.

#include <cstddef>
#include <cstdint>
#include <utility>

#include "analyse.hpp"
#include "check/check.hpp"
#include "diag/diag.hpp"
#include "eval/eval.hpp"
#include "fuzz.hpp"
#include "ir/ir.hpp"
#include "ir_round_trip.hpp"
#include "syntax/parser.hpp"

namespace check = quorvane_dsl::check;
namespace eval = quorvane_dsl::eval;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text = quorvane_fuzz::text_of(data, size);
    const auto analysis = quorvane_fuzz::analyse(text, quorvane_dsl::syntax::parser::parse(text));
    const check::Checked typed = check::check(analysis.hir);
    const check::Checked lean = check::check(analysis.hir, {.expr_types = false});
    QV_FUZZ_CHECK(
        lean.diagnostics == typed.diagnostics && lean.types.exprs.empty() &&
        lean.types.bindings == typed.types.bindings && lean.types.params == typed.types.params &&
        lean.types.attrs == typed.types.attrs && lean.types.consts == typed.types.consts &&
        lean.types.xs_params == typed.types.xs_params);
    if (quorvane_fuzz::has_error(analysis.hir.diagnostics)) {
        return 0;
    }
    const auto result =
        eval::evaluate(analysis, {.tops = {}, .step_limit = quorvane_fuzz::step_limit});
    QV_FUZZ_CHECK(result.library.has_value() != quorvane_fuzz::has_error(result.diagnostics));
    for (const quorvane_dsl::diag::Diagnostic& diagnostic : result.diagnostics) {
        QV_FUZZ_CHECK(diagnostic.src.range.start <= diagnostic.src.range.end &&
                      diagnostic.src.range.end <= text.size());
        (void)quorvane_dsl::diag::render(analysis.hir.files.files, diagnostic);
    }
    const auto alone = eval::evaluate(
        analysis, {.tops = {}, .step_limit = quorvane_fuzz::step_limit, .keep_library = false});
    QV_FUZZ_CHECK(alone.diagnostics == result.diagnostics && !alone.library);
    if (!result.library) {
        return 0;
    }
    const auto printed = quorvane_dsl::ir::print(*result.library);
    if (printed) {
        quorvane_fuzz::check_reads_back(*result.library, *printed);
    }
    return 0;
}
