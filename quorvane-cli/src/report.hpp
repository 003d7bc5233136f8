// Syntax errors printed as diagnostics on standard error.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "analysis.hpp"
#include "ir/model.hpp"
#include "syntax/syntax_error.hpp"

namespace quorvane {

// Renders every syntax error of one file, in list order, as an error diagnostic on standard
// error; `path` is named in the location lines as given. Past 100 errors in a file one line says
// how many more there were.
void print_syntax_errors(const std::string& path, std::string_view text,
                         std::span<const quorvane_dsl::syntax::SyntaxError> errors);

// Renders every diagnostic of the analysis, in order, on standard error, errors up to the same
// limit per file; true when none is an error.
bool report(const quorvane_dsl::Analysis& analysis);

// Runs the evaluator on a clean analysis with these top-cell names (none: the default tops),
// renders its diagnostics on standard error in its order, and hands back its library, if any.
std::optional<quorvane_dsl::ir::Library> evaluate(const quorvane_dsl::Analysis& analysis,
                                                  std::vector<std::string> tops);

// Runs the evaluator as `evaluate` does for its diagnostics alone, keeping no library; true when
// none is an error.
bool evaluate_for_diagnostics(const quorvane_dsl::Analysis& analysis,
                              std::vector<std::string> tops);

} // namespace quorvane
