// Parse results as compact texts for the parser tests.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "syntax/parser.hpp"

namespace quorvane_dsl::syntax::testing {

// The tree without trivia as KIND(children...), tokens by kind; e.g.
// "SOURCE_FILE(CELL(CELL_KW NAME(IDENT) L_BRACE R_BRACE))".
std::string shape_of(const SyntaxNode& node);
std::string shape_of(std::string_view text);

// Each error as "message@start..end".
std::vector<std::string> errors_of(std::string_view text);

} // namespace quorvane_dsl::syntax::testing
