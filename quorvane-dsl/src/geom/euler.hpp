// Euler bends: curvature growing linearly from zero, constant in the middle, falling back.
#pragma once

#include <cstdint>
#include <optional>

#include "geom/bands.hpp"

namespace quorvane_dsl::geom {

// `radius` is the tightest radius of the bend when `is_min_radius`, else the radius of the arc
// whose end the bend shares. `angle` in degrees (non-zero, below a full turn), positive
// turning left; `p` (default 0.5) the share of the turn made in the two clothoids.
Built<Banded> euler_bands(bool is_min_radius, double radius, const Bands& bands, double angle,
                          std::optional<double> p, std::optional<std::int64_t> segments,
                          double tol);

// One centred band of `width`.
Built<LocalShape> euler(bool is_min_radius, double radius, double width, double angle,
                        std::optional<double> p, std::optional<std::int64_t> segments, double tol);

} // namespace quorvane_dsl::geom
