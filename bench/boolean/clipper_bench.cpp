// The same work done by Clipper (polyclipping), for comparison:
//   clipper_bench OP A [B] [-o OUT]
//   clipper_bench dilate|erode A -d DISTANCE [-j miter|round|bevel] [-o OUT]
// Offsets first merge the set with a union, as the engine does, then run ClipperOffset with
// miter limit 2 and arc tolerance 1 (bevel maps to Clipper's square join).
// The generated rings all run counter-clockwise, so Clipper's nonzero rule over a whole set is
// the union of its polygons, which is how the engine reads a set.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>

#include <polyclipping/clipper.hpp>

#include "ring_file.hpp"

using namespace ClipperLib;

namespace {

Paths to_paths(const ring_file::Rings& rings) {
    Paths out;
    out.reserve(rings.size());
    for (const auto& r : rings) {
        Path p;
        p.reserve(r.size());
        for (const auto& q : r) {
            p.push_back({q.x, q.y});
        }
        out.push_back(std::move(p));
    }
    return out;
}

} // namespace

int main(int argc, char** argv) {
    auto [args, out, ignored_threads, distance, join] = ring_file::parse_options(argc, argv);
    static const char* names[] = {"union", "intersection", "difference", "xor", "dilate", "erode"};
    static const ClipType types[] = {ctUnion, ctIntersection, ctDifference, ctXor};
    int op = -1;
    for (int i = 0; i < 6 && !args.empty(); ++i) {
        if (args[0] == names[i]) {
            op = i;
        }
    }
    static const char* joins[] = {"miter", "round", "bevel"};
    static const JoinType join_types[] = {jtMiter, jtRound, jtSquare};
    int join_kind = -1;
    for (int i = 0; i < 3; ++i) {
        if (join == joins[i]) {
            join_kind = i;
        }
    }
    const bool offsetting = op >= 4;
    if (op < 0 || join_kind < 0 || args.size() < 2 || args.size() > 3 ||
        (offsetting && (distance.empty() || args.size() != 2))) {
        std::fputs("usage: clipper_bench union|intersection|difference|xor A [B] [-o OUT]\n"
                   "       clipper_bench dilate|erode A -d DISTANCE [-j miter|round|bevel] "
                   "[-o OUT]\n",
                   stderr);
        return 2;
    }
    auto a = ring_file::read(args[1]);
    auto b = args.size() == 3 ? ring_file::read(args[2]) : ring_file::Rings{};
    if (!a || !b) {
        std::fputs("cannot read the input ring files\n", stderr);
        return 1;
    }
    Paths pa = to_paths(*a), pb = to_paths(*b);
    a.reset();
    b.reset();
    ring_file::reset_peak();
    const std::size_t input_kb = ring_file::status_kb("VmRSS");
    auto start = std::chrono::steady_clock::now();
    Clipper c;
    c.AddPaths(pa, ptSubject, true);
    c.AddPaths(pb, ptClip, true);
    Paths result;
    c.Execute(offsetting ? ctUnion : types[op], result, pftNonZero, pftNonZero);
    if (offsetting) {
        ClipperOffset co(2.0, 1.0);
        co.AddPaths(result, join_types[join_kind], etClosedPolygon);
        const double d = std::stod(distance);
        co.Execute(result, op == 4 ? d : -d);
    }
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const std::size_t peak_kb = ring_file::status_kb("VmHWM");
    std::size_t points = 0;
    double area = 0;
    for (const auto& r : result) {
        points += r.size();
        area += Area(r);
    }
    std::printf("time %.3f s, %zu rings, %zu points, peak %zu MB above the input, area %.1f\n",
                seconds, result.size(), points, (peak_kb - std::min(peak_kb, input_kb)) / 1024,
                area);
    if (!out.empty()) {
        ring_file::Rings rings;
        for (const auto& r : result) {
            std::vector<ring_file::Pt> ring;
            for (const auto& q : r) {
                ring.push_back({q.X, q.Y});
            }
            rings.push_back(std::move(ring));
        }
        if (!ring_file::write(out, rings)) {
            return 1;
        }
    }
    return 0;
}
