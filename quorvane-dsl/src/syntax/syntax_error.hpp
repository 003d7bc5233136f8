// A syntax error: a message and the byte range it points at.
#pragma once

#include <string>

#include "source/location.hpp"

namespace quorvane_dsl::syntax {

// A fault found by the lexer or the parser; neither stops at one.
struct SyntaxError {
    std::string message;
    source::TextRange range;

    friend bool operator==(const SyntaxError&, const SyntaxError&) = default;
};

} // namespace quorvane_dsl::syntax
