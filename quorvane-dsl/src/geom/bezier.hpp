// Bezier curves swept with cross-section bands.
#pragma once

#include <cstdint>
#include <optional>

#include "geom/bands.hpp"

namespace quorvane_dsl::geom {

// The point at parameter t by de Casteljau's construction; `scratch` is reused between calls.
// At least one control point.
Point de_casteljau(const Points& control, double t, Points& scratch);

// At least 2 control points, not all at one place. The ends face along the first and last
// control legs of non-zero length.
Built<Banded> bezier_bands(Points control, const Bands& bands, std::optional<std::int64_t> segments,
                           double tol);

// One centred band of `width`.
Built<LocalShape> bezier(Points control, std::optional<std::int64_t> segments, double width,
                         double tol);

} // namespace quorvane_dsl::geom
