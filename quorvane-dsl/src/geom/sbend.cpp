#include "geom/sbend.hpp"

#include <cmath>
#include <numbers>
#include <tuple>
#include <utility>

#include "geom/bezier.hpp"
#include "geom/checks.hpp"

namespace quorvane_dsl::geom {
namespace {

using std::numbers::pi;

// Samples a profile given as a point and a heading at each parameter t in [0, 1].
template <class Profile> Curve sampled(const Profile& profile) {
    Curve curve{Points(dense_steps + 1), std::vector<double>(dense_steps + 1)};
    for (std::size_t k = 0; k <= dense_steps; ++k) {
        const double t = static_cast<double>(k) / static_cast<double>(dense_steps);
        std::tie(curve.points[k], curve.headings[k]) = profile(t);
    }
    return curve;
}

// Two equal arcs of radius R turning by theta towards the offset and back; nothing when the
// offset is 0.
std::optional<Curve> circular(double length, double offset) {
    const double theta = 2 * std::atan(std::abs(offset) / length);
    if (theta == 0) {
        return std::nullopt;
    }
    const double radius = length / (2 * std::sin(theta));
    const double arc_length = 2 * radius * theta;
    const double sign = std::copysign(1.0, offset);
    const Heading heading = [=](double s) {
        return sign * (s <= radius * theta ? s / radius : 2 * theta - s / radius);
    };
    Curve curve = sample_curve(arc_length, heading);
    integrate(curve.points, heading, arc_length * dense_step);
    // The integration error must not move the end off its target.
    curve.points.back() = {length, offset};
    return curve;
}

} // namespace

Built<Banded> sbend_bands(const Bands& bands, SbendProfile profile,
                          std::optional<std::int64_t> segments, double length, double offset,
                          double tol) {
    if (auto fault = check_positive("length", length)) {
        return std::unexpected(*fault);
    }
    if (auto fault = check_bands(bands)) {
        return std::unexpected(*fault);
    }
    if (!std::isfinite(offset)) {
        return std::unexpected("offset must be finite");
    }
    const double l = length;
    const double h = offset;
    std::optional<Curve> curve;
    switch (profile) {
    case SbendProfile::Bezier:
        break;
    case SbendProfile::Sine:
        curve = sampled([&](double t) {
            return std::pair{Point{l * t, h * (t - std::sin(2 * pi * t) / (2 * pi))},
                             std::atan2(h * (1 - std::cos(2 * pi * t)), l)};
        });
        break;
    case SbendProfile::Cosine:
        curve = sampled([&](double t) {
            return std::pair{Point{l * t, h * (1 - std::cos(pi * t)) / 2},
                             std::atan2(h * (pi / 2) * std::sin(pi * t), l)};
        });
        break;
    case SbendProfile::Circular:
        curve = circular(l, h);
        break;
    }
    if (!curve) {
        return bezier_bands({{0, 0}, {l / 2, 0}, {l / 2, h}, {l, h}}, bands, segments, tol);
    }
    return swept(*curve, bands, {0, 0, 0}, {l, h, 0}, segments, tol);
}

Built<LocalShape> sbend(SbendProfile profile, std::optional<std::int64_t> segments, double length,
                        double offset, double width, double tol) {
    auto banded = sbend_bands({Band{0, width}}, profile, segments, length, offset, tol);
    if (!banded) {
        return std::unexpected(banded.error());
    }
    return std::move(banded->shape);
}

} // namespace quorvane_dsl::geom
