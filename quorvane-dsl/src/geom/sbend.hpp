// S-bends: from (0, 0) heading +x to (length, offset) heading +x again.
#pragma once

#include <cstdint>
#include <optional>

#include "geom/bands.hpp"

namespace quorvane_dsl::geom {

// The profiles of an S-bend, in the order of the `profile` words.
enum class SbendProfile : std::uint8_t { Bezier, Sine, Cosine, Circular };

Built<Banded> sbend_bands(const Bands& bands, SbendProfile profile,
                          std::optional<std::int64_t> segments, double length, double offset,
                          double tol);

// One centred band of `width`.
Built<LocalShape> sbend(SbendProfile profile, std::optional<std::int64_t> segments, double length,
                        double offset, double width, double tol);

} // namespace quorvane_dsl::geom
