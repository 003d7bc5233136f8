#include <gtest/gtest.h>

#include "quote.hpp"

namespace quorvane {
namespace {

TEST(Quote, EscapesLikeADebugString) {
    EXPECT_EQ(quote_text(""), "\"\"");
    EXPECT_EQ(quote_text("a'b \"c\" \\"), "\"a'b \\\"c\\\" \\\\\"");
    EXPECT_EQ(quote_text(std::string("\t\r\n\0", 4)), "\"\\t\\r\\n\\0\"");
    // Other controls, format characters, separators and unassigned or private code points.
    EXPECT_EQ(quote_text("\x1b\x7f"), "\"\\u{1b}\\u{7f}\"");
    EXPECT_EQ(quote_text("\u00ad\u200d\u2028\u3000\ue000"),
              "\"\\u{ad}\\u{200d}\\u{2028}\\u{3000}\\u{e000}\"");
    EXPECT_EQ(quote_text("\U000E0001\U0010FFFF"), "\"\\u{e0001}\\u{10ffff}\"");
    // Grapheme extenders wherever they stand, including Other_Grapheme_Extend ones.
    EXPECT_EQ(quote_text("e\u0301\u200c\u09be"), "\"e\\u{301}\\u{200c}\\u{9be}\"");
    // Printable text stays as it is, outside the Basic Multilingual Plane too.
    EXPECT_EQ(quote_text("µm — 世界 \U0001F600 \u0915"), "\"µm — 世界 \U0001F600 \u0915\"");
}

} // namespace
} // namespace quorvane
