#include "quote.hpp"

#include <algorithm>

#include "base/utf8.hpp"
#include "quote_tables.hpp"

namespace quorvane {
namespace {

constexpr char32_t replacement_char = 0xFFFD;

bool needs_unicode_escape(char32_t code) {
    const auto it = std::upper_bound(
        escaped_ranges.begin(), escaped_ranges.end(), code,
        [](char32_t value, const CodeRange& range) { return value < range.first; });
    return it != escaped_ranges.begin() && code <= std::prev(it)->last;
}

void append_unicode_escape(std::string& out, char32_t code) {
    constexpr char digits[] = "0123456789abcdef";
    char hex[8];
    int count = 0;
    do {
        hex[count++] = digits[code & 0xF];
        code >>= 4;
    } while (code != 0);
    out += "\\u{";
    while (count > 0) {
        out += hex[--count];
    }
    out += '}';
}

} // namespace

std::string quote_text(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 2);
    out += '"';
    for (std::size_t pos = 0; pos < text.size();) {
        const quorvane_dsl::base::utf8::Decoded decoded =
            quorvane_dsl::base::utf8::decode(text, pos);
        pos += decoded.len;
        const char32_t code =
            decoded.ch == quorvane_dsl::base::utf8::invalid_byte ? replacement_char : decoded.ch;
        switch (code) {
        case '\0':
            out += "\\0";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '"':
            out += "\\\"";
            break;
        default:
            if (needs_unicode_escape(code)) {
                append_unicode_escape(out, code);
            } else {
                quorvane_dsl::base::utf8::encode(out, code);
            }
        }
    }
    out += '"';
    return out;
}

} // namespace quorvane
