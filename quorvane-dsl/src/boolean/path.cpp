#include "boolean/path.hpp"

#include <cmath>

#include "base/round.hpp"

namespace quorvane_dsl::boolean {
namespace {

struct Vec {
    double x;
    double y;
};

Vec left_normal(Vec from, Vec to) {
    const double dx = to.x - from.x;
    const double dy = to.y - from.y;
    const double len = std::hypot(dx, dy);
    return {-dy / len, dx / len};
}

std::vector<Vec> distinct_points(std::span<const Point> centre_line) {
    std::vector<Vec> points;
    points.reserve(centre_line.size());
    for (const Point q : centre_line) {
        const Vec v{static_cast<double>(q.x), static_cast<double>(q.y)};
        if (!points.empty() && points.back().x == v.x && points.back().y == v.y) {
            continue;
        }
        points.push_back(v);
    }
    return points;
}

// Unit normal at the ends; inside, the mitre vector 2(a + b) / |a + b|^2 of the two segment
// normals, whose length is one over the cosine of half the turn.
std::vector<Vec> offset_vectors(const std::vector<Vec>& p) {
    const std::size_t m = p.size();
    std::vector<Vec> offsets(m);
    offsets[0] = left_normal(p[0], p[1]);
    offsets[m - 1] = left_normal(p[m - 2], p[m - 1]);
    for (std::size_t i = 1; i + 1 < m; ++i) {
        const Vec a = left_normal(p[i - 1], p[i]);
        const Vec b = left_normal(p[i], p[i + 1]);
        const Vec s{a.x + b.x, a.y + b.y};
        const double q = s.x * s.x + s.y * s.y;
        offsets[i] = q < 1e-12 ? a : Vec{s.x * 2.0 / q, s.y * 2.0 / q};
    }
    return offsets;
}

Point moved(Vec p, Vec offset, double amount) {
    return {base::round_to_i64(p.x + amount * offset.x),
            base::round_to_i64(p.y + amount * offset.y)};
}

} // namespace

Ring path_polygon(std::span<const Point> centre_line, std::int64_t width) {
    const std::vector<Vec> p = distinct_points(centre_line);
    if (p.size() < 2) {
        return {};
    }
    const std::vector<Vec> offsets = offset_vectors(p);
    const double half = static_cast<double>(width) / 2.0;
    Ring outline;
    outline.reserve(2 * p.size());
    for (std::size_t i = 0; i < p.size(); ++i) {
        outline.push_back(moved(p[i], offsets[i], half));
    }
    for (std::size_t i = p.size(); i-- > 0;) {
        outline.push_back(moved(p[i], offsets[i], -half));
    }
    return outline;
}

} // namespace quorvane_dsl::boolean
