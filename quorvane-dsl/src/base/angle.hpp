// The one angle rule: degrees normalised into [0, 360) with exact quarter turns.
#pragma once

namespace quorvane_dsl::base {

// Degrees in [0, 360), snapped to a multiple of 90 when within 1e-9 of it.
double normalize_angle(double degrees);

struct Turn {
    double sin = 0;
    double cos = 1;
};

// Sine and cosine of a normalised angle, exact at the multiples of 90.
Turn turn_of(double normalized_degrees);

} // namespace quorvane_dsl::base
