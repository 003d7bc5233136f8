// Paths: bands along a polyline with sharp or rounded corners and flush, square or round ends.
#pragma once

#include <cstdint>
#include <optional>

#include "geom/bands.hpp"

namespace quorvane_dsl::geom {

// The ends of a path, in the order of the `ends` words.
enum class PathEnds : std::uint8_t { Flush, Square, Round };

// The open polyline moved `h` to its left: ends along their segment's normal, inner points to
// the miter point (no limit). At least 2 points, none repeating its predecessor.
Built<Points> offset_open_path(const Points& points, double h);

// Sharp corners without `bend_radius`, else corners rounded to it; the radius is +infinity for
// a straight line, 0 for sharp corners, else the bend radius.
Built<Banded> path_bands(Points points, const Bands& bands, PathEnds ends,
                         std::optional<double> bend_radius, std::optional<std::int64_t> segments,
                         double tol);

// One centred band of `width`.
Built<LocalShape> path(Points points, PathEnds ends, std::optional<double> bend_radius,
                       std::optional<std::int64_t> segments, double width, double tol);

} // namespace quorvane_dsl::geom
