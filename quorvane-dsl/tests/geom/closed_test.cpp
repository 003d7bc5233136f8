#include "geom/closed.hpp"
#include "geom/outline.hpp"

#include <cmath>

#include <gtest/gtest.h>

namespace quorvane_dsl::geom {
namespace {

const Points& points_of(const Built<LocalShape>& s) {
    return std::get<Polygon>(s.value().geometry.kind).points;
}

TEST(Outline, ArcKeyholeAndRoundedRect) {
    EXPECT_EQ(arc_points(4, {0, 0}, 1, 0, 360), (Points{{1, 0}, {0, 1}, {-1, 0}, {0, -1}, {1, 0}}));
    EXPECT_EQ(arc_points(2, {0, 0}, 1, -90, 90).front(), (Point{0, -1}));
    const Points outer{{0, 0}, {4, 0}, {4, 4}, {0, 4}};
    const Points inner{{1, 1}, {3, 1}, {3, 3}, {1, 3}};
    EXPECT_EQ(
        keyhole(outer, inner),
        (Points{{0, 0}, {4, 0}, {4, 4}, {0, 4}, {0, 0}, {1, 1}, {1, 3}, {3, 3}, {3, 1}, {1, 1}}));
    EXPECT_EQ(rounded_rect(10, 4, 0, 1, std::nullopt).value(),
              (Points{{5, 0}, {5, 2}, {-5, 2}, {-5, -2}, {5, -2}}));
    EXPECT_EQ(rounded_rect(10, 4, 1, 1, 3).value().size(), 17u);
    EXPECT_EQ(rounded_rect(10, 4, 1, 1, 2).error(), "segments must be between 3 and 65536, got 2");
    EXPECT_TRUE(rounded_rect(10, 4, 0, 1, 65537).has_value());
    EXPECT_EQ(non_negative(-0.0).value(), 0);
    EXPECT_EQ(non_negative(-1.0).error(), "corner_radius must not be negative, got -1nm");
}

TEST(Outline, DecorateRoundsAndOutlines) {
    // A radius beyond half the side shrinks to 0.5: quarter circles meeting mid-side.
    const Points square{{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    const Points rounded = decorate(square, 5.0, std::nullopt, 1, 4).value();
    ASSERT_EQ(rounded.size(), 20u);
    EXPECT_NEAR(rounded[0].x, 0, 1e-12);
    EXPECT_NEAR(rounded[0].y, 0.5, 1e-12);
    EXPECT_NEAR(rounded[4].x, 0.5, 1e-12);
    EXPECT_NEAR(rounded[4].y, 0, 1e-12);
    EXPECT_NEAR(rounded[5].x, 0.5, 1e-12);
    EXPECT_NEAR(rounded[5].y, 0, 1e-12);
    // A straight middle vertex is kept as it is.
    EXPECT_EQ(decorate({{0, 0}, {1, 0}, {2, 0}, {1, 1}}, 0.1, std::nullopt, 1, 3).value()[4],
              (Point{1, 0}));
    // Clockwise input is turned round first, so both orientations outline alike.
    const Points ccw{{0, 0}, {10, 0}, {10, 10}, {0, 10}};
    const Points cw{{0, 10}, {10, 10}, {10, 0}, {0, 0}};
    const Points frame = decorate(ccw, std::nullopt, 1.0, 1, std::nullopt).value();
    EXPECT_EQ(decorate(cw, std::nullopt, 1.0, 1, std::nullopt).value().size(), frame.size());
    EXPECT_EQ(frame[0], (Point{-0.5, -0.5}));
    EXPECT_EQ(frame[5], (Point{0.5, 0.5}));
    EXPECT_EQ(
        decorate({{0, 0}, {1, 0}, {1, 1}, {0, 1}}, std::nullopt, 1.0, 1, std::nullopt).error(),
        "line_width 1nm is too wide for this shape");
    EXPECT_EQ(
        decorate({{0, 0}, {2, 0}, {1, 0}, {1, 1}}, std::nullopt, 0.1, 1, std::nullopt).error(),
        "the outline of a polygon with a reversing edge is undefined");
}

TEST(Closed, CircleCountsFollowTheTolerance) {
    EXPECT_EQ(points_of(circle(100000, std::nullopt, std::nullopt, std::nullopt, 1)).size(), 703u);
    EXPECT_EQ(points_of(circle(1, std::nullopt, std::nullopt, std::nullopt, 1)).size(), 8u);
    EXPECT_EQ(circle(10, 2, std::nullopt, std::nullopt, 1).error(),
              "segments must be between 3 and 65536, got 2");
    EXPECT_EQ(points_of(circle(10, 8, -360.0, std::nullopt, 1)).size(), 8u);
    EXPECT_EQ(circle(10, 8, 361.0, std::nullopt, 1).error(),
              "a sector angle must be non-zero and at most 360deg");
    // A clockwise quarter pie: centre, then the arc from 0 down to 270 degrees.
    const Points pie = points_of(circle(10, 4, -90.0, std::nullopt, 1));
    EXPECT_EQ(pie.front(), (Point{0, 0}));
    EXPECT_EQ(pie[1], (Point{10, 0}));
    EXPECT_EQ(pie.back(), (Point{0, -10}));
}

TEST(Closed, RegularPolygonAndRectLimits) {
    const double r = 1000;
    EXPECT_EQ(points_of(regular_polygon(4, r, std::nullopt, 45, std::nullopt, std::nullopt,
                                        std::nullopt, 1)),
              (Points{{r, 0}, {0, r}, {-r, 0}, {0, -r}}));
    EXPECT_EQ(regular_polygon(4097, r, r, 0, {}, {}, {}, 1).error(),
              "sides must be between 3 and 4096, got 4097");
    EXPECT_EQ(regular_polygon(4, r, r, 0, {}, {}, {}, 1).error(),
              "give exactly one of radius or side_length");
    EXPECT_TRUE(rect(4000, 2000, 1000.0, std::nullopt, std::nullopt, 1).has_value());
    EXPECT_EQ(rect(4000, 2000, 1001.0, std::nullopt, std::nullopt, 1).error(),
              "corner_radius 1.001um must be at most half the shorter side 2um");
    EXPECT_EQ(rect(4000, 2000, std::nullopt, 2000.0, std::nullopt, 1).error(),
              "line_width 2um must be less than the shorter side 2um");
    EXPECT_EQ(rect(4000, 2000, {}, {}, {}, 1).value().geometry.kind,
              (LocalGeometry{BBox{-2000, -1000, 2000, 1000}}.kind));
    EXPECT_EQ(rect(0, 2000, {}, {}, {}, 1).error(), "width must be positive, got 0");
}

TEST(Closed, PolygonRingEllipseTrapezoid) {
    EXPECT_EQ(polygon({{0, 0}, {1, 0}}, {}, {}, {}, 1).error(),
              "a polygon needs at least 3 points, got 2");
    EXPECT_TRUE(polygon({{0, 0}, {0, 0}, {1, 1}}, {}, {}, {}, 1).has_value());
    EXPECT_EQ(polygon({{0, 0}, {0, 0}, {1, 1}}, {}, 0.1, {}, 1).error(),
              "a polygon needs at least 3 distinct points");
    const Points full = points_of(ring(10, 2, 6, std::nullopt, std::nullopt, 1));
    ASSERT_EQ(full.size(), 14u);
    EXPECT_EQ(full[0], full[6]);
    EXPECT_EQ(full[7], full[13]);
    EXPECT_EQ(ring(10, 20, {}, {}, {}, 1).error(),
              "ring width 20nm must be less than twice the radius 10nm");
    EXPECT_EQ(ellipse(10000, 5000, {}, {}, {}, 5000.0, 1).error(),
              "line_width 5um must be less than twice the smallest radius of curvature 2.5um");
    const Points top = points_of(ellipse(10, 10, 4, std::nullopt, 90.0, std::nullopt, 1));
    EXPECT_NEAR(top[0].x, 0, 1e-12);
    EXPECT_EQ(top[0].y, 10);
    EXPECT_EQ(points_of(trapezoid(10, 4, 0, 1)), (Points{{-5, -2}, {5, -2}, {1, 2}}));
    EXPECT_EQ(points_of(racetrack(10, 0, 2, 4, 1)).size(), 2u * 11 + 2);
}

} // namespace
} // namespace quorvane_dsl::geom
