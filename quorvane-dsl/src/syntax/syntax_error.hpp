#pragma once

#include "source/location.hpp"

#include <string>

namespace quorvane_dsl::syntax {

// A fault found by the lexer or the parser; neither stops at one.
struct SyntaxError {
    std::string message;
    source::TextRange range;

    friend bool operator==(const SyntaxError&, const SyntaxError&) = default;
};

} // namespace quorvane_dsl::syntax
