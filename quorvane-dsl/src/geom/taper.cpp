#include "geom/taper.hpp"

#include <cmath>
#include <limits>

#include "geom/checks.hpp"
#include "geom/outline.hpp"

namespace quorvane_dsl::geom {
namespace {

double width_at(TaperProfile profile, double w1, double w2, double t) {
    switch (profile) {
    case TaperProfile::Linear:
        return w1 + t * (w2 - w1);
    case TaperProfile::Parabolic:
        return std::sqrt(w1 * w1 + t * (w2 * w2 - w1 * w1));
    case TaperProfile::Exponential:
        return w1 * std::pow(w2 / w1, t);
    }
    return w1;
}

// The widths must be positive; the offsets reach the outline unchecked otherwise, and a
// non-finite one would turn into garbage coordinates.
std::optional<std::string> check_taper_band(TaperBand band) {
    if (auto fault = check_positive("width1", band.start.width)) {
        return fault;
    }
    if (auto fault = check_positive("width2", band.end.width)) {
        return fault;
    }
    if (!std::isfinite(band.start.offset) || !std::isfinite(band.end.offset)) {
        return "offset must be finite";
    }
    return std::nullopt;
}

Built<Points> band_outline(double length, TaperBand band, TaperProfile profile,
                           std::optional<std::int64_t> segments, double tol) {
    const double o1 = band.start.offset;
    const double o2 = band.end.offset;
    const double w1 = band.start.width;
    const double w2 = band.end.width;
    if (profile == TaperProfile::Linear) {
        // Interpolated as the curved profiles are, at t = 0 and t = 1.
        const double s1 = o1 + (o2 - o1) * 0;
        const double s2 = o1 + (o2 - o1);
        return Points{
            {0, s1 - w1 / 2}, {length, s2 - w2 / 2}, {length, s2 + w2 / 2}, {0, s1 + w1 / 2}};
    }
    auto right = shifted_taper_outline(-1, length, band, profile, segments, tol);
    if (!right) {
        return right;
    }
    auto left = shifted_taper_outline(1, length, band, profile, segments, tol);
    if (!left) {
        return left;
    }
    return geom::band(std::move(*right), *left);
}

} // namespace

Built<Points> shifted_taper_outline(double side, double length, TaperBand band,
                                    TaperProfile profile, std::optional<std::int64_t> segments,
                                    double tol) {
    const double s1 = band.start.offset;
    const double s2 = band.end.offset;
    Curve edge{Points(dense_steps + 1), std::vector<double>(dense_steps + 1)};
    for (std::size_t k = 0; k <= dense_steps; ++k) {
        const double t = static_cast<double>(k) / static_cast<double>(dense_steps);
        const double w = width_at(profile, band.start.width, band.end.width, t);
        edge.points[k] = {t * length, (s1 + t * (s2 - s1)) + (side * w) * 0.5};
    }
    // Central differences inside, one-sided at the two ends.
    for (std::size_t k = 0; k <= dense_steps; ++k) {
        const Point a = edge.points[k == 0 ? 0 : k - 1];
        const Point b = edge.points[k == dense_steps ? k : k + 1];
        edge.headings[k] = std::atan2(b.y - a.y, b.x - a.x);
    }
    const auto picked = edge.pick(segments, 0, tol);
    if (!picked) {
        return std::unexpected(picked.error());
    }
    Points out;
    out.reserve(picked->size());
    for (const std::size_t i : *picked) {
        out.push_back(edge.points[i]);
    }
    return out;
}

Built<Banded> taper_bands(const std::vector<TaperBand>& bands, TaperProfile profile,
                          std::optional<std::int64_t> segments, double length, double tol) {
    if (auto fault = check_positive("length", length)) {
        return std::unexpected(*fault);
    }
    std::vector<LocalGeometry> polygons;
    polygons.reserve(bands.size());
    for (const TaperBand& b : bands) {
        if (auto fault = check_taper_band(b)) {
            return std::unexpected(*fault);
        }
        auto outline = band_outline(length, b, profile, segments, tol);
        if (!outline) {
            return std::unexpected(outline.error());
        }
        polygons.push_back({Polygon{std::move(*outline)}});
    }
    return Banded::make(std::move(polygons), EndFrames{{0, 0, 0}, {length, 0, 0}},
                        std::numeric_limits<double>::infinity());
}

Built<LocalShape> taper(TaperProfile profile, std::optional<std::int64_t> segments, double length,
                        double width1, double width2, double tol) {
    auto banded = taper_bands({{{0, width1}, {0, width2}}}, profile, segments, length, tol);
    if (!banded) {
        return std::unexpected(banded.error());
    }
    return std::move(banded->shape);
}

} // namespace quorvane_dsl::geom
