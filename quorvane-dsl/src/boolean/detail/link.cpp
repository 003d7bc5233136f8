#include "boolean/detail/link.hpp"

#include <algorithm>
#include <bit>

#include "boolean/detail/par.hpp"

namespace quorvane_dsl::boolean::detail {

namespace {

struct Keys {
    std::vector<std::uint64_t> keys;
    std::vector<std::uint32_t> first;
    unsigned bits = 0;
    std::uint64_t mask = 0;

    std::uint32_t from(std::size_t i) const { return static_cast<std::uint32_t>(keys[i] >> bits); }
    std::uint32_t to(std::size_t i) const { return static_cast<std::uint32_t>(keys[i] & mask); }
};

// Turn class of d for a walker arriving against a: 0 left, 1 straight, 2 right, 3 back.
int turn_class(i128 ax, i128 ay, i128 dx, i128 dy) {
    i128 c = ax * dy - ay * dx;
    if (c < 0) {
        return 0;
    }
    if (c > 0) {
        return 2;
    }
    return ax * dx + ay * dy < 0 ? 1 : 3;
}

std::uint32_t successor(const Keys& k, std::span<const Point> points, std::size_t i) {
    std::uint32_t to = k.to(i);
    std::uint32_t lo = k.first[to], hi = k.first[to + 1];
    if (hi == lo) {
        return no_successor;
    }
    if (hi == lo + 1) {
        return lo;
    }
    Point p = points[to];
    Point f = points[k.from(i)];
    i128 ax = f.x - p.x, ay = f.y - p.y;
    auto dir = [&](std::uint32_t j) {
        Point q = points[k.to(j)];
        return std::pair<i128, i128>{q.x - p.x, q.y - p.y};
    };
    std::uint32_t best = lo;
    auto [bx, by] = dir(lo);
    int best_class = turn_class(ax, ay, bx, by);
    for (std::uint32_t j = lo + 1; j < hi; ++j) {
        auto [dx, dy] = dir(j);
        int c = turn_class(ax, ay, dx, dy);
        bool better =
            c < best_class || (c == best_class && (c == 0 || c == 2) && dx * by - dy * bx < 0);
        if (better) {
            best = j;
            best_class = c;
            bx = dx;
            by = dy;
        }
    }
    return best;
}

Polygons rings_of(std::span<const Point> points, const std::vector<std::uint32_t>& verts,
                  const std::vector<std::size_t>& ends, std::size_t b, std::size_t e) {
    Polygons out;
    out.reserve(e - b);
    for (std::size_t r = b; r < e; ++r) {
        std::size_t s = r == 0 ? 0 : ends[r - 1];
        Ring ring;
        ring.reserve(ends[r] - s);
        for (std::size_t i = s; i < ends[r]; ++i) {
            ring.push_back(points[verts[i]]);
        }
        ring = simplify(std::move(ring));
        if (ring.size() > 2) {
            out.push_back(canonical(std::move(ring)));
        }
    }
    return out;
}

} // namespace

Polygons link(std::span<const Point> points, std::vector<Pair> pairs) {
    if (pairs.empty()) {
        return {};
    }
    std::size_t n = points.size();
    Keys k;
    k.bits = n <= 1 ? 0 : static_cast<unsigned>(std::bit_width(n - 1));
    k.mask = (std::uint64_t{1} << k.bits) - 1;
    par::resize(k.keys, pairs.size());
    par::for_range(pairs.size(), [&](std::size_t b, std::size_t e) {
        for (std::size_t i = b; i < e; ++i) {
            k.keys[i] = (std::uint64_t{pairs[i].from} << k.bits) | pairs[i].to;
        }
    });
    std::vector<Pair>().swap(pairs);
    sort_keys(k.keys, 2 * k.bits);
    std::size_t m = k.keys.size();
    // The keys are sorted, so each chunk of vertices finds where its pairs start with one search
    // and then walks: no sequential count and sum over all vertices.
    par::resize(k.first, n + 1);
    par::for_range(n + 1, [&](std::size_t b, std::size_t e) {
        auto i = static_cast<std::size_t>(
            std::lower_bound(k.keys.begin(), k.keys.end(), std::uint64_t{b} << k.bits) -
            k.keys.begin());
        for (std::size_t v = b; v < e; ++v) {
            while (i < m && k.from(i) < v) {
                ++i;
            }
            k.first[v] = static_cast<std::uint32_t>(i);
        }
    });
    std::vector<std::uint32_t> next;
    par::resize(next, m);
    par::for_range(m, [&](std::size_t b, std::size_t e) {
        for (std::size_t i = b; i < e; ++i) {
            next[i] = successor(k, points, i);
        }
    });
    std::vector<std::uint8_t> visited(m, 0);
    std::vector<std::uint32_t> verts;
    verts.reserve(m);
    std::vector<std::size_t> ends;
    for (std::size_t i = 0; i < m; ++i) {
        if (visited[i]) {
            continue;
        }
        verts.push_back(k.from(i));
        std::size_t cur = i;
        while (true) {
            visited[cur] = 1;
            std::uint32_t s = next[cur];
            if (s == no_successor || s == i || visited[s]) {
                break;
            }
            verts.push_back(k.to(cur));
            cur = s;
        }
        ends.push_back(verts.size());
    }
    Polygons rings;
    std::size_t count = ends.size();
    if (verts.size() >= par::threshold && par::threads() > 1) {
        std::size_t chunks = par::chunk_count(count);
        std::vector<Polygons> parts(chunks);
        par::for_chunks(count, chunks, [&](std::size_t c, std::size_t b, std::size_t e) {
            parts[c] = rings_of(points, verts, ends, b, e);
        });
        rings = par::concat(std::move(parts));
    } else {
        rings = rings_of(points, verts, ends, 0, count);
    }
    sort_rings(rings);
    return rings;
}

void sort_rings(Polygons& rings) {
    if (rings.size() >= par::threshold && par::threads() >= 2) {
        base::pool::sort(rings.begin(), rings.end());
    } else {
        std::sort(rings.begin(), rings.end());
    }
}

Ring simplify(Ring ring) {
    if (ring.size() < 2) {
        return ring;
    }
    ring.erase(std::unique(ring.begin(), ring.end()), ring.end());
    if (ring.size() < 2) {
        return ring;
    }
    while (ring.size() > 1 && ring.back() == ring.front()) {
        ring.pop_back();
    }
    if (ring.size() <= 2) {
        return ring;
    }
    std::size_t m = ring.size();
    Ring out;
    out.reserve(m);
    for (std::size_t i = 0; i < m; ++i) {
        const Point& p = ring[(i + m - 1) % m];
        const Point& c = ring[i];
        const Point& n = ring[(i + 1) % m];
        bool collinear = i128(n.y - p.y) * (c.x - p.x) == i128(n.x - p.x) * (c.y - p.y);
        bool between = i128(c.x - p.x) * (n.x - c.x) + i128(c.y - p.y) * (n.y - c.y) > 0;
        if (!(collinear && between)) {
            out.push_back(c);
        }
    }
    return out;
}

Ring canonical(Ring ring) {
    if (ring.size() < 2) {
        return ring;
    }
    auto smallest = std::min_element(ring.begin(), ring.end());
    std::rotate(ring.begin(), smallest, ring.end());
    return ring;
}

} // namespace quorvane_dsl::boolean::detail
