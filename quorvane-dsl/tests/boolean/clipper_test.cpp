// Differential tests of the polygon engine against the Clipper library and a winding count, and
// checks of the normal form and planarity of its own results.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <random>
#include <tuple>

#include <gtest/gtest.h>
#include <polyclipping/clipper.hpp>

#include "base/pool.hpp"
#include "boolean/boolean.hpp"
#include "boolean/detail/segments.hpp"

namespace qb = quorvane_dsl::boolean;
namespace qd = quorvane_dsl::boolean::detail;
using qb::i128;
using qb::Op;
using qb::Point;
using qb::Polygons;
using qb::Ring;

namespace {

// Results must not depend on the pool: let arenas of up to 8 threads count as 8 everywhere.
[[maybe_unused]] const int pool_env = setenv("RAYON_NUM_THREADS", "8", 0);

ClipperLib::Paths to_paths(const Polygons& set) {
    ClipperLib::Paths out;
    for (const Ring& r : set) {
        ClipperLib::Path p;
        for (const Point& q : r) {
            p.push_back({q.x, q.y});
        }
        out.push_back(std::move(p));
    }
    return out;
}

i128 twice_area(const ClipperLib::Path& p) {
    i128 s = 0;
    for (std::size_t i = 0; i < p.size(); ++i) {
        const auto& a = p[i];
        const auto& b = p[(i + 1) % p.size()];
        s += i128(a.X) * b.Y - i128(b.X) * a.Y;
    }
    return s;
}

i128 twice_area(const ClipperLib::Paths& ps) {
    i128 s = 0;
    for (const auto& p : ps) {
        s += twice_area(p);
    }
    return s;
}

i128 twice_area(const Polygons& set) {
    return twice_area(to_paths(set));
}

// Each input ring filled by the nonzero rule on its own, so that positive winding means inside.
ClipperLib::Paths clipper_normalise(const Polygons& set) {
    ClipperLib::Paths out;
    for (const auto& path : to_paths(set)) {
        ClipperLib::Clipper c;
        c.AddPath(path, ClipperLib::ptSubject, true);
        ClipperLib::Paths one;
        c.Execute(ClipperLib::ctUnion, one, ClipperLib::pftNonZero, ClipperLib::pftNonZero);
        out.insert(out.end(), one.begin(), one.end());
    }
    return out;
}

ClipperLib::Paths clipper_union(const ClipperLib::Paths& paths) {
    ClipperLib::Clipper c;
    c.AddPaths(paths, ClipperLib::ptSubject, true);
    ClipperLib::Paths out;
    c.Execute(ClipperLib::ctUnion, out, ClipperLib::pftPositive, ClipperLib::pftPositive);
    return out;
}

ClipperLib::Paths clipper_run(const ClipperLib::Paths& a, const ClipperLib::Paths& b,
                              ClipperLib::ClipType type) {
    ClipperLib::Clipper c;
    c.AddPaths(a, ClipperLib::ptSubject, true);
    c.AddPaths(b, ClipperLib::ptClip, true);
    ClipperLib::Paths out;
    c.Execute(type, out, ClipperLib::pftNonZero, ClipperLib::pftNonZero);
    return out;
}

// Clipper's results for the exclusive-or of pieces that touch at a vertex lose area (also when
// it is computed as the union minus the intersection), so only union, intersection and
// difference serve as references; the exclusive-or is checked by its area.
ClipperLib::Paths clipper_op(const Polygons& a, const Polygons& b, Op op) {
    static constexpr ClipperLib::ClipType types[] = {
        ClipperLib::ctUnion, ClipperLib::ctIntersection, ClipperLib::ctDifference};
    return clipper_run(clipper_union(clipper_normalise(a)), clipper_union(clipper_normalise(b)),
                       types[static_cast<int>(op)]);
}

i128 fill_area(const ClipperLib::Paths& a, const ClipperLib::Paths& b, ClipperLib::ClipType type,
               ClipperLib::PolyFillType fill) {
    ClipperLib::Clipper c;
    c.AddPaths(a, ClipperLib::ptSubject, true);
    c.AddPaths(b, ClipperLib::ptClip, true);
    ClipperLib::Paths out;
    c.Execute(type, out, fill, fill);
    return twice_area(out);
}

Polygons run(const Polygons& a, const Polygons& b, Op op) {
    auto r = qb::boolean(a, b, op);
    EXPECT_TRUE(r.has_value());
    return r.value_or(Polygons{});
}

std::string show(const Polygons& set) {
    std::string s;
    for (const Ring& r : set) {
        s += "{";
        for (const Point& p : r) {
            s += "{" + std::to_string(p.x) + "," + std::to_string(p.y) + "},";
        }
        s += "} ";
    }
    return s;
}

bool collinear_between(Point p, Point c, Point n) {
    bool collinear = i128(n.y - p.y) * (c.x - p.x) == i128(n.x - p.x) * (c.y - p.y);
    return collinear && i128(c.x - p.x) * (n.x - c.x) + i128(c.y - p.y) * (n.y - c.y) > 0;
}

int first_sign(std::initializer_list<i128> terms) {
    for (i128 t : terms) {
        if (t != 0) {
            return t > 0 ? 1 : -1;
        }
    }
    return 0;
}

// Winding number of the set just beside the middle of edge e (left or right), by a ray to the
// right from a symbolically perturbed point: M + eps * normal + eps^2 * direction.
int winding_beside(const Polygons& set, const qb::Seg& e, bool left) {
    i128 dx = e.x2 - e.x1, dy = e.y2 - e.y1;
    // Halfway to the nearest vertex on the edge, where no other ring touches it.
    Point near{e.x2, e.y2};
    for (const Ring& r : set) {
        for (Point v : r) {
            if (collinear_between({e.x1, e.y1}, v, near)) {
                near = v;
            }
        }
    }
    i128 mx = i128(e.x1) + near.x, my = i128(e.y1) + near.y; // doubled coordinates
    i128 nx = left ? -dy : dy, ny = left ? dx : -dx;
    int w = 0;
    for (const Ring& r : set) {
        for (std::size_t i = 0; i < r.size(); ++i) {
            Point p = r[i], q = r[(i + 1) % r.size()];
            i128 px = 2 * i128(p.x), py = 2 * i128(p.y), qx = 2 * i128(q.x), qy = 2 * i128(q.y);
            bool p_below = first_sign({my - py, ny, dy}) > 0;
            bool q_below = first_sign({my - qy, ny, dy}) > 0;
            if (p_below == q_below) {
                continue;
            }
            i128 ex = qx - px, ey = qy - py;
            int side =
                first_sign({ex * (my - py) - ey * (mx - px), ex * ny - ey * nx, ex * dy - ey * dx});
            if (p_below && side > 0) {
                ++w;
            } else if (!p_below && side < 0) {
                --w;
            }
        }
    }
    return w;
}

// Normal form: rings of 3 or more clean points, canonical start, sorted; no crossings; winding 0
// or 1 everywhere. (A vertex may touch another edge: clean-up drops it from the straight ring.)
::testing::AssertionResult well_formed(const Polygons& set) {
    for (const Ring& r : set) {
        if (r.size() < 3) {
            return ::testing::AssertionFailure() << "short ring";
        }
        for (std::size_t i = 0; i < r.size(); ++i) {
            Point p = r[(i + r.size() - 1) % r.size()], c = r[i], n = r[(i + 1) % r.size()];
            if (c == n || collinear_between(p, c, n)) {
                return ::testing::AssertionFailure() << "unclean ring";
            }
            if (c < r[0]) {
                return ::testing::AssertionFailure() << "ring does not start at its smallest point";
            }
        }
    }
    if (!std::is_sorted(set.begin(), set.end())) {
        return ::testing::AssertionFailure() << "rings not sorted";
    }
    std::vector<std::pair<qb::Seg, qb::Box>> edges;
    for (const Ring& r : set) {
        for (std::size_t i = 0; i < r.size(); ++i) {
            Point a = r[i], b = r[(i + 1) % r.size()];
            edges.push_back(
                {{a.x, a.y, b.x, b.y, 0, 0},
                 {std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x), std::max(a.y, b.y)}});
        }
    }
    std::sort(edges.begin(), edges.end(),
              [](auto& a, auto& b) { return a.second.x0 < b.second.x0; });
    for (std::size_t i = 0; i < edges.size(); ++i) {
        for (std::size_t j = i + 1; j < edges.size() && edges[j].second.x0 <= edges[i].second.x1;
             ++j) {
            const auto& [s, sb] = edges[i];
            const auto& [t, tb] = edges[j];
            if (!qb::boxes_touch(sb, tb)) {
                continue;
            }
            if (qd::crossing(s, t)) {
                return ::testing::AssertionFailure() << "edges cross";
            }
        }
    }
    std::size_t step = std::max<std::size_t>(1, edges.size() / 400);
    for (std::size_t i = 0; i < edges.size(); i += step) {
        const qb::Seg& e = edges[i].first;
        if (winding_beside(set, e, true) != 1 || winding_beside(set, e, false) != 0) {
            return ::testing::AssertionFailure() << "winding other than 0 or 1 beside an edge";
        }
    }
    return ::testing::AssertionSuccess();
}

Polygons doubled(Polygons set) {
    for (Ring& r : set) {
        for (Point& p : r) {
            p = {2 * p.x, 2 * p.y};
        }
    }
    return set;
}

double distance(Point p, Point a, Point b) {
    const double dx = double(b.x - a.x), dy = double(b.y - a.y);
    const double t =
        std::clamp(((p.x - a.x) * dx + (p.y - a.y) * dy) / (dx * dx + dy * dy), 0.0, 1.0);
    return std::hypot(a.x + t * dx - p.x, a.y + t * dy - p.y);
}

bool far_from_edges(const Polygons& set, Point p, double gap) {
    for (const Ring& r : set) {
        for (std::size_t i = 0; i < r.size(); ++i) {
            if (r[i] != r[(i + 1) % r.size()] && distance(p, r[i], r[(i + 1) % r.size()]) <= gap) {
                return false;
            }
        }
    }
    return true;
}

bool filled(const Polygons& set, Point p) {
    return std::any_of(set.begin(), set.end(),
                       [&](const Ring& r) { return qb::winding_around(r, p).value_or(0) != 0; });
}

// Independently of Clipper: on a 16 x 16 grid of half-unit points over the inputs, those farther
// than two units from every input edge (snap rounding moves edges by less than one) lie in the
// result exactly when the operation's rule on the inputs' nonzero fills says so.
::testing::AssertionResult rule_holds_at_samples(const Polygons& a, const Polygons& b, Op op,
                                                 const Polygons& result) {
    const Polygons da = doubled(a), db = doubled(b), dr = doubled(result);
    qb::Box box = qb::empty_box;
    for (const Polygons* set : {&da, &db}) {
        for (const Ring& r : *set) {
            box = qb::box_union(box, qb::bounds(r));
        }
    }
    for (int i = 0; i < 16 && box.x0 <= box.x1; ++i) {
        for (int j = 0; j < 16; ++j) {
            // Odd doubled coordinates: half-unit points, never a vertex.
            const Point p{(box.x0 + (box.x1 - box.x0) / 16 * i) | 1,
                          (box.y0 + (box.y1 - box.y0) / 16 * j) | 1};
            if (!far_from_edges(da, p, 4) || !far_from_edges(db, p, 4)) {
                continue;
            }
            const bool in_a = filled(da, p), in_b = filled(db, p);
            const bool wanted = op == Op::Union          ? in_a || in_b
                                : op == Op::Intersection ? in_a && in_b
                                : op == Op::Difference   ? in_a && !in_b
                                                         : in_a != in_b;
            int winding = 0;
            for (const Ring& r : dr) {
                winding += qb::winding_around(r, p).value_or(0);
            }
            if (winding != int(wanted)) {
                return ::testing::AssertionFailure()
                       << "winding " << winding << " at (" << p.x / 2.0 << ", " << p.y / 2.0 << ")";
            }
        }
    }
    return ::testing::AssertionSuccess();
}

enum class Family { Manhattan, Octilinear, AnyAngle };

struct Gen {
    std::mt19937_64 rng;
    std::int64_t range;

    std::int64_t coord() { return std::uniform_int_distribution<std::int64_t>(0, range)(rng); }
    std::int64_t even() {
        return 2 * std::uniform_int_distribution<std::int64_t>(0, range / 2)(rng);
    }
    int pick(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); }

    Ring manhattan() {
        int m = pick(2, 4);
        std::vector<std::int64_t> xs(m), ys(m);
        for (int i = 0; i < m; ++i) {
            xs[i] = coord();
            ys[i] = coord();
        }
        Ring r;
        for (int i = 0; i < m; ++i) {
            r.push_back({xs[i], ys[i]});
            r.push_back({xs[(i + 1) % m], ys[i]});
        }
        return r;
    }

    Ring octilinear() {
        static constexpr int dirs[8][2] = {{1, 0},  {1, 1},   {0, 1},  {-1, 1},
                                           {-1, 0}, {-1, -1}, {0, -1}, {1, -1}};
        Point start{even(), even()};
        Ring r{start};
        int steps = pick(2, 5);
        for (int i = 0; i < steps; ++i) {
            const int* d = dirs[pick(0, 7)];
            std::int64_t len = 2 * pick(1, static_cast<int>(range / 4) + 1);
            r.push_back({r.back().x + d[0] * len, r.back().y + d[1] * len});
        }
        // Back to the start with one diagonal and one axis-parallel move.
        Point e = r.back();
        std::int64_t dx = start.x - e.x, dy = start.y - e.y;
        std::int64_t diag = std::min(std::abs(dx), std::abs(dy));
        r.push_back({e.x + (dx > 0 ? diag : -diag), e.y + (dy > 0 ? diag : -diag)});
        return r;
    }

    Ring any_angle() {
        Ring r;
        int n = pick(3, 6);
        for (int i = 0; i < n; ++i) {
            // Repeat earlier points now and then to force shared vertices.
            if (!r.empty() && pick(0, 5) == 0) {
                r.push_back(r[static_cast<std::size_t>(pick(0, static_cast<int>(r.size()) - 1))]);
            } else {
                r.push_back({coord(), coord()});
            }
        }
        return r;
    }

    Ring ring(Family f) {
        switch (f) {
        case Family::Manhattan:
            return manhattan();
        case Family::Octilinear:
            return octilinear();
        case Family::AnyAngle:
            return any_angle();
        }
        return {};
    }

    Polygons set(Family f, int max_rings) {
        Polygons s;
        int n = pick(0, max_rings);
        for (int i = 0; i < n; ++i) {
            s.push_back(ring(f));
        }
        return s;
    }
};

i128 perimeter_bound(const Polygons& a, const Polygons& b) {
    double sum = 0;
    for (const Polygons* set : {&a, &b}) {
        for (const Ring& r : *set) {
            for (std::size_t i = 0; i < r.size(); ++i) {
                Point p = r[i], q = r[(i + 1) % r.size()];
                sum += std::hypot(double(q.x - p.x), double(q.y - p.y));
            }
        }
    }
    // Snap rounding moves every edge by less than one unit, Clipper's rounding by half a unit.
    return static_cast<i128>(4 * sum) + 8;
}

void compare(const Polygons& a, const Polygons& b, Family family) {
    Polygons norm_a = run(a, {}, Op::Union), norm_b = run(b, {}, Op::Union);
    Polygons results[4];
    i128 reference[4];
    for (int o = 0; o < 4; ++o) {
        Op op = static_cast<Op>(o);
        Polygons ours = run(a, b, op);
        results[o] = ours;
        ASSERT_TRUE(well_formed(ours))
            << "op " << o << " a " << show(a) << " b " << show(b) << " result " << show(ours);
        ClipperLib::Paths theirs = op == Op::Xor ? ClipperLib::Paths{} : clipper_op(a, b, op);
        reference[o] = op == Op::Xor ? reference[0] - reference[1] : twice_area(theirs);
        i128 diff = twice_area(ours) - reference[o];
        if (family == Family::AnyAngle) {
            ASSERT_LE(diff < 0 ? -diff : diff, perimeter_bound(a, b))
                << "op " << o << " a " << show(a) << " b " << show(b);
            ASSERT_TRUE(rule_holds_at_samples(a, b, op, ours))
                << "op " << o << " a " << show(a) << " b " << show(b) << " result " << show(ours);
            continue;
        }
        ASSERT_TRUE(diff == 0) << "op " << o << " a " << show(a) << " b " << show(b) << " ours "
                               << show(ours) << " area difference " << static_cast<long long>(diff);
        if (op != Op::Xor) {
            ASSERT_EQ(fill_area(to_paths(ours), theirs, ClipperLib::ctXor, ClipperLib::pftNonZero),
                      0)
                << "op " << o << " a " << show(a) << " b " << show(b);
        }
    }
    // Every operation cuts the same snapped arrangement, so these identities are exact.
    ASSERT_EQ(twice_area(results[3]), twice_area(results[0]) - twice_area(results[1]));
    if (family != Family::AnyAngle) {
        ASSERT_EQ(twice_area(results[0]) + twice_area(results[1]),
                  twice_area(norm_a) + twice_area(norm_b));
    }
}

void random_cases(Family family, std::uint64_t seed, int cases, std::int64_t range, int max_rings) {
    Gen g{std::mt19937_64(seed), range};
    for (int i = 0; i < cases; ++i) {
        Polygons a = g.set(family, max_rings), b = g.set(family, max_rings);
        compare(a, b, family);
        if (::testing::Test::HasFatalFailure()) {
            return;
        }
    }
}

} // namespace

TEST(BooleanClipper, SmallManhattanCasesAgreeExactly) {
    random_cases(Family::Manhattan, 1, 2000, 8, 3);
}

TEST(BooleanClipper, SmallOctilinearCasesAgreeExactly) {
    random_cases(Family::Octilinear, 2, 2000, 12, 3);
}

TEST(BooleanClipper, SmallAnyAngleCasesStayWithinTheSnapBound) {
    random_cases(Family::AnyAngle, 3, 2000, 10, 3);
}

TEST(BooleanClipper, LargerSetsAgree) {
    random_cases(Family::Manhattan, 4, 6, 3000, 120);
    random_cases(Family::Octilinear, 5, 6, 3000, 120);
    random_cases(Family::AnyAngle, 6, 6, 3000, 60);
}

TEST(BooleanClipper, WideSpansKeepTheirVertices) {
    // Around spans of 2^30 a vertex's position and a segment id stop fitting in one word.
    random_cases(Family::Manhattan, 7, 300, std::int64_t{1} << 29, 6);
    random_cases(Family::Manhattan, 8, 300, std::int64_t{1} << 31, 6);
    random_cases(Family::AnyAngle, 9, 300, std::int64_t{1} << 30, 4);
}

TEST(BooleanClipper, CoordinatesAtTheLimitStayExact) {
    std::mt19937_64 rng(9);
    std::int64_t limit = qb::coordinate_limit;
    auto coord = [&] { return std::uniform_int_distribution<std::int64_t>(-limit, limit)(rng); };
    for (int i = 0; i < 40; ++i) {
        Polygons a, b;
        for (Polygons* set : {&a, &b}) {
            for (int r = 0; r < 3; ++r) {
                set->push_back({{coord(), coord()},
                                {coord(), coord()},
                                {coord(), coord()},
                                {limit, i % 2 ? limit : -limit}});
            }
        }
        compare(a, b, Family::AnyAngle);
        if (HasFatalFailure()) {
            return;
        }
    }
}

TEST(BooleanClipper, ResultsDoNotDependOnTheThreadCount) {
    // Enough segments for every parallel step to split into chunks.
    Gen g{std::mt19937_64(7), 60000};
    Polygons a, b;
    for (int i = 0; i < 4200; ++i) {
        std::int64_t x = g.coord(), y = g.coord(), w = g.pick(50, 3000), h = g.pick(50, 3000);
        a.push_back({{x, y}, {x + w, y}, {x + w, y + h}, {x, y + h}});
    }
    // Far above the rest, so that the vertices' rows are ordered in bands of several.
    a.push_back({{0, 2'000'000}, {10, 2'000'000}, {10, 2'000'010}, {0, 2'000'010}});
    for (int i = 0; i < 2500; ++i) {
        Point p{g.coord(), g.coord()};
        b.push_back({p,
                     {p.x + g.pick(-3000, 3000), p.y + g.pick(-3000, 3000)},
                     {p.x + g.pick(-3000, 3000), p.y + g.pick(-3000, 3000)}});
    }
    // Boxes alone make an arrangement without diagonal segments, built by a path of its own.
    Polygons shifted;
    for (const Ring& r : a) {
        Ring moved = r;
        for (Point& p : moved) {
            p = {p.x + 37, p.y + 11};
        }
        shifted.push_back(moved);
    }
    const std::tuple<const Polygons*, const Polygons*, Op> cases[] = {
        {&a, &b, Op::Union}, {&a, &b, Op::Xor}, {&a, &shifted, Op::Xor}, {&a, nullptr, Op::Union}};
    for (auto [first, second, op] : cases) {
        Polygons reference;
        for (int threads : {1, 2, 8}) {
            Polygons r;
            quorvane_dsl::base::pool::with_threads(
                threads, [&] { r = run(*first, second ? *second : Polygons{}, op); });
            if (threads == 1) {
                reference = r;
                EXPECT_TRUE(well_formed(r));
            } else {
                EXPECT_EQ(r, reference) << "threads " << threads;
            }
        }
    }
    compare(a, shifted, Family::Manhattan);
    // Separate boxes and triangles take the shortcut, also checked and copied in chunks.
    Polygons apart;
    for (int i = 0; i < 5000; ++i) {
        std::int64_t x = (i % 70) * 10, y = (i / 70) * 10;
        apart.push_back(i % 2 ? Ring{{x, y}, {x, y + 5}, {x + 5, y + 5}, {x + 5, y}}
                              : Ring{{x, y}, {x + 6, y}, {x, y + 6}});
    }
    Polygons single, many;
    quorvane_dsl::base::pool::with_threads(1, [&] { single = run(apart, {}, Op::Union); });
    quorvane_dsl::base::pool::with_threads(8, [&] { many = run(apart, {}, Op::Union); });
    EXPECT_EQ(single, many);
    ASSERT_EQ(single.size(), apart.size());
    EXPECT_EQ(single[0], (Ring{{0, 0}, {6, 0}, {0, 6}}));
    EXPECT_EQ(single[1], (Ring{{0, 10}, {6, 10}, {0, 16}}));
    EXPECT_EQ(single[2], (Ring{{0, 20}, {6, 20}, {0, 26}}));
    EXPECT_EQ(single[single.size() - 1], (Ring{{690, 700}, {695, 700}, {695, 705}, {690, 705}}));
}
