// UTF-8 for every scanner: strict and lenient decoding, validation, character counts, prefixes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace quorvane_dsl::base::utf8 {

// Stands for a byte that does not begin a well-formed UTF-8 sequence. It is no character at all,
// so it never counts as white space, a letter or punctuation.
inline constexpr char32_t invalid_byte = 0xFFFFFFFF;

struct Decoded {
    char32_t ch;
    std::uint32_t len;
};

inline bool is_continuation(char byte) {
    return (static_cast<unsigned char>(byte) & 0xC0) == 0x80;
}

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
        if (!is_continuation(static_cast<char>(byte(i)))) {
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

// Like `decode`, but an invalid byte stands for itself above the scalar range (0x110000 plus the
// byte), so texts that are not UTF-8 still compare character by character and an invalid byte
// equals only the same byte.
inline Decoded decode_lenient(std::string_view text, std::size_t pos) {
    const Decoded decoded = decode(text, pos);
    if (decoded.ch == invalid_byte) {
        return {static_cast<char32_t>(0x110000 + static_cast<unsigned char>(text[pos])), 1};
    }
    return decoded;
}

// The character that ends the text; an invalid byte when the text does not end in a whole one
// (or is empty).
inline Decoded decode_last(std::string_view text) {
    for (std::size_t back = 1; back <= 4 && back <= text.size(); ++back) {
        const std::size_t start = text.size() - back;
        if (!is_continuation(text[start])) {
            const Decoded decoded = decode(text, start);
            return decoded.len == back ? decoded : Decoded{invalid_byte, 1};
        }
    }
    return {invalid_byte, 1};
}

// Appends the UTF-8 form of a Unicode scalar value.
inline void encode(std::string& out, char32_t ch) {
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
constexpr bool is_white_space(char32_t c) {
    return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F ||
           c == 0x205F || c == 0x3000;
}

// The text without the white space at its end.
inline std::string_view trim_end(std::string_view text) {
    for (Decoded last = decode_last(text); is_white_space(last.ch); last = decode_last(text)) {
        text.remove_suffix(last.len);
    }
    return text;
}

// The text without the white space at its start and end.
inline std::string_view trim(std::string_view text) {
    for (Decoded first; !text.empty() && is_white_space((first = decode(text, 0)).ch);) {
        text.remove_prefix(first.len);
    }
    return trim_end(text);
}

inline bool is_valid(std::string_view text) {
    for (std::size_t pos = 0; pos < text.size();) {
        // Sources are mostly ASCII: eight bytes without a top bit are eight whole characters.
        if (pos + 8 <= text.size()) {
            std::uint64_t word = 0;
            std::memcpy(&word, text.data() + pos, 8);
            if ((word & 0x8080808080808080) == 0) {
                pos += 8;
                continue;
            }
        }
        const Decoded decoded = decode(text, pos);
        if (decoded.ch == invalid_byte) {
            return false;
        }
        pos += decoded.len;
    }
    return true;
}

// Whether a character starts at `index` (the end of the text counts as one).
inline bool is_char_boundary(std::string_view text, std::size_t index) {
    return index == text.size() || (index < text.size() && !is_continuation(text[index]));
}

// Characters in the text; every invalid byte counts as one.
inline std::size_t char_count(std::string_view text) {
    std::size_t count = 0;
    for (std::size_t pos = 0; pos < text.size(); ++count) {
        pos += decode(text, pos).len;
    }
    return count;
}

// The first `count` characters of the text (all of it when it has fewer).
inline std::string_view char_prefix(std::string_view text, std::size_t count) {
    std::size_t end = 0;
    for (std::size_t seen = 0; end < text.size() && seen < count; ++seen) {
        end += decode(text, end).len;
    }
    return text.substr(0, end);
}

} // namespace quorvane_dsl::base::utf8
