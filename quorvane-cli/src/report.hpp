// Syntax errors printed as diagnostics on standard error.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "analysis.hpp"
#include "syntax/syntax_error.hpp"

namespace quorvane {

// Renders every syntax error of one file, in list order, as an error diagnostic on standard
// error; `path` is named in the location lines as given.
void print_syntax_errors(const std::string& path, std::string_view text,
                         std::span<const quorvane_dsl::syntax::SyntaxError> errors);

// Renders every diagnostic of the analysis, in order, on standard error; true when none is an
// error.
bool report(const quorvane_dsl::Analysis& analysis);

} // namespace quorvane
