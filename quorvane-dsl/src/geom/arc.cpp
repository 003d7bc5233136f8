#include "geom/arc.hpp"

#include <cmath>
#include <numbers>

#include "geom/checks.hpp"
#include "units/units.hpp"

namespace quorvane_dsl::geom {

Built<Banded> arc_bands(const Bands& bands, std::optional<std::int64_t> segments, double radius,
                        double angle, double tol) {
    if (auto fault = check_positive("radius", radius)) {
        return std::unexpected(*fault);
    }
    if (auto fault = check_bands(bands)) {
        return std::unexpected(*fault);
    }
    if (!(angle != 0 && std::abs(angle) <= 360)) {
        return std::unexpected("an arc angle must be non-zero and at most 360deg");
    }
    const double theta = std::abs(angle) * std::numbers::pi / 180;
    const double sgn = angle > 0 ? 1.0 : -1.0;
    // The centre of the turn is (0, sgn R); a point at distance rho from it after turning phi:
    const auto at = [&](double rho, double phi) {
        return Point{rho * std::sin(phi), sgn * (radius - rho * std::cos(phi))};
    };
    std::vector<LocalGeometry> geometries;
    geometries.reserve(bands.size());
    for (const Band& band : bands) {
        const double middle = radius - sgn * band.offset;
        const double inner = middle - band.width * 0.5;
        const double outer = middle + band.width * 0.5;
        if (inner <= 0) {
            if (bands.size() == 1 && band.offset == 0) {
                return std::unexpected("an arc must be narrower than twice its radius");
            }
            return std::unexpected(describe_band(band.offset, band.width) +
                                   " does not fit in a bend of radius " +
                                   units::format_length(radius));
        }
        const auto n = arc_segments(segments, std::abs(angle), outer, tol);
        if (!n) {
            return std::unexpected(n.error());
        }
        const auto count = static_cast<double>(*n);
        Points points;
        points.reserve(2 * (*n + 1));
        for (std::size_t k = 0; k <= *n; ++k) {
            points.push_back(at(outer, theta * static_cast<double>(k) / count));
        }
        for (std::size_t k = *n + 1; k-- > 0;) {
            points.push_back(at(inner, theta * static_cast<double>(k) / count));
        }
        geometries.push_back({Polygon{std::move(points)}});
    }
    const Point end = at(radius, theta);
    return Banded::make(std::move(geometries),
                        EndFrames{{0, 0, 0}, {end.x, end.y, normalize_angle(angle)}}, radius);
}

Built<LocalShape> arc(std::optional<std::int64_t> segments, double radius, double width,
                      double angle, double tol) {
    auto banded = arc_bands({Band{0, width}}, segments, radius, angle, tol);
    if (!banded) {
        return std::unexpected(banded.error());
    }
    return std::move(banded->shape);
}

} // namespace quorvane_dsl::geom
