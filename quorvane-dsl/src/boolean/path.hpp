#pragma once

#include "boolean/pending_types.hpp"

namespace quorvane_dsl::boolean {

// The outline of a path's band with flush ends and unlimited mitres: the left side in the
// direction of travel, then the right side back. Empty when the centre line has fewer than two
// distinct consecutive points.
Ring path_polygon(const std::vector<Point>& centre_line, std::int64_t width);

} // namespace quorvane_dsl::boolean
