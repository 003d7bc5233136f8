#pragma once

// Strict UTF-8 decoding, encoding, and the white space shared by every reader of text.

#include <cstddef>
#include <cstdint>
#include <string>
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

// Appends the UTF-8 encoding of one Unicode scalar value.
inline void append(std::string& out, char32_t ch) {
    if (ch < 0x80) {
        out += static_cast<char>(ch);
    } else if (ch < 0x800) {
        out += static_cast<char>(0xC0 | (ch >> 6));
        out += static_cast<char>(0x80 | (ch & 0x3F));
    } else if (ch < 0x10000) {
        out += static_cast<char>(0xE0 | (ch >> 12));
        out += static_cast<char>(0x80 | ((ch >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (ch & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (ch >> 18));
        out += static_cast<char>(0x80 | ((ch >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((ch >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (ch & 0x3F));
    }
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

} // namespace quorvane_dsl::syntax::utf8
