// Rounding floating-point values to i64 without undefined conversions.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

namespace quorvane_dsl::base {

// Nearest integer with halves away from zero; values beyond the i64 range saturate and NaN gives
// 0, so no float input can make the conversion undefined.
inline std::int64_t round_to_i64(double v) {
    if (std::isnan(v)) {
        return 0;
    }
    const double r = std::round(v);
    constexpr double limit = 9223372036854775808.0; // 2^63
    if (r >= limit) {
        return std::numeric_limits<std::int64_t>::max();
    }
    if (r < -limit) {
        return std::numeric_limits<std::int64_t>::min();
    }
    return static_cast<std::int64_t>(r);
}

} // namespace quorvane_dsl::base
