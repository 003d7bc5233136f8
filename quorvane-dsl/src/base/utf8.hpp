#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace quorvane_dsl::syntax::utf8 {

// Stands for a byte that does not begin a well-formed UTF-8 sequence. It is no character at all,
// so it never counts as white space, a letter or punctuation.
inline constexpr char32_t invalid_byte = 0xFFFFFFFF;

struct Decoded {
    char32_t ch;
    std::uint32_t len;
};

// Decodes one well-formed UTF-8 character at `pos` (no overlong forms, no surrogates, nothing
// above U+10FFFF); anything else is one invalid byte.
inline Decoded decode(std::string_view text, std::size_t pos) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[pos + i]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80) {
        return {lead, 1};
    }
    const std::uint32_t len = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
    if (len == 0 || lead > 0xF4 || pos + len > text.size()) {
        return {invalid_byte, 1};
    }
    char32_t ch = lead & (0x7F >> len);
    for (std::uint32_t i = 1; i < len; ++i) {
        if ((byte(i) & 0xC0) != 0x80) {
            return {invalid_byte, 1};
        }
        ch = (ch << 6) | (byte(i) & 0x3F);
    }
    constexpr char32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (ch < smallest[len] || ch > 0x10FFFF || (ch >= 0xD800 && ch <= 0xDFFF)) {
        return {invalid_byte, 1};
    }
    return {ch, len};
}

// White space as the language sees it: the Unicode White_Space characters.
inline bool is_white_space(char32_t c) {
    return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F ||
           c == 0x205F || c == 0x3000;
}

inline bool is_valid(std::string_view text) {
    for (std::size_t pos = 0; pos < text.size();) {
        const Decoded decoded = decode(text, pos);
        if (decoded.ch == invalid_byte) {
            return false;
        }
        pos += decoded.len;
    }
    return true;
}

// The number of characters; each byte outside a well-formed sequence counts as one.
inline std::size_t char_count(std::string_view text) {
    std::size_t count = 0;
    for (std::size_t pos = 0; pos < text.size(); pos += decode(text, pos).len) {
        ++count;
    }
    return count;
}

} // namespace quorvane_dsl::syntax::utf8
