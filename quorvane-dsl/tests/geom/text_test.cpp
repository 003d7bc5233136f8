#include "geom/text.hpp"

#include <algorithm>

#include <gtest/gtest.h>

namespace quorvane_dsl::geom {
namespace {

std::vector<BBox> boxes(const Built<LocalShape>& shape) {
    std::vector<BBox> out;
    for (const LocalGeometry& g : std::get<Group>(shape.value().geometry.kind).members) {
        out.push_back(std::get<BBox>(g.kind));
    }
    return out;
}

TEST(Text, LetterAMergesRunsIntoSixBoxesInClosingOrder) {
    EXPECT_EQ(boxes(text("A", 7000)), (std::vector<BBox>{{1000, 6000, 4000, 7000},
                                                         {0, 4000, 1000, 6000},
                                                         {4000, 4000, 5000, 6000},
                                                         {0, 3000, 5000, 4000},
                                                         {0, 0, 1000, 3000},
                                                         {4000, 0, 5000, 3000}}));
    EXPECT_EQ(text("A", 7000).value().bbox, (BBox{0, 0, 5000, 7000}));
}

TEST(Text, LayoutOfLinesColumnsAndDescenders) {
    EXPECT_EQ(text("g", 7).value().bbox.bottom, -2);
    // The second line's glyph of b has its top row at 7p - 11p.
    double b_top = -100;
    for (const BBox& b : boxes(text("a\nb", 7))) {
        b_top = b.top < 0 ? std::max(b_top, b.top) : b_top;
    }
    EXPECT_EQ(b_top, -4);
    EXPECT_EQ(text("a\nb", 7).value().bbox.top, 5);
    const std::vector<BBox> two_i = boxes(text("i i", 7));
    EXPECT_EQ(two_i[two_i.size() / 2].left - two_i[0].left, 12);
}

TEST(Text, RefusesWhatItCannotDraw) {
    for (const char* nothing : {"", " ", "\n\n"}) {
        EXPECT_EQ(text(nothing, 7).error(), "the text has nothing to draw");
    }
    EXPECT_EQ(text("x\ty", 7).error(),
              "unsupported character '\\t'; text supports printable ASCII and newlines");
    EXPECT_EQ(text("caf\xc3\xa9", 7).error(),
              "unsupported character '\xc3\xa9'; text supports printable ASCII and newlines");
    EXPECT_EQ(text("\xcc\x81", 7).error(),
              "unsupported character '\\u{301}'; text supports printable ASCII and newlines");
    EXPECT_EQ(text("A", 0).error(), "size must be positive, got 0");
}

} // namespace
} // namespace quorvane_dsl::geom
