#include "geom/euler.hpp"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "geom/arc.hpp"
#include "geom/checks.hpp"
#include "units/units.hpp"

namespace quorvane_dsl::geom {
namespace {

using units::format_length;

// The bend normalised to unit curvature slope: entry clothoid, circular middle, exit clothoid.
struct Normalised {
    double theta; // total turn, radians
    double p;
    double ls; // length of each clothoid
    double lm; // length of the middle
    double length;

    double heading(double s) const {
        if (s <= ls) {
            return s * s * 0.5;
        }
        if (s <= ls + lm) {
            return ls * (s - ls) + p * theta * 0.5;
        }
        return theta + (length - s) * (length - s) * (-0.5);
    }
};

std::string too_tight(const Bands& bands, double reach, double tightest) {
    const std::string shown = format_length(round_thousandth(tightest));
    if (bands.size() == 1 && bands.front().offset == 0) {
        return "the tightest radius of this Euler bend is " + shown +
               ", which must exceed half the width " + format_length(bands.front().width * 0.5);
    }
    return "the tightest radius of this Euler bend is " + shown + ", which must exceed " +
           format_length(reach) + ", how far its outermost section reaches from the centerline";
}

} // namespace

Built<Banded> euler_bands(bool is_min_radius, double radius, const Bands& bands, double angle,
                          std::optional<double> p, std::optional<std::int64_t> segments,
                          double tol) {
    if (auto fault = check_positive(is_min_radius ? "min_radius" : "radius", radius)) {
        return std::unexpected(*fault);
    }
    if (auto fault = check_bands(bands)) {
        return std::unexpected(*fault);
    }
    if (!(angle != 0 && std::abs(angle) < 360)) {
        return std::unexpected("an Euler bend angle must be non-zero and less than 360deg");
    }
    const double share = p.value_or(0.5);
    if (!(share >= 0 && share <= 1)) {
        return std::unexpected("p must be between 0 and 1, got " + units::format_number(share));
    }
    if (share == 0) {
        return arc_bands(bands, segments, radius, angle, tol);
    }
    const double theta = std::abs(angle) * (std::numbers::pi / 180);
    const double ls = std::sqrt(theta * share);
    const double lm = theta * (1 - share) / ls;
    const Normalised bend{theta, share, ls, lm, 2 * ls + lm};
    const Heading heading = [&bend](double s) { return bend.heading(s); };
    Curve curve = sample_curve(bend.length, heading);
    integrate(curve.points, heading, bend.length * dense_step);

    const Point last = curve.points.back();
    // Given as `radius`, the bend ends where an arc of that radius would: equal chords.
    const double scale =
        is_min_radius ? radius * ls
                      : (radius + radius) * std::sin(theta * 0.5) / std::hypot(last.x, last.y);
    const double tightest = scale / ls;
    double reach = 0;
    for (const Band& band : bands) {
        reach = std::max(reach, reach_of(band));
    }
    if (reach >= tightest) {
        return std::unexpected(too_tight(bands, reach, tightest));
    }
    const double sgn = angle > 0 ? 1.0 : -1.0;
    for (Point& pt : curve.points) {
        pt = {scale * pt.x, scale * (sgn * pt.y)};
    }
    for (double& h : curve.headings) {
        h = sgn * h;
    }
    const Point end = curve.points.back();
    auto banded =
        swept(curve, bands, {0, 0, 0}, {end.x, end.y, normalize_angle(angle)}, segments, tol);
    if (banded) {
        banded->radius = tightest;
    }
    return banded;
}

Built<LocalShape> euler(bool is_min_radius, double radius, double width, double angle,
                        std::optional<double> p, std::optional<std::int64_t> segments, double tol) {
    auto banded = euler_bands(is_min_radius, radius, {Band{0, width}}, angle, p, segments, tol);
    if (!banded) {
        return std::unexpected(banded.error());
    }
    return std::move(banded->shape);
}

} // namespace quorvane_dsl::geom
