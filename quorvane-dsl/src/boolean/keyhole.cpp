#include "boolean/keyhole.hpp"

#include <algorithm>
#include <cstddef>
#include <optional>

namespace quorvane_dsl::boolean {
namespace {

// The first hole vertex off the outer boundary decides; a hole lying wholly on it is not inside.
bool contains(const Ring& outer, const Ring& hole) {
    if (outer.empty()) {
        return false;
    }
    for (const Point q : hole) {
        if (const std::optional<int> winding = winding_around(outer, q)) {
            return *winding != 0;
        }
    }
    return false;
}

// Largest x, then largest y; the last occurrence of a repeated point counts.
std::size_t greatest_vertex(const Ring& ring) {
    std::size_t best = 0;
    for (std::size_t i = 1; i < ring.size(); ++i) {
        const Point p = ring[i];
        const Point b = ring[best];
        if (p.x > b.x || (p.x == b.x && p.y >= b.y)) {
            best = i;
        }
    }
    return best;
}

// The ray crossing x = num / den (den > 0) on the edge starting at `edge`.
struct RayHit {
    std::size_t edge;
    i128 num;
    i128 den;
};

std::optional<RayHit> cast_ray(const Ring& ring, Point m) {
    std::optional<RayHit> best;
    const std::size_t n = ring.size();
    for (std::size_t i = 0; i < n; ++i) {
        const Point a = ring[i];
        const Point b = ring[(i + 1) % n];
        if (a.y == b.y || m.y < std::min(a.y, b.y) || m.y > std::max(a.y, b.y)) {
            continue;
        }
        i128 den = i128(b.y) - a.y;
        i128 num = i128(a.x) * den + (i128(m.y) - a.y) * (i128(b.x) - a.x);
        if (den < 0) {
            den = -den;
            num = -num;
        }
        if (num < i128(m.x) * den) {
            continue;
        }
        if (!best || num * best->den < best->num * den) {
            best = RayHit{i, num, den};
        }
    }
    return best;
}

bool in_inner_angle(const Ring& ring, std::size_t v, Point m) {
    const std::size_t n = ring.size();
    const Point here = ring[v];
    const Point prev = ring[(v + n - 1) % n];
    const Point next = ring[(v + 1) % n];
    const i128 a_x_d = cross_at(here, prev, m);
    const i128 b_x_d = cross_at(here, next, m);
    if (cross_at(here, next, prev) < 0) {
        return a_x_d <= 0 || b_x_d >= 0;
    }
    return b_x_d >= 0 && a_x_d <= 0;
}

// Closed triangle M, I, P with I = (num / den, M.y). Each cross product is scaled by den > 0 only
// where I takes part, which keeps every product well inside 128 bits.
bool in_triangle(Point m, const RayHit& hit, Point p, Point v) {
    const i128 den = hit.den;
    const i128 dy_v = i128(v.y) - m.y;
    const int s1 = sign(hit.num - i128(m.x) * den) * sign(dy_v);
    const i128 s2 =
        (i128(p.x) * den - hit.num) * dy_v - (i128(p.y) - m.y) * (i128(v.x) * den - hit.num);
    const int s3 = sign(cross_at(p, m, v));
    const int signs[3] = {s1, sign(s2), s3};
    const bool any_positive = std::ranges::any_of(signs, [](int s) { return s > 0; });
    const bool any_negative = std::ranges::any_of(signs, [](int s) { return s < 0; });
    return !(any_positive && any_negative);
}

// A ray hit strictly between grid points: bridge to the ring vertex right of M that is seen from M
// at the flattest slope inside the triangle M, I, P, or to P itself.
std::size_t visible_vertex(const Ring& ring, Point m, const RayHit& hit) {
    const std::size_t n = ring.size();
    const std::size_t ia = hit.edge;
    const std::size_t ib = (hit.edge + 1) % n;
    const std::size_t ip = ring[ia].x > ring[ib].x ? ia : ib;
    const Point p = ring[ip];
    std::optional<std::size_t> best;
    for (std::size_t j = 0; j < n; ++j) {
        const Point v = ring[j];
        if (v == m || v.x <= m.x || !in_triangle(m, hit, p, v) || !in_inner_angle(ring, j, m)) {
            continue;
        }
        if (best) {
            const Point b = ring[*best];
            const i128 lhs = (i128(v.y) - m.y) * (v.y < m.y ? -1 : 1) * (i128(b.x) - m.x);
            const i128 rhs = (i128(b.y) - m.y) * (b.y < m.y ? -1 : 1) * (i128(v.x) - m.x);
            if (lhs >= rhs) {
                continue;
            }
        }
        best = j;
    }
    return best.value_or(ip);
}

// Index of the bridge vertex in `ring`, which may gain the ray's hit point as a new vertex.
std::size_t bridge_vertex(Ring& ring, Point m, const RayHit& hit) {
    const std::size_t n = ring.size();
    const Point a = ring[hit.edge];
    const Point b = ring[(hit.edge + 1) % n];
    if (hit.num == i128(a.x) * hit.den && a.y == m.y) {
        return hit.edge;
    }
    if (hit.num == i128(b.x) * hit.den && b.y == m.y) {
        return (hit.edge + 1) % n;
    }
    if (hit.num % hit.den == 0) {
        const Point inserted{static_cast<std::int64_t>(hit.num / hit.den), m.y};
        ring.insert(ring.begin() + static_cast<std::ptrdiff_t>(hit.edge + 1), inserted);
        return hit.edge + 1;
    }
    return visible_vertex(ring, m, hit);
}

void splice(Ring& ring, const Ring& hole) {
    if (ring.empty()) {
        return;
    }
    const std::size_t m_index = greatest_vertex(hole);
    const Point m = hole[m_index];
    const std::optional<RayHit> hit = cast_ray(ring, m);
    if (!hit) {
        return;
    }
    const std::size_t k = bridge_vertex(ring, m, *hit);
    Ring joined;
    joined.reserve(ring.size() + hole.size() + 2);
    joined.insert(joined.end(), ring.begin(), ring.begin() + static_cast<std::ptrdiff_t>(k + 1));
    joined.insert(joined.end(), hole.begin() + static_cast<std::ptrdiff_t>(m_index), hole.end());
    joined.insert(joined.end(), hole.begin(), hole.begin() + static_cast<std::ptrdiff_t>(m_index));
    joined.push_back(m);
    joined.push_back(ring[k]);
    joined.insert(joined.end(), ring.begin() + static_cast<std::ptrdiff_t>(k + 1), ring.end());
    ring = std::move(joined);
}

std::optional<std::size_t> owner_of(const std::vector<Ring>& outers, const std::vector<i128>& areas,
                                    const Ring& hole) {
    std::optional<std::size_t> owner;
    for (std::size_t i = 0; i < outers.size(); ++i) {
        if ((!owner || areas[i] < areas[*owner]) && contains(outers[i], hole)) {
            owner = i;
        }
    }
    return owner;
}

} // namespace

std::vector<Ring> keyholes(std::vector<Ring> rings) {
    std::vector<Ring> outers;
    std::vector<i128> areas;
    std::vector<Ring> holes;
    for (Ring& ring : rings) {
        const i128 area = twice_area(ring);
        if (area > 0) {
            outers.push_back(std::move(ring));
            areas.push_back(area);
        } else {
            holes.push_back(std::move(ring));
        }
    }
    rings = {};

    std::vector<std::vector<std::size_t>> holes_of(outers.size());
    std::vector<Point> greatest(holes.size());
    for (std::size_t h = 0; h < holes.size(); ++h) {
        if (holes[h].empty()) {
            continue;
        }
        greatest[h] = holes[h][greatest_vertex(holes[h])];
        if (const auto owner = owner_of(outers, areas, holes[h])) {
            holes_of[*owner].push_back(h);
        }
    }

    for (std::size_t o = 0; o < outers.size(); ++o) {
        std::vector<std::size_t>& list = holes_of[o];
        std::ranges::stable_sort(list, [&](std::size_t l, std::size_t r) {
            return greatest[l].x > greatest[r].x ||
                   (greatest[l].x == greatest[r].x && greatest[l].y > greatest[r].y);
        });
        for (const std::size_t h : list) {
            splice(outers[o], holes[h]);
        }
    }
    return outers;
}

} // namespace quorvane_dsl::boolean
