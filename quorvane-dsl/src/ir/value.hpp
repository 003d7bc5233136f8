// Stored values of the IR and their literal syntax.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "syntax/kind.hpp"
#include "units/units.hpp"

namespace quorvane_dsl::ir {

struct Value;

// Where a literal stands in IR text: alone up to the end of its line (a param or attr line), or
// with more text after it (a marker's attribute braces). The dimension comment of a number,
// "2500 # area", would hide that text from the reader, so there, as inside lists and named values,
// the number is written alone, which is all the commented form reads back as.
enum class Stored { ToTheEnd, AmongText };

// A parameter, attribute or named argument: a name and its value.
using NamedValue = std::pair<std::string, Value>;

// What the IR keeps as a parameter, attribute or marker attribute. Lengths are in nanometres and
// angles in degrees, raised to the exponents of their dimension.
struct Value {
    struct Int {
        std::int64_t value = 0;
        bool operator==(const Int&) const = default;
    };
    struct Number {
        double value = 0;
        units::Dim dim{};
        bool operator==(const Number&) const = default;
    };
    struct String {
        std::string text;
        bool operator==(const String&) const = default;
    };
    struct Bool {
        bool value = false;
        bool operator==(const Bool&) const = default;
    };
    struct Point {
        double x = 0;
        double y = 0;
        double angle = 0;
        bool operator==(const Point&) const = default;
    };
    struct List {
        std::vector<Value> items;
        bool operator==(const List&) const;
    };
    struct Named {
        std::string name;
        std::vector<NamedValue> args;
        bool operator==(const Named&) const;
    };

    std::variant<Int, Number, String, Bool, Point, List, Named> kind;

    bool operator==(const Value&) const = default;

    // The value in the source language's literal syntax. A number whose dimension has no
    // literal is written with its dimension as a trailing comment: "2500 # area".
    std::string to_literal() const;
    // The literal as IR text stores it, for its reader to take back: a dimension comment only
    // where nothing follows it on the line.
    std::string stored_literal(Stored where) const;
    // The value a whole literal text spells; a trailing comment is ignored.
    static std::optional<Value> parse_literal(std::string_view text);
};

// Literals nest at most this deep; deeper texts read as no value rather than exhausting the stack.
inline constexpr std::size_t max_literal_depth = 200;

// One significant token of a literal: its kind and its text.
struct Token {
    syntax::kind::SyntaxKind kind;
    std::string_view text;
};

// Reads one value from `tokens` at `pos` and moves `pos` past it; nothing when the tokens spell
// no value (then `pos` is left where reading stopped).
std::optional<Value> parse_value(std::span<const Token> tokens, std::size_t& pos);

// The significant tokens of a text (white space and comments dropped), or nothing when the lexer
// reports an error. With `stop_at_comment` everything from the first comment on is dropped.
std::optional<std::vector<Token>> literal_tokens(std::string_view text, bool stop_at_comment);

// Whether the brackets of a token list nest deeper than a literal may.
bool nests_too_deep(std::span<const Token> tokens);

// The first number inside `value` that is not finite, described ("the number inf"): its text
// would read back as a name or not at all.
std::optional<std::string> unwritable_number(const Value& value);

} // namespace quorvane_dsl::ir
