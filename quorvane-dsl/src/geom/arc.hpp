// Circular arcs: bands swept along an arc that starts at the origin heading along +x.
#pragma once

#include <cstdint>
#include <optional>

#include "geom/bands.hpp"

namespace quorvane_dsl::geom {

// `angle` in degrees, positive turning left, at most a full turn either way.
Built<Banded> arc_bands(const Bands& bands, std::optional<std::int64_t> segments, double radius,
                        double angle, double tol);

// One centred band of `width`.
Built<LocalShape> arc(std::optional<std::int64_t> segments, double radius, double width,
                      double angle, double tol);

} // namespace quorvane_dsl::geom
