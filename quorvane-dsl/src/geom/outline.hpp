// Point operations that closed outlines are made of: arcs, keyholes, rounded corners, frames.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "geom/shape.hpp"

namespace quorvane_dsl::geom {

// n + 1 points of an arc, `start` and signed `sweep` in degrees, exact at quarter turns. n >= 1.
Points arc_points(std::size_t n, Point centre, double radius, double start, double sweep);

// The outer ring, a zero-width slit to the inner ring's first point, the inner ring backwards
// and back along the slit: one polygon whose inner ring is a hole. Both lists non-empty.
Points keyhole(const Points& outer, const Points& inner);

// The outer list followed by the inner list reversed: the two long sides of one strip.
Points band(Points outer, const Points& inner);

// An absent corner radius is 0; a negative or non-finite one is refused.
Built<double> non_negative(std::optional<double> corner_radius);

// A rectangle centred on the origin, starting at the middle of its right side, with corners
// rounded by `radius` (0 or less: sharp corners, and the segment count is not looked at).
Built<Points> rounded_rect(double width, double height, double radius, double tol,
                           std::optional<std::int64_t> segments);

// The racetrack outline: from the middle of the lower straight side, counter-clockwise.
Points stadium(double half_length, std::size_t n, double radius);

// Points `first` ..= `last` of a circle of n steps from `start` degrees; index n repeats index 0.
Points circle_points(double start, std::size_t n, double radius, std::size_t first,
                     std::size_t last);

// The ellipse's points at the parameters `ts` moved by `offset` along the outward normal.
Points ellipse_offset_points(double rx, double ry, double offset, const std::vector<double>& ts);

// Rounds the corners of a closed polygon (at least 3 distinct points) and, with a line width,
// replaces it by its keyholed outline of that width centred on the edges.
Built<Points> decorate(Points points, std::optional<double> corner_radius,
                       std::optional<double> line_width, double tol,
                       std::optional<std::int64_t> segments);

} // namespace quorvane_dsl::geom
