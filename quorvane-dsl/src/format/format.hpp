// The source formatter: a text in the canonical layout of the language.
#pragma once

#include <expected>
#include <string>
#include <string_view>
#include <vector>

#include "syntax/syntax_error.hpp"
#include "syntax/tree.hpp"

namespace quorvane_dsl::format {

// The text in the canonical layout of the language, or, when the text has any syntax error,
// that whole list of errors in the parse's order and no text at all. Every token and comment
// is kept in order and on its line; only the space between tokens changes, apart from short
// one-statement blocks that are joined onto one line.
std::expected<std::string, std::vector<syntax::SyntaxError>> format(std::string_view text);

// The canonical layout of a parsed SOURCE_FILE tree that holds no syntax errors.
std::string format_node(const syntax::SyntaxNode& root);

} // namespace quorvane_dsl::format
