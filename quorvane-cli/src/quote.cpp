#include "quote.hpp"

#include <algorithm>

#include "base/utf8.hpp"
#include "quote_tables.hpp"

namespace quorvane {
namespace {

constexpr char32_t replacement_char = 0xFFFD;

// Decodes one UTF-8 character at `pos` and advances past it; a malformed sequence yields the
// replacement character and consumes one byte.
char32_t decode_utf8(std::string_view text, std::size_t& pos) {
    const auto lead = static_cast<unsigned char>(text[pos]);
    const int length = lead < 0x80           ? 1
                       : (lead >> 5) == 0x6  ? 2
                       : (lead >> 4) == 0xE  ? 3
                       : (lead >> 3) == 0x1E ? 4
                                             : 0;
    if (length == 0 || pos + length > text.size()) {
        ++pos;
        return replacement_char;
    }
    char32_t code = length == 1 ? lead : lead & (0x7F >> length);
    for (int i = 1; i < length; ++i) {
        const auto next = static_cast<unsigned char>(text[pos + i]);
        if ((next & 0xC0) != 0x80) {
            ++pos;
            return replacement_char;
        }
        code = (code << 6) | (next & 0x3F);
    }
    pos += length;
    return code;
}

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
        const char32_t code = decode_utf8(text, pos);
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
                quorvane_dsl::syntax::utf8::append(out, code);
            }
        }
    }
    out += '"';
    return out;
}

} // namespace quorvane
