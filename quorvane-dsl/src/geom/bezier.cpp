#include "geom/bezier.hpp"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace quorvane_dsl::geom {
namespace {

constexpr double two_pi = 2 * std::numbers::pi;

// `heading` moved by whole turns to lie within half a turn of `previous`.
double unwrap(double heading, double previous) {
    const double shifted = heading - previous + std::numbers::pi;
    // fmod is exact: within one turn from 0 it gives back its argument.
    double d = shifted >= 0 && shifted < two_pi ? shifted : std::fmod(shifted, two_pi);
    if (d < 0) {
        d += two_pi;
    }
    return previous + d - std::numbers::pi;
}

// Whether hypot(v.x, v.y) > 0, decided without computing it: an infinite part gives an infinite
// length, a NaN one otherwise NaN, and finite parts a length above 0 unless both are 0.
bool has_length(Point v) {
    if (std::isinf(v.x) || std::isinf(v.y)) {
        return true;
    }
    return !std::isnan(v.x) && !std::isnan(v.y) && (v.x != 0 || v.y != 0);
}

double radians(double degrees) {
    return degrees * std::numbers::pi / 180;
}

} // namespace

Point de_casteljau(const Points& control, double t, Points& scratch) {
    scratch.assign(control.begin(), control.end());
    for (std::size_t level = scratch.size(); level >= 2; --level) {
        for (std::size_t j = 0; j + 1 < level; ++j) {
            scratch[j] = {scratch[j].x * (1 - t) + scratch[j + 1].x * t,
                          scratch[j].y * (1 - t) + scratch[j + 1].y * t};
        }
    }
    return scratch.front();
}

Built<Banded> bezier_bands(Points control, const Bands& bands, std::optional<std::int64_t> segments,
                           double tol) {
    if (auto fault = check_bands(bands)) {
        return std::unexpected(*fault);
    }
    if (control.size() < 2) {
        return std::unexpected("a B\xc3\xa9zier curve needs at least 2 control points");
    }
    const Point first = control.front();
    const Point last = control.back();
    const auto leaving = std::ranges::find_if(control, [&](Point p) { return p != first; });
    if (leaving == control.end()) {
        return std::unexpected("the control points of a B\xc3\xa9zier curve must not all coincide");
    }
    const auto arriving =
        std::find_if(control.rbegin(), control.rend(), [&](Point p) { return p != last; });
    const double start_angle = direction_angle(leaving->x - first.x, leaving->y - first.y);
    const double end_angle = direction_angle(last.x - arriving->x, last.y - arriving->y);

    Points derivative;
    derivative.reserve(control.size() - 1);
    for (std::size_t i = 0; i + 1 < control.size(); ++i) {
        derivative.push_back({control[i + 1].x - control[i].x, control[i + 1].y - control[i].y});
    }
    Curve curve{Points(dense_steps + 1), std::vector<double>(dense_steps + 1)};
    Points scratch;
    scratch.reserve(control.size());
    double previous = radians(start_angle);
    for (std::size_t k = 0; k <= dense_steps; ++k) {
        const double t = static_cast<double>(k) / static_cast<double>(dense_steps);
        curve.points[k] = de_casteljau(control, t, scratch);
        double heading = previous;
        if (k == 0) {
            heading = radians(start_angle);
        } else if (k == dense_steps) {
            heading = radians(end_angle);
        } else {
            const Point d = de_casteljau(derivative, t, scratch);
            // Where the derivative vanishes (a cusp) the curve keeps its previous heading.
            if (has_length(d)) {
                heading = std::atan2(d.y, d.x);
            }
        }
        previous = unwrap(heading, previous);
        curve.headings[k] = previous;
    }
    return swept(curve, bands, {first.x, first.y, start_angle}, {last.x, last.y, end_angle},
                 segments, tol);
}

Built<LocalShape> bezier(Points control, std::optional<std::int64_t> segments, double width,
                         double tol) {
    auto banded = bezier_bands(std::move(control), {Band{0, width}}, segments, tol);
    if (!banded) {
        return std::unexpected(banded.error());
    }
    return std::move(banded->shape);
}

} // namespace quorvane_dsl::geom
