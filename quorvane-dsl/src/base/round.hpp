// Rounding floating-point values to i64 without undefined conversions.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

namespace quorvane_dsl::base {

// Nearest integer with halves away from zero; values beyond the i64 range saturate and NaN gives
// 0, so no float input can make the conversion undefined.
inline std::int64_t round_to_i64(double v) {
    // Below 2^52 in magnitude the truncation and the fraction it leaves are exact, and no call
    // into the maths library is needed; from there on every double is a whole number.
    if (std::abs(v) < 4503599627370496.0) {
        const auto whole = static_cast<std::int64_t>(v);
        const double fraction = v - static_cast<double>(whole);
        return whole + (fraction >= 0.5 ? 1 : 0) - (fraction <= -0.5 ? 1 : 0);
    }
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
