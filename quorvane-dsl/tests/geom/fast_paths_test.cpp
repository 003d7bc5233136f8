#include "base/round.hpp"
#include "geom/outline.hpp"
#include "geom/shape.hpp"

#include <bit>
#include <cmath>
#include <limits>

#include <gtest/gtest.h>

namespace quorvane_dsl::geom {
namespace {

bool same_bits(double a, double b) {
    return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}

// Circles of more kinds than the tables keep, drawn in turns, so that tables are evicted and
// made again: every point must be the one computed directly.
TEST(FastPaths, CirclePointsAsComputedDirectly) {
    const double starts[] = {0, -0.0, 0.1, 45, 90, -45, 359.9, 720};
    const std::size_t counts[] = {3, 7, 64, 65};
    for (int round = 0; round < 2; ++round) {
        for (const double start : starts) {
            for (const std::size_t n : counts) {
                const double radius = 1234.567 + n;
                const Points got = circle_points(start, n, radius, 0, n);
                ASSERT_EQ(got.size(), n + 1);
                for (std::size_t k = 0; k <= n; ++k) {
                    const double theta =
                        start * 0.017453292519943295 +
                        (static_cast<double>(k % n) * 6.283185307179586) / static_cast<double>(n);
                    EXPECT_TRUE(same_bits(got[k].x, radius * std::cos(theta)));
                    EXPECT_TRUE(same_bits(got[k].y, radius * std::sin(theta)));
                }
            }
        }
    }
}

// The box must be the fold of fmin and fmax, zeros of either sign and NaNs included.
// Called through pointers the compiler cannot see through: folded at compile time, fmin of two
// zeros may not pick the zero that the library picks at run time.
double (*volatile fmin_call)(double, double) = std::fmin;
double (*volatile fmax_call)(double, double) = std::fmax;

void expect_fmin_fmax_box(const Points& points) {
    BBox want{points[0].x, points[0].y, points[0].x, points[0].y};
    for (std::size_t i = 1; i < points.size(); ++i) {
        const Point p = points[i];
        want = {fmin_call(want.left, p.x), fmin_call(want.bottom, p.y), fmax_call(want.right, p.x),
                fmax_call(want.top, p.y)};
    }
    const BBox got = *LocalGeometry{Polygon{points}}.bbox();
    EXPECT_TRUE(same_bits(got.left, want.left));
    EXPECT_TRUE(same_bits(got.bottom, want.bottom));
    EXPECT_TRUE(same_bits(got.right, want.right));
    EXPECT_TRUE(same_bits(got.top, want.top));
}

TEST(FastPaths, PolygonBoxAsFminFmax) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    expect_fmin_fmax_box(
        {{-0.0, 0.0}, {0.0, -0.0}, {nan, 2}, {3, nan}, {-1, 2}, {3, 2}, {-0.0, 0.0}});
    expect_fmin_fmax_box({{nan, 1}, {2, nan}, {0.0, -0.0}, {-0.0, 0.0}, {2, 1}});
}

// Rounding without the maths library must agree with `std::round` at every half, at the edge
// of exact fractions and beyond it.
TEST(FastPaths, RoundingAsStdRound) {
    const auto reference = [](double v) -> std::int64_t {
        if (std::isnan(v)) {
            return 0;
        }
        const double r = std::round(v);
        if (r >= 9223372036854775808.0) {
            return std::numeric_limits<std::int64_t>::max();
        }
        if (r < -9223372036854775808.0) {
            return std::numeric_limits<std::int64_t>::min();
        }
        return static_cast<std::int64_t>(r);
    };
    const double values[] = {0.5,
                             1.5,
                             2.5,
                             0.49999999999999994,
                             4503599627370495.5,
                             4503599627370496.0,
                             9007199254740993.0,
                             123456.7,
                             1e300,
                             std::numeric_limits<double>::infinity(),
                             0.0,
                             std::numeric_limits<double>::quiet_NaN()};
    for (const double v : values) {
        EXPECT_EQ(base::round_to_i64(v), reference(v)) << v;
        EXPECT_EQ(base::round_to_i64(-v), reference(-v)) << -v;
    }
}

} // namespace
} // namespace quorvane_dsl::geom
