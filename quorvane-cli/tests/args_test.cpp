#include <gtest/gtest.h>

#include "args.hpp"

using quorvane::flag_values;
using quorvane::positional;
using Strings = std::vector<std::string>;

TEST(Args, FlagValuesTakeTheNextArgumentWhateverItIs) {
    EXPECT_EQ(flag_values(Strings{"--top", "A", "x", "--top", "B"}, "--top"), (Strings{"A", "B"}));
    EXPECT_EQ(flag_values(Strings{"x", "--top"}, "--top"), Strings{});
    EXPECT_EQ(flag_values(Strings{"--top", "--top", "X"}, "--top"), (Strings{"--top", "X"}));
}

TEST(Args, PositionalSkipsOptionsAndTheirValues) {
    EXPECT_EQ(positional(Strings{"a", "--top", "T", "-o", "out", "--check", "b", "-x"}),
              (Strings{"a", "b", "-x"}));
    EXPECT_EQ(positional(Strings{"--gds"}), Strings{});
    EXPECT_EQ(positional(Strings{"-", "--whitebox", "w", "--bogus", "c"}), (Strings{"-", "c"}));
}
