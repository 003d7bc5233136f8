// Offsets compared with Clipper's ClipperOffset (miter limit 2, arc tolerance 1).
#include "boolean/offset.hpp"

#include "boolean/keyhole.hpp"

#include <gtest/gtest.h>
#include <polyclipping/clipper.hpp>

#include <cmath>
#include <random>

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

// Area (in square units) of what `a` holds more than `tolerance` units away from `b`, leaving out
// slivers narrower than 2 x `sliver` units.
double area_beyond(const cl::Paths& a, const cl::Paths& b, double tolerance, double sliver) {
    cl::Clipper c;
    c.AddPaths(scaled(a), cl::ptSubject, true);
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

// Both arcs keep within one unit of the true circle and both results round their points to the
// grid, so their boundaries may part by one unit plus the rounding of each side; narrow slivers
// also appear where the exact result is itself under a unit wide.
constexpr double arc_tolerance = 2.0;
constexpr double arc_sliver = 0.75;

void expect_close(const cl::Paths& inner, const cl::Paths& outer, double tolerance, double sliver,
                  const std::string& what) {
    EXPECT_EQ(area_beyond(inner, outer, tolerance, sliver), 0.0) << what;
}

Ring rect(std::int64_t x0, std::int64_t y0, std::int64_t x1, std::int64_t y1) {
    return {{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}};
}

// Snap rounding is not idempotent: a fresh result may still lose a sub-unit spike when taken in
// again. Both sides get a set that our own normalisation leaves unchanged.
Polygons stable(Polygons set) {
    set = boolean(set, {}, Op::Union).value();
    for (int pass = 0; pass < 4; ++pass) {
        Polygons again = boolean(keyholes(set), {}, Op::Union).value();
        if (again == set) {
            break;
        }
        set = std::move(again);
    }
    return set;
}

Polygons manhattan(std::mt19937_64& rng) {
    std::uniform_int_distribution<std::int64_t> pos(0, 600);
    std::uniform_int_distribution<std::int64_t> size(5, 200);
    Polygons out;
    for (int i = 0; i < 10; ++i) {
        const std::int64_t x = pos(rng);
        const std::int64_t y = pos(rng);
        out.push_back(rect(x, y, x + size(rng), y + size(rng)));
    }
    return stable(out);
}

Polygons all_angle(std::mt19937_64& rng) {
    std::uniform_int_distribution<std::int64_t> pos(0, 600);
    std::uniform_int_distribution<int> corners(3, 6);
    Polygons out;
    for (int i = 0; i < 6; ++i) {
        Ring ring;
        for (int k = corners(rng); k > 0; --k) {
            ring.push_back({pos(rng), pos(rng)});
        }
        out.push_back(std::move(ring));
    }
    return stable(out);
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
    for (int round = 0; round < 16; ++round) {
        const Polygons a = manhattan(rng);
        const double d = (round % 2 ? -1 : 1) * std::floor(dist(rng));
        const cl::Paths mine = ours(a, Join::Miter, d);
        const cl::Paths theirs = clipper_offset(to_paths(a), cl::jtMiter, d);
        expect_close(mine, theirs, 0, 0, describe(round, d));
        expect_close(theirs, mine, 0, 0, describe(round, d));
        const cl::Paths mine_round = ours(a, Join::Round, d);
        const cl::Paths theirs_round = clipper_offset(to_paths(a), cl::jtRound, d);
        expect_close(mine_round, theirs_round, arc_tolerance, arc_sliver, describe(round, d));
        expect_close(theirs_round, mine_round, arc_tolerance, arc_sliver, describe(round, d));
    }
}

TEST(OffsetVersusClipper, AllAngleRound) {
    std::mt19937_64 rng(12);
    std::uniform_real_distribution<double> dist(2.0, 60.0);
    for (int round = 0; round < 16; ++round) {
        const Polygons a = all_angle(rng);
        const double d = (round % 2 ? -1 : 1) * dist(rng);
        const cl::Paths mine = ours(a, Join::Round, d);
        const cl::Paths theirs = clipper_offset(to_paths(a), cl::jtRound, d);
        expect_close(mine, theirs, arc_tolerance, arc_sliver, describe(round, d));
        expect_close(theirs, mine, arc_tolerance, arc_sliver, describe(round, d));
    }
}

// Clipper squares off a miter beyond its limit at the distance itself, this engine at twice the
// distance, so at sharp corners the result lies between Clipper's limited and unlimited miters.
TEST(OffsetVersusClipper, AllAngleMiterLiesBetweenClippersCutAndFullMiter) {
    std::mt19937_64 rng(13);
    std::uniform_real_distribution<double> dist(2.0, 60.0);
    for (int round = 0; round < 16; ++round) {
        const Polygons a = all_angle(rng);
        const double d = (round % 2 ? -1 : 1) * dist(rng);
        const cl::Paths mine = ours(a, Join::Miter, d);
        const cl::Paths cut = clipper_offset(to_paths(a), cl::jtMiter, d);
        const cl::Paths full = clipper_offset(to_paths(a), cl::jtMiter, d, 1e9);
        const cl::Paths& inner = d > 0 ? cut : full;
        const cl::Paths& outer = d > 0 ? full : cut;
        expect_close(inner, mine, 1.0, 0.5, describe(round, d));
        expect_close(mine, outer, 1.0, 0.5, describe(round, d));
    }
}

} // namespace
} // namespace quorvane_dsl::boolean
