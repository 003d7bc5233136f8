#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

// The placement arithmetic shared by hulls, footprints and ports.
namespace quorvane_dsl::ir {

// Degrees in [0, 360), snapped to a multiple of 90 when within 1e-9 of it.
double normalize_angle(double degrees);

struct Turn {
    double sin = 0;
    double cos = 1;
};

// Sine and cosine of a normalised angle, exact at the multiples of 90.
Turn turn_of(double normalized_degrees);

// Nearest integer, halves away from zero; beyond the 64-bit range the range's end, NaN 0.
// Inline: the polygon offsetter rounds every vertex it makes.
inline std::int64_t round_to_i64(double value) {
    const double r = std::round(value);
    // 2^63 is exactly representable; anything at or above it does not fit.
    if (r >= 9223372036854775808.0) {
        return std::numeric_limits<std::int64_t>::max();
    }
    if (r < -9223372036854775808.0) {
        return std::numeric_limits<std::int64_t>::min();
    }
    if (std::isnan(r)) {
        return 0;
    }
    return static_cast<std::int64_t>(r);
}

} // namespace quorvane_dsl::ir
