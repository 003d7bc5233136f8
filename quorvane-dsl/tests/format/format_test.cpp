#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "format/format.hpp"
#include "syntax/parser.hpp"

namespace {

using quorvane_dsl::format::format;

std::string formatted(std::string_view text) {
    auto result = format(text);
    EXPECT_TRUE(result.has_value()) << "refused: " << text;
    return result.value_or("");
}

// Formats, then checks the result is stable under a second run.
std::string stable(std::string_view text) {
    const std::string once = formatted(text);
    EXPECT_EQ(formatted(once), once) << "not idempotent for: " << text;
    return once;
}

TEST(Format, EmptyAndBlankTextsFormatToNothing) {
    EXPECT_EQ(stable(""), "");
    EXPECT_EQ(stable(" \n\n\t  \n"), "");
    EXPECT_EQ(stable("\n\n  # note\n\n\n"), "# note\n");
}

TEST(Format, RefusesTextsWithSyntaxErrors) {
    for (std::string_view text : {"cell a { $ }", "cell a { define s = \"open\n}", "cell {"}) {
        const auto result = format(text);
        ASSERT_FALSE(result.has_value()) << text;
        EXPECT_EQ(result.error(), quorvane_dsl::syntax::parser::parse(text).errors);
    }
}

TEST(Format, SpacesTokensByTheirKinds) {
    EXPECT_EQ(stable("cell a(w length,h=2um){\ndefine x=w+1*-  h\nf (x) [0]\ny = !(a)\n}"),
              "cell a(w length, h = 2um) {\n    define x = w + 1 * -h\n    f(x)[0]\n"
              "    y = !(a)\n}\n");
    EXPECT_EQ(stable("define layer {m1{gds - 40 / -2}}"), "define layer { m1 { gds -40/-2 } }\n");
    EXPECT_EQ(stable("define layer {m1{gds 1 / 0}}\ncell b {\nplace * {} \n q = a . b .. c}"),
              "define layer { m1 { gds 1/0 } }\ncell b {\n    place* {}\n    q = a.b..c }\n");
    EXPECT_EQ(stable("cell c {\n p = ( 1 , ( 2 ) ) \n l = [ 1 , 2 ]\n}"),
              "cell c {\n    p = (1, (2))\n    l = [1, 2]\n}\n");
}

TEST(Format, KeepsLinesAndLimitsBlankLines) {
    EXPECT_EQ(stable("\n\ncell a {\n\n  x = 1\n\n\n\n  # c\n\n\n  y = [\n\n 1\n\n ]\n\n}\n\n\n"),
              "cell a {\n    x = 1\n\n    # c\n\n    y = [\n\n        1\n    ]\n}\n");
}

TEST(Format, IndentsContinuationsOneLevel) {
    EXPECT_EQ(stable("cell a {\nx = 1 +\n2 +\n3\nif x {\ny = f(1,\n2)\n}\nelse {\n}\n}"),
              "cell a {\n    x = 1 +\n        2 +\n        3\n    if x {\n"
              "        y = f(1,\n            2)\n    }\n        else {\n    }\n}\n");
    EXPECT_EQ(stable("cell a {\n\tif x { y = 1 }\telse { y = 2 }\n}"),
              "cell a {\n    if x { y = 1 } else { y = 2 }\n}\n");
}

TEST(Format, KeepsCommentsInPlace) {
    EXPECT_EQ(stable("# head\ncell a {   # opens\n  x = 1\t# tab\n      # own line\n  y = 1 +  "
                     "# tail\n  2\n}\n"),
              "# head\ncell a {   # opens\n    x = 1 # tab\n    # own line\n    y = 1 +  # tail\n"
              "        2\n}\n");
}

TEST(Format, JoinsShortOneStatementBlocks) {
    EXPECT_EQ(stable("cell a {\n  param {\n    w length\n  }\n  for i in 0..3 {\n    for j in "
                     "0..2 {\n      x = i\n    }\n  }\n  if x {\n    y = 1\n  }\n}\n"),
              "cell a {\n    param { w length }\n    for i in 0..3 { for j in 0..2 { x = i } }\n"
              "    if x {\n        y = 1\n    }\n}\n");
    // Two statements or a comment keep the block open.
    const std::string open = "cell a {\n    for i in x {\n        a = 1\n        b = 2\n    }\n"
                             "    for i in x {\n        # c\n        a = 1\n    }\n}\n";
    EXPECT_EQ(stable(open), open);
}

TEST(Format, JoinsUpToEightyEightCharacters) {
    // Four spaces, "for i in x { ", the statement, " }": 4 + 13 + n + 2 characters.
    const auto block = [](std::size_t statement_width) {
        const std::string name(statement_width - 4, 'v');
        return "cell a {\n    for i in x {\n        " + name + " = 1\n    }\n}\n";
    };
    const auto joined = [](std::size_t statement_width) {
        const std::string name(statement_width - 4, 'v');
        return "cell a {\n    for i in x { " + name + " = 1 }\n}\n";
    };
    EXPECT_EQ(stable(block(69)), joined(69));
    EXPECT_EQ(joined(69).find('\n', 9) - 9, 88u);
    EXPECT_EQ(stable(block(70)), block(70));
}

TEST(Format, AlignsRunsOfEntries) {
    EXPECT_EQ(stable("define layer {\n  m1 { gds 1/0 }\n  metal2 { gds 2/0 }\n  poly { gds 3/0 }\n"
                     "\n  lonely { gds 4/0 }\n}\n"),
              "define layer {\n    m1     { gds 1/0 }\n    metal2 { gds 2/0 }\n"
              "    poly   { gds 3/0 }\n\n    lonely { gds 4/0 }\n}\n");
    EXPECT_EQ(
        stable("cell a {\n  param {\n    w length = 1um\n    count = 3\n    longname "
               "[length] = []\n    h angle\n  }\n}\n"),
        "cell a {\n    param {\n        w        length   = 1um\n        count             = 3\n"
        "        longname [length] = []\n        h        angle\n    }\n}\n");
    EXPECT_EQ(stable("cell a {\n  param {\n    w = 1\n    count = 3\n    h\n  }\n}\n"),
              "cell a {\n    param {\n        w     = 1\n        count = 3\n        h\n    }\n}\n");
    // A bare last name pads the closing brace that shares its line.
    EXPECT_EQ(stable("cell a {\n  param {\n    count = 1\n    w }\n}\n"),
              "cell a {\n    param {\n        count = 1\n        w     }\n}\n");
    // A comment line splits the run; an end-of-line comment does not.
    EXPECT_EQ(stable("cell a {\n  attribute {\n    k \"x\" # note\n    kind 1\n    # split\n"
                     "    a 1\n    long 2\n  }\n}\n"),
              "cell a {\n    attribute {\n        k    \"x\" # note\n        kind 1\n"
              "        # split\n        a    1\n        long 2\n    }\n}\n");
}

TEST(Format, AlignsPlacementsByCharacters) {
    EXPECT_EQ(stable("cell a {\n  place {\n    t(\"µµ\") at (0, 0)\n    t(\"ab\") at (1, 0)\n"
                     "    inst with w = 1 at (2, 0) rotate 90deg\n  }\n}\n"),
              "cell a {\n    place {\n        t(\"µµ\")         at (0, 0)\n"
              "        t(\"ab\")         at (1, 0)\n"
              "        inst with w = 1 at (2, 0) rotate 90deg\n    }\n}\n");
}

TEST(Format, KeepsATokenAfterACommentEndedByACarriageReturn) {
    const std::string text = "define a = 1 # c\r+ 2\n";
    const std::string once = stable(text);
    EXPECT_EQ(once, "define a = 1 # c\r + 2\n");
    EXPECT_TRUE(quorvane_dsl::syntax::parser::parse(once).errors.empty());
}

// The formatter must refuse a text or return one that parses cleanly and formats to itself.
void check_round_trip(std::string_view text) {
    const auto result = format(text);
    if (!result) {
        return;
    }
    EXPECT_TRUE(quorvane_dsl::syntax::parser::parse(*result).errors.empty()) << text;
    const auto again = format(*result);
    ASSERT_TRUE(again.has_value()) << text;
    EXPECT_EQ(*again, *result) << text;
}

const char* const sample_source = R"(import "lib.qvs"
define layer {
  m1 { gds 1/0 }
  poly { gds 2/0; }
}
define w: length = 1um # width
define xsection wg(w length = 500nm) {
  si w
  slab 2um offset 1um
  with { cladding = 3um }
}
cell bend(r length = 10um, n = 3,) {
  param { width length = 1um
    n = 4 }
  attribute {
    kind "device"
  }
  marker {
    a { at (0, 0) }
    bb { at { (1um, 0), (2um, 0, 90deg) } with { kind = "port" } }
  }
  layer m1 {
    shape rect with w = 1um, h = 2um as r at (0, 0) rotate 90deg
    clone r as s .center at (1um, 1um) mirror
  }
  place {
    foo at (0, 0)
    self.bar(w = -1um) with a = 1 at (1um, 0) offset (1, 2) as b
  }
  for i in 0..n { place foo at (i * 1um, 0) }
  if n > 2 && !flag { define x = [1, 2][0] } else if n < 0 { x = 3 } else { x = 4 }
}
)";

TEST(Format, KeepsBytesThatAreNoUtf8WhiteSpaceAtTheEndOfAComment) {
    // Lone bytes with the values of NEL and NBSP, an overlong tab and an overlong space.
    for (std::string_view text : {"#\x85\n", "# a\xA0\n", "#\xC0\x89\n", "#\xE0\x80\xA0\n"}) {
        EXPECT_EQ(stable(text), text);
    }
    EXPECT_EQ(stable("# a\xC2\xA0\n"), "# a\n");
}

TEST(Format, RandomTokenSoupsAndTruncatedSourcesRoundTrip) {
    const std::vector<std::string> pieces = {
        "cell", "a",    "{",      "}",         "(",      ")",      "[",     "]",
        ",",    ".",    "..",     ":",         ";",      "=",      "+",     "-",
        "*",    "/",    "!",      "&&",        "define", "layer",  "param", "place",
        "at",   "with", "for",    "in",        "if",     "else",   "1um",   "\"s\"",
        "# c",  "\n",   "\n\n",   " ",         "\t",     "\r",     "shape", "as",
        "x",    "gds",  "marker", "attribute", "rotate", "mirror", "offset"};
    std::mt19937 random(7);
    for (int round = 0; round < 1500; ++round) {
        std::string text = round % 2 ? "cell a {\n" : "";
        const int length = static_cast<int>(random() % 30);
        for (int i = 0; i < length; ++i) {
            text += pieces[random() % pieces.size()];
            text += random() % 3 ? " " : "";
        }
        text += round % 2 ? "\n}" : "";
        check_round_trip(text);
    }
    std::ifstream example(std::string(QV_TEST_DATA) + "/../../examples/chip.qvs", std::ios::binary);
    const std::string chip{std::istreambuf_iterator<char>(example), {}};
    ASSERT_FALSE(chip.empty());
    for (const std::string& source : {std::string(sample_source), chip}) {
        ASSERT_TRUE(format(source).has_value());
        for (std::size_t cut = 0; cut <= source.size(); ++cut) {
            check_round_trip(source.substr(0, cut));
        }
    }
}

} // namespace
