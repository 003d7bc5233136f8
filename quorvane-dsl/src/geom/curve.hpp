// Densely sampled centre lines, and the choice of the samples an outline keeps.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "geom/shape.hpp"

namespace quorvane_dsl::geom {

// Dense curves take 8192 equal steps of their parameter or arc length.
inline constexpr std::size_t dense_steps = 8192;
inline constexpr double dense_step = 0.0001220703125; // 1 / 8192, exact

// Heading in radians as a function of arc length.
using Heading = std::function<double(double)>;

struct Curve {
    Points points;
    std::vector<double> headings; // radians, one per point

    // Indices of the samples an outline keeps, increasing, first and last included: the explicit
    // count of equal index steps, or as many as keep every chord of an edge `reach` away from
    // the centre line within `tol` of the curve.
    Built<std::vector<std::size_t>> pick(std::optional<std::int64_t> segments, double reach,
                                         double tol) const;

    // The least radius of the circles through consecutive picked samples with their turn;
    // infinite when none turns.
    double min_radius(const std::vector<std::size_t>& picked) const;
};

// 8193 samples of `heading` over arc lengths 0 ..= length; the points are left at the origin
// for `integrate` to fill.
Curve sample_curve(double length, const Heading& heading);

// Fills the points from (0, 0) by Simpson's rule over steps of `step` arc length.
void integrate(Points& points, const Heading& heading, double step);

} // namespace quorvane_dsl::geom
