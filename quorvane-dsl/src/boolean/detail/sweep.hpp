// Sweep line: which snapped segments bound the result, directed with the inside on the left.
#pragma once

#include <span>
#include <vector>

#include "boolean/detail/active.hpp"
#include "boolean/types.hpp"

namespace quorvane_dsl::boolean::detail {

std::vector<Pair> classify(std::span<const Point> points, std::span<const SnapSeg> segments,
                           Rule rule);

// One sweep over the used-point positions `events` (ids ascending), starting at segment `first`
// with the entries crossing the left edge in `initial`.
std::vector<Pair> sweep(std::span<const Point> points, std::span<const SnapSeg> segments,
                        std::span<const std::uint32_t> events, std::size_t first,
                        std::vector<Entry> initial, Rule rule);

} // namespace quorvane_dsl::boolean::detail
