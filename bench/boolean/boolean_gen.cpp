// Writes the benchmark input families as ring files (all rings counter-clockwise):
//   boolean_gen F1 N SEED OUT   N boxes, sides in [100, 5000], in a square of side 2000 sqrt(N)
//   boolean_gen F3 N SEED OUT   N triangles of all angles, extents in [100, 3000], same square
//   boolean_gen F4 N SEED OUT   N circles of 256 points, radii in [2000, 20000], side 16000 sqrt(N)
// F2 is two F1 files with different seeds.
#include <cmath>
#include <cstdio>
#include <random>
#include <string>

#include "ring_file.hpp"

namespace {

using ring_file::Pt;

std::int64_t uniform(std::mt19937_64& rng, std::int64_t lo, std::int64_t hi) {
    return std::uniform_int_distribution<std::int64_t>(lo, hi)(rng);
}

std::vector<Pt> box(std::mt19937_64& rng, std::int64_t side) {
    std::int64_t w = uniform(rng, 100, 5000), h = uniform(rng, 100, 5000);
    std::int64_t x = uniform(rng, 0, side), y = uniform(rng, 0, side);
    return {{x, y}, {x + w, y}, {x + w, y + h}, {x, y + h}};
}

std::vector<Pt> triangle(std::mt19937_64& rng, std::int64_t side) {
    std::int64_t cx = uniform(rng, 0, side), cy = uniform(rng, 0, side);
    std::int64_t ext = uniform(rng, 100, 3000);
    while (true) {
        std::vector<Pt> t;
        for (int i = 0; i < 3; ++i) {
            t.push_back(
                {cx + uniform(rng, -ext / 2, ext / 2), cy + uniform(rng, -ext / 2, ext / 2)});
        }
        __int128 area = __int128(t[1].x - t[0].x) * (t[2].y - t[0].y) -
                        __int128(t[2].x - t[0].x) * (t[1].y - t[0].y);
        if (area == 0) {
            continue;
        }
        if (area < 0) {
            std::swap(t[1], t[2]);
        }
        return t;
    }
}

std::vector<Pt> circle(std::mt19937_64& rng, std::int64_t side) {
    std::int64_t cx = uniform(rng, 0, side), cy = uniform(rng, 0, side);
    double r = static_cast<double>(uniform(rng, 2000, 20000));
    std::vector<Pt> c;
    for (int i = 0; i < 256; ++i) {
        double a = 2 * M_PI * i / 256;
        c.push_back({cx + std::llround(r * std::cos(a)), cy + std::llround(r * std::sin(a))});
    }
    return c;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fputs("usage: boolean_gen F1|F3|F4 N SEED OUT\n", stderr);
        return 2;
    }
    std::string family = argv[1];
    long n = std::atol(argv[2]);
    std::mt19937_64 rng(std::strtoull(argv[3], nullptr, 10));
    double root = std::sqrt(static_cast<double>(n));
    ring_file::Rings rings;
    rings.reserve(static_cast<std::size_t>(n));
    for (long i = 0; i < n; ++i) {
        if (family == "F1") {
            rings.push_back(box(rng, std::llround(2000 * root)));
        } else if (family == "F3") {
            rings.push_back(triangle(rng, std::llround(2000 * root)));
        } else if (family == "F4") {
            rings.push_back(circle(rng, std::llround(16000 * root)));
        } else {
            std::fputs("unknown family\n", stderr);
            return 2;
        }
    }
    if (!ring_file::write(argv[4], rings)) {
        std::fputs("cannot write the output\n", stderr);
        return 1;
    }
    return 0;
}
