// Growing and shrinking polygon sets with miter, round or bevel joins.
#pragma once

#include <cstdint>
#include <expected>
#include <optional>
#include <span>

#include "boolean/boolean.hpp"
#include "boolean/detail/rings.hpp"

namespace quorvane_dsl::boolean {

// How the gap at a corner opened by moving its two edges apart is filled.
enum class Join : std::uint8_t { Miter = 0, Round = 1, Bevel = 2 };

// The set grown by `distance` database units: the normalised input with every edge moved outward
// and the corners joined, resolved so that every point the offset rings wind around positively is
// inside. A distance of 0 or less (or NaN) gives the normalised input. `segments_per_circle`
// fixes the arc segments of round joins; without it the arcs keep within 1 unit of the circle.
std::expected<Polygons, RangeError> dilate(std::span<const Ring> polygons, Join join,
                                           std::optional<std::uint32_t> segments_per_circle,
                                           double distance);

// The set shrunk by `distance`; the same as `dilate` with the edges moved inward.
std::expected<Polygons, RangeError> erode(std::span<const Ring> polygons, Join join,
                                          std::optional<std::uint32_t> segments_per_circle,
                                          double distance);

// The moved rings of a normalised set (outer rings counter-clockwise, holes clockwise), all in
// the first operand, ready for the resolving phases. Points are rounded to whole units.
detail::Rings offset(std::span<const Ring> rings, Join join,
                     std::optional<std::uint32_t> segments_per_circle, bool outward,
                     double distance);

} // namespace quorvane_dsl::boolean
