#include "geom/path.hpp"

#include <cmath>

#include <gtest/gtest.h>

namespace quorvane_dsl::geom {
namespace {

const auto none = std::nullopt;

TEST(Path, OffsetOfAnOpenPolyline) {
    EXPECT_EQ(offset_open_path({{0, 0}, {1, 0}, {2, 0}}, 1).value(),
              (Points{{0, 1}, {1, 1}, {2, 1}}));
    EXPECT_EQ(offset_open_path({{0, 0}, {1, 0}, {1, 1}}, 1).value()[1], (Point{0, 1}));
    EXPECT_EQ(offset_open_path({{0, 0}, {1, 0}, {0, 0}}, 1).error(),
              "the path turns back on itself at point 1");
}

TEST(Path, EndsAnchorsAndRadii) {
    EXPECT_EQ(path({{0, 0}}, PathEnds::Flush, none, none, 2, 1).error(),
              "a path needs at least 2 points");
    EXPECT_EQ(path({{3, 3}, {3, 3}}, PathEnds::Flush, none, none, 2, 1)->geometry,
              (LocalGeometry{Path{2, {{3, 3}, {3, 3}}}}));
    EXPECT_EQ(path({{3, 3}, {3, 3}}, PathEnds::Round, none, none, 2, 1).error(),
              "a path needs at least 2 distinct points");
    EXPECT_EQ(path({{0, 0}, {10, 0}}, PathEnds::Square, none, none, 2, 1)->geometry,
              (LocalGeometry{Path{2, {{-1, 0}, {11, 0}}}}));
    // A repeated first point gives the start anchor angle 0, but the square end still extends
    // along the way the path actually leaves.
    const LocalShape up =
        path({{0, 0}, {0, 0}, {0, 10}}, PathEnds::Square, none, none, 2, 1).value();
    EXPECT_EQ(up.anchor("start"), (Frame{0, 0, 0}));
    EXPECT_EQ(up.geometry, (LocalGeometry{Path{2, {{0, -1}, {0, 0}, {0, 11}}}}));

    EXPECT_EQ(
        path_bands({{0, 0}, {5, 0}, {10, 0}}, {{0, 2}}, PathEnds::Flush, none, none, 1)->radius,
        INFINITY);
    EXPECT_EQ(
        path_bands({{0, 0}, {10, 0}, {10, 10}}, {{0, 2}}, PathEnds::Flush, none, none, 1)->radius,
        0);
    EXPECT_EQ(
        path_bands({{0, 0}, {10, 0}, {10, 10}}, {{0, 2}}, PathEnds::Flush, 5.0, none, 1)->radius,
        5);
    // Segments are only read where an arc is made.
    EXPECT_TRUE(path({{0, 0}, {10, 0}, {10, 10}}, PathEnds::Square, none, 2, 2, 1).has_value());
    EXPECT_EQ(path({{0, 0}, {10, 0}}, PathEnds::Round, none, 2, 2, 1).error(),
              "segments must be between 3 and 65536, got 2");
}

TEST(Path, BendRadiusLimits) {
    EXPECT_EQ(
        path_bands({{0, 0}, {10, 0}, {10, 10}}, {{0, 2}, {2, 2}}, PathEnds::Flush, 3.0, none, 1)
            .error(),
        "bend_radius 3nm must exceed 3nm, how far the path reaches from its centerline");
    EXPECT_EQ(path({{0, 0}, {10, 0}, {0, 0}}, PathEnds::Flush, 3.0, none, 2, 1).error(),
              "the path turns back on itself at point 1");
    EXPECT_EQ(path({{0, 0}, {10, 0}, {10, 5}, {20, 5}}, PathEnds::Flush, 3.0, none, 2, 1).error(),
              "bend_radius 3nm does not fit between points 1 and 2");
    // The corner becomes an arc from one tangent point to the other, exact at quarter turns.
    const LocalShape bent =
        path({{0, 0}, {10, 0}, {10, 10}}, PathEnds::Flush, 4.0, 4, 2, 1).value();
    const Points& line = std::get<Path>(bent.geometry.kind).points;
    ASSERT_EQ(line.size(), 7u);
    EXPECT_EQ(line[1], (Point{6, 0}));
    EXPECT_EQ(line[5], (Point{10, 4}));
    EXPECT_NEAR(std::hypot(line[3].x - 6, line[3].y - 4), 4, 1e-12);
}

TEST(Path, RoundEndsRunLeftSideEndCapRightSideStartCap) {
    const Points outline =
        std::get<Polygon>(path({{0, 0}, {10, 0}}, PathEnds::Round, none, 4, 2, 1)->geometry.kind)
            .points;
    ASSERT_EQ(outline.size(), 10u);
    EXPECT_EQ(outline[0], (Point{0, 1}));
    EXPECT_EQ(outline[1], (Point{10, 1}));
    EXPECT_EQ(outline[3], (Point{11, 0}));
    EXPECT_EQ(outline[5], (Point{10, -1}));
    EXPECT_EQ(outline[6], (Point{0, -1}));
    EXPECT_EQ(outline[8], (Point{-1, 0}));
}

} // namespace
} // namespace quorvane_dsl::geom
