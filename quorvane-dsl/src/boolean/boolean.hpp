// Exact integer polygon booleans: union, intersection, difference and exclusive-or.
//
// Input sets: every ring is one polygon filled by the nonzero winding rule; the set is the
// union of its polygons. Result sets: outer rings counter-clockwise, holes as separate clockwise
// rings, no crossing edges, every ring simplified and starting at its smallest point, rings
// sorted lexicographically. Results never depend on the worker thread count.
#pragma once

#include <expected>
#include <optional>
#include <span>
#include <string>

#include "boolean/types.hpp"

namespace quorvane_dsl::boolean {

// The exact tests need coordinate differences below 2^41; coordinates are therefore limited to
// [-2^40, 2^40]. Anything outside is refused rather than computed wrongly.
inline constexpr std::int64_t coordinate_limit = std::int64_t{1} << 40;

struct RangeError {
    Point point;
    std::string message;
};

// The first point outside [-coordinate_limit, coordinate_limit], as an error.
std::optional<RangeError> check_range(std::span<const Ring> rings);
std::optional<RangeError> check_range(std::span<const Point> points);

// The boolean of two polygon sets; refuses input outside the coordinate limit.
std::expected<Polygons, RangeError> boolean(std::span<const Ring> a, std::span<const Ring> b,
                                            Op op);

// An axis-parallel rectangle given as exactly 4 corner points, in either orientation.
std::optional<Box> as_box(std::span<const Point> ring);

} // namespace quorvane_dsl::boolean
