// The 5x7 pixel font: glyph rows and the boxes their lit pixels merge into.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace quorvane_dsl::geom::font {

// A rectangle of lit pixels of one glyph: left column, top row (counted downward from the top
// row, 0 to 8), width and height in pixels.
struct PixelBox {
    std::uint32_t column = 0;
    std::uint32_t row = 0;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    friend bool operator==(PixelBox, PixelBox) = default;
};

// Whether the font has a glyph for the character: printable ASCII, space included.
constexpr bool has_glyph(char32_t c) {
    return c >= 32 && c <= 126;
}

// Rows of "#" (lit) and "." joined by "/", top row first; 9 rows for glyphs with descenders.
std::string_view glyph(char32_t c);

// Runs of lit pixels that repeat unchanged in consecutive rows merge into one box; the boxes
// come in the order they close, those still open after the last row last.
std::vector<PixelBox> pixel_boxes(std::string_view glyph);

// The boxes of a character's glyph, merged once for the whole font.
const std::vector<PixelBox>& boxes_of(char32_t c);

} // namespace quorvane_dsl::geom::font
