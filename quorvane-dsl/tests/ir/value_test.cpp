#include <cmath>
#include <string>

#include <gtest/gtest.h>

#include "ir/value.hpp"

namespace {

using quorvane_dsl::ir::Value;

Value integer(std::int64_t v) {
    return Value{Value::Int{v}};
}
Value number(double v, std::int8_t length = 0, std::int8_t angle = 0) {
    return Value{Value::Number{v, {length, angle}}};
}

std::optional<Value> read(std::string_view text) {
    return Value::parse_literal(text);
}

TEST(IrValue, ReadsLiterals) {
    EXPECT_EQ(read("3"), integer(3));
    EXPECT_EQ(read("2.5"), number(2.5));
    EXPECT_EQ(read("3.0"), number(3));
    EXPECT_EQ(read("- 4"), integer(-4));
    EXPECT_EQ(read("--4"), integer(4));
    EXPECT_EQ(read(std::string(301, '-') + "4"), integer(-4));
    EXPECT_EQ(read(std::string(300, '-') + "2.5um"), number(2500, 1));
    EXPECT_EQ(read("2um"), number(2000, 1));
    EXPECT_EQ(read("2\u00b5m"), number(2000, 1));
    EXPECT_EQ(read("2\u03bcm"), number(2000, 1));
    EXPECT_EQ(read("1.5mm"), number(1500000, 1));
    EXPECT_EQ(read("1rad"), number(57.29577951308232, 0, 1));
    EXPECT_EQ(read("-3nm"), number(-3, 1));
    // Beyond the range of an f64, tiny decimals read as zero and huge ones as infinity.
    EXPECT_EQ(read("0." + std::string(400, '0') + "1nm"), number(0, 1));
    EXPECT_EQ(read("1" + std::string(400, '0') + ".0"), number(INFINITY));
    EXPECT_EQ(read("1 # note\n2"), integer(1));
    EXPECT_EQ(read("[1, 2] # note"), (Value{Value::List{{integer(1), integer(2)}}}));
    EXPECT_EQ(read("[1 2 3]"), read("[1, 2, 3,]"));
    EXPECT_EQ(read("(0, 0)"), (Value{Value::Point{0, 0, 0}}));
    EXPECT_EQ(read("(0, 5nm, 90deg)"), (Value{Value::Point{0, 5, 90}}));
    EXPECT_EQ(read("true"), (Value{Value::Bool{true}}));
    EXPECT_EQ(read("TRUE"), (Value{Value::Named{"TRUE", {}}}));
    EXPECT_EQ(read("metal1()"), (Value{Value::Named{"metal1", {}}}));
    EXPECT_EQ(
        read("xs(width = 2um, layer = metal1)"),
        (Value{Value::Named{
            "xs", {{"width", number(2000, 1)}, {"layer", Value{Value::Named{"metal1", {}}}}}}}));
    EXPECT_EQ(read("\"a\\tb\""), (Value{Value::String{"a\tb"}}));
    for (const char* bad :
         {"1e5", "9223372036854775808", "1 2", "", "# only", "(1, 2)", "(1.0, 2.0)", "(1um)",
          "(1um, 2um, 3um, 4um)", "(1um, 2um, 0.5)", "xs(width 2um)", "xs(width = 2um", "[1,,2]",
          "[,1]", "-true", "--true", "\"open", "cell", "@"}) {
        EXPECT_EQ(read(bad), std::nullopt) << bad;
    }
}

TEST(IrValue, WritesLiterals) {
    EXPECT_EQ(number(3).to_literal(), "3.0");
    EXPECT_EQ(number(1500, 1).to_literal(), "1.5um");
    EXPECT_EQ(number(2000000, 1).to_literal(), "2mm");
    EXPECT_EQ(number(0, 1).to_literal(), "0");
    EXPECT_EQ(number(45, 0, 1).to_literal(), "45deg");
    EXPECT_EQ(number(8, 3).to_literal(), "8 # length^3");
    EXPECT_EQ(number(2.5, 1, 1).to_literal(), "2.5 # length\u00b7angle");
    EXPECT_EQ((Value{Value::Point{1000, 0, 0}}).to_literal(), "(1um, 0)");
    EXPECT_EQ((Value{Value::Point{0, 0, 90}}).to_literal(), "(0, 0, 90deg)");
    EXPECT_EQ((Value{Value::List{}}).to_literal(), "[]");
    EXPECT_EQ((Value{Value::Named{"xs", {{"w", number(2, 1)}}}}).to_literal(), "xs(w = 2nm)");
    EXPECT_EQ(integer(-7).to_literal(), "-7");
    const Value nested{Value::List{{Value{Value::String{"q\"\\\n"}}, Value{Value::Bool{false}},
                                    Value{Value::Point{1500, -2000, 45}}}}};
    EXPECT_EQ(read(nested.to_literal()), nested);
}

TEST(IrValue, StoredLiteralsKeepTheDimensionCommentOnlyAtTheEnd) {
    using quorvane_dsl::ir::Stored;
    const Value area = number(2500, 2);
    EXPECT_EQ(area.stored_literal(Stored::ToTheEnd), "2500 # area");
    EXPECT_EQ(area.stored_literal(Stored::AmongText), "2500");
    EXPECT_EQ(read(area.stored_literal(Stored::ToTheEnd)), integer(2500));
    // Inside brackets the comment would hide the closing one; to_literal still writes it.
    const Value nested{
        Value::List{{number(8, 3), Value{Value::Named{"xs", {{"a", number(2.5, 1, 1)}}}}}}};
    EXPECT_EQ(nested.to_literal(), "[8 # length^3, xs(a = 2.5 # length\u00b7angle)]");
    EXPECT_EQ(nested.stored_literal(Stored::ToTheEnd), "[8, xs(a = 2.5)]");
    EXPECT_EQ(read(nested.stored_literal(Stored::ToTheEnd)),
              (Value{Value::List{{integer(8), Value{Value::Named{"xs", {{"a", number(2.5)}}}}}}}));
    // Values with literal dimensions are stored as to_literal writes them.
    const Value plain{Value::List{{number(1500, 1), number(3), Value{Value::Point{0, 0, 90}}}}};
    EXPECT_EQ(plain.stored_literal(Stored::AmongText), plain.to_literal());
}

TEST(IrValue, FindsNumbersWithoutLiteral) {
    using quorvane_dsl::ir::unwritable_number;
    EXPECT_EQ(unwritable_number(number(1, 1)), std::nullopt);
    EXPECT_EQ(unwritable_number(Value{Value::Named{"xs", {{"a", number(1, 2)}}}}), std::nullopt);
    EXPECT_EQ(unwritable_number(Value{Value::List{{number(NAN, 0, 1)}}}), "the number NaN");
    EXPECT_EQ(unwritable_number(number(-INFINITY, 2)), "the number -inf");
    EXPECT_EQ(unwritable_number(Value{Value::Point{0, 0, NAN}}), "the number NaN");
}

} // namespace
