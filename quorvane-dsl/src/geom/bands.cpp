#include "geom/bands.hpp"

#include <cmath>
#include <limits>

#include "base/fatal.hpp"
#include "geom/checks.hpp"
#include "geom/closed.hpp"
#include "units/units.hpp"

namespace quorvane_dsl::geom {
namespace {

using units::format_length;

constexpr double infinity = std::numeric_limits<double>::infinity();

Polygon band_polygon(const Curve& curve, const std::vector<std::size_t>& picked, Band band,
                     double half) {
    // Each picked sample's left normal serves both edges.
    Points normals;
    normals.reserve(picked.size());
    for (const std::size_t i : picked) {
        const double h = curve.headings[i];
        normals.push_back({-std::sin(h), std::cos(h)});
    }
    Points points;
    points.reserve(2 * picked.size());
    const auto edge = [&](std::size_t k, double d) {
        const Point p = curve.points[picked[k]];
        points.push_back({p.x + d * normals[k].x, p.y + d * normals[k].y});
    };
    for (std::size_t k = 0; k < picked.size(); ++k) {
        edge(k, band.offset + half);
    }
    for (std::size_t k = picked.size(); k-- > 0;) {
        edge(k, band.offset - half);
    }
    return {std::move(points)};
}

std::string too_tight(const Bands& bands, Band band, double radius) {
    const std::string shown = format_length(round_thousandth(radius));
    if (bands.size() == 1 && band.offset == 0) {
        return "the curve bends with a radius of " + shown + ", which must exceed half the width " +
               format_length(band.width * 0.5);
    }
    return "the curve bends with a radius of " + shown + ", too tight for " +
           describe_band(band.offset, band.width) + ", whose outer edge is " +
           format_length(reach_of(band)) + " from the centerline";
}

// Builds one closed shape per band with `build(band)`; the first refusal is the result.
template <class Build>
Built<Banded> per_band(const Bands& bands, double radius, const Build& build) {
    if (auto fault = check_bands(bands)) {
        return std::unexpected(*fault);
    }
    std::vector<LocalGeometry> geometries;
    geometries.reserve(bands.size());
    for (const Band& band : bands) {
        Built<LocalShape> shape = build(band);
        if (!shape) {
            return std::unexpected(shape.error());
        }
        geometries.push_back(std::move(shape->geometry));
    }
    return Banded::make(std::move(geometries), std::nullopt, radius);
}

} // namespace

double reach_of(Band band) {
    return std::abs(band.offset) + band.width * 0.5;
}

Banded Banded::make(std::vector<LocalGeometry> geometries, std::optional<EndFrames> ends,
                    double radius) {
    if (geometries.empty()) {
        base::fatal("a band builder made no geometry");
    }
    Banded banded{shape_of(std::move(geometries.front())), {}, radius};
    if (ends) {
        banded.shape.anchors = {{"start", ends->start}, {"end", ends->end}};
    }
    banded.others.assign(std::make_move_iterator(geometries.begin() + 1),
                         std::make_move_iterator(geometries.end()));
    return banded;
}

std::optional<std::string> check_bands(const Bands& bands) {
    if (bands.empty()) {
        return "a cross-section needs at least one section";
    }
    for (const Band& band : bands) {
        if (auto fault = check_positive("width", band.width)) {
            return fault;
        }
        if (!std::isfinite(band.offset)) {
            return "offset must be finite";
        }
    }
    return std::nullopt;
}

std::string describe_band(double offset, double width) {
    std::string text = "a section " + format_length(width) + " wide";
    if (offset != 0) {
        text += " at offset " + format_length(offset);
    }
    return text;
}

Built<Banded> swept(const Curve& curve, const Bands& bands, Frame start, Frame end,
                    std::optional<std::int64_t> segments, double tol) {
    const CurveSteps steps = curve.steps();
    std::vector<LocalGeometry> geometries;
    geometries.reserve(bands.size());
    for (const Band& band : bands) {
        const double half = band.width * 0.5;
        const double reach = std::abs(band.offset) + half;
        const auto picked = curve.pick(steps, segments, reach, tol);
        if (!picked) {
            return std::unexpected(picked.error());
        }
        const double radius = curve.min_radius(*picked);
        if (reach >= radius) {
            return std::unexpected(too_tight(bands, band, radius));
        }
        geometries.push_back({band_polygon(curve, *picked, band, half)});
    }
    return Banded::make(std::move(geometries), EndFrames{start, end}, min_step_radius(steps));
}

Built<Banded> straight_bands(const Bands& bands, double length) {
    if (auto fault = check_positive("length", length)) {
        return std::unexpected(*fault);
    }
    if (auto fault = check_bands(bands)) {
        return std::unexpected(*fault);
    }
    std::vector<LocalGeometry> boxes;
    boxes.reserve(bands.size());
    for (const Band& b : bands) {
        boxes.push_back({BBox{0, b.offset - b.width / 2, length, b.offset + b.width / 2}});
    }
    return Banded::make(std::move(boxes), EndFrames{{0, 0, 0}, {length, 0, 0}}, infinity);
}

Built<Banded> ring_bands(const Bands& bands, std::optional<std::int64_t> segments,
                         std::optional<double> angle, std::optional<double> start_angle,
                         double radius, double tol) {
    return per_band(bands, radius, [&](Band b) {
        return ring(radius - b.offset, b.width, segments, angle, start_angle, tol);
    });
}

Built<Banded> racetrack_bands(const Bands& bands, std::optional<std::int64_t> segments,
                              double radius, double length, double tol) {
    return per_band(bands, radius, [&](Band b) {
        return racetrack(radius - b.offset, length, b.width, segments, tol);
    });
}

} // namespace quorvane_dsl::geom
