// Offsets compared with Clipper's ClipperOffset (miter limit 2, arc tolerance 1).
#include <cmath>

#include <gtest/gtest.h>
#include <polyclipping/clipper.hpp>

#include "boolean/keyhole.hpp"
#include "boolean/offset.hpp"
#include "shapes.hpp"

namespace quorvane_dsl::boolean {
namespace {

namespace cl = ClipperLib;

// Comparisons run on coordinates scaled up so that Clipper can measure fractions of a unit.
constexpr double scale = 64;

cl::Paths to_paths(const Polygons& set) {
    cl::Paths paths;
    for (const Ring& ring : set) {
        cl::Path path;
        for (const Point q : ring) {
            path.push_back({q.x, q.y});
        }
        paths.push_back(std::move(path));
    }
    return paths;
}

cl::Paths scaled(cl::Paths paths) {
    for (cl::Path& path : paths) {
        for (cl::IntPoint& q : path) {
            q.X *= static_cast<cl::cInt>(scale);
            q.Y *= static_cast<cl::cInt>(scale);
        }
    }
    return paths;
}

cl::Paths clipper_offset(const cl::Paths& paths, cl::JoinType join, double delta,
                         double miter_limit = 2.0, double arc_tolerance = 1.0) {
    cl::ClipperOffset co(miter_limit, arc_tolerance);
    co.AddPaths(paths, join, cl::etClosedPolygon);
    cl::Paths out;
    co.Execute(out, delta);
    return out;
}

// Area (in square units) of what `a` holds more than `tolerance` units away from `b` and outside
// `excluded`, leaving out slivers narrower than 2 x `sliver` units.
double area_beyond(const cl::Paths& a, const cl::Paths& b, double tolerance, double sliver,
                   const cl::Paths& excluded = {}) {
    cl::Clipper c;
    c.AddPaths(scaled(a), cl::ptSubject, true);
    c.AddPaths(scaled(excluded), cl::ptClip, true);
    if (tolerance > 0) {
        c.AddPaths(clipper_offset(scaled(b), cl::jtRound, tolerance * scale, 2, 0.05 * scale),
                   cl::ptClip, true);
    } else {
        c.AddPaths(scaled(b), cl::ptClip, true);
    }
    cl::Paths rest;
    c.Execute(cl::ctDifference, rest, cl::pftNonZero, cl::pftNonZero);
    if (sliver > 0) {
        rest = clipper_offset(rest, cl::jtRound, -sliver * scale, 2, 0.05 * scale);
    }
    double area = 0;
    for (const cl::Path& p : rest) {
        area += std::abs(cl::Area(p));
    }
    return area / scale / scale;
}

// Boundaries must agree within one unit. Allowed beyond that: slivers under one unit wide, where
// both sides round their points to the grid along the same edge, and specks of a few square units
// where the exact result is itself about a unit wide and arcs of chords may keep or drop it.
constexpr double tolerance = 1.0;
constexpr double sliver = 0.5;
constexpr double speck = 10.0;
constexpr int rounds = 24;

void expect_close(const cl::Paths& inner, const cl::Paths& outer, const std::string& what,
                  const cl::Paths& excluded = {}) {
    EXPECT_LE(area_beyond(inner, outer, tolerance, sliver, excluded), speck) << what;
}

// Squares around the corners where the two sides define the offset differently: Clipper squares
// a miter beyond a turn of 120 degrees off at the distance, this engine at twice it (reach 3d);
// and at a spike that turns almost straight back (|sine| x d below 1) Clipper leaves the round
// or mitred cap out and runs through the vertex itself (reach d).
cl::Paths corners_apart(const Polygons& set, double d, bool miter) {
    cl::Paths out;
    const auto square = [&](Point v, double reach) {
        const auto r = static_cast<cl::cInt>(std::ceil(reach + 2));
        out.push_back(
            {{v.x - r, v.y - r}, {v.x + r, v.y - r}, {v.x + r, v.y + r}, {v.x - r, v.y + r}});
    };
    for (const Ring& ring : set) {
        for (std::size_t i = 0; i < ring.size(); ++i) {
            const Point p = ring[(i + ring.size() - 1) % ring.size()], v = ring[i];
            const Point n = ring[(i + 1) % ring.size()];
            const double ax = v.x - p.x, ay = v.y - p.y, bx = n.x - v.x, by = n.y - v.y;
            const double norms = std::hypot(ax, ay) * std::hypot(bx, by);
            const double sine = (ax * by - ay * bx) / norms, cosine = (ax * bx + ay * by) / norms;
            if (cosine < 0 && std::abs(sine * d) < 1) {
                square(v, std::abs(d));
            }
            if (miter && (d > 0 ? sine > 0 : sine < 0) && 1 + cosine < 0.5) {
                square(v, 3 * std::abs(d));
            }
        }
    }
    return out;
}

// Snap rounding is not idempotent: a fresh result may still lose a sub-unit spike when taken in
// again. Both sides get a set that our own normalisation leaves unchanged.
Polygons stable(Polygons set) {
    set = test::normalised(set);
    for (int pass = 0; pass < 4; ++pass) {
        Polygons again = test::normalised(keyholes(set));
        if (again == set) {
            break;
        }
        set = std::move(again);
    }
    return set;
}

// `a` is a result set with separate holes; as an input it needs its holes keyholed.
cl::Paths ours(const Polygons& a, Join join, double d) {
    const Polygons input = keyholes(a);
    return to_paths((d > 0 ? dilate(input, join, {}, d) : erode(input, join, {}, -d)).value());
}

std::string describe(int round, double d) {
    return "round " + std::to_string(round) + ", distance " + std::to_string(d);
}

TEST(OffsetVersusClipper, ManhattanMiterIsExactAndRoundIsClose) {
    std::mt19937_64 rng(11);
    std::uniform_real_distribution<double> dist(2.0, 60.0);
    for (int round = 0; round < rounds; ++round) {
        const Polygons a = stable(test::random_rects(rng, 10, 600));
        const double d = (round % 2 ? -1 : 1) * std::floor(dist(rng));
        const cl::Paths mine = ours(a, Join::Miter, d);
        const cl::Paths theirs = clipper_offset(to_paths(a), cl::jtMiter, d);
        EXPECT_EQ(area_beyond(mine, theirs, 0, 0), 0.0) << describe(round, d);
        EXPECT_EQ(area_beyond(theirs, mine, 0, 0), 0.0) << describe(round, d);
        const cl::Paths mine_round = ours(a, Join::Round, d);
        const cl::Paths theirs_round = clipper_offset(to_paths(a), cl::jtRound, d);
        expect_close(mine_round, theirs_round, describe(round, d));
        expect_close(theirs_round, mine_round, describe(round, d));
    }
}

TEST(OffsetVersusClipper, AllAngleRoundAndMiterAwayFromCornersDefinedApart) {
    std::mt19937_64 rng(12);
    std::uniform_real_distribution<double> dist(2.0, 60.0);
    for (int round = 0; round < rounds; ++round) {
        const Polygons a = stable(test::random_rings(rng, 6, 6, 600));
        const double d = (round % 2 ? -1 : 1) * dist(rng);
        for (const Join join : {Join::Round, Join::Miter}) {
            const cl::Paths mine = ours(a, join, d);
            const cl::Paths theirs =
                clipper_offset(to_paths(a), join == Join::Round ? cl::jtRound : cl::jtMiter, d);
            const cl::Paths apart = corners_apart(a, d, join == Join::Miter);
            expect_close(mine, theirs, describe(round, d), apart);
            expect_close(theirs, mine, describe(round, d), apart);
        }
    }
}

} // namespace
} // namespace quorvane_dsl::boolean
