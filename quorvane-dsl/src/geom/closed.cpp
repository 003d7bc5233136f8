#include "geom/closed.hpp"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "geom/checks.hpp"
#include "geom/outline.hpp"
#include "units/units.hpp"

namespace quorvane_dsl::geom {
namespace {

using units::format_length;

std::unexpected<std::string> refuse(std::string message) {
    return std::unexpected(std::move(message));
}

Built<LocalShape> decorated(Points points, std::optional<double> corner_radius,
                            std::optional<double> line_width, std::optional<std::int64_t> segments,
                            double tol) {
    auto outline = decorate(std::move(points), corner_radius, line_width, tol, segments);
    if (!outline) {
        return refuse(outline.error());
    }
    return polygon_shape(std::move(*outline));
}

// A sector angle, or nothing for a full shape (an angle of magnitude 360 is one too).
Built<std::optional<double>> sector(std::optional<double> angle) {
    if (!angle) {
        return std::nullopt;
    }
    const double a = *angle;
    if (a == 0 || !std::isfinite(a) || std::abs(a) > 360) {
        return refuse("a sector angle must be non-zero and at most 360deg");
    }
    if (std::abs(a) == 360) {
        return std::nullopt;
    }
    return a;
}

void drop_repeats(Points& points) {
    points.erase(std::unique(points.begin(), points.end()), points.end());
    while (points.size() > 1 && points.back() == points.front()) {
        points.pop_back();
    }
}

// The ellipse parameter whose point lies on the ray at `degrees`.
double ellipse_parameter(double rx, double ry, double degrees) {
    const Turn t = turn_of(normalize_angle(degrees));
    return std::atan2(rx * t.sin, ry * t.cos);
}

// Parameters of the sampled ellipse: n around a full one, n + 1 across a sector.
std::vector<double> ellipse_parameters(double rx, double ry, std::size_t n,
                                       std::optional<double> sweep, double start) {
    constexpr double two_pi = 2 * std::numbers::pi;
    const double t0 = ellipse_parameter(rx, ry, start);
    const auto count = static_cast<double>(n);
    std::vector<double> ts;
    if (!sweep) {
        ts.reserve(n);
        for (std::size_t k = 0; k < n; ++k) {
            ts.push_back(t0 + two_pi * static_cast<double>(k) / count);
        }
        return ts;
    }
    const double t1 = ellipse_parameter(rx, ry, start + *sweep);
    const auto wrapped = [](double d) {
        d = std::fmod(d, two_pi);
        return d < 0 ? d + two_pi : d;
    };
    double d = *sweep > 0 ? wrapped(t1 - t0) : -wrapped(t0 - t1);
    if (d == 0) {
        d = std::copysign(two_pi, *sweep);
    }
    ts.reserve(n + 1);
    for (std::size_t k = 0; k <= n; ++k) {
        ts.push_back(t0 + d * static_cast<double>(k) / count);
    }
    return ts;
}

} // namespace

Built<LocalShape> rect(double width, double height, std::optional<double> corner_radius,
                       std::optional<double> line_width, std::optional<std::int64_t> segments,
                       double tol) {
    if (auto fault = check_positive("width", width)) {
        return refuse(*fault);
    }
    if (auto fault = check_positive("height", height)) {
        return refuse(*fault);
    }
    const auto radius = non_negative(corner_radius);
    if (!radius) {
        return refuse(radius.error());
    }
    const double r = *radius;
    const double shorter = std::min(width, height);
    // A hair of slack so that a radius computed as exactly half the side is not refused.
    if (r > shorter * 0.5 * (1 + 1e-12)) {
        return refuse("corner_radius " + format_length(r) +
                      " must be at most half the shorter side " + format_length(shorter));
    }
    if (!line_width) {
        if (r == 0) {
            return shape_of({BBox{-width / 2, -height / 2, width / 2, height / 2}});
        }
        auto points = rounded_rect(width, height, r, tol, segments);
        if (!points) {
            return refuse(points.error());
        }
        return polygon_shape(std::move(*points));
    }
    const double w = *line_width;
    if (auto fault = check_positive("line_width", w)) {
        return refuse(*fault);
    }
    if (w >= shorter) {
        return refuse("line_width " + format_length(w) + " must be less than the shorter side " +
                      format_length(shorter));
    }
    auto outer = rounded_rect(width + w, height + w, r > 0 ? r + w / 2 : 0, tol, segments);
    if (!outer) {
        return refuse(outer.error());
    }
    auto inner = rounded_rect(width - w, height - w, std::max(r - w / 2, 0.0), tol, segments);
    if (!inner) {
        return refuse(inner.error());
    }
    return polygon_shape(keyhole(*outer, *inner));
}

Built<LocalShape> polygon(Points points, std::optional<double> corner_radius,
                          std::optional<double> line_width, std::optional<std::int64_t> segments,
                          double tol) {
    if (points.size() < 3) {
        return refuse("a polygon needs at least 3 points, got " + std::to_string(points.size()));
    }
    if (!corner_radius && !line_width) {
        return polygon_shape(std::move(points));
    }
    drop_repeats(points);
    if (points.size() < 3) {
        return refuse("a polygon needs at least 3 distinct points");
    }
    return decorated(std::move(points), corner_radius, line_width, segments, tol);
}

Built<LocalShape> regular_polygon(std::int64_t sides, std::optional<double> radius,
                                  std::optional<double> side_length, double rotation,
                                  std::optional<double> corner_radius,
                                  std::optional<double> line_width,
                                  std::optional<std::int64_t> segments, double tol) {
    if (sides < 3 || sides > 4096) {
        return refuse("sides must be between 3 and 4096, got " + std::to_string(sides));
    }
    if (radius.has_value() == side_length.has_value()) {
        return refuse("give exactly one of radius or side_length");
    }
    const auto n = static_cast<double>(sides);
    double circumradius = 0;
    if (radius) {
        if (auto fault = check_positive("radius", *radius)) {
            return refuse(*fault);
        }
        circumradius = *radius;
    } else {
        if (auto fault = check_positive("side_length", *side_length)) {
            return refuse(*fault);
        }
        circumradius = *side_length / (2 * std::sin(std::numbers::pi / n));
    }
    Points vertices;
    vertices.reserve(static_cast<std::size_t>(sides));
    for (std::int64_t k = 0; k < sides; ++k) {
        // With no rotation the bottom edge is horizontal, centred below the origin.
        const double a = 180 / n - 90 + rotation + 360 * static_cast<double>(k) / n;
        const Turn t = turn_of(normalize_angle(a));
        vertices.push_back({t.cos * circumradius, t.sin * circumradius});
    }
    return decorated(std::move(vertices), corner_radius, line_width, segments, tol);
}

Built<LocalShape> circle(double radius, std::optional<std::int64_t> segments,
                         std::optional<double> angle, std::optional<double> start_angle,
                         double tol) {
    if (auto fault = check_positive("radius", radius)) {
        return refuse(*fault);
    }
    const auto sweep = sector(angle);
    if (!sweep) {
        return refuse(sweep.error());
    }
    const double start = start_angle.value_or(0);
    const auto n = arc_segments(segments, *sweep ? std::abs(**sweep) : 360, radius, tol);
    if (!n) {
        return refuse(n.error());
    }
    if (!*sweep) {
        return polygon_shape(circle_points(start, *n, radius, 0, *n - 1));
    }
    Points points{{0, 0}};
    const Points arc = arc_points(*n, {0, 0}, radius, start, **sweep);
    points.insert(points.end(), arc.begin(), arc.end());
    return polygon_shape(std::move(points));
}

Built<LocalShape> ellipse(double rx, double ry, std::optional<std::int64_t> segments,
                          std::optional<double> angle, std::optional<double> start_angle,
                          std::optional<double> line_width, double tol) {
    if (auto fault = check_positive("rx", rx)) {
        return refuse(*fault);
    }
    if (auto fault = check_positive("ry", ry)) {
        return refuse(*fault);
    }
    const auto sweep = sector(angle);
    if (!sweep) {
        return refuse(sweep.error());
    }
    const auto n = arc_segments(segments, *sweep ? std::abs(**sweep) : 360, std::max(rx, ry), tol);
    if (!n) {
        return refuse(n.error());
    }
    const std::vector<double> ts = ellipse_parameters(rx, ry, *n, *sweep, start_angle.value_or(0));
    if (!line_width) {
        Points points;
        points.reserve(ts.size() + 1);
        if (*sweep) {
            points.push_back({0, 0});
        }
        for (const double t : ts) {
            points.push_back({rx * std::cos(t), ry * std::sin(t)});
        }
        return polygon_shape(std::move(points));
    }
    const double w = *line_width;
    if (auto fault = check_positive("line_width", w)) {
        return refuse(*fault);
    }
    const double tightest = std::min(rx, ry) * std::min(rx, ry) / std::max(rx, ry);
    if (w / 2 >= tightest) {
        return refuse("line_width " + format_length(w) +
                      " must be less than twice the smallest radius of curvature " +
                      format_length(round_thousandth(tightest)));
    }
    const Points outer = ellipse_offset_points(rx, ry, w / 2, ts);
    const Points inner = ellipse_offset_points(rx, ry, -w / 2, ts);
    return polygon_shape(*sweep ? band(outer, inner) : keyhole(outer, inner));
}

Built<LocalShape> ring(double radius, double width, std::optional<std::int64_t> segments,
                       std::optional<double> angle, std::optional<double> start_angle, double tol) {
    if (auto fault = check_positive("radius", radius)) {
        return refuse(*fault);
    }
    if (auto fault = check_positive("width", width)) {
        return refuse(*fault);
    }
    const double inner = radius - width / 2;
    if (inner <= 0) {
        return refuse("ring width " + format_length(width) +
                      " must be less than twice the radius " + format_length(radius));
    }
    const double outer = radius + width / 2;
    const auto sweep = sector(angle);
    if (!sweep) {
        return refuse(sweep.error());
    }
    const double start = start_angle.value_or(0);
    const auto n = arc_segments(segments, *sweep ? std::abs(**sweep) : 360, outer, tol);
    if (!n) {
        return refuse(n.error());
    }
    if (!*sweep) {
        // Both circles closed: the ring is cut by a zero-width slit on the start ray.
        return polygon_shape(
            band(circle_points(start, *n, outer, 0, *n), circle_points(start, *n, inner, 0, *n)));
    }
    return polygon_shape(band(arc_points(*n, {0, 0}, outer, start, **sweep),
                              arc_points(*n, {0, 0}, inner, start, **sweep)));
}

Built<LocalShape> racetrack(double radius, double length, double width,
                            std::optional<std::int64_t> segments, double tol) {
    if (auto fault = check_positive("radius", radius)) {
        return refuse(*fault);
    }
    if (auto fault = check_positive("width", width)) {
        return refuse(*fault);
    }
    if (auto fault = check_not_negative("length", length)) {
        return refuse(*fault);
    }
    if (width / 2 >= radius) {
        return refuse("racetrack width " + format_length(width) +
                      " must be less than twice the radius " + format_length(radius));
    }
    const double outer = radius + width / 2;
    const double inner = radius - width / 2;
    const auto n = arc_segments(segments, 180, outer, tol);
    if (!n) {
        return refuse(n.error());
    }
    return polygon_shape(keyhole(stadium(length / 2, *n, outer), stadium(length / 2, *n, inner)));
}

Built<LocalShape> cross(double length, double arm_width) {
    if (auto fault = check_positive("length", length)) {
        return refuse(*fault);
    }
    if (auto fault = check_positive("arm_width", arm_width)) {
        return refuse(*fault);
    }
    if (arm_width >= length) {
        return refuse("arm_width " + format_length(arm_width) + " must be less than the length " +
                      format_length(length));
    }
    const double a = length / 2;
    const double b = arm_width / 2;
    return polygon_shape({{a, -b},
                          {a, b},
                          {b, b},
                          {b, a},
                          {-b, a},
                          {-b, b},
                          {-a, b},
                          {-a, -b},
                          {-b, -b},
                          {-b, -a},
                          {b, -a},
                          {b, -b}});
}

Built<LocalShape> trapezoid(double width, double height, double top_width, double offset) {
    if (auto fault = check_positive("height", height)) {
        return refuse(*fault);
    }
    if (auto fault = check_not_negative("width", width)) {
        return refuse(*fault);
    }
    if (auto fault = check_not_negative("top_width", top_width)) {
        return refuse(*fault);
    }
    if (width == 0 && top_width == 0) {
        return refuse("width and top_width cannot both be zero");
    }
    Points points{{-width / 2, -height / 2},
                  {width / 2, -height / 2},
                  {offset + top_width / 2, height / 2},
                  {offset - top_width / 2, height / 2}};
    drop_repeats(points);
    return polygon_shape(std::move(points));
}

} // namespace quorvane_dsl::geom
