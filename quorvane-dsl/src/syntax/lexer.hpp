// The lexer: a text cut into tokens of kind and length, with its errors.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "syntax/kind.hpp"
#include "syntax/syntax_error.hpp"
#include "syntax/tree.hpp"
#include "units/units.hpp"

namespace quorvane_dsl::syntax::lexer {

// A token is only its length and kind: its offset is the sum of the lengths before it, so the
// tokens of a text tile it from 0 to its end.
struct Token {
    std::uint32_t len = 0;
    SyntaxKind kind = SyntaxKind::ERROR_TOKEN;

    friend bool operator==(const Token&, const Token&) = default;
};

struct Lexed {
    std::vector<Token> tokens;
    std::vector<SyntaxError> errors;
};

// Cuts the whole text into tokens; never stops early. A character that begins no token (and a
// byte that is not valid UTF-8) becomes an ERROR_TOKEN with an error beside it. The text must be
// shorter than 2^32 bytes.
Lexed lex(std::string_view text);

struct LexedColumns {
    TokenColumns tokens;
    std::vector<SyntaxError> errors;
};

// The same cut in the columns a syntax tree is made of.
LexedColumns lex_columns(std::string_view text);

struct NumberParts {
    std::string_view numeral;
    std::string_view unit; // empty when the number has none
};

// Cuts a NUMBER token's text before its first ASCII letter, "µ" or "μ". Checks nothing else.
NumberParts split_number(std::string_view text);

// String literals are read and written with the same escapes as every other value text.
using units::escape_string;
using units::unescape_string;

} // namespace quorvane_dsl::syntax::lexer
