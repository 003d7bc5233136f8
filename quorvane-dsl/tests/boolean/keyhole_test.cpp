#include "boolean/keyhole.hpp"

#include <gtest/gtest.h>

namespace quorvane_dsl::boolean {
namespace {

Ring square(std::int64_t x0, std::int64_t y0, std::int64_t x1, std::int64_t y1, bool ccw = true) {
    Ring r{{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}};
    if (!ccw) {
        std::reverse(r.begin(), r.end());
    }
    return r;
}

TEST(Keyholes, SquareHoleIsBridgedToTheRightEdge) {
    const Ring expected{{0, 0}, {10, 0}, {10, 4}, {4, 4},   {4, 2}, {2, 2},
                        {2, 4}, {4, 4},  {10, 4}, {10, 10}, {0, 10}};
    EXPECT_EQ(keyholes({square(0, 0, 10, 10), square(2, 2, 4, 4, false)}),
              std::vector<Ring>{expected});
}

TEST(Keyholes, OuterRingsStayHolesOnlyVanish) {
    const Ring tri{{0, 0}, {5, 1}, {1, 4}};
    EXPECT_EQ(keyholes({tri, square(20, 0, 30, 10)}),
              (std::vector<Ring>{tri, square(20, 0, 30, 10)}));
    EXPECT_TRUE(keyholes({square(0, 0, 1, 1, false), {}, {{0, 0}, {3, 3}}}).empty());
    // A hole in no outer ring, and one lying on the outer boundary, are dropped.
    EXPECT_EQ(keyholes({square(0, 0, 10, 10), square(20, 20, 30, 30, false)}),
              std::vector<Ring>{square(0, 0, 10, 10)});
    EXPECT_EQ(keyholes({square(0, 0, 10, 10), square(0, 0, 10, 10, false)}),
              std::vector<Ring>{square(0, 0, 10, 10)});
}

TEST(Keyholes, HoleGoesToTheSmallestContainingRing) {
    const std::vector<Ring> out =
        keyholes({square(0, 0, 100, 100), square(10, 10, 50, 50), square(20, 20, 30, 30, false)});
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0], square(0, 0, 100, 100));
    EXPECT_EQ(out[1].size(), 4u + 4u + 3u);
}

TEST(Keyholes, SecondHoleBridgesToTheFirst) {
    const std::vector<Ring> out =
        keyholes({square(0, 0, 100, 10), square(10, 2, 20, 8, false), square(50, 2, 60, 8, false)});
    ASSERT_EQ(out.size(), 1u);
    // The right hole (greatest x) is spliced first with an inserted point on x = 100; the left
    // hole's ray then stops on the right hole's left edge at (50, 8), a vertex: nothing inserted.
    EXPECT_EQ(out[0].size(), 4u + 1u + 6u + 6u);
    const Ring& r = out[0];
    EXPECT_NE(std::find(r.begin(), r.end(), Point{100, 8}), r.end());
    EXPECT_EQ(std::count(r.begin(), r.end(), Point{50, 8}), 2);
    EXPECT_EQ(std::count(r.begin(), r.end(), Point{20, 8}), 2);
}

TEST(Keyholes, SlantedEdgeBridgesToAVertex) {
    // The ray from (4, 4) meets the slanted edge (10,0)-(12,9) at x = 10 + 8/9; the bridge goes to
    // the end point with the larger x, (12, 9), the only visible vertex right of the hole.
    const Ring outer{{0, 0}, {10, 0}, {12, 9}, {0, 9}};
    const std::vector<Ring> out = keyholes({outer, square(2, 2, 4, 4, false)});
    ASSERT_EQ(out.size(), 1u);
    const Ring expected{{0, 0}, {10, 0}, {12, 9}, {4, 4},  {4, 2},
                        {2, 2}, {2, 4},  {4, 4},  {12, 9}, {0, 9}};
    EXPECT_EQ(out[0], expected);
}

TEST(Keyholes, IslandInsideAHoleStaysItsOwnOutline) {
    const std::vector<Ring> out =
        keyholes({square(0, 0, 100, 100), square(10, 10, 90, 90, false), square(40, 40, 60, 60)});
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0].size(), 4u + 1u + 6u);
    EXPECT_EQ(out[1], square(40, 40, 60, 60));
}

} // namespace
} // namespace quorvane_dsl::boolean
