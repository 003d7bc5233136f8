// The placement arithmetic shared by hulls, footprints and ports.
#pragma once

#include "base/round.hpp"
#include "ir/model.hpp"

namespace quorvane_dsl::ir {

// Degrees in [0, 360), snapped to a multiple of 90 when within 1e-9 of it.
double normalize_angle(double degrees);

struct Turn {
    double sin = 0;
    double cos = 1;
};

// Sine and cosine of a normalised angle, exact at the multiples of 90.
Turn turn_of(double normalized_degrees);

struct Placed {
    double x = 0;
    double y = 0;
};

// Where a placement puts a point of its child: mirrored across the x axis when the placement
// mirrors, turned by `turn` (the placement's rotation), then moved to the placement's origin.
Placed place(const Instance& inst, Turn turn, double x, double y);

// Placed coordinates are rounded the way the polygon engine rounds its own.
using boolean::round_to_i64;

} // namespace quorvane_dsl::ir
