#include <string>

#include <gtest/gtest.h>

#include "base/utf8.hpp"

namespace {

namespace utf8 = quorvane_dsl::base::utf8;

TEST(Utf8, StrictAndLenientDecoding) {
    EXPECT_EQ(utf8::decode("µm", 0).ch, U'µ');
    EXPECT_EQ(utf8::decode("µm", 0).len, 2u);
    // Overlong forms, surrogates and cut sequences are single invalid bytes.
    for (const std::string bad :
         {"\xC0\x80", "\xED\xA0\x80", "\xE2\x80", "\x80", "\xF5\x80\x80\x80"}) {
        EXPECT_EQ(utf8::decode(bad, 0).ch, utf8::invalid_byte) << bad;
        EXPECT_EQ(utf8::decode(bad, 0).len, 1u) << bad;
        EXPECT_FALSE(utf8::is_valid(bad)) << bad;
    }
    // Leniently, every invalid byte is a character of its own that equals only itself.
    EXPECT_NE(utf8::decode_lenient("\x80", 0).ch, utf8::decode_lenient("\x81", 0).ch);
    EXPECT_EQ(utf8::decode_lenient("\x80", 0).ch, utf8::decode_lenient("a\x80", 1).ch);
    EXPECT_GT(utf8::decode_lenient("\xFF", 0).ch, char32_t{0x10FFFF});

    EXPECT_EQ(utf8::decode_last("a€").ch, U'€');
    EXPECT_EQ(utf8::decode_last("a\xE2\x82").ch, utf8::invalid_byte);
    EXPECT_EQ(utf8::decode_last("\x82\x82\x82\x82\x82").ch, utf8::invalid_byte);
    EXPECT_EQ(utf8::decode_last("").ch, utf8::invalid_byte);
}

TEST(Utf8, CountsPrefixesAndTrims) {
    EXPECT_EQ(utf8::char_count("aµ€😀"), 4u);
    EXPECT_EQ(utf8::char_count("\xE2\x82"), 2u);
    EXPECT_EQ(utf8::char_prefix("aµ€😀", 3), "aµ€");
    EXPECT_EQ(utf8::char_prefix("ab", 5), "ab");
    EXPECT_TRUE(utf8::is_char_boundary("aµ", 3));
    EXPECT_FALSE(utf8::is_char_boundary("aµ", 2));

    EXPECT_EQ(utf8::trim("\u3000 a b\u00A0\t\u2028"), "a b");
    EXPECT_EQ(utf8::trim_end("x\xC2"), "x\xC2");
    EXPECT_EQ(utf8::trim(" \u0085 "), "");

    std::string out;
    for (const char32_t c : {U'a', U'µ', U'€', U'😀'}) {
        utf8::encode(out, c);
    }
    EXPECT_EQ(out, "aµ€😀");
}

} // namespace
