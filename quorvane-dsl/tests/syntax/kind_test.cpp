#include <algorithm>
#include <string>

#include <gtest/gtest.h>

#include "syntax/kind.hpp"

using namespace quorvane_dsl::syntax;
using enum SyntaxKind;

TEST(Kind, NumberingAndNames) {
    EXPECT_EQ(kind::to_raw(WHITESPACE), 0);
    EXPECT_EQ(kind::to_raw(CARET), 34);
    EXPECT_EQ(kind::to_raw(FALSE_KW), 43);
    EXPECT_EQ(kind::to_raw(GDS_KW), 59);
    EXPECT_EQ(kind::to_raw(END_OF_FILE), 60);
    EXPECT_EQ(kind::to_raw(ARG_LIST), 114);
    EXPECT_EQ(kind::from_raw(115), ERROR);
    EXPECT_EQ(kind::name(END_OF_FILE), "EOF");
    EXPECT_EQ(kind::name(NAME_REF), "NAME_REF");
    EXPECT_EQ(kind::name(ERROR_TOKEN), "ERROR_TOKEN");
    EXPECT_TRUE(kind::is_trivia(COMMENT));
    EXPECT_FALSE(kind::is_trivia(IDENT));
    EXPECT_TRUE(kind::is_token_kind(END_OF_FILE));
    EXPECT_TRUE(kind::is_node_kind(SOURCE_FILE));
    EXPECT_FALSE(kind::is_node_kind(LAST));
}

TEST(Kind, RawValueOutsideTheTableEndsTheProcess) {
    EXPECT_DEATH(kind::from_raw(116), "syntax kind 116");
}

TEST(Kind, Keywords) {
    const char* reserved[] = {"cell", "define", "for", "in", "if", "else", "self", "true", "false"};
    for (int i = 0; i < 9; ++i) {
        EXPECT_EQ(kind::from_keyword(reserved[i]), kind::from_raw(35 + i)) << reserved[i];
        EXPECT_FALSE(kind::from_contextual_keyword(reserved[i]));
    }
    const char* contextual[] = {"import", "layer",  "param",    "attribute", "marker", "shape",
                                "clone",  "place",  "at",       "with",      "as",     "offset",
                                "rotate", "mirror", "xsection", "gds"};
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(kind::from_contextual_keyword(contextual[i]), kind::from_raw(44 + i));
        EXPECT_FALSE(kind::from_keyword(contextual[i]));
    }
    for (const char* other : {"Cell", "cells", "", "gds2", "Layer"}) {
        EXPECT_FALSE(kind::from_keyword(other));
        EXPECT_FALSE(kind::from_contextual_keyword(other));
    }
    // Words are found by a slot of a table: a word one letter away from a keyword (so often in
    // its slot, and of its length) is a keyword only when it is in the lists itself.
    const auto listed = [](const auto& words, std::string_view word) {
        return std::find(std::begin(words), std::end(words), word) != std::end(words);
    };
    for (std::string word : {"cell", "define", "in", "attribute", "at", "gds", "mirror", "x"}) {
        for (std::size_t at = 0; at < word.size(); ++at) {
            for (char letter : std::string_view("abcdefghijklmnopqrstuvwxyz_0")) {
                std::string near = word;
                near[at] = letter;
                EXPECT_EQ(kind::from_keyword(near).has_value(), listed(reserved, near)) << near;
                EXPECT_EQ(kind::from_contextual_keyword(near).has_value(), listed(contextual, near))
                    << near;
            }
        }
    }
}

TEST(Kind, Descriptions) {
    EXPECT_EQ(kind::description(EQ), "`=`");
    EXPECT_EQ(kind::description(NUMBER), "a number");
    EXPECT_EQ(kind::description(IN_KW), "`in`");
    EXPECT_EQ(kind::description(EQ2), "a token");
    EXPECT_EQ(kind::description(IDENT), "a token");
}
