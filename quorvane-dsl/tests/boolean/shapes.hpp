// Small builders and measures shared by the polygon engine tests.
#pragma once

#include <algorithm>
#include <random>

#include "boolean/boolean.hpp"

namespace quorvane_dsl::boolean::test {

inline Ring rect(std::int64_t x0, std::int64_t y0, std::int64_t x1, std::int64_t y1) {
    return {{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}};
}

inline Ring reversed(Ring r) {
    std::reverse(r.begin(), r.end());
    return r;
}

inline Polygons normalised(const Polygons& set) {
    return boolean(set, {}, Op::Union).value();
}

// Twice the signed area of a whole set, exact.
inline i128 doubled_area(const Polygons& set) {
    i128 sum = 0;
    for (const Ring& r : set) {
        sum += twice_area(r);
    }
    return sum;
}

inline Polygons random_rects(std::mt19937_64& rng, int count, std::int64_t span) {
    std::uniform_int_distribution<std::int64_t> pos(0, span);
    std::uniform_int_distribution<std::int64_t> size(1, span / 3);
    Polygons out;
    for (int i = 0; i < count; ++i) {
        const std::int64_t x = pos(rng), y = pos(rng);
        out.push_back(rect(x, y, x + size(rng), y + size(rng)));
    }
    return out;
}

// Rings of 3 to `max_corners` random corners: self-crossing, all angles.
inline Polygons random_rings(std::mt19937_64& rng, int count, int max_corners, std::int64_t span) {
    std::uniform_int_distribution<std::int64_t> pos(0, span);
    std::uniform_int_distribution<int> corners(3, max_corners);
    Polygons out;
    for (int i = 0; i < count; ++i) {
        Ring ring;
        for (int k = corners(rng); k > 0; --k) {
            ring.push_back({pos(rng), pos(rng)});
        }
        out.push_back(std::move(ring));
    }
    return out;
}

} // namespace quorvane_dsl::boolean::test
