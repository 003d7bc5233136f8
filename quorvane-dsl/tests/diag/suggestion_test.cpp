#include <gtest/gtest.h>

#include "diag/suggestion.hpp"

using namespace quorvane_dsl::diag;

// Lengths are compared in characters: a candidate with multi-byte characters within the limit
// is still found, one whose length alone exceeds it is not, and ties go to the smallest text.
TEST(Suggestion, LengthBoundCountsCharacters) {
    EXPECT_EQ(suggestion("lenth", {"width", "length", "len"}), "; did you mean `length`?");
    EXPECT_EQ(suggestion("xyzzy1", {"xyzzy1\u00b5\u00b5"}), "; did you mean `xyzzy1\u00b5\u00b5`?");
    EXPECT_EQ(suggestion("xyzzy1", {"xyzzy1\u00b5\u00b5\u00b5"}), "");
    EXPECT_EQ(suggestion("abcdef", {"abcdeg", "abcdex"}), "; did you mean `abcdeg`?");
    EXPECT_EQ(suggestion("ab", {"abc"}), "");
}

// Swapped letters have no surplus characters but a distance of two; the bound must keep them.
TEST(Suggestion, CharacterSurplusBoundKeepsAnagrams) {
    EXPECT_EQ(suggestion("lenght", {"length"}), "; did you mean `length`?");
    EXPECT_EQ(suggestion("unknown_name_5", {"cell_number_5", "unknown_name_6"}),
              "; did you mean `unknown_name_6`?");
}
