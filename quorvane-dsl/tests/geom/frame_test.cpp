#include "geom/frame.hpp"
#include "geom/shape.hpp"

#include <gtest/gtest.h>

namespace quorvane_dsl::geom {
namespace {

TEST(AngleRule, NormalisesAndSnapsQuarterTurns) {
    EXPECT_EQ(normalize_angle(-90), 270);
    EXPECT_EQ(normalize_angle(360), 0);
    EXPECT_EQ(normalize_angle(450), 90);
    EXPECT_EQ(normalize_angle(89.9999999995), 90);
    EXPECT_EQ(normalize_angle(89.99), 89.99);
    EXPECT_EQ(normalize_angle(-1e-20), 0);
}

TEST(Transform, ApplyFrameTurnsExactlyAndMirrorsFirst) {
    const Transform turn{90, 5, 7, false};
    EXPECT_EQ(turn.apply_frame({1, 0, 0}), (Frame{5, 8, 90}));
    const Transform mirror{0, 0, 0, true};
    EXPECT_EQ(mirror.apply_frame({1, 2, 30}), (Frame{1, -2, 330}));
}

TEST(Transform, PlacingPutsTheAnchorOnTheTarget) {
    EXPECT_EQ(Transform::placing({10, 0, 0}, {0, 0, 180}, false, 0, 0, 0),
              (Transform{180, 10, 0, false}));
    EXPECT_EQ(Transform::placing({0, 0, 90}, {0, 0, 90}, true, 0, 0, 0).rotation, 180);
    // The extra offset is in the target's coordinates and the extra turn adds to the target's.
    const Frame anchor{3, 4, 30};
    const Transform t = Transform::placing(anchor, {100, 200, 45}, true, 90, 1, 2);
    const Frame placed = t.apply_frame(anchor);
    EXPECT_NEAR(placed.x, 101, 1e-9);
    EXPECT_NEAR(placed.y, 202, 1e-9);
    EXPECT_NEAR(placed.angle, 135, 1e-9);
}

TEST(LocalShape, AnchorsAndBoxes) {
    LocalShape s = shape_of({Path{2000, {{5000, 5000}}}});
    EXPECT_EQ(s.bbox, (BBox{4000, 4000, 6000, 6000}));
    s.anchors = {{"center", {1, 2, 45}}};
    EXPECT_EQ(s.anchor("center"), (Frame{1, 2, 45}));
    EXPECT_EQ(s.anchor("origin"), (Frame{0, 0, 0}));
    EXPECT_EQ(s.anchor("top_left"), (Frame{4000, 6000, 0}));
    EXPECT_EQ(s.anchor("Top_left"), std::nullopt);
    EXPECT_EQ(box_anchor({1, 1, 1, 3}, "origin"), std::nullopt);
    // Empty members give no box and do not stretch the group's.
    const LocalGeometry group{
        Group{{{Polygon{}}, {BBox{0, 0, 1, 1}}, {Group{{{BBox{-1, 0, 0, 5}}}}}}}};
    EXPECT_EQ(group.bbox(), (BBox{-1, 0, 1, 5}));
    EXPECT_EQ(LocalGeometry{Group{}}.bbox(), std::nullopt);
    EXPECT_EQ(polygon_shape({}).bbox, BBox{});
}

} // namespace
} // namespace quorvane_dsl::geom
