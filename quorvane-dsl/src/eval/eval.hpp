// The evaluator's entry: an analysed design in, its layout library and diagnostics out.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "analysis.hpp"
#include "diag/diag.hpp"
#include "ir/model.hpp"

namespace quorvane_dsl::eval {

// The most steps (statements executed plus expressions evaluated) one evaluation may take.
inline constexpr std::uint64_t step_limit = 20'000'000;

struct EvalOptions {
    std::vector<std::string> tops; // every --top value in command-line order
    // Lowered where many small evaluations must each end quickly (fuzzing).
    std::uint64_t step_limit = eval::step_limit;
    // False when only the diagnostics are wanted: every shape is still made and checked, but a
    // built cell keeps only what the cells placing it read (its name, values and markers), and
    // the library is neither finished nor handed back.
    bool keep_library = true;
};

struct EvalResult {
    std::optional<ir::Library> library; // none when evaluation reported an error or none is kept
    std::vector<diag::Diagnostic> diagnostics;
};

// Builds the requested top cells, or the root file's cells that nothing places, and every cell
// they place. An analysis that holds an error gives no library and no diagnostics.
EvalResult evaluate(const Analysis& analysis, const EvalOptions& options);

} // namespace quorvane_dsl::eval
