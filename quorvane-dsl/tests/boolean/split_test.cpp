#include <algorithm>
#include <cmath>

#include <gtest/gtest.h>

#include "boolean/keyhole.hpp"
#include "boolean/split.hpp"
#include "shapes.hpp"

namespace quorvane_dsl::boolean {
namespace {

using test::normalised;

// A staircase of unit steps: 2 * steps + 2 points on whole coordinates, so that cuts add no
// rounding.
Ring staircase(std::int64_t steps) {
    Ring ring{{0, 0}, {steps, 0}, {steps, steps}};
    for (std::int64_t i = steps; i > 0; --i) {
        ring.insert(ring.end(), {{i - 1, i}, {i - 1, i - 1}});
    }
    ring.pop_back();
    return ring;
}

// A rectangle padded with repeats of its first corner up to `points` points.
Ring padded(std::int64_t w, std::int64_t h, std::size_t points) {
    Ring ring(points - 3, Point{0, 0});
    ring.insert(ring.end(), {{w, 0}, {w, h}, {0, h}});
    return ring;
}

TEST(Split, CutsBigPolygonsIntoCoveringPiecesWithinTheLimit) {
    EXPECT_EQ(split(staircase(3999)).value(), Polygons{staircase(3999)}); // 8000 points
    EXPECT_EQ(split(Ring{}).value(), Polygons{Ring{}});
    const Ring ring = staircase(6000);
    const Polygons pieces = split(ring).value();
    ASSERT_GT(pieces.size(), 1u);
    for (const Ring& piece : pieces) {
        EXPECT_LE(piece.size(), max_piece_points);
    }
    EXPECT_EQ(normalised(pieces), normalised({ring}));
    // The first cut is vertical at x = 3000 and the left pieces come first.
    EXPECT_LE(std::ranges::max(pieces.front(), {}, &Point::x).x, 3000);
    EXPECT_GE(std::ranges::min(pieces.back(), {}, &Point::x).x, 3000);
}

TEST(Split, CutsAcrossTheLongerSideAtTheLowerHalf) {
    EXPECT_EQ(split(padded(5, 5, 8001)).value(),
              (Polygons{test::rect(0, 0, 2, 5), test::rect(2, 0, 5, 5)}));
    EXPECT_EQ(split(padded(5, 6, 8001)).value(),
              (Polygons{test::rect(0, 0, 5, 3), test::rect(0, 3, 5, 6)}));
    // A box of 1 by 1 cannot be cut, yet the piece keeps the limit.
    EXPECT_EQ(split(padded(1, 1, 9000)).value(), Polygons{test::rect(0, 0, 1, 1)});
}

TEST(Split, CutThroughAHoleKeepsTheArea) {
    Ring disc;
    for (int i = 0; i < 9000; ++i) {
        const double a = 2 * M_PI * i / 9000;
        disc.push_back({std::llround(1e7 * std::cos(a)), std::llround(1e7 * std::sin(a))});
    }
    const Ring outline =
        keyholes({normalised({disc}).at(0), test::reversed(test::rect(-1000, -1000, 1000, 1000))})
            .at(0);
    const Polygons pieces = split(outline).value();
    EXPECT_EQ(pieces.size(), 2u);
    // Crossings with the cut line snap to the grid: the pieces differ by a thin band at most.
    const Polygons diff = boolean(Polygons{outline}, keyholes(normalised(pieces)), Op::Xor).value();
    EXPECT_LT(std::abs(static_cast<double>(test::doubled_area(diff))), 4e7);
}

} // namespace
} // namespace quorvane_dsl::boolean
