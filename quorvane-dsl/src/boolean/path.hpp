// Path outlines: the band around a centre line as one polygon.
#pragma once

#include <span>

#include "boolean/types.hpp"

namespace quorvane_dsl::boolean {

// The outline of a path's band with flush ends and unlimited mitres: the left side in the
// direction of travel, then the right side back. Empty when the centre line has fewer than two
// distinct consecutive points.
Ring path_polygon(std::span<const Point> centre_line, std::int64_t width);

} // namespace quorvane_dsl::boolean
