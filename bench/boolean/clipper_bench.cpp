// The same work done by Clipper (polyclipping), for comparison:
//   clipper_bench OP A [B] [-o OUT]
// The generated rings all run counter-clockwise, so Clipper's nonzero rule over a whole set is
// the union of its polygons, which is how the engine reads a set.
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
        for (const auto& q : r)
            p.push_back({q.x, q.y});
        out.push_back(std::move(p));
    }
    return out;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args;
    std::string out;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "-o" && i + 1 < argc)
            out = argv[++i];
        else
            args.push_back(arg);
    }
    static const char* names[] = {"union", "intersection", "difference", "xor"};
    static const ClipType types[] = {ctUnion, ctIntersection, ctDifference, ctXor};
    int op = -1;
    for (int i = 0; i < 4 && !args.empty(); ++i)
        if (args[0] == names[i])
            op = i;
    if (op < 0 || args.size() < 2 || args.size() > 3) {
        std::fputs("usage: clipper_bench union|intersection|difference|xor A [B] [-o OUT]\n",
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
    auto start = std::chrono::steady_clock::now();
    Clipper c;
    c.AddPaths(pa, ptSubject, true);
    c.AddPaths(pb, ptClip, true);
    Paths result;
    c.Execute(types[op], result, pftNonZero, pftNonZero);
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::size_t points = 0;
    double area = 0;
    for (const auto& r : result) {
        points += r.size();
        area += Area(r);
    }
    std::printf("time %.3f s, %zu rings, %zu points, area %.1f\n", seconds, result.size(), points,
                area);
    if (!out.empty()) {
        ring_file::Rings rings;
        for (const auto& r : result) {
            std::vector<ring_file::Pt> ring;
            for (const auto& q : r)
                ring.push_back({q.X, q.Y});
            rings.push_back(std::move(ring));
        }
        if (!ring_file::write(out, rings))
            return 1;
    }
    return 0;
}
