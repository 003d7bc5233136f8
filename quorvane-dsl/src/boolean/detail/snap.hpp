// Snap rounding: segments become a planar arrangement on the integer grid.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "boolean/detail/par.hpp"
#include "boolean/types.hpp"

namespace quorvane_dsl::boolean::detail {

struct Snapped {
    // Distinct vertices in ascending (x, y) order; a vertex id is an index here.
    par::List<Point> points;
    // Pieces in ascending (from, to) order, each with a non-zero winding change.
    par::List<SnapSeg> segments;
};

// Where a segment enters the hot pixel of a point: t = num / den (den > 0), and whether the
// point at t belongs to the pixel.
struct PathHit {
    i128 num = 0;
    i128 den = 1;
    bool inclusive = false;
};

// Needs a non-empty list whose segments have distinct endpoints and whose coordinates lie within
// the engine's exact range (`check_range`). Takes the list to release it as early as it can.
Snapped snap_round(par::List<Seg> segments);

// Whether the closed segment meets the half-open unit pixel centred on p (endpoints excluded).
std::optional<PathHit> on_path(const Seg& s, const Box& box, Point p);

} // namespace quorvane_dsl::boolean::detail
