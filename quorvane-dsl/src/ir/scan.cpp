#include "ir/scan.hpp"

#include <charconv>
#include <cstdlib>
#include <string>

#include "base/utf8.hpp"

namespace quorvane_dsl::ir::scan {

namespace {

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
    const base::utf8::Decoded first = base::utf8::decode(text, 0);
    return base::utf8::is_white_space(first.ch) ? first.len : 0;
}

} // namespace

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
