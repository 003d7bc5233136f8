// Random token soups and truncated real sources: the parser must never stop, the tree must
// hold exactly the input, and errors must be well-formed places in it.

#include <fstream>
#include <random>
#include <sstream>

#include <gtest/gtest.h>

#include "syntax/parser.hpp"

namespace quorvane_dsl::syntax {
namespace {

constexpr std::string_view vocabulary[] = {
    "cell",   "define", "for",    "in",        "if",     "else",     "self",  "true",  "false",
    "import", "layer",  "param",  "attribute", "marker", "shape",    "clone", "place", "at",
    "with",   "as",     "offset", "rotate",    "mirror", "xsection", "gds",   "x",     "rect",
    "1",      "2.5um",  "90deg",  "\"s\"",     "\"open", "{",        "}",     "(",     ")",
    "[",      "]",      ",",      ".",         "..",     ":",        ";",     "=",     "==",
    "!=",     "<",      "<=",     ">",         ">=",     "+",        "-",     "*",     "/",
    "%",      "!",      "&&",     "||",        "&",      "|",        "^",     "@",     "µ",
    "# note", "\n",     "\n\n",   " ",         "\t",     "\r\n",
};

std::string tree_text(const SyntaxNode& root) {
    std::string text;
    for (const auto& event : root.preorder_with_tokens()) {
        if (event.walk == Walk::Enter && event.element.is_token()) {
            text += event.element.text();
        }
    }
    return text;
}

void check_parse(const std::string& text) {
    const parser::Parse parsed = parser::parse(text);
    ASSERT_EQ(tree_text(parsed.tree()), text);
    std::uint32_t previous_start = 0;
    for (const SyntaxError& error : parsed.errors) {
        ASSERT_LE(error.range.start, error.range.end);
        ASSERT_LE(error.range.end, text.size());
        ASSERT_GE(error.range.start, previous_start);
        previous_start = error.range.start;
    }
}

TEST(ParserFuzz, RandomTokenSoups) {
    std::mt19937 random(20261206);
    std::uniform_int_distribution<std::size_t> pick(0, std::size(vocabulary) - 1);
    std::uniform_int_distribution<int> length(0, 300);
    for (int round = 0; round < 400; ++round) {
        std::string text;
        const int count = length(random);
        for (int i = 0; i < count; ++i) {
            text += vocabulary[pick(random)];
            if (random() % 3 == 0) {
                text += ' ';
            }
        }
        SCOPED_TRACE(text);
        check_parse(text);
    }
}

// Long runs of openers and operands, mostly left open at the end of the text: unwinding them
// looks ahead at every level without consuming anything.
TEST(ParserFuzz, OpenerHeavySoups) {
    constexpr std::string_view openers[] = {
        "(",      "[",      "{",    "f(",       "a.",       "-",          "!",
        "x +",    "if x {", "else", "for i in", "place {",  "layer m {",  "shape",
        "with {", "a =",    ",",    "\n",       "cell c {", "define d:[",
    };
    std::mt19937 random(99);
    std::uniform_int_distribution<std::size_t> pick(0, std::size(openers) - 1);
    for (int round = 0; round < 40; ++round) {
        std::string text = round % 2 == 0 ? "cell c { x = " : "define x = ";
        for (int i = 0; i < 3000; ++i) {
            text += openers[pick(random)];
            text += ' ';
        }
        SCOPED_TRACE(round);
        check_parse(text);
    }
}

TEST(ParserFuzz, TruncatedAndSplicedRealSource) {
    std::ifstream in(std::string(QV_TEST_DATA) + "/../../examples/chip.qvs", std::ios::binary);
    std::stringstream buffer;
    buffer << in.rdbuf();
    const std::string source = buffer.str();
    ASSERT_FALSE(source.empty());
    EXPECT_TRUE(parser::parse(source).errors.empty());
    for (std::size_t end = 0; end <= source.size(); end += 3) {
        SCOPED_TRACE(end);
        check_parse(source.substr(0, end));
    }
    std::mt19937 random(7);
    std::uniform_int_distribution<std::size_t> offset(0, source.size());
    for (int round = 0; round < 200; ++round) {
        std::size_t a = offset(random);
        std::size_t b = offset(random);
        if (a > b) {
            std::swap(a, b);
        }
        const std::string spliced = source.substr(0, a) + source.substr(b);
        SCOPED_TRACE(spliced);
        check_parse(spliced);
    }
}

} // namespace
} // namespace quorvane_dsl::syntax
