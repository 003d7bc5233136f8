#include <gtest/gtest.h>

#include "eval/value.hpp"

using namespace quorvane_dsl::eval;

// Messages name values by these words; areas and odd dimensions read as plain numbers.
TEST(EvalValue, DescribeWords) {
    EXPECT_EQ(Value::size(1).describe(), "a size");
    EXPECT_EQ(Value::angle(1).describe(), "an angle");
    EXPECT_EQ(Value::quantity(1, {2, 0}).describe(), "a number");
    EXPECT_EQ(Value::quantity(1, {1, 1}).describe(), "a number");
    EXPECT_EQ(Value::number(1).describe(), "a number");
    EXPECT_EQ(Value{Value::SelfCell{}}.describe(), "a cell");
    EXPECT_EQ(Value{Value::Cell{}}.describe(), "a cell");
    EXPECT_EQ(Value{Value::Markers{}}.describe(), "a marker set");
    EXPECT_EQ(Value::nothing().describe(), "nothing");
}
