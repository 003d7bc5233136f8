#include "boolean/split.hpp"

#include "boolean/keyhole.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

namespace quorvane_dsl::boolean {
namespace {

// A staircase of `steps` unit steps up from (0, 0), closed along the bottom and right sides:
// 2 * steps + 2 points, all on whole coordinates, so cuts create no new rounding.
Ring staircase(std::int64_t steps) {
    Ring ring{{0, 0}, {steps, 0}, {steps, steps}};
    for (std::int64_t i = steps; i > 0; --i) {
        ring.push_back({i - 1, i});
        ring.push_back({i - 1, i - 1});
    }
    ring.pop_back();
    return ring;
}

Polygons normalised(const Polygons& set) {
    return boolean(set, {}, Op::Union).value();
}

TEST(Split, SmallPolygonsComeBackWhole) {
    const Ring ring = staircase(3999);
    ASSERT_EQ(ring.size(), 8000u);
    EXPECT_EQ(split(ring).value(), Polygons{ring});
    EXPECT_EQ(split(Ring{}).value(), Polygons{Ring{}});
}

TEST(Split, PiecesCoverTheInputWithinTheLimit) {
    const Ring ring = staircase(6000);
    const Polygons pieces = split(ring).value();
    ASSERT_GT(pieces.size(), 1u);
    for (const Ring& piece : pieces) {
        EXPECT_LE(piece.size(), max_piece_points);
    }
    EXPECT_EQ(normalised(pieces), normalised({ring}));
    // The first cut is vertical at x = 3000: the left pieces come first.
    EXPECT_LE(std::ranges::max(pieces.front(), {}, &Point::x).x, 3000);
    EXPECT_GE(std::ranges::min(pieces.back(), {}, &Point::x).x, 3000);
}

TEST(Split, CutsAcrossTheLongerSideAtTheLowHalf) {
    // 8001 points on a 5 by 5 box (repeats count): cut at x = 2.
    Ring square(7998, Point{0, 0});
    square.insert(square.end(), {{5, 0}, {5, 5}, {0, 5}});
    const Polygons wide{{{0, 0}, {2, 0}, {2, 5}, {0, 5}}, {{2, 0}, {5, 0}, {5, 5}, {2, 5}}};
    EXPECT_EQ(split(square).value(), wide);
    // One unit higher than wide: cut horizontally at y = 3.
    Ring tall(7998, Point{0, 0});
    tall.insert(tall.end(), {{5, 0}, {5, 6}, {0, 6}});
    const Polygons high{{{0, 0}, {5, 0}, {5, 3}, {0, 3}}, {{0, 3}, {5, 3}, {5, 6}, {0, 6}}};
    EXPECT_EQ(split(tall).value(), high);
}

TEST(Split, TinyBoxStillKeepsTheLimit) {
    Ring ring;
    for (int i = 0; i < 3000; ++i) {
        ring.insert(ring.end(), {{0, 0}, {1, 0}, {1, 1}});
    }
    const Polygons pieces = split(ring).value();
    EXPECT_EQ(pieces, (Polygons{{{0, 0}, {1, 0}, {1, 1}}}));
}

TEST(Split, CircleWithHoleKeepsItsArea) {
    // A disc of 9000 points with a square hole keyholed in; the cut line runs through the hole.
    constexpr int n = 9000;
    Ring disc;
    for (int i = 0; i < n; ++i) {
        const double a = 2 * M_PI * i / n;
        disc.push_back({std::llround(1e7 * std::cos(a)), std::llround(1e7 * std::sin(a))});
    }
    const Ring hole{{-1000, -1000}, {-1000, 1000}, {1000, 1000}, {1000, -1000}};
    const Polygons outline = keyholes({normalised({disc}).at(0), hole});
    ASSERT_EQ(outline.size(), 1u);
    const Polygons pieces = split(outline[0]).value();
    EXPECT_GE(pieces.size(), 2u);
    for (const Ring& piece : pieces) {
        EXPECT_LE(piece.size(), max_piece_points);
    }
    // Crossing points on the cut lines snap to the grid: compare up to a thin band.
    const Polygons joined = boolean(pieces, {}, Op::Union).value();
    const Polygons lost = boolean(outline, keyholes(joined), Op::Xor).value();
    double area = 0;
    for (const Ring& r : lost) {
        for (std::size_t i = 0; i < r.size(); ++i) {
            const Point a = r[i], b = r[(i + 1) % r.size()];
            area += 0.5 * (double(a.x) * b.y - double(b.x) * a.y);
        }
    }
    EXPECT_LT(std::abs(area), 2e7);
}

TEST(Keyholes, OutlinesFeedBackToTheSameSetWithTheSameArea) {
    std::mt19937_64 rng(5);
    std::uniform_int_distribution<std::int64_t> pos(0, 500);
    for (int round = 0; round < 20; ++round) {
        Polygons a, b;
        for (int i = 0; i < 8; ++i) {
            const std::int64_t x = pos(rng), y = pos(rng), w = pos(rng) / 3 + 1;
            (i % 2 ? a : b).push_back({{x, y}, {x + w, y}, {x + w / 2, y + w}});
        }
        const Polygons result = boolean(a, b, Op::Xor).value();
        const Polygons outlines = keyholes(result);
        EXPECT_EQ(normalised(outlines), result) << round;
        __int128 before = 0, after = 0;
        const auto add = [](__int128& sum, const Polygons& set) {
            for (const Ring& r : set) {
                for (std::size_t i = 0; i < r.size(); ++i) {
                    const Point p = r[i], q = r[(i + 1) % r.size()];
                    sum += __int128(p.x) * q.y - __int128(q.x) * p.y;
                }
            }
        };
        add(before, result);
        add(after, outlines);
        EXPECT_TRUE(before == after) << round;
    }
}

} // namespace
} // namespace quorvane_dsl::boolean
