#include "geom/arc.hpp"
#include "geom/checks.hpp"
#include "geom/euler.hpp"

#include <cmath>

#include <gtest/gtest.h>

namespace quorvane_dsl::geom {
namespace {

TEST(Arc, EndFramesAndLimits) {
    const Banded full = arc_bands({{0, 100}}, std::nullopt, 1000, 360, 1).value();
    const Frame end = *full.shape.anchor("end");
    EXPECT_NEAR(end.x, 0, 1e-9);
    EXPECT_NEAR(end.y, 0, 1e-9);
    EXPECT_EQ(end.angle, 0);
    const Frame right = *arc_bands({{0, 100}}, std::nullopt, 1000, -90, 1)->shape.anchor("end");
    EXPECT_EQ(right.angle, 270);
    EXPECT_NEAR(right.x, 1000, 1e-9);
    EXPECT_NEAR(right.y, -1000, 1e-9);
    EXPECT_EQ(arc(std::nullopt, 1000, 2000, 90, 1).error(),
              "an arc must be narrower than twice its radius");
    EXPECT_EQ(arc_bands({{500, 1000}}, std::nullopt, 1000, 90, 1).error(),
              "a section 1um wide at offset 500nm does not fit in a bend of radius 1um");
    EXPECT_TRUE(arc_bands({{-500, 1000}}, std::nullopt, 1000, 90, 1).has_value());
    EXPECT_EQ(arc(std::nullopt, 1000, 10, 0, 1).error(),
              "an arc angle must be non-zero and at most 360deg");
    // Even a tiny turn gets two segments.
    EXPECT_EQ(std::get<Polygon>(arc(std::nullopt, 1000, 10, 1e-6, 1)->geometry.kind).points.size(),
              6u);
}

TEST(Arc, AutomaticCountsRoundUp) {
    // 70.24 segments per circle at 1 nm from a 1 um radius make 71; 200 degrees of them, 39.44,
    // make 40: each count rounds up, even with a fraction below one half.
    EXPECT_EQ(auto_segments(200, 1000, 1), 40u);
}

TEST(Euler, RadiusAndMinRadius) {
    const double r = 10000;
    const Banded by_radius =
        euler_bands(false, r, {{0, 500}}, 90, std::nullopt, std::nullopt, 1).value();
    const Frame end = *by_radius.shape.anchor("end");
    EXPECT_NEAR(end.x, r, 1e-3);
    EXPECT_NEAR(end.y, r, 1e-3);
    EXPECT_EQ(end.angle, 90);
    EXPECT_LT(by_radius.radius, r);
    const Banded by_min = euler_bands(true, r, {{0, 500}}, -90, 1.0, std::nullopt, 1).value();
    EXPECT_NEAR(by_min.radius, r, 1e-9);
    EXPECT_EQ(by_min.shape.anchor("end")->angle, 270);
    EXPECT_GT(by_min.shape.anchor("end")->x, r);
    EXPECT_EQ(euler(false, r, 500, 90, 1.5, std::nullopt, 1).error(),
              "p must be between 0 and 1, got 1.5");
    EXPECT_EQ(euler(false, r, 500, 360, std::nullopt, std::nullopt, 1).error(),
              "an Euler bend angle must be non-zero and less than 360deg");
    EXPECT_EQ(euler(true, r, 500, 90, 0.0, 8, 1), arc(8, r, 500, 90, 1));
    EXPECT_EQ(euler(true, 100, 200, 90, std::nullopt, std::nullopt, 1).error(),
              "the tightest radius of this Euler bend is 100nm, which must exceed half the width "
              "100nm");
}

} // namespace
} // namespace quorvane_dsl::geom
