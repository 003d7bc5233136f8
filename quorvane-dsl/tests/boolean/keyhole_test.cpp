#include <gtest/gtest.h>

#include "boolean/keyhole.hpp"
#include "shapes.hpp"

namespace quorvane_dsl::boolean {
namespace {

using test::rect;
using test::reversed;

TEST(Keyholes, SquareHoleIsBridgedAndLoneRingsStayOrGo) {
    const Ring expected{{0, 0}, {10, 0}, {10, 4}, {4, 4},   {4, 2}, {2, 2},
                        {2, 4}, {4, 4},  {10, 4}, {10, 10}, {0, 10}};
    EXPECT_EQ(keyholes({rect(0, 0, 10, 10), reversed(rect(2, 2, 4, 4))}), Polygons{expected});
    const Ring tri{{0, 0}, {5, 1}, {1, 4}};
    EXPECT_EQ(keyholes({tri, rect(20, 0, 30, 10)}), (Polygons{tri, rect(20, 0, 30, 10)}));
    EXPECT_TRUE(keyholes({reversed(rect(0, 0, 1, 1)), {}, {{0, 0}, {3, 3}}}).empty());
    // A hole in no outer ring, and one lying on the outer boundary, are dropped.
    EXPECT_EQ(keyholes({rect(0, 0, 10, 10), reversed(rect(20, 20, 30, 30)),
                        reversed(rect(0, 0, 10, 10))}),
              Polygons{rect(0, 0, 10, 10)});
}

TEST(Keyholes, HolesGoToTheSmallestRingAndIslandsStayApart) {
    Polygons out =
        keyholes({rect(0, 0, 100, 100), rect(10, 10, 50, 50), reversed(rect(20, 20, 30, 30))});
    EXPECT_EQ(out[0], rect(0, 0, 100, 100));
    EXPECT_EQ(out[1].size(), 4u + 4u + 3u);
    out = keyholes({rect(0, 0, 100, 100), reversed(rect(10, 10, 90, 90)), rect(40, 40, 60, 60)});
    EXPECT_EQ(out[0].size(), 4u + 1u + 6u);
    EXPECT_EQ(out[1], rect(40, 40, 60, 60));
}

TEST(Keyholes, BridgesReachEarlierHolesAndVisibleVertices) {
    // The right hole is spliced first, with (100, 8) inserted; the left hole's ray then ends on
    // the right hole's vertex (50, 8), where nothing is inserted.
    const Ring two =
        keyholes({rect(0, 0, 100, 10), reversed(rect(10, 2, 20, 8)), reversed(rect(50, 2, 60, 8))})
            .at(0);
    EXPECT_EQ(two.size(), 4u + 1u + 6u + 6u);
    EXPECT_EQ(std::count(two.begin(), two.end(), Point{100, 8}), 2);
    EXPECT_EQ(std::count(two.begin(), two.end(), Point{50, 8}), 2);
    // The ray meets the slanted edge at x = 10 + 8/9: the bridge goes to its end (12, 9).
    const Ring slanted{{0, 0}, {10, 0}, {12, 9}, {0, 9}};
    const Ring expected{{0, 0}, {10, 0}, {12, 9}, {4, 4},  {4, 2},
                        {2, 2}, {2, 4},  {4, 4},  {12, 9}, {0, 9}};
    EXPECT_EQ(keyholes({slanted, reversed(rect(2, 2, 4, 4))}), Polygons{expected});
}

// On axis-parallel input every crossing is a grid point, so taking a result in again moves
// nothing; slanted results may shift by snap rounding.
TEST(Keyholes, OutlinesFeedBackToTheSameSetWithTheSameArea) {
    std::mt19937_64 rng(5);
    std::size_t spliced = 0;
    for (int round = 0; round < 20; ++round) {
        Polygons a = test::random_rects(rng, 3, 300);
        a.push_back(rect(0, 0, 400, 400));
        const Polygons result = boolean(a, test::random_rects(rng, 8, 300), Op::Xor).value();
        const Polygons outlines = keyholes(result);
        spliced += result.size() - outlines.size();
        EXPECT_EQ(test::normalised(outlines), result) << round;
        EXPECT_TRUE(test::doubled_area(outlines) == test::doubled_area(result)) << round;
    }
    EXPECT_GT(spliced, 10u);
}

} // namespace
} // namespace quorvane_dsl::boolean
