#include "geom/curve.hpp"

#include <cmath>
#include <limits>
#include <numbers>

#include "geom/checks.hpp"

namespace quorvane_dsl::geom {
namespace {

std::vector<std::size_t> evenly(std::size_t samples, std::size_t segments) {
    const std::size_t m = std::min(samples - 1, segments);
    std::vector<std::size_t> picked;
    picked.reserve(m + 1);
    for (std::size_t k = 0; k <= m; ++k) {
        picked.push_back(k * (samples - 1) / m);
    }
    return picked;
}

// Running cost of the dense steps: each step costs its turn over the turn one kept segment may
// make on the outline's farthest edge.
std::vector<double> turn_costs(const Curve& c, double reach, double tol) {
    std::vector<double> cost(c.points.size(), 0.0);
    for (std::size_t i = 1; i < cost.size(); ++i) {
        const double turn = std::abs(c.headings[i] - c.headings[i - 1]);
        double step = 0;
        if (turn > 1e-15) {
            const Point a = c.points[i - 1];
            const Point b = c.points[i];
            const double r = reach + std::hypot(b.x - a.x, b.y - a.y) / turn;
            const double quarter_pi = std::numbers::pi / 4;
            const double allowed =
                tol >= r ? quarter_pi : std::min(2 * std::acos(1 - tol / r), quarter_pi);
            step = turn / allowed;
        }
        cost[i] = cost[i - 1] + step;
    }
    return cost;
}

} // namespace

Built<std::vector<std::size_t>> Curve::pick(std::optional<std::int64_t> segments, double reach,
                                            double tol) const {
    const std::size_t samples = points.size();
    if (segments) {
        if (auto fault = check_segments(*segments)) {
            return std::unexpected(*fault);
        }
        return evenly(samples, static_cast<std::size_t>(*segments));
    }
    const std::vector<double> cost = turn_costs(*this, reach, tol);
    const std::size_t last = samples - 1;
    const double total = cost[last];
    double rounded = std::ceil(total);
    if (!(rounded >= 1)) {
        rounded = 1;
    }
    const auto count = static_cast<std::size_t>(std::min(rounded, 4096.0));
    std::vector<std::size_t> picked{0};
    picked.reserve(count + 1);
    std::size_t j = 0;
    for (std::size_t k = 1; k < count; ++k) {
        const double target = (total * static_cast<double>(k)) / static_cast<double>(count);
        while (j < last && cost[j] < target) {
            ++j;
        }
        if (j > picked.back() && j < last) {
            picked.push_back(j);
        }
    }
    picked.push_back(last);
    return picked;
}

double Curve::min_radius(const std::vector<std::size_t>& picked) const {
    double least = std::numeric_limits<double>::infinity();
    for (std::size_t i = 1; i < picked.size(); ++i) {
        const std::size_t a = picked[i - 1];
        const std::size_t b = picked[i];
        const double turn = std::abs(headings[b] - headings[a]);
        if (turn > 1e-12) {
            const double chord = std::hypot(points[b].x - points[a].x, points[b].y - points[a].y);
            least = std::min(least, chord / (2 * std::sin(turn / 2)));
        }
    }
    return least;
}

Curve sample_curve(double length, const Heading& heading) {
    Curve c{Points(dense_steps + 1), std::vector<double>(dense_steps + 1)};
    for (std::size_t k = 0; k <= dense_steps; ++k) {
        c.headings[k] = heading(static_cast<double>(k) * length * dense_step);
    }
    return c;
}

void integrate(Points& points, const Heading& heading, double step) {
    points[0] = {0, 0};
    double x = 0;
    double y = 0;
    for (std::size_t i = 0; i + 1 < points.size(); ++i) {
        const double s = step * static_cast<double>(i);
        const double t0 = heading(s);
        const double tm = heading(step * 0.5 + s);
        const double t1 = heading(step + s);
        x += (step / 6) * (std::cos(t0) + 4 * std::cos(tm) + std::cos(t1));
        y += (step / 6) * (std::sin(t0) + 4 * std::sin(tm) + std::sin(t1));
        points[i + 1] = {x, y};
    }
}

} // namespace quorvane_dsl::geom
