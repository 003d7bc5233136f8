// Points, frames, boxes and the transforms that place one frame onto another.
#pragma once

#include <optional>
#include <string_view>

#include "base/angle.hpp"

namespace quorvane_dsl::geom {

using base::normalize_angle;
using base::Turn;
using base::turn_of;

inline constexpr double degrees_per_radian = 57.29577951308232;

// The direction of (dx, dy) in degrees by the angle rule; (0, 0) has direction 0.
double direction_angle(double dx, double dy);

// A position in cell coordinates, nanometres.
struct Point {
    double x = 0;
    double y = 0;
    friend bool operator==(Point, Point) = default;
};

// A position with a direction of travel in degrees, counter-clockwise from +x.
struct Frame {
    double x = 0;
    double y = 0;
    double angle = 0;
    friend bool operator==(Frame, Frame) = default;
};

struct BBox {
    double left = 0;
    double bottom = 0;
    double right = 0;
    double top = 0;
    friend bool operator==(BBox, BBox) = default;
};

// One of the nine named points of a box ("center", "top_left", ...); names are compared byte
// for byte, and any other name has none.
std::optional<Point> box_anchor(const BBox& box, std::string_view name);

// Mirror across the local x axis first, then rotate about the origin, then move by the offset.
struct Transform {
    double rotation = 0; // degrees, always normalised
    double offset_x = 0;
    double offset_y = 0;
    bool mirror = false;
    friend bool operator==(const Transform&, const Transform&) = default;

    Frame apply_frame(const Frame& f) const;

    // The transform that puts `anchor` (in the placed thing's coordinates) onto `target`, turned
    // further by `rotate` degrees and moved by (dx, dy) in the target's coordinates.
    static Transform placing(const Frame& anchor, const Frame& target, bool mirror, double rotate,
                             double dx, double dy);
};

} // namespace quorvane_dsl::geom
