// Cutting polygons too large for one layout record into keyholed pieces.
#pragma once

#include <cstddef>
#include <expected>
#include <span>

#include "boolean/boolean.hpp"

namespace quorvane_dsl::boolean {

// The most points a polygon or path may have in one layout record.
inline constexpr std::size_t max_piece_points = 8000;

inline bool fits_one_piece(std::size_t point_count) {
    return point_count <= max_piece_points;
}

// Cuts a polygon of more than `max_piece_points` points into keyholed pieces of at most that
// many points, halving its box across the longer side again and again; the pieces of the left
// (or lower) half come first. A smaller polygon comes back whole and unchanged. Refuses only a
// polygon outside the engine's coordinate range.
std::expected<Polygons, RangeError> split(std::span<const Point> polygon);

} // namespace quorvane_dsl::boolean
