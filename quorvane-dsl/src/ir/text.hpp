// The IR text format: printing a library and parsing it back.
#pragma once

// The line-oriented IR text: "quorvane-ir 1", the dbu, the layers, one block per cell and the
// top cells.

#include <cstdint>
#include <expected>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "ir/model.hpp"

namespace quorvane_dsl::ir {

// The whole IR text of a library. Refused (with the reason) when a value cannot be written in
// a form that reads back: an infinite length would come back as the name `infum`. So is a name
// the reader would split, end early or read as another (white space, control characters,
// braces, an empty name, a `.` in an instance named by a port).
std::expected<std::string, std::string> print(const Library& library);

// The first parameter, attribute or marker attribute of the cell holding a number that is not
// finite, described ("param `w` holds the number inf, which has no literal"): neither text nor
// GDSII metadata can carry it.
std::optional<std::string> unwritable_value(const Cell& cell);

// Whether IR text carries the name as it is: a control character (C0, DEL or C1) would end or
// split a line, so the name would come back as another.
bool carries_name(std::string_view name);

// Whether a writer carries a name as it is.
using Carries = bool (*)(std::string_view name);

// The first name or text of the cell that `carries` refuses, described ("cell name `a\x00b`",
// "attribute `k` of marker `p`"); the writer refuses the cell for it.
std::optional<std::string> uncarried_name(const Cell& cell, Carries carries);

// The name with the control characters that `carries_name` refuses spelled out byte by byte
// (\x09, \xc2\x85), so that it cannot break the line of a message that names it.
std::string spelled_out(std::string_view name);

// The name spelled out, in backticks.
std::string shown(std::string_view name);

// Points as "(x,y)" joined by single spaces.
std::string points_text(std::span<const Point> points);

struct ParseError {
    std::string message;
    std::uint64_t line = 0;

    // "line N: message"
    std::string text() const;
};

// Byte range of a cell's name in the text.
struct Span {
    std::uint64_t start = 0;
    std::uint64_t end = 0;
    bool operator==(const Span&) const = default;
};

struct ParsedLibrary {
    Library library;
    std::vector<Span> spans;
};

using CellNames = std::unordered_map<std::string_view, std::uint64_t>;

std::expected<ParsedLibrary, ParseError> parse_with_spans(std::string_view text);
std::expected<Library, ParseError> parse(std::string_view text);

// The rest of an `inst` line; the message has no line number yet.
std::expected<Instance, std::string> parse_instance(std::string_view rest, const CellNames& names);
std::optional<Marker> parse_marker(std::string_view rest);
// "(a,b,...)" of integers.
std::optional<std::vector<std::int64_t>> parse_tuple(std::string_view field);

} // namespace quorvane_dsl::ir
