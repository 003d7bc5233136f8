#include "ir/scan.hpp"

#include <charconv>
#include <cstdlib>
#include <string>

namespace quorvane_dsl::ir::scan {

namespace {

// Code points of the White_Space property above ASCII, as UTF-8.
constexpr std::string_view wide_spaces[] = {"\u0085", "\u00A0", "\u1680", "\u2000", "\u2001",
                                            "\u2002", "\u2003", "\u2004", "\u2005", "\u2006",
                                            "\u2007", "\u2008", "\u2009", "\u200A", "\u2028",
                                            "\u2029", "\u202F", "\u205F", "\u3000"};

bool ascii_space(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

template <typename T> std::optional<T> read_integer(std::string_view text, bool allow_minus) {
    const bool plus = !text.empty() && text[0] == '+';
    if (plus) {
        text.remove_prefix(1);
    }
    const bool minus = !text.empty() && text[0] == '-';
    if (text.empty() || text[0] == '+' || (minus && (plus || !allow_minus))) {
        return std::nullopt;
    }
    T value{};
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc{} || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

// The length in bytes of the white space at the start of `text`, 0 when there is none.
std::size_t space_at(std::string_view text) {
    if (text.empty()) {
        return 0;
    }
    if (ascii_space(text[0])) {
        return 1;
    }
    if (static_cast<unsigned char>(text[0]) < 0x80) {
        return 0;
    }
    for (std::string_view space : wide_spaces) {
        if (text.starts_with(space)) {
            return space.size();
        }
    }
    return 0;
}

} // namespace

std::size_t space_before(std::string_view text) {
    if (text.empty()) {
        return 0;
    }
    if (ascii_space(text.back())) {
        return 1;
    }
    for (std::string_view space : wide_spaces) {
        if (text.ends_with(space)) {
            return space.size();
        }
    }
    return 0;
}

std::string_view trim(std::string_view text) {
    while (std::size_t n = space_at(text)) {
        text.remove_prefix(n);
    }
    while (std::size_t n = space_before(text)) {
        text.remove_suffix(n);
    }
    return text;
}

std::vector<std::string_view> fields(std::string_view text) {
    std::vector<std::string_view> out;
    std::size_t i = 0;
    while (i < text.size()) {
        if (std::size_t n = space_at(text.substr(i))) {
            i += n;
            continue;
        }
        const std::size_t start = i;
        while (i < text.size() && space_at(text.substr(i)) == 0) {
            ++i;
        }
        out.push_back(text.substr(start, i - start));
    }
    return out;
}

std::optional<std::int64_t> read_i64(std::string_view text) {
    return read_integer<std::int64_t>(text, true);
}

std::optional<std::int32_t> read_i32(std::string_view text) {
    return read_integer<std::int32_t>(text, true);
}

std::optional<std::uint32_t> read_u32(std::string_view text) {
    return read_integer<std::uint32_t>(text, false);
}

std::optional<std::uint64_t> read_u64(std::string_view text) {
    return read_integer<std::uint64_t>(text, false);
}

std::optional<double> read_f64(std::string_view text) {
    bool negative = false;
    if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
        negative = text[0] == '-';
        text.remove_prefix(1);
    }
    // from_chars also takes "nan(chars)", which is not a decimal number text.
    if (text.empty() || text[0] == '+' || text[0] == '-' ||
        text.find('(') != std::string_view::npos) {
        return std::nullopt;
    }
    double value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (end != text.data() + text.size()) {
        return std::nullopt;
    }
    if (ec == std::errc::result_out_of_range) {
        // Out of range saturates: tiny values become zero, huge ones infinity. Whether the text
        // is tiny or huge depends on its digits as well as its exponent (0.000...1 has none), so
        // the C library, which saturates the same way, decides; the text is known to be a plain
        // decimal by now.
        value = std::strtod(std::string(text).c_str(), nullptr);
    } else if (ec != std::errc{}) {
        return std::nullopt;
    }
    return negative ? -value : value;
}

} // namespace quorvane_dsl::ir::scan
