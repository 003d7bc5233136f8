#include "geom/bands.hpp"

#include "quarter_circle.hpp"

#include <cmath>

#include <gtest/gtest.h>

namespace quorvane_dsl::geom {
namespace {

TEST(Bands, ChecksStraightBandsAndSweeps) {
    EXPECT_EQ(check_bands({}), "a cross-section needs at least one section");
    EXPECT_EQ(check_bands({{0, -0.0}}), "width must be positive, got 0");
    EXPECT_EQ(check_bands({{NAN, 1}}), "offset must be finite");
    EXPECT_EQ(describe_band(0, 1000), "a section 1um wide");
    EXPECT_EQ(describe_band(-2000, 500), "a section 500nm wide at offset -2um");

    const Banded s = straight_bands({{0, 1000}, {2000, 500}}, 10000).value();
    EXPECT_EQ(s.shape.geometry, (LocalGeometry{BBox{0, -500, 10000, 500}}));
    EXPECT_EQ(s.others, (std::vector<LocalGeometry>{{BBox{0, 1750, 10000, 2250}}}));
    EXPECT_EQ(s.shape.anchor("start"), (Frame{0, 0, 0}));
    EXPECT_EQ(s.shape.anchor("end"), (Frame{10000, 0, 0}));
    EXPECT_EQ(s.radius, INFINITY);
    EXPECT_EQ(straight_bands({{0, 1}}, 0).error(), "length must be positive, got 0");

    const Curve c = quarter_circle(1000);
    EXPECT_EQ(swept(c, {{0, 2000}}, {}, {}, std::nullopt, 1).error(),
              "the curve bends with a radius of 1um, which must exceed half the width 1um");
    EXPECT_EQ(swept(c, {{0, 100}, {950, 200}}, {}, {}, std::nullopt, 1).error(),
              "the curve bends with a radius of 1um, too tight for a section 200nm wide at offset "
              "950nm, whose outer edge is 1.05um from the centerline");
    const Banded ok = swept(c, {{0, 100}}, {}, {}, 4, 1).value();
    EXPECT_EQ(std::get<Polygon>(ok.shape.geometry.kind).points.size(), 10u);
}

TEST(Bands, RingBandsKeepTheCentreRadius) {
    const Banded r =
        ring_bands({{0, 200}, {1000, 200}}, 8, std::nullopt, std::nullopt, 10000, 1).value();
    EXPECT_EQ(r.radius, 10000);
    EXPECT_TRUE(r.shape.anchors.empty());
    EXPECT_EQ(r.others.at(0).bbox()->right, 9100);
}

} // namespace
} // namespace quorvane_dsl::geom
