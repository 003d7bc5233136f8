#include "units/units.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <vector>

#include "base/utf8.hpp"

namespace quorvane_dsl::units {

namespace {

struct UnitSuffix {
    std::string_view text;
    Unit unit;
};

constexpr std::array<UnitSuffix, 7> unit_suffixes = {{
    {"nm", Unit::Nanometre},
    {"um", Unit::Micrometre},
    {"\u00B5m", Unit::Micrometre},
    {"\u03BCm", Unit::Micrometre},
    {"mm", Unit::Millimetre},
    {"deg", Unit::Degree},
    {"rad", Unit::Radian},
}};

bool is_whole(double value) {
    return value - std::trunc(value) == 0.0;
}

// One exponent part of a dimension's text: nothing for 0, the bare name for 1.
void append_exponent(std::string& out, std::string_view name, int exponent) {
    if (exponent == 0) {
        return;
    }
    if (!out.empty()) {
        out += "\u00B7";
    }
    out += name;
    if (exponent != 1) {
        out += '^';
        out += std::to_string(exponent);
    }
}

// The shortest round-trip digits of a finite value, laid out positionally (never with an
// exponent); appended in place, as lengths are written by the million.
void append_positional(std::string& out, double value) {
    char buffer[32];
    const auto [end, ec] =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific);
    std::string_view text(buffer, ec == std::errc{} ? end : buffer);
    if (text.starts_with('-')) {
        out += '-';
        text.remove_prefix(1);
    }
    // d.ddd x 10^exponent: the digits without the point, then the exponent.
    char digits[32];
    int digit_count = 0;
    std::size_t at = 0;
    for (; at < text.size() && text[at] != 'e'; ++at) {
        if (text[at] != '.') {
            digits[digit_count++] = text[at];
        }
    }
    int exponent = 0;
    if (at < text.size()) {
        ++at;
        if (text[at] == '+') {
            ++at;
        }
        std::from_chars(text.data() + at, text.data() + text.size(), exponent);
    }
    const int integer_digits = exponent + 1;
    if (integer_digits <= 0) {
        out += "0.";
        out.append(static_cast<std::size_t>(-integer_digits), '0');
        out.append(digits, static_cast<std::size_t>(digit_count));
    } else if (integer_digits >= digit_count) {
        out.append(digits, static_cast<std::size_t>(digit_count));
        out.append(static_cast<std::size_t>(integer_digits - digit_count), '0');
    } else {
        out.append(digits, static_cast<std::size_t>(integer_digits));
        out += '.';
        out.append(digits + integer_digits, static_cast<std::size_t>(digit_count - integer_digits));
    }
}

// Texts that are not UTF-8 still compare character by character.
std::vector<char32_t> decode_all(std::string_view text) {
    std::vector<char32_t> chars;
    chars.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        const base::utf8::Decoded decoded = base::utf8::decode_lenient(text, at);
        chars.push_back(decoded.ch);
        at += decoded.len;
    }
    return chars;
}

} // namespace

std::optional<Unit> parse_unit(std::string_view text) {
    for (const UnitSuffix& suffix : unit_suffixes) {
        if (suffix.text == text) {
            return suffix.unit;
        }
    }
    return std::nullopt;
}

std::string dim_text(Dim dim) {
    if (dim == Dim{0, 0}) {
        return "number";
    }
    if (dim == Dim{1, 0}) {
        return "size";
    }
    if (dim == Dim{2, 0}) {
        return "area";
    }
    if (dim == Dim{0, 1}) {
        return "angle";
    }
    std::string out;
    append_exponent(out, "length", dim.length);
    append_exponent(out, "angle", dim.angle);
    return out;
}

void append_number(std::string& out, double value) {
    if (std::fabs(value) < 1e15 && is_whole(value)) {
        char buffer[24];
        const auto [end, ec] =
            std::to_chars(buffer, buffer + sizeof buffer, static_cast<std::int64_t>(value));
        out.append(buffer, end);
        return;
    }
    if (std::isnan(value)) {
        out += "NaN";
        return;
    }
    if (std::isinf(value)) {
        out += value < 0 ? "-inf" : "inf";
        return;
    }
    append_positional(out, value);
}

namespace {

// The number value / divisor followed by `unit`, where divisor is 10^(decimals - 1). Database
// coordinates and box centres are whole or half nanometres, so value = 5n / 10^decimals for an
// integer n: written from n's digits, which are exact and, at most 12 significant digits below
// 1e11, the same as the shortest round trip of the quotient. Other values take the general way.
// The text is made on the stack and appended once: a decompiled cell holds millions of them.
void append_scaled(std::string& out, double value, double divisor, int decimals,
                   std::string_view unit) {
    const double halves = value * 2.0;
    if (!(std::fabs(value) < 1e11 && is_whole(halves))) {
        append_number(out, value / divisor);
        out += unit;
        return;
    }
    const auto scaled = static_cast<std::int64_t>(halves) * 5;
    std::uint64_t one = 1;
    for (int i = 0; i < decimals; ++i) {
        one *= 10;
    }
    const std::uint64_t magnitude = static_cast<std::uint64_t>(scaled < 0 ? -scaled : scaled);
    // A sign, 13 digits, a point, 4 decimals and the unit at most.
    char buffer[32];
    char* at = buffer;
    if (scaled < 0) {
        *at++ = '-';
    }
    at = std::to_chars(at, buffer + sizeof buffer, magnitude / one).ptr;
    if (std::uint64_t fraction = magnitude % one; fraction != 0) {
        int digits = decimals;
        for (; fraction % 10 == 0; fraction /= 10) {
            --digits;
        }
        *at++ = '.';
        for (char* digit = at + digits; digit != at; fraction /= 10) {
            *--digit = static_cast<char>('0' + fraction % 10);
        }
        at += digits;
    }
    at = std::ranges::copy(unit, at).out;
    out.append(buffer, at);
}

} // namespace

std::string format_number(double value) {
    std::string out;
    append_number(out, value);
    return out;
}

void append_length(std::string& out, double nanometres) {
    if (nanometres == 0.0) {
        out += '0';
        return;
    }
    const double magnitude = std::fabs(nanometres);
    if (magnitude >= 1000000.0 && is_whole(nanometres / 1000000.0)) {
        append_number(out, nanometres / 1000000.0);
        out += "mm";
    } else if (magnitude >= 1000.0) {
        append_scaled(out, nanometres, 1000.0, 4, "um");
    } else {
        append_scaled(out, nanometres, 1.0, 1, "nm");
    }
}

std::string format_length(double nanometres) {
    std::string out;
    append_length(out, nanometres);
    return out;
}

std::string format_angle(double degrees) {
    if (degrees == 0.0) {
        return "0";
    }
    return format_number(degrees) + "deg";
}

// Bytes suffice: every byte that needs escaping is ASCII, and UTF-8 never uses ASCII values
// inside a multi-byte character.
std::string escape_string(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 2);
    out += '"';
    for (const char c : text) {
        switch (c) {
        case '\t':
            out += "\\t";
            break;
        case '\n':
            out += "\\n";
            break;
        // A raw carriage return would end the literal in the lexer.
        case '\r':
            out += "\\r";
            break;
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        default:
            out += c;
        }
    }
    out += '"';
    return out;
}

std::string unescape_string(std::string_view literal) {
    if (literal.starts_with('"')) {
        literal.remove_prefix(1);
    }
    if (literal.ends_with('"')) {
        literal.remove_suffix(1);
    }
    std::string out;
    out.reserve(literal.size());
    for (std::size_t at = 0; at < literal.size(); ++at) {
        if (literal[at] != '\\') {
            out += literal[at];
            continue;
        }
        if (++at == literal.size()) {
            break;
        }
        switch (literal[at]) {
        case 'n':
            out += '\n';
            break;
        case 't':
            out += '\t';
            break;
        case 'r':
            out += '\r';
            break;
        default:
            out += literal[at];
        }
    }
    return out;
}

std::size_t edit_distance(std::string_view a, std::string_view b) {
    const std::vector<char32_t> b_chars = decode_all(b);
    const std::size_t n = b_chars.size();
    std::vector<std::size_t> previous(n + 1);
    std::vector<std::size_t> current(n + 1);
    for (std::size_t j = 0; j <= n; ++j) {
        previous[j] = j;
    }
    std::size_t i = 0;
    // a's characters are taken as the rows go, not decoded into a list of their own.
    for (std::size_t at = 0; at < a.size();) {
        const base::utf8::Decoded decoded = base::utf8::decode_lenient(a, at);
        const char32_t a_char = decoded.ch;
        at += decoded.len;
        current[0] = ++i;
        for (std::size_t j = 0; j < n; ++j) {
            const std::size_t substitution = previous[j] + (a_char == b_chars[j] ? 0 : 1);
            current[j + 1] = std::min({previous[j + 1] + 1, current[j] + 1, substitution});
        }
        std::swap(previous, current);
    }
    return previous[n];
}

} // namespace quorvane_dsl::units
