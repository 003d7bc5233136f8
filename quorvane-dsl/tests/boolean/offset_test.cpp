#include <cmath>

#include <gtest/gtest.h>

#include "base/pool.hpp"
#include "boolean/keyhole.hpp"
#include "boolean/offset.hpp"
#include "shapes.hpp"

namespace quorvane_dsl::boolean {
namespace {

using test::rect;

Polygons grown(const Polygons& a, Join join, double d, std::optional<std::uint32_t> n = {}) {
    return dilate(a, join, n, d).value();
}

Polygons shrunk(const Polygons& a, Join join, double d) {
    return erode(a, join, {}, d).value();
}

TEST(Offset, RectanglesGrowAndShrink) {
    const Polygons square{rect(0, 0, 10, 10)};
    EXPECT_EQ(grown(square, Join::Miter, 1), Polygons{rect(-1, -1, 11, 11)});
    EXPECT_EQ(shrunk(square, Join::Miter, 1), Polygons{rect(1, 1, 9, 9)});
    EXPECT_EQ(shrunk(square, Join::Miter, 4), Polygons{rect(4, 4, 6, 6)});
    EXPECT_TRUE(shrunk(square, Join::Miter, 5).empty());
    EXPECT_TRUE(shrunk(square, Join::Miter, 6).empty());
    EXPECT_EQ(shrunk({rect(0, 0, 100, 4)}, Join::Miter, 1), Polygons{rect(1, 1, 99, 3)});
    EXPECT_TRUE(shrunk({rect(0, 0, 100, 4)}, Join::Round, 3).empty());
    // Far beyond the set's size: nothing left, rather than coordinates out of range.
    EXPECT_TRUE(shrunk(square, Join::Round, 1e300).empty());
    // Overlapping squares merge before they grow.
    EXPECT_EQ(grown({rect(0, 0, 10, 10), rect(5, 5, 15, 15)}, Join::Miter, 1).size(), 1u);
    // By 6 the square's offset ring winds the wrong way round: p[0] keeps its three points.
    const detail::Rings store = offset(square, Join::Miter, {}, false, 6);
    const Ring ring{{4, 6}, {4, 4}, {6, 4}, {6, 0}, {0, 0}, {0, 6}};
    EXPECT_EQ(Ring(store.ring(0).begin(), store.ring(0).end()), ring);
}

TEST(Offset, NoPositiveDistanceGivesTheNormalisedInput) {
    const Polygons input{{{10, 0}, {10, 10}, {0, 10}, {0, 0}}, rect(5, 5, 20, 20)};
    for (const double d : {0.0, -3.0, std::nan("")}) {
        EXPECT_EQ(grown(input, Join::Round, d), test::normalised(input));
        EXPECT_EQ(shrunk(input, Join::Bevel, d), test::normalised(input));
    }
    EXPECT_TRUE(grown({}, Join::Miter, 5).empty());
}

TEST(Offset, JoinsAtOpenCorners) {
    const Polygons square{rect(0, 0, 1000, 1000)};
    const auto per_corner = [&](double d, std::optional<std::uint32_t> n) {
        return offset(square, Join::Round, n, true, d).points.size() / 4;
    };
    EXPECT_EQ(per_corner(100, {}), 7u); // step 2 acos(0.99): 6 arc segments per quarter turn
    EXPECT_EQ(per_corner(10, {}), 3u);  // step capped at a quarter of pi
    EXPECT_EQ(per_corner(100, 64), 17u);
    EXPECT_EQ(per_corner(100, 0), 2u);
    const Ring bevelled{{-1, 0}, {0, -1}, {10, -1}, {11, 0}, {11, 10}, {10, 11}, {0, 11}, {-1, 10}};
    EXPECT_EQ(grown({rect(0, 0, 10, 10)}, Join::Bevel, 1), Polygons{bevelled});
    // The tip at (1000, 100) turns by about 169 degrees: the miter is cut square to the
    // bisector (the x direction) 2d = 20 beyond the tip.
    const Polygons spike = grown({{{0, 0}, {1000, 100}, {0, 200}}}, Join::Miter, 10);
    std::vector<Point> cut;
    std::ranges::copy_if(spike.at(0), std::back_inserter(cut), [](Point q) { return q.x >= 1020; });
    ASSERT_EQ(cut.size(), 2u);
    EXPECT_EQ(cut[0].x, 1020);
    EXPECT_EQ(cut[0].y + cut[1].y, 200);
}

TEST(Offset, GrowingCoversAndShrinkingStaysInside) {
    std::mt19937_64 rng(7);
    for (int round = 0; round < 40; ++round) {
        const Polygons a =
            round % 2 ? test::random_rects(rng, 12, 400) : test::random_rings(rng, 8, 3, 500);
        const Join join = static_cast<Join>(round % 3);
        const double d = 2.0 + round % 9 * 3.5;
        EXPECT_TRUE(boolean(a, keyholes(grown(a, join, d)), Op::Difference).value().empty());
        EXPECT_TRUE(boolean(keyholes(shrunk(a, join, d)), a, Op::Difference).value().empty());
    }
}

TEST(Offset, ResultDoesNotDependOnTheThreadCount) {
    std::mt19937_64 rng(9);
    std::uniform_int_distribution<std::int64_t> size(20, 70);
    Polygons many; // 18000 points, above the parallel threshold
    for (std::int64_t i = 0; i < 4500; ++i) {
        const std::int64_t x = i % 70 * 50, y = i / 70 * 50;
        many.push_back(rect(x, y, x + size(rng), y + size(rng)));
    }
    const Polygons wide = grown(many, Join::Round, 7.5);
    Polygons single;
    quorvane_dsl::base::pool::with_threads(1, [&] { single = grown(many, Join::Round, 7.5); });
    EXPECT_EQ(wide, single);
}

} // namespace
} // namespace quorvane_dsl::boolean
