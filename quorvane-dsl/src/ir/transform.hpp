// The placement arithmetic shared by hulls, footprints and ports.
#pragma once

#include "base/angle.hpp"
#include "base/round.hpp"
#include "ir/model.hpp"

namespace quorvane_dsl::ir {

// Placements turn by the one angle rule that shapes use too.
using base::normalize_angle;
using base::Turn;
using base::turn_of;

struct Placed {
    double x = 0;
    double y = 0;
};

// Where a placement puts a point of its child: mirrored across the x axis when the placement
// mirrors, turned by `turn` (the placement's rotation), then moved to the placement's origin.
Placed place(const Instance& inst, Turn turn, double x, double y);

// Placed coordinates are rounded the way the polygon engine rounds its own.
using base::round_to_i64;

} // namespace quorvane_dsl::ir
