#include <gtest/gtest.h>

#include "boolean/path.hpp"

namespace quorvane_dsl::boolean {
namespace {

TEST(PathPolygon, StraightPathHasFlushEnds) {
    EXPECT_EQ(path_polygon(Ring{{0, 0}, {100, 0}}, 10),
              (Ring{{0, 5}, {100, 5}, {100, -5}, {0, -5}}));
    // Odd widths round half away from zero.
    EXPECT_EQ(path_polygon(Ring{{0, 0}, {0, 0}, {100, 0}}, 5),
              (Ring{{0, 3}, {100, 3}, {100, -3}, {0, -3}}));
}

TEST(PathPolygon, RightAngleGetsOneMitrePointPerSide) {
    // Half width 10 at a right-angle corner: the mitre points lie 10 * sqrt(2) from the corner.
    EXPECT_EQ(path_polygon(Ring{{0, 0}, {100, 0}, {100, 100}}, 20),
              (Ring{{0, 10}, {90, 10}, {90, 100}, {110, 100}, {110, -10}, {0, -10}}));
}

TEST(PathPolygon, TurningStraightBackUsesTheArrivingNormal) {
    EXPECT_EQ(path_polygon(Ring{{0, 0}, {100, 0}, {50, 0}}, 10),
              (Ring{{0, 5}, {100, 5}, {50, -5}, {50, 5}, {100, -5}, {0, -5}}));
}

TEST(PathPolygon, DegeneratePathsGiveNothing) {
    EXPECT_TRUE(path_polygon(Ring{}, 10).empty());
    EXPECT_TRUE(path_polygon(Ring{{3, 4}}, 10).empty());
    EXPECT_TRUE(path_polygon(Ring{{3, 4}, {3, 4}, {3, 4}}, 10).empty());
    // Points are compared as the floating-point values the outline is computed from: beyond
    // 2^53 neighbouring integers coincide, and must not give a direction of length zero.
    const std::int64_t far = std::int64_t{1} << 53;
    EXPECT_TRUE(path_polygon(Ring{{far, 0}, {far + 1, 0}}, 10).empty());
}

} // namespace
} // namespace quorvane_dsl::boolean
