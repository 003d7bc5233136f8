#include "geom/text.hpp"

#include <cstdint>
#include <string>

#include "base/utf8.hpp"
#include "geom/checks.hpp"
#include "geom/font.hpp"

namespace quorvane_dsl::geom {
namespace {

bool is_combining_mark(char32_t c) {
    return (c >= 0x0300 && c <= 0x036F) || (c >= 0x0483 && c <= 0x0489) ||
           (c >= 0x0591 && c <= 0x05BD) || (c >= 0x0610 && c <= 0x061A) ||
           (c >= 0x064B && c <= 0x065F) || (c >= 0x1AB0 && c <= 0x1AFF) ||
           (c >= 0x1DC0 && c <= 0x1DFF) || (c >= 0x20D0 && c <= 0x20FF) ||
           (c >= 0xFE20 && c <= 0xFE2F);
}

// Controls, separators other than the space, invisible format characters, private use and
// noncharacters have no glyph a reader could see in a message.
bool is_printable(char32_t c) {
    if (c < 0x20 || (c >= 0x7F && c <= 0xA0) || c == 0xAD) {
        return false;
    }
    if ((c >= 0x2000 && c <= 0x200F) || (c >= 0x2028 && c <= 0x202F) ||
        (c >= 0x205F && c <= 0x206F) || c == 0x1680 || c == 0x3000 || c == 0xFEFF) {
        return false;
    }
    if ((c >= 0xE000 && c <= 0xF8FF) || (c >= 0xFDD0 && c <= 0xFDEF) || (c & 0xFFFE) == 0xFFFE ||
        c >= 0xF0000 || c == base::utf8::invalid_byte) {
        return false;
    }
    return !is_combining_mark(c);
}

std::string hex(char32_t c) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string out;
    do {
        out.insert(out.begin(), digits[c & 0xF]);
        c >>= 4;
    } while (c != 0);
    return out;
}

// The character between single quotes, escaped where it would not show.
std::string quoted(std::string_view text, std::size_t pos, base::utf8::Decoded d) {
    std::string inner;
    if (d.ch == 0) {
        inner = "\\0";
    } else if (d.ch == '\t') {
        inner = "\\t";
    } else if (d.ch == '\r') {
        inner = "\\r";
    } else if (d.ch == base::utf8::invalid_byte) {
        inner = "\\u{fffd}";
    } else if (!is_printable(d.ch)) {
        inner = "\\u{" + hex(d.ch) + "}";
    } else {
        inner = std::string(text.substr(pos, d.len));
    }
    return "'" + inner + "'";
}

} // namespace

Built<LocalShape> text(std::string_view text, double size) {
    if (auto fault = check_positive("size", size)) {
        return std::unexpected(*fault);
    }
    const double p = size / 7;
    Group group;
    std::int64_t line = 0;
    std::int64_t column = 0;
    for (std::size_t pos = 0; pos < text.size();) {
        const base::utf8::Decoded d = base::utf8::decode(text, pos);
        if (d.ch == '\n') {
            ++line;
            column = 0;
            pos += d.len;
            continue;
        }
        if (!font::has_glyph(d.ch)) {
            return std::unexpected("unsupported character " + quoted(text, pos, d) +
                                   "; text supports printable ASCII and newlines");
        }
        pos += d.len;
        // Integer pixel counts are formed before they are scaled, so that equal pixel positions
        // give equal coordinates wherever they occur.
        const double x = p * static_cast<double>(6 * column);
        const double y = p * static_cast<double>(11 * line);
        for (const font::PixelBox& b : font::boxes_of(d.ch)) {
            const double top = p * static_cast<double>(7 - static_cast<std::int64_t>(b.row)) - y;
            group.members.push_back(
                {BBox{x + p * b.column, top - p * b.height, x + p * (b.column + b.width), top}});
        }
        ++column;
    }
    if (group.members.empty()) {
        return std::unexpected("the text has nothing to draw");
    }
    return shape_of({std::move(group)});
}

} // namespace quorvane_dsl::geom
