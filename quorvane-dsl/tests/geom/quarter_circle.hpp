// A dense quarter circle for the tests of curves and sweeps.
#pragma once

#include <numbers>

#include "geom/curve.hpp"

namespace quorvane_dsl::geom {

// A dense quarter circle of radius r turning left from the origin.
inline Curve quarter_circle(double r) {
    const Heading heading = [r](double s) { return s / r; };
    const double length = r * std::numbers::pi / 2;
    Curve c = sample_curve(length, heading);
    integrate(c.points, heading, length * dense_step);
    return c;
}

} // namespace quorvane_dsl::geom
