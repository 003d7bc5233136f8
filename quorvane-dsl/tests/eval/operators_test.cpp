#include <gtest/gtest.h>

#include <limits>

#include "eval/builtins.hpp"
#include "eval/operators.hpp"

using namespace quorvane_dsl::eval;
using quorvane_dsl::hir::BinOp;
using quorvane_dsl::hir::Builtin;
using quorvane_dsl::hir::PrefixOp;

namespace {

constexpr std::int64_t i64_max = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t i64_min = std::numeric_limits<std::int64_t>::min();

Value op(BinOp o, Value a, Value b) {
    auto r = apply_binary(o, std::move(a), std::move(b));
    EXPECT_TRUE(r.has_value()) << r.error();
    return r ? *r : Value::nothing();
}

std::string refused(BinOp o, Value a, Value b) {
    auto r = apply_binary(o, std::move(a), std::move(b));
    return r ? "accepted" : r.error();
}

std::int64_t int_of(const Value& v) {
    const auto* i = std::get_if<Value::Int>(&v.kind);
    EXPECT_NE(i, nullptr) << v.describe();
    return i ? i->value : -1;
}

Value::Quantity quantity_of(const Value& v) {
    const auto* q = std::get_if<Value::Quantity>(&v.kind);
    EXPECT_NE(q, nullptr) << v.describe();
    return q ? *q : Value::Quantity{};
}

Value call(Builtin b, std::vector<Value> args) {
    auto r = call_builtin(b, std::move(args));
    EXPECT_TRUE(r.has_value()) << r.error();
    return r ? *r : Value::nothing();
}

std::string call_error(Builtin b, std::vector<Value> args) {
    auto r = call_builtin(b, std::move(args));
    return r ? "accepted" : r.error();
}

bool truth(const Value& v) {
    return std::get<Value::Bool>(v.kind).value;
}

} // namespace

TEST(EvalOperators, DimensionsCombineAndTheIntegerZeroTakesTheOtherSide) {
    EXPECT_EQ(quantity_of(op(BinOp::Add, Value::size(1000), Value::size(2000))).value, 3000);
    EXPECT_EQ(refused(BinOp::Add, Value::size(1000), Value::angle(90)),
              "cannot apply `+` to a size and an angle");
    EXPECT_EQ(refused(BinOp::Add, Value::size(1000), Value::integer(1)),
              "cannot apply `+` to a size and an integer");
    const auto minus = quantity_of(op(BinOp::Sub, Value::integer(0), Value::size(1000)));
    EXPECT_EQ(minus.value, -1000);
    EXPECT_EQ(minus.dim, Value::length_dim);
    EXPECT_TRUE(truth(op(BinOp::Lt, Value::integer(0), Value::size(1000))));
    const Value area = op(BinOp::Mul, Value::size(2000), Value::size(3000));
    EXPECT_EQ(area.describe(), "a number");
    const auto back = quantity_of(op(BinOp::Div, area, Value::size(1000)));
    EXPECT_EQ(back.value, 6000);
    EXPECT_EQ(back.dim, Value::length_dim);
    EXPECT_EQ(quantity_of(op(BinOp::Div, Value::size(10000), Value::integer(4))).value, 2500);
    EXPECT_EQ(quantity_of(op(BinOp::Rem, Value::size(-7000), Value::size(3000))).value, 2000);
    EXPECT_EQ(refused(BinOp::Div, Value::size(1000), Value::size(0)), "division by zero");
    EXPECT_EQ(refused(BinOp::Range, Value::integer(1), Value::size(5000)),
              "cannot apply `..` to an integer and a size");
    // Exponents wrap in 8 bits instead of overflowing.
    const auto wrapped =
        quantity_of(op(BinOp::Mul, Value::quantity(1, {127, 0}), Value::size(1))).dim;
    EXPECT_EQ(wrapped.length, -128);
}

TEST(EvalOperators, IntegersAtTheLimits) {
    EXPECT_EQ(refused(BinOp::Add, Value::integer(i64_max), Value::integer(1)), "integer overflow");
    EXPECT_EQ(refused(BinOp::Sub, Value::integer(i64_min), Value::integer(1)), "integer overflow");
    EXPECT_EQ(refused(BinOp::Mul, Value::integer(i64_min), Value::integer(-1)), "integer overflow");
    EXPECT_EQ(int_of(op(BinOp::Rem, Value::integer(i64_min), Value::integer(-1))), 0);
    EXPECT_EQ(int_of(op(BinOp::Rem, Value::integer(-5), Value::integer(i64_min))), i64_max - 4);
    EXPECT_EQ(int_of(op(BinOp::Rem, Value::integer(i64_min), Value::integer(i64_min))), 0);
    EXPECT_EQ(int_of(op(BinOp::Rem, Value::integer(-7), Value::integer(3))), 2);
    EXPECT_EQ(int_of(op(BinOp::Rem, Value::integer(7), Value::integer(-3))), 1);
    EXPECT_EQ(refused(BinOp::Rem, Value::integer(5), Value::integer(0)), "division by zero");
    EXPECT_EQ(refused(BinOp::Div, Value::integer(1), Value::integer(0)), "division by zero");
    EXPECT_EQ(quantity_of(op(BinOp::Div, Value::integer(7), Value::integer(2))).value, 3.5);
    EXPECT_EQ(apply_prefix(PrefixOp::Neg, Value::integer(i64_min)).error(), "integer overflow");
    EXPECT_EQ(int_of(*apply_prefix(PrefixOp::Neg, Value::integer(i64_max))), -i64_max);
}

TEST(EvalOperators, EqualityOfPlainValues) {
    EXPECT_TRUE(truth(op(BinOp::Eq, Value::integer(1), Value::number(1.0))));
    EXPECT_FALSE(truth(
        op(BinOp::Eq, op(BinOp::Add, Value::number(0.1), Value::number(0.2)), Value::number(0.3))));
    EXPECT_TRUE(
        truth(op(BinOp::Eq, op(BinOp::Add, Value::size(100), Value::size(200)), Value::size(300))));
    EXPECT_EQ(
        *std::get<Value::Str>(op(BinOp::Add, Value::string("a"), Value::string("b")).kind).text,
        "ab");
    EXPECT_EQ(refused(BinOp::Lt, Value::string("a"), Value::string("b")),
              "cannot apply `<` to a string and a string");
    EXPECT_EQ(refused(BinOp::Eq, Value::boolean(true), Value::integer(1)),
              "cannot apply `==` to a bool and an integer");
    const Value list = Value::list({Value::integer(1)});
    EXPECT_EQ(refused(BinOp::Eq, list, list), "cannot apply `==` to a list and a list");
    const Value p{Value::Point{1000, 0, 0, nullptr}};
    const Value sum = op(BinOp::Add, Value{Value::Point{1000, 2000, 90, nullptr}},
                         Value{Value::Point{1000, 1000, 0, nullptr}});
    EXPECT_TRUE(truth(op(BinOp::Eq, sum, Value{Value::Point{2000, 3000, 90, nullptr}})));
    EXPECT_TRUE(truth(op(BinOp::Ne, p, sum)));
}

TEST(EvalBuiltins, IntegerPowersAndRoundingStayDefined) {
    EXPECT_EQ(int_of(call(Builtin::Pow, {Value::integer(2), Value::integer(10)})), 1024);
    EXPECT_EQ(call_error(Builtin::Pow, {Value::integer(2), Value::integer(63)}),
              "integer overflow");
    EXPECT_EQ(int_of(call(Builtin::Pow, {Value::integer(-2), Value::integer(63)})), i64_min);
    EXPECT_EQ(int_of(call(Builtin::Pow, {Value::integer(1), Value::integer(4294967296)})), 1);
    EXPECT_EQ(int_of(call(Builtin::Pow, {Value::integer(0), Value::integer(i64_max)})), 0);
    EXPECT_EQ(int_of(call(Builtin::Pow, {Value::integer(-1), Value::integer(i64_max)})), -1);
    EXPECT_EQ(int_of(call(Builtin::Pow, {Value::integer(0), Value::integer(0)})), 1);
    EXPECT_EQ(call_error(Builtin::Pow, {Value::integer(2), Value::integer(4294967296)}),
              "integer overflow");
    EXPECT_EQ(quantity_of(call(Builtin::Pow, {Value::integer(2), Value::integer(-1)})).value, 0.5);
    EXPECT_EQ(quantity_of(call(Builtin::Pow, {Value::size(3000), Value::integer(2)})).dim,
              (quorvane_dsl::units::Dim{2, 0}));
    EXPECT_EQ(quantity_of(call(Builtin::Pow, {Value::size(2000), Value::number(0.5)})).dim,
              (quorvane_dsl::units::Dim{}));
    const Value huge_dim = call(Builtin::Pow, {Value::size(1), Value::number(1e300)});
    EXPECT_EQ(quantity_of(huge_dim).dim.length, 127);
    const Value nan = call(Builtin::Pow, {Value::number(-1), Value::number(0.5)});
    EXPECT_EQ(int_of(call(Builtin::Round, {nan})), 0);
    EXPECT_EQ(int_of(call(Builtin::Floor, {Value::number(1e300)})), i64_max);
    EXPECT_EQ(int_of(call(Builtin::Ceil, {Value::number(-1e300)})), i64_min);
    EXPECT_EQ(int_of(call(Builtin::Round, {Value::number(-2.5)})), -3);
    EXPECT_EQ(quantity_of(call(Builtin::Floor, {Value::size(2.5)})).value, 2);
    EXPECT_EQ(call_error(Builtin::Abs, {Value::integer(i64_min)}), "integer overflow");
}

TEST(EvalBuiltins, ChoicesMessagesAndText) {
    const Value min = call(Builtin::Min, {Value::integer(2), Value::number(2.0)});
    EXPECT_EQ(int_of(min), 2);
    EXPECT_EQ(quantity_of(call(Builtin::Max, {Value::size(1000), Value::integer(5)})).dim,
              Value::length_dim);
    EXPECT_EQ(call_error(Builtin::Min, {Value::integer(1), Value{Value::List{}}}),
              "min expected a number, found a list");
    EXPECT_EQ(call_error(Builtin::Acos, {Value::integer(2)}), "acos(2) is undefined");
    EXPECT_EQ(call_error(Builtin::Atan2, {Value::integer(1)}), "atan2 is missing an argument");
    EXPECT_EQ(call_error(Builtin::Sqrt, {}), "sqrt is missing an argument");
    EXPECT_EQ(call_error(Builtin::Sqrt, {Value::integer(-1)}), "square root of a negative value");
    EXPECT_EQ(quantity_of(call(Builtin::Sqrt, {Value::quantity(4e6, {2, 0})})).value, 2000);
    EXPECT_EQ(quantity_of(call(Builtin::Sin, {Value::angle(90)})).value, 1);
    EXPECT_EQ(quantity_of(call(Builtin::Atan2, {Value::integer(1), Value::integer(0)})).value, 90);
    EXPECT_EQ(int_of(call(Builtin::Sign, {Value::number(-0.0)})), 0);
    EXPECT_EQ(int_of(call(Builtin::Len, {Value::string("ab\u00B5cd")})), 5);
    EXPECT_EQ(call_error(Builtin::Len, {Value::integer(1)}),
              "len needs a list or a string, found an integer");
    EXPECT_EQ(value_text(Value::size(1500)), "1.5um");
    EXPECT_EQ(value_text(Value::angle(90)), "90deg");
    EXPECT_EQ(value_text(Value::number(0.5)), "0.5");
    EXPECT_EQ(value_text(Value::integer(i64_min)), "-9223372036854775808");
    EXPECT_EQ(value_text(Value{Value::Point{}}), "<a point>");
}
