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

// Appends extend a shared buffer in place only when the other lists sharing it stay as they were
// and still bound how deep it nests.
TEST(EvalValue, AppendsShareBuffersOnlyWhileTheyMayStaySharing) {
    Value a = Value::list({Value::integer(1)});
    Value b = a;
    auto& la = std::get<Value::List>(a.kind);
    auto& lb = std::get<Value::List>(b.kind);
    lb.push(Value::integer(2));
    EXPECT_EQ(la.items, lb.items);
    EXPECT_EQ(la.elements().size(), 1u);
    la.push(Value::integer(3)); // `a` no longer ends where the buffer does
    EXPECT_NE(la.items, lb.items);
    EXPECT_EQ(std::get<Value::Int>(la.elements()[1].kind).value, 3);
    EXPECT_EQ(std::get<Value::Int>(lb.elements()[1].kind).value, 2);

    Value c = b;
    auto& lc = std::get<Value::List>(c.kind);
    lc.push(Value::list({})); // nests deeper than `b` says
    EXPECT_NE(lb.items, lc.items);
    EXPECT_EQ(lb.nested, 0u);
    EXPECT_EQ(lc.nested, 1u);
}
