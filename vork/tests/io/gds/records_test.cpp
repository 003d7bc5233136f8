#include <cmath>

#include <gtest/gtest.h>

#include "io/gds/reader.hpp"
#include "io/gds/record.hpp"
#include "io/gds/writer.hpp"

using namespace vork::io::gds;
using vork::models::Point;
using Bytes = std::vector<std::uint8_t>;

namespace {

std::string error_text(const auto& result) {
    return debug_text(result.error());
}

} // namespace

TEST(Records, FramingAndTextPadding) {
    Bytes out;
    ASSERT_TRUE(writer::write_record(out, rec::ENDEL, data::NONE, {}));
    ASSERT_TRUE(writer::write_ascii_record(out, 6, "ABC"));
    ASSERT_TRUE(writer::write_ascii_record(out, 6, "AB"));
    EXPECT_EQ(out, (Bytes{0x00, 0x04, 0x11, 0x00, 0x00, 0x08, 0x06, 0x06, 0x41, 0x42, 0x43, 0x00,
                          0x00, 0x06, 0x06, 0x06, 0x41, 0x42}));

    Bytes big(65531);
    Bytes framed;
    EXPECT_TRUE(writer::write_record(framed, 1, 2, big));
    EXPECT_EQ(framed.size(), 65535u);
    big.push_back(0);
    Bytes refused;
    auto result = writer::write_record(refused, 1, 2, big);
    EXPECT_EQ(error_text(result), "Format(\"record exceeds GDS maximum length\")");
    EXPECT_TRUE(refused.empty());
}

TEST(Records, Real8EncodingIsExactBothWays) {
    const std::vector<std::pair<double, Bytes>> cases = {
        {1.0, {0x41, 0x10, 0, 0, 0, 0, 0, 0}},
        {-1.0, {0xC1, 0x10, 0, 0, 0, 0, 0, 0}},
        {0.5, {0x40, 0x80, 0, 0, 0, 0, 0, 0}},
        {90.0, {0x42, 0x5A, 0, 0, 0, 0, 0, 0}},
        {0.001, {0x3E, 0x41, 0x89, 0x37, 0x4B, 0xC6, 0xA7, 0xF0}},
        {1e-9, {0x39, 0x44, 0xB8, 0x2F, 0xA0, 0x9B, 0x5A, 0x54}},
        {0.0, {0, 0, 0, 0, 0, 0, 0, 0}},
    };
    for (const auto& [value, bytes] : cases) {
        auto encoded = writer::encode_real8(value);
        ASSERT_TRUE(encoded);
        EXPECT_EQ(Bytes(encoded->begin(), encoded->end()), bytes) << value;
        EXPECT_EQ(reader::decode_real8(bytes.data()), value);
    }
    for (double v : {12.5, -0.1, 123456.789, 3e-70, 1e70}) {
        auto encoded = writer::encode_real8(v);
        ASSERT_TRUE(encoded) << v;
        EXPECT_EQ(reader::decode_real8(encoded->data()), v);
    }
    EXPECT_FALSE(writer::encode_real8(std::numeric_limits<double>::infinity()));
    EXPECT_FALSE(writer::encode_real8(1e300));
    // The excess-64 exponent spans [16^-65, 16^63): both ends exactly, nothing beyond.
    EXPECT_EQ(*writer::encode_real8(0x1p-260),
              (std::array<std::uint8_t, 8>{0x00, 0x10, 0, 0, 0, 0, 0, 0}));
    const double largest = std::nextafter(0x1p252, 0.0);
    EXPECT_EQ(reader::decode_real8(writer::encode_real8(-largest)->data()), -largest);
    EXPECT_EQ((*writer::encode_real8(-largest))[0], 0xFF);
    EXPECT_FALSE(writer::encode_real8(0x1p252));
    EXPECT_FALSE(writer::encode_real8(std::nextafter(0x1p-260, 0.0)));
    EXPECT_EQ(debug_text(writer::encode_real8(-0x1p252).error()),
              "Format(\"real -7.237005577332262e75 has no GDSII 8-byte form\")");
    EXPECT_EQ(*writer::encode_real8(-0.0), (std::array<std::uint8_t, 8>{}));
    EXPECT_EQ((*writer::encode_real8(std::nan("")))[0], 0x40);
}

TEST(Records, Decoders) {
    EXPECT_EQ(*reader::parse_ascii(Bytes{0x41, 0x42, 0x00}), "AB");
    EXPECT_EQ(*reader::parse_ascii(Bytes{0x41, 0x00, 0x42, 0x43}), "A");
    EXPECT_EQ(error_text(reader::parse_ascii(Bytes{0xFF})),
              "Format(\"invalid utf-8 sequence of 1 bytes from index 0\")");
    EXPECT_EQ(error_text(reader::parse_ascii(Bytes{0x41, 0xE2, 0x82})),
              "Format(\"incomplete utf-8 byte sequence from index 1\")");
    EXPECT_EQ(error_text(reader::parse_ascii(Bytes{0xE2, 0x82, 0x41})),
              "Format(\"invalid utf-8 sequence of 2 bytes from index 0\")");
    EXPECT_EQ(*reader::parse_ascii(Bytes{0xC2, 0xB5, 0x6D}), "\u00b5m");

    auto points = reader::parse_points(Bytes{0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x01});
    ASSERT_TRUE(points);
    EXPECT_EQ(*points, (std::vector<Point>{{-1, 1}}));
    EXPECT_EQ(error_text(reader::parse_points(Bytes(12))),
              "Format(\"XY record length must be a multiple of 8\")");

    EXPECT_EQ(*reader::parse_i16_one(Bytes{0, 5, 0, 7}), 5);
    EXPECT_EQ(error_text(reader::parse_i16_one(Bytes(3))),
              "Format(\"i16 record has odd byte length\")");
    EXPECT_EQ(error_text(reader::parse_i16_one(Bytes{})), "Format(\"expected one i16 value\")");
    EXPECT_EQ(error_text(reader::parse_u16_one(Bytes(4))), "Format(\"expected one u16 value\")");
    EXPECT_EQ(error_text(reader::parse_i32_one(Bytes(2))), "Format(\"expected one i32 value\")");
    EXPECT_EQ(error_text(reader::parse_real8_one(Bytes{})), "Format(\"expected one real8 value\")");
    EXPECT_EQ(error_text(reader::parse_real8s(Bytes(7))),
              "Format(\"real8 record length must be a multiple of 8\")");
}

TEST(Records, Transforms) {
    using vork::models::shape::General;
    using vork::models::shape::Orthogonal;
    using vork::models::shape::Transform;
    const auto records = [](Transform t) {
        Bytes out;
        EXPECT_TRUE(writer::write_transform_records(out, t));
        return out;
    };
    EXPECT_TRUE(records({{}, General{}}).empty());
    EXPECT_TRUE(records({{}, Orthogonal{0}}).empty());
    EXPECT_EQ(records({{}, Orthogonal{4}}), (Bytes{0, 6, rec::STRANS, 1, 0x80, 0}));
    EXPECT_EQ(records({{}, Orthogonal{1}}),
              (Bytes{0, 12, rec::ANGLE, 5, 0x42, 0x5A, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(records({{}, General{.absolute_angle = true}}),
              (Bytes{0, 6, rec::STRANS, 1, 0, 2, 0, 12, rec::ANGLE, 5, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(records({{}, General{.magnification = 2.0, .reflection = true}}).size(), 6u + 12u);
}
