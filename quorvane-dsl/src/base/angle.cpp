#include "base/angle.hpp"

#include <cmath>
#include <numbers>

namespace quorvane_dsl::base {

double normalize_angle(double degrees) {
    // Most shapes are placed unturned; a zero of either sign is its own normal form.
    if (degrees == 0) {
        return degrees;
    }
    double a = std::fmod(degrees, 360.0);
    if (a < 0) {
        a += 360.0;
    }
    const double q = std::round(a / 90.0) * 90.0;
    if (std::abs(a - q) < 1e-9) {
        a = q;
    }
    // A tiny negative angle lands on 360 after the addition above.
    if (a >= 360.0) {
        a -= 360.0;
    }
    return a;
}

Turn turn_of(double a) {
    if (a == 0.0) {
        return {0.0, 1.0};
    }
    if (a == 90.0) {
        return {1.0, 0.0};
    }
    if (a == 180.0) {
        return {0.0, -1.0};
    }
    if (a == 270.0) {
        return {-1.0, 0.0};
    }
    const double radians = a * std::numbers::pi / 180.0;
    return {std::sin(radians), std::cos(radians)};
}

} // namespace quorvane_dsl::base
