// Units, dimensions and the one text form of numbers, lengths, angles and strings.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// How quantities and strings are read from suffixes and written as text. Every writer of
// values (IR text, GDSII metadata, signatures, decompiled source, netlists, messages) goes
// through these functions so that a value always prints the same way.
namespace quorvane_dsl::units {

// Number suffixes; lengths scale to nanometres, angles to degrees.
enum class Unit : std::uint8_t { Nanometre, Micrometre, Millimetre, Degree, Radian };

enum class UnitKind : std::uint8_t { Length, Angle };

inline constexpr std::size_t unit_count = 5;

// Indexed by the value of `Unit`; the radian factor is 180 / pi as an f64.
inline constexpr std::array<double, unit_count> unit_scale_factors = {1.0, 1000.0, 1000000.0, 1.0,
                                                                      57.29577951308232};

constexpr double scale_factor(Unit unit) {
    return unit_scale_factors[static_cast<std::size_t>(unit)];
}

constexpr UnitKind unit_kind(Unit unit) {
    return unit == Unit::Degree || unit == Unit::Radian ? UnitKind::Angle : UnitKind::Length;
}

// The unit whose suffix is exactly `text` (byte for byte, case-sensitive). Micrometres are
// also written with the micro sign or the Greek mu in place of the u.
std::optional<Unit> parse_unit(std::string_view text);

// The dimension of a quantity: exponents of length and angle.
struct Dim {
    std::int8_t length = 0;
    std::int8_t angle = 0;
    friend bool operator==(Dim, Dim) = default;
};

// "number", "size", "area", "angle", or the exponents joined by a middle dot,
// e.g. "length^2·angle".
std::string dim_text(Dim dim);

// Integral values below 1e15 as integers; everything else as the shortest round-trip digits,
// laid out positionally (never an exponent). "NaN", "inf" and "-inf" for the non-finite.
std::string format_number(double value);
// The same text appended to `out`.
void append_number(std::string& out, double value);

// "0" for zero, whole millimetres in mm, else um from 1000 nm, else nm.
std::string format_length(double nanometres);
// The same text appended to `out`.
void append_length(std::string& out, double nanometres);

// "0" for zero, else the number followed by "deg".
std::string format_angle(double degrees);

// The text as a string literal, quotes included. Tab, line feed, carriage return, the double
// quote and the backslash are escaped, so the literal never spans a line break.
std::string escape_string(std::string_view text);

// The value of a string literal given with its quotes: \n, \t and \r stand for line feed,
// tab and carriage return; a backslash before any other character stands for that character.
std::string unescape_string(std::string_view literal);

// Levenshtein distance counted in Unicode scalar values.
std::size_t edit_distance(std::string_view a, std::string_view b);

} // namespace quorvane_dsl::units
