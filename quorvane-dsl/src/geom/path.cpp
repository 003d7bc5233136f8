#include "geom/path.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

#include "geom/checks.hpp"
#include "geom/outline.hpp"
#include "units/units.hpp"

namespace quorvane_dsl::geom {
namespace {

using units::format_length;

constexpr double infinity = std::numeric_limits<double>::infinity();

Point unit_step(Point from, Point to) {
    const double dx = to.x - from.x;
    const double dy = to.y - from.y;
    const double len = std::hypot(dx, dy);
    return {dx / len, dy / len};
}

Points without_repeats(Points points) {
    points.erase(std::unique(points.begin(), points.end()), points.end());
    return points;
}

std::string turns_back(std::size_t i) {
    return "the path turns back on itself at point " + std::to_string(i);
}

std::string too_few_distinct() {
    return "a path needs at least 2 distinct points";
}

// Straight when no consecutive triple leaves the line by more than a rounding error.
bool is_straight(const Points& line) {
    for (std::size_t i = 0; i + 2 < line.size(); ++i) {
        const Point a = line[i];
        const Point b = line[i + 1];
        const Point c = line[i + 2];
        const double cross = (b.x - a.x) * (c.y - b.y) - (b.y - a.y) * (c.x - b.x);
        if (std::abs(cross) > 1e-9) {
            return false;
        }
    }
    return true;
}

// The centre line with its corners replaced by arcs of radius R; `reach` is the farthest band
// edge, which sets the automatic arc counts.
Built<Points> rounded_corners(const Points& line, double r, double reach,
                              std::optional<std::int64_t> segments, double tol) {
    const std::size_t n = line.size();
    std::vector<double> turn(n, 0.0);
    std::vector<double> tangent(n, 0.0);
    for (std::size_t i = 1; i + 1 < n; ++i) {
        const Point u = unit_step(line[i - 1], line[i]);
        const Point v = unit_step(line[i], line[i + 1]);
        turn[i] = std::atan2(u.x * v.y - u.y * v.x, u.x * v.x + u.y * v.y);
        if (std::numbers::pi - std::abs(turn[i]) < 1e-9) {
            return std::unexpected(turns_back(i));
        }
        tangent[i] = r * std::tan(std::abs(turn[i]) / 2);
    }
    for (std::size_t i = 1; i < n; ++i) {
        const double len = std::hypot(line[i].x - line[i - 1].x, line[i].y - line[i - 1].y);
        // A part in 10^9 of slack lets arcs meet exactly at a segment's middle.
        if (len * 1.000000001 < tangent[i - 1] + tangent[i]) {
            return std::unexpected("bend_radius " + format_length(r) +
                                   " does not fit between points " + std::to_string(i - 1) +
                                   " and " + std::to_string(i));
        }
    }
    Points out{line.front()};
    for (std::size_t i = 1; i + 1 < n; ++i) {
        if (std::abs(turn[i]) < 1e-12) {
            continue;
        }
        const Point u = unit_step(line[i - 1], line[i]);
        const double s = turn[i] > 0 ? 1.0 : -1.0;
        const Point t{line[i].x - tangent[i] * u.x, line[i].y - tangent[i] * u.y};
        const Point k{t.x + s * r * -u.y, t.y + s * r * u.x};
        const double sweep = turn[i] * degrees_per_radian;
        const auto pieces = arc_segments(segments, std::abs(sweep), r + reach, tol);
        if (!pieces) {
            return std::unexpected(pieces.error());
        }
        const Points arc = arc_points(*pieces, k, r, direction_angle(t.x - k.x, t.y - k.y), sweep);
        out.insert(out.end(), arc.begin(), arc.end());
    }
    out.push_back(line.back());
    return without_repeats(std::move(out));
}

// The outline of a band with round ends: left side, end cap, right side, start cap.
Built<Points> round_ended(const Points& line, double width, std::optional<std::int64_t> segments,
                          double tol) {
    const auto left = offset_open_path(line, width / 2);
    if (!left) {
        return left;
    }
    const auto right = offset_open_path(line, -width / 2);
    if (!right) {
        return right;
    }
    const auto pieces = arc_segments(segments, 180, width / 2, tol);
    if (!pieces) {
        return std::unexpected(pieces.error());
    }
    const std::size_t n = line.size();
    const Point last_dir = unit_step(line[n - 2], line[n - 1]);
    const Point first_dir = unit_step(line[0], line[1]);
    Points out(left->begin(), left->end() - 1);
    out.reserve(2 * n + 2 * *pieces);
    const Points end_cap =
        arc_points(*pieces, line[n - 1], width / 2, direction_angle(-last_dir.y, last_dir.x), -180);
    out.insert(out.end(), end_cap.begin(), end_cap.end());
    out.insert(out.end(), right->rbegin() + 1, right->rend() - 1);
    const Points start_cap =
        arc_points(*pieces, line[0], width / 2, direction_angle(first_dir.y, -first_dir.x), -180);
    out.insert(out.end(), start_cap.begin(), start_cap.end() - 1);
    return out;
}

// The direction of the first segment of non-zero length, by the angle rule; a path that never
// moves keeps `fallback`.
double first_direction(const Points& points, double fallback) {
    for (std::size_t i = 1; i < points.size(); ++i) {
        if (points[i] != points[i - 1]) {
            return direction_angle(points[i].x - points[i - 1].x, points[i].y - points[i - 1].y);
        }
    }
    return fallback;
}

double last_direction(const Points& points, double fallback) {
    for (std::size_t i = points.size() - 1; i > 0; --i) {
        if (points[i] != points[i - 1]) {
            return direction_angle(points[i].x - points[i - 1].x, points[i].y - points[i - 1].y);
        }
    }
    return fallback;
}

Point along(double degrees, double distance) {
    const Turn t = turn_of(degrees);
    return {t.cos * distance, t.sin * distance};
}

struct Line {
    Points centre;
    double start_dir; // degrees, the way square ends extend
    double end_dir;
};

Built<LocalGeometry> band_geometry(const Line& line, Band band, PathEnds ends,
                                   std::optional<std::int64_t> segments, double tol) {
    Points centre = line.centre;
    if (band.offset != 0) {
        centre = without_repeats(std::move(centre));
        if (centre.size() < 2) {
            return std::unexpected(too_few_distinct());
        }
        auto shifted = offset_open_path(centre, band.offset);
        if (!shifted) {
            return std::unexpected(shifted.error());
        }
        centre = std::move(*shifted);
    }
    switch (ends) {
    case PathEnds::Flush:
        break;
    case PathEnds::Square: {
        const Point back = along(line.start_dir, band.width / 2);
        const Point forward = along(line.end_dir, band.width / 2);
        centre.front() = {centre.front().x - back.x, centre.front().y - back.y};
        centre.back() = {centre.back().x + forward.x, centre.back().y + forward.y};
        break;
    }
    case PathEnds::Round: {
        centre = without_repeats(std::move(centre));
        if (centre.size() < 2) {
            return std::unexpected(too_few_distinct());
        }
        auto outline = round_ended(centre, band.width, segments, tol);
        if (!outline) {
            return std::unexpected(outline.error());
        }
        return LocalGeometry{Polygon{std::move(*outline)}};
    }
    }
    return LocalGeometry{Path{band.width, std::move(centre)}};
}

} // namespace

Built<Points> offset_open_path(const Points& points, double h) {
    const std::size_t n = points.size();
    Points out;
    out.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        Point m;
        if (i == 0 || i + 1 == n) {
            const Point d =
                i == 0 ? unit_step(points[0], points[1]) : unit_step(points[n - 2], points[n - 1]);
            m = {2 * -d.y, 2 * d.x};
        } else {
            const Point d1 = unit_step(points[i - 1], points[i]);
            const Point d2 = unit_step(points[i], points[i + 1]);
            m = {-(d1.y + d2.y), d1.x + d2.x};
        }
        const double m2 = m.x * m.x + m.y * m.y;
        if (m2 < 1e-12) {
            return std::unexpected(turns_back(i));
        }
        const double scale = 2 * h / m2;
        out.push_back({points[i].x + m.x * scale, points[i].y + m.y * scale});
    }
    return out;
}

Built<Banded> path_bands(Points points, const Bands& bands, PathEnds ends,
                         std::optional<double> bend_radius, std::optional<std::int64_t> segments,
                         double tol) {
    if (auto fault = check_bands(bands)) {
        return std::unexpected(*fault);
    }
    if (points.size() < 2) {
        return std::unexpected("a path needs at least 2 points");
    }
    const std::size_t n = points.size();
    // The anchors face the way the first and last given points say, repeats or not.
    const Frame start{points[0].x, points[0].y,
                      direction_angle(points[1].x - points[0].x, points[1].y - points[0].y)};
    const Frame end{
        points[n - 1].x, points[n - 1].y,
        direction_angle(points[n - 1].x - points[n - 2].x, points[n - 1].y - points[n - 2].y)};
    const Points working = without_repeats(points);
    const bool straight = is_straight(working);
    // Square ends extend along the first and last segments that have a direction at all.
    Line line{{}, first_direction(points, start.angle), last_direction(points, end.angle)};
    double radius = straight ? infinity : 0;
    if (!bend_radius) {
        line.centre = std::move(points);
    } else {
        const double r = *bend_radius;
        if (auto fault = check_positive("bend_radius", r)) {
            return std::unexpected(*fault);
        }
        double reach = 0;
        for (const Band& b : bands) {
            reach = std::max(reach, reach_of(b));
        }
        if (!(r > reach)) {
            return std::unexpected("bend_radius " + format_length(r) + " must exceed " +
                                   format_length(reach) +
                                   ", how far the path reaches from its centerline");
        }
        if (working.size() < 2) {
            return std::unexpected(too_few_distinct());
        }
        auto rounded = rounded_corners(working, r, reach, segments, tol);
        if (!rounded) {
            return std::unexpected(rounded.error());
        }
        line.centre = std::move(*rounded);
        radius = straight ? infinity : r;
    }
    std::vector<LocalGeometry> geometries;
    geometries.reserve(bands.size());
    for (const Band& b : bands) {
        auto geometry = band_geometry(line, b, ends, segments, tol);
        if (!geometry) {
            return std::unexpected(geometry.error());
        }
        geometries.push_back(std::move(*geometry));
    }
    return Banded::make(std::move(geometries), EndFrames{start, end}, radius);
}

Built<LocalShape> path(Points points, PathEnds ends, std::optional<double> bend_radius,
                       std::optional<std::int64_t> segments, double width, double tol) {
    auto banded = path_bands(std::move(points), {Band{0, width}}, ends, bend_radius, segments, tol);
    if (!banded) {
        return std::unexpected(banded.error());
    }
    return std::move(banded->shape);
}

} // namespace quorvane_dsl::geom
