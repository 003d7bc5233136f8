// Linking boundary pairs into rings, and the clean-up of single rings.
#pragma once

#include <span>
#include <vector>

#include "boolean/types.hpp"

namespace quorvane_dsl::boolean::detail {

inline constexpr std::uint32_t no_successor = 0xFFFFFFFFu;

// Rings of the boundary pairs: simplified, canonical and sorted.
Polygons link(std::span<const Point> points, std::vector<Pair> pairs);

// Drops repeated points, closing repeats and points on the straight way between neighbours.
Ring simplify(Ring ring);
// Rotates the ring to start at its smallest point by x, then y.
Ring canonical(Ring ring);
// Sorts rings lexicographically by their point lists.
void sort_rings(Polygons& rings);

} // namespace quorvane_dsl::boolean::detail
