#include "geom/curve.hpp"

#include <bit>
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

// The largest 1 - tol / r for which the allowed turn 2 acos(1 - tol / r) reaches the cap of a
// quarter of pi, found once with the library's own `acos` (which falls as its argument grows):
// a step on the far side of it needs no `acos` at all.
double capped_turn_bound() {
    const double quarter_pi = std::numbers::pi / 4;
    double low = 0;  // 2 acos(low) >= quarter_pi
    double high = 1; // 2 acos(high) < quarter_pi
    for (;;) {
        const double middle = std::bit_cast<double>(
            (std::bit_cast<std::uint64_t>(low) + std::bit_cast<std::uint64_t>(high)) / 2);
        if (middle == low) {
            return low;
        }
        if (2 * std::acos(middle) >= quarter_pi) {
            low = middle;
        } else {
            high = middle;
        }
    }
}

// Running cost of the dense steps: each step costs its turn over the turn one kept segment may
// make on the outline's farthest edge.
std::vector<double> turn_costs(const CurveSteps& steps, double reach, double tol) {
    static const double capped_below = capped_turn_bound();
    const double quarter_pi = std::numbers::pi / 4;
    // Along an arc the cosine often repeats from one step to the next (an eighth of the steps
    // of a 90-degree Euler bend): its allowed turn is not sought again.
    double last_cosine = std::numeric_limits<double>::quiet_NaN();
    double last_allowed = quarter_pi;
    std::vector<double> cost(steps.turns.size(), 0.0);
    for (std::size_t i = 1; i < cost.size(); ++i) {
        const double turn = steps.turns[i];
        double step = 0;
        if (turn > 1e-15) {
            const double r = reach + steps.radii[i];
            double allowed = quarter_pi;
            if (!(tol >= r)) {
                const double cosine = 1 - tol / r;
                if (!(cosine <= capped_below)) {
                    if (cosine != last_cosine) {
                        last_cosine = cosine;
                        last_allowed = std::min(2 * std::acos(cosine), quarter_pi);
                    }
                    allowed = last_allowed;
                }
            }
            step = turn / allowed;
        }
        cost[i] = cost[i - 1] + step;
    }
    return cost;
}

} // namespace

CurveSteps Curve::steps() const {
    const std::size_t n = points.size();
    CurveSteps steps{std::vector<double>(n), std::vector<double>(n), std::vector<double>(n)};
    for (std::size_t i = 1; i < n; ++i) {
        const double turn = std::abs(headings[i] - headings[i - 1]);
        steps.turns[i] = turn;
        // Chords serve only steps that turn: the straight ones cost nothing and bound no radius.
        if (turn > 1e-15) {
            const Point a = points[i - 1];
            const Point b = points[i];
            const double chord = std::hypot(b.x - a.x, b.y - a.y);
            steps.chords[i] = chord;
            steps.radii[i] = chord / turn;
        }
    }
    return steps;
}

Built<std::vector<std::size_t>> Curve::pick(const CurveSteps& steps,
                                            std::optional<std::int64_t> segments, double reach,
                                            double tol) const {
    const std::size_t samples = points.size();
    if (segments) {
        if (auto fault = check_segments(*segments)) {
            return std::unexpected(*fault);
        }
        return evenly(samples, static_cast<std::size_t>(*segments));
    }
    const std::vector<double> cost = turn_costs(steps, reach, tol);
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

namespace {

// Turns at or below this are straight: they bound no radius.
constexpr double least_turn = 1e-12;

// The radius of the circle through two samples `chord` apart whose headings differ by `turn`.
double circle_radius(double chord, double turn) {
    return chord / (2 * std::sin(turn / 2));
}

} // namespace

double Curve::min_radius(const std::vector<std::size_t>& picked) const {
    double least = std::numeric_limits<double>::infinity();
    for (std::size_t i = 1; i < picked.size(); ++i) {
        const std::size_t a = picked[i - 1];
        const std::size_t b = picked[i];
        const double turn = std::abs(headings[b] - headings[a]);
        if (turn > least_turn) {
            const double chord = std::hypot(points[b].x - points[a].x, points[b].y - points[a].y);
            least = std::min(least, circle_radius(chord, turn));
        }
    }
    return least;
}

double min_step_radius(const CurveSteps& steps) {
    double least = std::numeric_limits<double>::infinity();
    for (std::size_t i = 1; i < steps.turns.size(); ++i) {
        const double turn = steps.turns[i];
        // 2 sin(turn / 2) never exceeds the turn, so chord / turn bounds the step's radius from
        // below: a step whose bound is no less than the least so far cannot lower it.
        if (turn > least_turn && !(steps.radii[i] >= least)) {
            least = std::min(least, circle_radius(steps.chords[i], turn));
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
    // A step's end is the next step's start whenever the two products round alike, and then
    // its heading, cosine and sine are not computed again.
    double end = 0;
    double end_cos = 0;
    double end_sin = 0;
    for (std::size_t i = 0; i + 1 < points.size(); ++i) {
        const double s = step * static_cast<double>(i);
        double start_cos = end_cos;
        double start_sin = end_sin;
        if (i == 0 || s != end) {
            const double t0 = heading(s);
            start_cos = std::cos(t0);
            start_sin = std::sin(t0);
        }
        const double tm = heading(step * 0.5 + s);
        end = step + s;
        const double t1 = heading(end);
        end_cos = std::cos(t1);
        end_sin = std::sin(t1);
        x += (step / 6) * (start_cos + 4 * std::cos(tm) + end_cos);
        y += (step / 6) * (start_sin + 4 * std::sin(tm) + end_sin);
        points[i + 1] = {x, y};
    }
}

} // namespace quorvane_dsl::geom
