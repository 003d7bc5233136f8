#include "boolean/offset.hpp"

#include "boolean/keyhole.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace quorvane_dsl::boolean {
namespace {

Ring rect(std::int64_t x0, std::int64_t y0, std::int64_t x1, std::int64_t y1) {
    return {{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}};
}

Polygons grown(const Polygons& a, Join join, double d, std::optional<std::uint32_t> n = {}) {
    return dilate(a, join, n, d).value();
}

Polygons shrunk(const Polygons& a, Join join, double d, std::optional<std::uint32_t> n = {}) {
    return erode(a, join, n, d).value();
}

Polygons normalised(const Polygons& a) {
    return boolean(a, {}, Op::Union).value();
}

TEST(Offset, SquareGrowsAndShrinksWithMiterJoins) {
    const Polygons square{rect(0, 0, 10, 10)};
    EXPECT_EQ(grown(square, Join::Miter, 1), Polygons{rect(-1, -1, 11, 11)});
    EXPECT_EQ(shrunk(square, Join::Miter, 1), Polygons{rect(1, 1, 9, 9)});
    EXPECT_EQ(shrunk(square, Join::Miter, 4), Polygons{rect(4, 4, 6, 6)});
    EXPECT_TRUE(shrunk(square, Join::Miter, 5).empty());
    EXPECT_TRUE(shrunk(square, Join::Miter, 6).empty());
    const Polygons strip{rect(0, 0, 100, 4)};
    EXPECT_EQ(shrunk(strip, Join::Miter, 1), Polygons{rect(1, 1, 99, 3)});
    EXPECT_TRUE(shrunk(strip, Join::Round, 3).empty());
    // Far beyond the set's size: nothing left rather than coordinates out of range.
    EXPECT_TRUE(shrunk(square, Join::Round, 1e300).empty());
}

TEST(Offset, ShrinkingBySixLeavesAClockwiseRing) {
    const Rings store = offset(Polygons{rect(0, 0, 10, 10)}, Join::Miter, {}, false, 6);
    ASSERT_EQ(store.ring_count(), 1u);
    const Ring expected{{4, 6}, {4, 4}, {6, 4}, {6, 0}, {0, 0}, {0, 6}};
    EXPECT_EQ(Ring(store.ring(0).begin(), store.ring(0).end()), expected);
}

TEST(Offset, NoPositiveDistanceGivesTheNormalisedInput) {
    const Polygons input{{{10, 0}, {10, 10}, {0, 10}, {0, 0}}, rect(5, 5, 20, 20)};
    for (const double d : {0.0, -3.0, std::nan("")}) {
        EXPECT_EQ(grown(input, Join::Round, d), normalised(input));
        EXPECT_EQ(shrunk(input, Join::Bevel, d), normalised(input));
    }
    EXPECT_TRUE(grown({}, Join::Miter, 5).empty());
}

TEST(Offset, RoundJoinPointCounts) {
    const Polygons square{rect(0, 0, 1000, 1000)};
    const auto points = [&](double d, std::optional<std::uint32_t> n) {
        return offset(square, Join::Round, n, true, d).points.size() / 4;
    };
    EXPECT_EQ(points(100, {}), 7u); // step 2 acos(0.99): 6 segments per quarter turn
    EXPECT_EQ(points(10, {}), 3u);  // step capped at a quarter of pi
    EXPECT_EQ(points(100, 64), 17u);
    EXPECT_EQ(points(100, 0), 2u);
    // Every arc point lies on the circle around its corner, within rounding.
    const Rings store = offset(square, Join::Round, {}, true, 100);
    for (const Point q : store.points) {
        const double dx = q.x < 0 ? q.x : q.x > 1000 ? q.x - 1000 : 0;
        const double dy = q.y < 0 ? q.y : q.y > 1000 ? q.y - 1000 : 0;
        if (dx != 0 && dy != 0) {
            EXPECT_NEAR(std::hypot(dx, dy), 100.0, 0.75);
        }
    }
}

TEST(Offset, SharpMiterIsCutAtTwiceTheDistance) {
    // The tip at (1000, 100) turns by about 169 degrees; the cut runs across the bisector
    // (the x axis direction) 2d = 20 beyond the tip.
    const Polygons spike{{{0, 0}, {1000, 100}, {0, 200}}};
    const Polygons out = grown(spike, Join::Miter, 10);
    ASSERT_EQ(out.size(), 1u);
    std::vector<Point> cut;
    for (const Point q : out[0]) {
        EXPECT_LE(q.x, 1020);
        if (q.x == 1020) {
            cut.push_back(q);
        }
    }
    ASSERT_EQ(cut.size(), 2u);
    EXPECT_EQ(cut[0].y + cut[1].y, 200);
    EXPECT_GT(std::abs(cut[0].y - cut[1].y), 2);
}

TEST(Offset, BevelJoinsCutEveryOpenCorner) {
    const Polygons out = grown({rect(0, 0, 10, 10)}, Join::Bevel, 1);
    const Ring expected{{-1, 0}, {0, -1}, {10, -1}, {11, 0}, {11, 10}, {10, 11}, {0, 11}, {-1, 10}};
    EXPECT_EQ(out, Polygons{expected});
}

TEST(Offset, OverlappingInputsMergeFirst) {
    EXPECT_EQ(grown({rect(0, 0, 10, 10), rect(5, 5, 15, 15)}, Join::Miter, 1).size(), 1u);
}

Polygons random_rects(std::mt19937_64& rng, int count) {
    std::uniform_int_distribution<std::int64_t> pos(0, 400);
    std::uniform_int_distribution<std::int64_t> size(1, 120);
    Polygons out;
    for (int i = 0; i < count; ++i) {
        const std::int64_t x = pos(rng);
        const std::int64_t y = pos(rng);
        out.push_back(rect(x, y, x + size(rng), y + size(rng)));
    }
    return out;
}

TEST(Offset, GrowingCoversAndShrinkingStaysInside) {
    std::mt19937_64 rng(7);
    for (int round = 0; round < 30; ++round) {
        const Polygons a = random_rects(rng, 12);
        const Join join = static_cast<Join>(round % 3);
        const double d = 2.0 + round % 9 * 3.5;
        const Polygons grew = grown(a, join, d);
        EXPECT_TRUE(boolean(a, keyholes(grew), Op::Difference).value().empty()) << round;
        const Polygons shrank = shrunk(a, join, d);
        EXPECT_TRUE(boolean(keyholes(shrank), a, Op::Difference).value().empty()) << round;
    }
}

} // namespace
} // namespace quorvane_dsl::boolean
