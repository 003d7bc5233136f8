#include "geom/outline.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <numbers>

#include "geom/checks.hpp"
#include "units/units.hpp"

namespace quorvane_dsl::geom {
namespace {

Point minus(Point a, Point b) {
    return {a.x - b.x, a.y - b.y};
}

Point unit(Point v) {
    const double len = std::hypot(v.x, v.y);
    return {v.x / len, v.y / len};
}

// Appends the arc that replaces vertex p (between prev and next), or p itself where the
// corner is a spike or straight.
std::optional<std::string> round_corner(Points& out, Point prev, Point p, Point next, double radius,
                                        double tol, std::optional<std::int64_t> segments) {
    const Point a = minus(prev, p);
    const Point b = minus(next, p);
    const double len_a = std::hypot(a.x, a.y);
    const double len_b = std::hypot(b.x, b.y);
    const Point ua{a.x / len_a, a.y / len_a};
    const Point ub{b.x / len_b, b.y / len_b};
    const double half = std::acos(std::clamp(ua.x * ub.x + ua.y * ub.y, -1.0, 1.0)) / 2;
    if (half < 1e-9 || std::numbers::pi / 2 - half < 1e-9) {
        out.push_back(p);
        return std::nullopt;
    }
    double t = radius / std::tan(half);
    double rho = radius;
    // Neighbouring corners may use at most half of each edge.
    const double limit = std::min(len_a, len_b) / 2;
    if (t > limit) {
        rho = limit * std::tan(half);
        t = limit;
    }
    const Point towards = unit({ua.x + ub.x, ua.y + ub.y});
    const double to_centre = rho / std::sin(half);
    const Point centre{p.x + to_centre * towards.x, p.y + to_centre * towards.y};
    double sweep = half * -degrees_per_radian * 2 + 180;
    if (ua.x * ub.y > ua.y * ub.x) {
        sweep = -sweep;
    }
    const Point tangent{p.x + t * ua.x, p.y + t * ua.y};
    const double start = direction_angle(tangent.x - centre.x, tangent.y - centre.y);
    std::size_t count = 0;
    if (segments) {
        if (auto fault = check_segments(*segments)) {
            return fault;
        }
        count = static_cast<std::size_t>(*segments);
    } else {
        count = auto_segments(std::abs(sweep), rho, tol);
    }
    const Points arc = arc_points(count, centre, rho, start, sweep);
    out.insert(out.end(), arc.begin(), arc.end());
    return std::nullopt;
}

Built<Points> round_corners(const Points& points, double radius, double tol,
                            std::optional<std::int64_t> segments) {
    const std::size_t n = points.size();
    Points out;
    out.reserve(n * 8);
    for (std::size_t i = 0; i < n; ++i) {
        const Point prev = points[(i + n - 1) % n];
        const Point next = points[(i + 1) % n];
        if (auto fault = round_corner(out, prev, points[i], next, radius, tol, segments)) {
            return std::unexpected(*fault);
        }
    }
    return out;
}

// Each vertex moves to the miter point at distance h from both of its edges; outward for a
// counter-clockwise ring.
Built<Points> offset_closed(const Points& points, double h) {
    const std::size_t n = points.size();
    Points out;
    out.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        const Point p = points[i];
        const Point d1 = unit(minus(p, points[(i + n - 1) % n]));
        const Point d2 = unit(minus(points[(i + 1) % n], p));
        const Point m{d1.y + d2.y, -(d1.x + d2.x)};
        const double m2 = m.x * m.x + m.y * m.y;
        if (m2 < 1e-12) {
            return std::unexpected("the outline of a polygon with a reversing edge is undefined");
        }
        const double scale = 2 * h / m2;
        out.push_back({p.x + m.x * scale, p.y + m.y * scale});
    }
    return out;
}

void drop_repeats(Points& points) {
    points.erase(std::unique(points.begin(), points.end()), points.end());
    while (points.size() >= 2 && points.back() == points.front()) {
        points.pop_back();
    }
}

double twice_signed_area(const Points& points) {
    double sum = 0;
    for (std::size_t i = 0; i < points.size(); ++i) {
        const Point a = points[i];
        const Point b = points[(i + 1) % points.size()];
        sum += a.x * b.y - a.y * b.x;
    }
    return sum;
}

Built<Points> line_outline(Points points, double width) {
    if (auto fault = check_positive("line_width", width)) {
        return std::unexpected(*fault);
    }
    drop_repeats(points);
    if (twice_signed_area(points) < 0) {
        std::ranges::reverse(points);
    }
    auto outer = offset_closed(points, width / 2);
    if (!outer) {
        return outer;
    }
    auto inner = offset_closed(points, -width / 2);
    if (!inner) {
        return inner;
    }
    // An inner edge that no longer runs the way its edge does means the width swallowed it.
    const std::size_t n = points.size();
    for (std::size_t i = 0; i < n; ++i) {
        const std::size_t j = (i + 1) % n;
        const Point e = minus(points[j], points[i]);
        const Point f = minus((*inner)[j], (*inner)[i]);
        if (!(f.x * e.x + f.y * e.y > 0)) {
            return std::unexpected("line_width " + units::format_length(width) +
                                   " is too wide for this shape");
        }
    }
    return keyhole(*outer, *inner);
}

} // namespace

Points arc_points(std::size_t n, Point centre, double radius, double start, double sweep) {
    Points out;
    out.reserve(n + 1);
    for (std::size_t i = 0; i <= n; ++i) {
        const Turn t = turn_of(
            normalize_angle(start + (sweep * static_cast<double>(i)) / static_cast<double>(n)));
        out.push_back({centre.x + t.cos * radius, centre.y + t.sin * radius});
    }
    return out;
}

Points keyhole(const Points& outer, const Points& inner) {
    Points out;
    out.reserve(outer.size() + inner.size() + 2);
    out.insert(out.end(), outer.begin(), outer.end());
    out.push_back(outer.front());
    out.push_back(inner.front());
    out.insert(out.end(), inner.rbegin(), inner.rend() - 1);
    out.push_back(inner.front());
    return out;
}

Points band(Points outer, const Points& inner) {
    outer.insert(outer.end(), inner.rbegin(), inner.rend());
    return outer;
}

Built<double> non_negative(std::optional<double> corner_radius) {
    if (!corner_radius) {
        return 0.0;
    }
    if (auto fault = check_not_negative("corner_radius", *corner_radius)) {
        return std::unexpected(*fault);
    }
    return *corner_radius;
}

Built<Points> rounded_rect(double width, double height, double radius, double tol,
                           std::optional<std::int64_t> segments) {
    const double w = width / 2;
    const double h = height / 2;
    if (radius <= 0) {
        return Points{{w, 0}, {w, h}, {-w, h}, {-w, -h}, {w, -h}};
    }
    const auto n = arc_segments(segments, 90, radius, tol);
    if (!n) {
        return std::unexpected(n.error());
    }
    // The corner centres sit `radius` inside each corner, whichever sign the sizes have.
    const auto inside = [radius](double v) { return v - radius * std::copysign(1.0, v); };
    Points out{{w, 0}};
    out.reserve(1 + 4 * (*n + 1));
    const Point centres[] = {{inside(w), inside(h)},
                             {inside(-w), inside(h)},
                             {inside(-w), inside(-h)},
                             {inside(w), inside(-h)}};
    for (int corner = 0; corner < 4; ++corner) {
        const Points arc = arc_points(*n, centres[corner], radius, 90.0 * corner, 90);
        out.insert(out.end(), arc.begin(), arc.end());
    }
    return out;
}

Points stadium(double half_length, std::size_t n, double radius) {
    Points out{{0, -radius}};
    out.reserve(2 * n + 3);
    const Points right = arc_points(n, {half_length, 0}, radius, -90, 180);
    const Points left = arc_points(n, {-half_length, 0}, radius, 90, 180);
    out.insert(out.end(), right.begin(), right.end());
    out.insert(out.end(), left.begin(), left.end());
    return out;
}

namespace {

// The cosines and sines of a circle of n steps from `start` degrees, computed once for each
// start and count: they were most of the cost of drawing circles.
struct UnitCircle {
    std::uint64_t start_bits = 0; // `start` bit for bit: equal bits give equal points
    std::size_t n = 0;            // 0: unused
    Points points;
};

// The reference holds until the next call on the same thread.
const Points& unit_circle(double start, std::size_t n) {
    // A few tables per thread: designs draw many circles of few kinds, and threads share none.
    constexpr std::size_t kept = 8;
    thread_local std::array<UnitCircle, kept> tables;
    thread_local std::size_t next = 0;
    const auto bits = std::bit_cast<std::uint64_t>(start);
    for (const UnitCircle& table : tables) {
        if (table.n == n && table.start_bits == bits) {
            return table.points;
        }
    }
    UnitCircle& table = tables[next++ % kept];
    table = {bits, n, {}};
    table.points.reserve(n);
    for (std::size_t k = 0; k < n; ++k) {
        const double theta = start * 0.017453292519943295 +
                             (static_cast<double>(k) * 6.283185307179586) / static_cast<double>(n);
        table.points.push_back({std::cos(theta), std::sin(theta)});
    }
    return table.points;
}

} // namespace

Points circle_points(double start, std::size_t n, double radius, std::size_t first,
                     std::size_t last) {
    const Points& unit = unit_circle(start, n);
    Points out;
    out.reserve(last - first + 1);
    // Indices past the table wrap; the others, nearly all, cost no division.
    for (std::size_t k = first; k <= last; ++k) {
        const Point u = unit[k < n ? k : k % n];
        out.push_back({radius * u.x, radius * u.y});
    }
    return out;
}

Points ellipse_offset_points(double rx, double ry, double offset, const std::vector<double>& ts) {
    Points out;
    out.reserve(ts.size());
    for (const double t : ts) {
        const double c = std::cos(t);
        const double s = std::sin(t);
        const Point u = unit({ry * c, rx * s});
        out.push_back({rx * c + offset * u.x, ry * s + offset * u.y});
    }
    return out;
}

Built<Points> decorate(Points points, std::optional<double> corner_radius,
                       std::optional<double> line_width, double tol,
                       std::optional<std::int64_t> segments) {
    const auto radius = non_negative(corner_radius);
    if (!radius) {
        return std::unexpected(radius.error());
    }
    if (*radius > 0) {
        auto rounded = round_corners(points, *radius, tol, segments);
        if (!rounded) {
            return rounded;
        }
        points = std::move(*rounded);
    }
    if (!line_width) {
        return points;
    }
    return line_outline(std::move(points), *line_width);
}

} // namespace quorvane_dsl::geom
