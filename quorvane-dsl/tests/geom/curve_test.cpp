#include "geom/curve.hpp"

#include "quarter_circle.hpp"

#include <cmath>
#include <numbers>

#include <gtest/gtest.h>

namespace quorvane_dsl::geom {
namespace {

TEST(Curve, PickExplicitAndAutomatic) {
    const Curve c = quarter_circle(1000);
    EXPECT_EQ(c.pick(3, 0, 1).value(), (std::vector<std::size_t>{0, 2730, 5461, 8192}));
    EXPECT_EQ(c.pick(2, 0, 1).error(), "segments must be between 3 and 65536, got 2");
    EXPECT_EQ(c.pick(65537, 0, 1).error(), "segments must be between 3 and 65536, got 65537");
    EXPECT_EQ(c.pick(65536, 0, 1).value().size(), 8193u);
    // A tolerance beyond every radius allows 45 degrees per segment: a quarter turn takes 2.
    EXPECT_EQ(c.pick(std::nullopt, 0, 1e9).value().size(), 3u);
    // So 1.2 segments' worth of turn takes 2: the count rounds up, whatever its fraction.
    const Heading turning = [](double s) { return s / 1000; };
    Curve short_arc = sample_curve(300 * std::numbers::pi, turning);
    integrate(short_arc.points, turning, 300 * std::numbers::pi * dense_step);
    EXPECT_EQ(short_arc.pick(std::nullopt, 0, 1e9).value().size(), 3u);
    // A finer tolerance and a farther edge both ask for more samples.
    const std::size_t fine = c.pick(std::nullopt, 0, 1).value().size();
    EXPECT_GT(fine, 3u);
    EXPECT_GT(c.pick(std::nullopt, 500, 1).value().size(), fine);
    // The 45-degree cap starts where 1 - tol / r falls to cos(pi / 8), at a tolerance of 76.1
    // on this radius; just below it a quarter turn takes 3 segments.
    EXPECT_EQ(c.pick(std::nullopt, 0, 80).value().size(), 3u);
    EXPECT_EQ(c.pick(std::nullopt, 0, 70).value().size(), 4u);
    const Heading straight = [](double) { return 0.25; };
    const Curve line = sample_curve(100, straight);
    EXPECT_EQ(line.pick(std::nullopt, 10, 1).value(), (std::vector<std::size_t>{0, 8192}));
}

TEST(Curve, IntegrationAndTightestRadius) {
    const Heading flat = [](double) { return 0.0; };
    Curve line = sample_curve(8192, flat);
    integrate(line.points, flat, 1);
    EXPECT_EQ(line.points[5], (Point{5, 0}));
    EXPECT_EQ(line.min_radius({0, 8192}), INFINITY);
    const Curve c = quarter_circle(1000);
    EXPECT_NEAR(c.points.back().x, 1000, 1e-6);
    EXPECT_NEAR(c.points.back().y, 1000, 1e-6);
    EXPECT_NEAR(c.min_radius({0, 4096, 8192}), 1000, 1e-6);
    std::vector<std::size_t> all(c.points.size());
    for (std::size_t i = 0; i < all.size(); ++i) {
        all[i] = i;
    }
    EXPECT_EQ(min_step_radius(c.steps()), c.min_radius(all));
}

} // namespace
} // namespace quorvane_dsl::geom
