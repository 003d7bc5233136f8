// Tapers: bands whose width and offset change from x = 0 to x = length by a profile.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "geom/bands.hpp"

namespace quorvane_dsl::geom {

// The profiles of a taper's width, in the order of the `profile` words. Parabolic changes the
// square of the width linearly, exponential its logarithm.
enum class TaperProfile : std::uint8_t { Linear, Parabolic, Exponential };

// One band of a taper: at the start and at the end.
struct TaperBand {
    Band start;
    Band end;
};

// One side of a band (`side` -1 right, +1 left) whose offset moves linearly from the start
// offset to the end offset while its width follows the profile, sampled as an outline keeps it.
Built<Points> shifted_taper_outline(double side, double length, TaperBand band,
                                    TaperProfile profile, std::optional<std::int64_t> segments,
                                    double tol);

Built<Banded> taper_bands(const std::vector<TaperBand>& bands, TaperProfile profile,
                          std::optional<std::int64_t> segments, double length, double tol);

// One centred band from `width1` to `width2`.
Built<LocalShape> taper(TaperProfile profile, std::optional<std::int64_t> segments, double length,
                        double width1, double width2, double tol);

} // namespace quorvane_dsl::geom
