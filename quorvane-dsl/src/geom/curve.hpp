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

// What outlines need of each dense step of a curve whatever their reach, made once per curve
// and shared by its bands. Entry i is the step from sample i - 1 to sample i; entry 0 is 0.
struct CurveSteps {
    // The heading's change, unsigned; then, for steps turning by more than 1e-15 (0 for the
    // others), the distance of the two samples and the centre line's local radius chord / turn.
    std::vector<double> turns;
    std::vector<double> chords;
    std::vector<double> radii;
};

struct Curve {
    Points points;
    std::vector<double> headings; // radians, one per point

    CurveSteps steps() const;

    // Indices of the samples an outline keeps, increasing, first and last included: the explicit
    // count of equal index steps, or as many as keep every chord of an edge `reach` away from
    // the centre line within `tol` of the curve.
    Built<std::vector<std::size_t>> pick(const CurveSteps& steps,
                                         std::optional<std::int64_t> segments, double reach,
                                         double tol) const;
    Built<std::vector<std::size_t>> pick(std::optional<std::int64_t> segments, double reach,
                                         double tol) const {
        // An explicit count reads no steps.
        return pick(segments ? CurveSteps{} : steps(), segments, reach, tol);
    }

    // The least radius of the circles through consecutive picked samples with their turn;
    // infinite when none turns.
    double min_radius(const std::vector<std::size_t>& picked) const;
};

// `Curve::min_radius` over every sample of the curve these are the steps of.
double min_step_radius(const CurveSteps& steps);

// 8193 samples of `heading` over arc lengths 0 ..= length; the points are left at the origin
// for `integrate` to fill.
Curve sample_curve(double length, const Heading& heading);

// Fills the points from (0, 0) by Simpson's rule over steps of `step` arc length.
void integrate(Points& points, const Heading& heading, double step);

} // namespace quorvane_dsl::geom
