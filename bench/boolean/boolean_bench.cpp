// Times one polygon boolean, or one offset, on ring files:
//   boolean_bench OP A [B] [-t THREADS] [-o OUT]    OP: union, intersection, difference, xor
//   boolean_bench dilate|erode A -d DISTANCE [-j miter|round|bevel] [-t THREADS] [-o OUT]
// Prints the operation time (reading and writing excluded) and the memory the operation took
// beyond its input, at its peak.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "boolean/boolean.hpp"
#include "boolean/offset.hpp"
#include "ring_file.hpp"

namespace qb = quorvane_dsl::boolean;

namespace {

qb::Polygons to_polygons(const ring_file::Rings& rings) {
    qb::Polygons out;
    out.reserve(rings.size());
    for (const auto& r : rings) {
        qb::Ring ring;
        ring.reserve(r.size());
        for (const auto& p : r) {
            ring.push_back({p.x, p.y});
        }
        out.push_back(std::move(ring));
    }
    return out;
}

ring_file::Rings to_rings(const qb::Polygons& polygons) {
    ring_file::Rings out;
    out.reserve(polygons.size());
    for (const auto& r : polygons) {
        std::vector<ring_file::Pt> ring;
        ring.reserve(r.size());
        for (const auto& p : r) {
            ring.push_back({p.x, p.y});
        }
        out.push_back(std::move(ring));
    }
    return out;
}

int usage() {
    std::fputs(
        "usage: boolean_bench union|intersection|difference|xor A [B] [-t THREADS] [-o OUT]\n"
        "       boolean_bench dilate|erode A -d DISTANCE [-j miter|round|bevel] [-t THREADS] "
        "[-o OUT]\n",
        stderr);
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    auto [args, out, threads, distance, join] = ring_file::parse_options(argc, argv);
    if (args.size() < 2 || args.size() > 3) {
        return usage();
    }
    static const char* names[] = {"union", "intersection", "difference", "xor", "dilate", "erode"};
    int op = -1;
    for (int i = 0; i < 6; ++i) {
        if (args[0] == names[i]) {
            op = i;
        }
    }
    static const char* joins[] = {"miter", "round", "bevel"};
    int join_kind = -1;
    for (int i = 0; i < 3; ++i) {
        if (join == joins[i]) {
            join_kind = i;
        }
    }
    const bool offsetting = op >= 4;
    if (op < 0 || join_kind < 0 || (offsetting && (distance.empty() || args.size() != 2))) {
        return usage();
    }
    // The pool is sized from the environment on first use.
    if (!threads.empty()) {
        setenv("RAYON_NUM_THREADS", threads.c_str(), 1);
    }
    auto a = ring_file::read(args[1]);
    auto b = args.size() == 3 ? ring_file::read(args[2]) : ring_file::Rings{};
    if (!a || !b) {
        std::fputs("cannot read the input ring files\n", stderr);
        return 1;
    }
    qb::Polygons pa = to_polygons(*a), pb = to_polygons(*b);
    // The file's copies go before the peak is taken, so that it counts the operation alone.
    a.reset();
    b.reset();
    ring_file::reset_peak();
    const std::size_t input_kb = ring_file::status_kb("VmRSS");
    auto start = std::chrono::steady_clock::now();
    auto result = !offsetting ? qb::boolean(pa, pb, static_cast<qb::Op>(op))
                  : op == 4
                      ? qb::dilate(pa, static_cast<qb::Join>(join_kind), {}, std::stod(distance))
                      : qb::erode(pa, static_cast<qb::Join>(join_kind), {}, std::stod(distance));
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const std::size_t peak_kb = ring_file::status_kb("VmHWM");
    if (!result) {
        std::fprintf(stderr, "%s\n", result.error().message.c_str());
        return 1;
    }
    std::size_t points = 0;
    __int128 area2 = 0;
    for (const auto& r : *result) {
        points += r.size();
        for (std::size_t i = 0; i < r.size(); ++i) {
            const auto& p = r[i];
            const auto& q = r[(i + 1) % r.size()];
            area2 += static_cast<__int128>(p.x) * q.y - static_cast<__int128>(q.x) * p.y;
        }
    }
    std::printf("time %.3f s, %zu rings, %zu points, peak %zu MB above the input, area %.1f\n",
                seconds, result->size(), points, (peak_kb - std::min(peak_kb, input_kb)) / 1024,
                static_cast<double>(area2) / 2);
    if (!out.empty() && !ring_file::write(out, to_rings(*result))) {
        std::fprintf(stderr, "cannot write %s\n", out.c_str());
        return 1;
    }
    return 0;
}
