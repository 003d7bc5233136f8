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

// Shortest round-trip digits with their decimal exponent: value = d.ddd x 10^exponent.
struct ShortestDigits {
    bool negative = false;
    std::string digits;
    int exponent = 0;
};

ShortestDigits shortest_digits(double value) {
    char buffer[32];
    const auto [end, ec] =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific);
    const std::string_view text(buffer, ec == std::errc{} ? end : buffer);
    ShortestDigits result;
    std::size_t at = 0;
    if (at < text.size() && text[at] == '-') {
        result.negative = true;
        ++at;
    }
    for (; at < text.size() && text[at] != 'e'; ++at) {
        if (text[at] != '.') {
            result.digits += text[at];
        }
    }
    if (at < text.size()) {
        ++at;
        if (text[at] == '+') {
            ++at;
        }
        std::from_chars(text.data() + at, text.data() + text.size(), result.exponent);
    }
    return result;
}

std::string positional(const ShortestDigits& number) {
    std::string out = number.negative ? "-" : "";
    const auto digit_count = static_cast<int>(number.digits.size());
    const int integer_digits = number.exponent + 1;
    if (integer_digits <= 0) {
        out += "0.";
        out.append(static_cast<std::size_t>(-integer_digits), '0');
        out += number.digits;
    } else if (integer_digits >= digit_count) {
        out += number.digits;
        out.append(static_cast<std::size_t>(integer_digits - digit_count), '0');
    } else {
        out.append(number.digits, 0, static_cast<std::size_t>(integer_digits));
        out += '.';
        out.append(number.digits, static_cast<std::size_t>(integer_digits));
    }
    return out;
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

std::string format_number(double value) {
    if (std::fabs(value) < 1e15 && is_whole(value)) {
        return std::to_string(static_cast<std::int64_t>(value));
    }
    if (std::isnan(value)) {
        return "NaN";
    }
    if (std::isinf(value)) {
        return value < 0 ? "-inf" : "inf";
    }
    return positional(shortest_digits(value));
}

std::string format_length(double nanometres) {
    if (nanometres == 0.0) {
        return "0";
    }
    const double magnitude = std::fabs(nanometres);
    if (magnitude >= 1000000.0 && is_whole(nanometres / 1000000.0)) {
        return format_number(nanometres / 1000000.0) + "mm";
    }
    if (magnitude >= 1000.0) {
        return format_number(nanometres / 1000.0) + "um";
    }
    return format_number(nanometres) + "nm";
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
    for (const char32_t a_char : decode_all(a)) {
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
