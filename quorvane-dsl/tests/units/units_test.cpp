#include <bit>
#include <cmath>
#include <cstdlib>
#include <numbers>
#include <random>

#include <gtest/gtest.h>

#include "units/units.hpp"

using namespace quorvane_dsl::units;

TEST(Units, ParseAcceptsExactSuffixesOnly) {
    EXPECT_EQ(parse_unit("nm"), Unit::Nanometre);
    EXPECT_EQ(parse_unit("um"), Unit::Micrometre);
    EXPECT_EQ(parse_unit("\u00B5m"), Unit::Micrometre);
    EXPECT_EQ(parse_unit("\u03BCm"), Unit::Micrometre);
    EXPECT_EQ(parse_unit("mm"), Unit::Millimetre);
    EXPECT_EQ(parse_unit("deg"), Unit::Degree);
    EXPECT_EQ(parse_unit("rad"), Unit::Radian);
    for (std::string_view bad : {"UM", "m", "nmx", "", "Deg", "\u00B5"}) {
        EXPECT_EQ(parse_unit(bad), std::nullopt) << bad;
    }
    EXPECT_EQ(scale_factor(Unit::Millimetre), 1e6);
    EXPECT_EQ(scale_factor(Unit::Radian), 180.0 / std::numbers::pi);
    EXPECT_EQ(unit_kind(Unit::Radian), UnitKind::Angle);
    EXPECT_EQ(unit_kind(Unit::Micrometre), UnitKind::Length);
}

TEST(Units, DimensionText) {
    EXPECT_EQ(dim_text({0, 0}), "number");
    EXPECT_EQ(dim_text({1, 0}), "size");
    EXPECT_EQ(dim_text({2, 0}), "area");
    EXPECT_EQ(dim_text({0, 1}), "angle");
    EXPECT_EQ(dim_text({1, 1}), "length\u00B7angle");
    EXPECT_EQ(dim_text({-1, 0}), "length^-1");
    EXPECT_EQ(dim_text({2, 1}), "length^2\u00B7angle");
    EXPECT_EQ(dim_text({0, -2}), "angle^-2");
    EXPECT_EQ(dim_text({3, -1}), "length^3\u00B7angle^-1");
    EXPECT_EQ(dim_text({-128, 127}), "length^-128\u00B7angle^127");
}

TEST(Units, FormatNumberIsPositionalShortestRoundTrip) {
    EXPECT_EQ(format_number(3.0), "3");
    EXPECT_EQ(format_number(-0.0), "0");
    EXPECT_EQ(format_number(-42.0), "-42");
    EXPECT_EQ(format_number(2.5), "2.5");
    EXPECT_EQ(format_number(-2.5), "-2.5");
    EXPECT_EQ(format_number(0.1), "0.1");
    EXPECT_EQ(format_number(0.1 + 0.2), "0.30000000000000004");
    EXPECT_EQ(format_number(1e-7), "0.0000001");
    EXPECT_EQ(format_number(1e20), "100000000000000000000");
    EXPECT_EQ(format_number(std::ldexp(1.0, 60)), "1152921504606847000");
    EXPECT_EQ(format_number(999999999999999.0), "999999999999999");
    EXPECT_EQ(format_number(1e15), "1000000000000000");
    EXPECT_EQ(format_number(-1e15), "-1000000000000000");
    EXPECT_EQ(format_number(123.456), "123.456");
    EXPECT_EQ(format_number(1e-300), "0." + std::string(299, '0') + "1");
    EXPECT_EQ(format_number(NAN), "NaN");
    EXPECT_EQ(format_number(INFINITY), "inf");
    EXPECT_EQ(format_number(-INFINITY), "-inf");

    std::mt19937_64 random(7);
    std::uniform_int_distribution<std::uint64_t> bits;
    for (int i = 0; i < 2000; ++i) {
        const double value = std::bit_cast<double>(bits(random));
        if (!std::isfinite(value)) {
            continue;
        }
        const std::string text = format_number(value);
        EXPECT_EQ(text.find_first_of("eE+"), std::string::npos) << text;
        EXPECT_EQ(std::strtod(text.c_str(), nullptr), value) << text;
    }
}

TEST(Units, FormatLengthAndAngle) {
    EXPECT_EQ(format_length(0.0), "0");
    EXPECT_EQ(format_length(-0.0), "0");
    EXPECT_EQ(format_length(2000000.0), "2mm");
    EXPECT_EQ(format_length(-1000000.0), "-1mm");
    EXPECT_EQ(format_length(1500000.0), "1500um");
    EXPECT_EQ(format_length(1234567.0), "1234.567um");
    EXPECT_EQ(format_length(1000000.5), "1000.0005um");
    EXPECT_EQ(format_length(1000.0), "1um");
    EXPECT_EQ(format_length(-3000.0), "-3um");
    EXPECT_EQ(format_length(999.5), "999.5nm");
    EXPECT_EQ(format_length(0.25), "0.25nm");
    EXPECT_EQ(format_length(1e-3), "0.001nm");

    // Whole and half nanometres take a shortcut past the general digits; they must agree with
    // the general number text at every size and sign, around the unit boundaries and beyond
    // the shortcut's range.
    std::mt19937_64 random(11);
    for (int i = 0; i < 20000; ++i) {
        const int digits = static_cast<int>(random() % 14);
        const auto span = static_cast<std::int64_t>(std::pow(10.0, digits));
        const double halves = static_cast<double>(static_cast<std::int64_t>(random() % 20) - 10 +
                                                  static_cast<std::int64_t>(random()) % span);
        const double value = halves / 2.0;
        if (value == 0.0) {
            continue;
        }
        const double magnitude = std::fabs(value);
        std::string expected;
        if (magnitude >= 1e6 && std::trunc(value / 1e6) == value / 1e6) {
            expected = format_number(value / 1e6) + "mm";
        } else if (magnitude >= 1000.0) {
            expected = format_number(value / 1000.0) + "um";
        } else {
            expected = format_number(value) + "nm";
        }
        EXPECT_EQ(format_length(value), expected) << halves;
    }

    EXPECT_EQ(format_angle(0.0), "0");
    EXPECT_EQ(format_angle(-0.0), "0");
    EXPECT_EQ(format_angle(90.0), "90deg");
    EXPECT_EQ(format_angle(-22.5), "-22.5deg");
    EXPECT_EQ(format_angle(360.0), "360deg");
    EXPECT_EQ(format_angle(0.5), "0.5deg");
}

TEST(Units, StringEscaping) {
    EXPECT_EQ(escape_string(""), "\"\"");
    EXPECT_EQ(escape_string("a\tb\nc\"d\\e\u00B5"), "\"a\\tb\\nc\\\"d\\\\e\u00B5\"");
    EXPECT_EQ(escape_string("x\ry"), "\"x\\ry\"");

    EXPECT_EQ(unescape_string("\""), "");
    EXPECT_EQ(unescape_string("\"abc\\\""), "abc");
    EXPECT_EQ(unescape_string("\"\\x\""), "x");
    EXPECT_EQ(unescape_string("\"\\n\\t\\r\\\"\\\\\""), "\n\t\r\"\\");
    EXPECT_EQ(unescape_string("plain"), "plain");
    EXPECT_EQ(unescape_string("\"\\\u00B5\""), "\u00B5");

    // Every text survives the round trip, and its literal holds no line break that would
    // end it early in the lexer.
    std::mt19937 random(11);
    std::uniform_int_distribution<int> byte(0, 255);
    std::uniform_int_distribution<int> pick(0, 6);
    const char specials[] = {'\t', '\n', '\r', '"', '\\', 'n', 'r'};
    for (int i = 0; i < 500; ++i) {
        std::string text;
        for (int k = i % 24; k > 0; --k) {
            text += static_cast<char>(k % 2 ? specials[pick(random)] : byte(random));
        }
        const std::string literal = escape_string(text);
        EXPECT_EQ(literal.find_first_of("\r\n"), std::string::npos);
        EXPECT_EQ(unescape_string(literal), text);
    }
}

TEST(Units, EditDistanceCountsCharacters) {
    EXPECT_EQ(edit_distance("flaw", "lawn"), 2u);
    EXPECT_EQ(edit_distance("lawn", "flaw"), 2u);
    EXPECT_EQ(edit_distance("", "abc"), 3u);
    EXPECT_EQ(edit_distance("abc", ""), 3u);
    EXPECT_EQ(edit_distance("", ""), 0u);
    EXPECT_EQ(edit_distance("\u00B5m", "um"), 1u);
    EXPECT_EQ(edit_distance("\u00B5m", "\u03BCm"), 1u);
    EXPECT_EQ(edit_distance("kitten", "sitting"), 3u);
    EXPECT_EQ(edit_distance("Layer", "layer"), 1u);
    // Broken UTF-8 counts byte by byte and matches nothing valid.
    EXPECT_EQ(edit_distance("\xC2", "\u00B5"), 1u);
    EXPECT_EQ(edit_distance("a\xFF\xFE", "a"), 2u);
}
