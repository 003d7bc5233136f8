// Keyholes: holes joined to their outer rings so each outline is one boundary.
#pragma once

#include "boolean/types.hpp"

namespace quorvane_dsl::boolean {

// Joins every clockwise ring (hole) to the smallest counter-clockwise ring that holds it through a
// zero-width bridge, so that each outline can be written as one boundary record. Returns one
// outline per counter-clockwise input ring, in input order. Holes that lie in no outer ring are
// dropped; a counter-clockwise ring without holes comes back unchanged. Every test is exact for
// coordinates within the engine's range (`coordinate_limit`), which boolean results keep to.
std::vector<Ring> keyholes(std::vector<Ring> rings);

} // namespace quorvane_dsl::boolean
