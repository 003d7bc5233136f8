#include <algorithm>

#include "boolean/detail/apart.hpp"
#include "boolean/detail/link.hpp"
#include "boolean/detail/par.hpp"
#include "boolean/detail/rings.hpp"
#include "boolean/detail/snap.hpp"
#include "boolean/detail/sweep.hpp"

namespace quorvane_dsl::boolean::detail {

namespace {

constexpr std::size_t max_pieces = 8;

bool is_convex(std::span<const Point> p) {
    std::size_t n = p.size();
    int first_sign = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const Point& a = p[i];
        const Point& b = p[(i + 1) % n];
        const Point& c = p[(i + 2) % n];
        i128 e1x = b.x - a.x, e1y = b.y - a.y, e2x = c.x - b.x, e2y = c.y - b.y;
        i128 turn = cross(e1x, e1y, e2x, e2y);
        if (turn == 0 && e1x * e2x + e1y * e2y < 0) {
            return false;
        }
        int s = sign(turn);
        if (s == 0) {
            continue;
        }
        if (first_sign == 0) {
            first_sign = s;
        } else if (s != first_sign) {
            return false;
        }
    }
    if (first_sign == 0) {
        return false;
    }
    int changes = 0, first_dir = 0, last_dir = 0;
    for (std::size_t i = 0; i < n; ++i) {
        std::int64_t dx = p[(i + 1) % n].x - p[i].x;
        int d = (dx > 0) - (dx < 0);
        if (d == 0) {
            continue;
        }
        if (first_dir == 0) {
            first_dir = d;
        } else if (d != last_dir) {
            ++changes;
        }
        last_dir = d;
    }
    if (first_dir != 0 && last_dir != first_dir) {
        ++changes;
    }
    return changes == 2;
}

// Walks the pieces of a ring whose doubled-back edges are left out; nullopt to give up.
std::optional<Polygons> walk_pieces(std::span<const Point> p, const Untouched& u) {
    std::size_t n = p.size();
    std::vector<SharedStart> shared = u.shared;
    std::sort(shared.begin(), shared.end());
    shared.erase(std::unique(shared.begin(), shared.end()), shared.end());
    std::vector<bool> visited(n, false);
    Polygons pieces;
    for (std::size_t e0 = 0; e0 < n; ++e0) {
        if (u.flags[e0] || visited[e0]) {
            continue;
        }
        if (pieces.size() == max_pieces) {
            return std::nullopt;
        }
        Ring piece;
        std::size_t e = e0;
        while (true) {
            visited[e] = true;
            piece.push_back(p[e]);
            Point q = p[(e + 1) % n];
            auto lo = std::lower_bound(shared.begin(), shared.end(), SharedStart{q, 0});
            if (lo != shared.end() && lo->point == q) {
                std::optional<std::size_t> chosen;
                for (auto it = lo; it != shared.end() && it->point == q; ++it) {
                    if (u.flags[it->edge]) {
                        continue;
                    }
                    if (chosen) {
                        return std::nullopt;
                    }
                    chosen = it->edge;
                }
                if (!chosen) {
                    return std::nullopt;
                }
                e = *chosen;
            } else {
                e = (e + 1) % n;
                if (u.flags[e]) {
                    return std::nullopt;
                }
            }
            if (e == e0) {
                break;
            }
            if (visited[e]) {
                return std::nullopt;
            }
        }
        pieces.push_back(std::move(piece));
    }
    return pieces;
}

// Orients the pieces so that the polygon's inside has winding +1; nullopt when the pieces do
// not nest into one consistent region.
std::optional<Polygons> orient_pieces(Polygons pieces) {
    std::vector<int> s(pieces.size());
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        s[i] = sign(twice_area(pieces[i]));
    }
    int w = 0;
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        int d = 0;
        for (std::size_t j = 0; j < pieces.size(); ++j) {
            if (j == i) {
                continue;
            }
            auto wn = winding_around(pieces[j], pieces[i][0]);
            if (!wn) {
                return std::nullopt;
            }
            if (*wn != 0) {
                d += s[j];
            }
        }
        if (d != 0 && (std::abs(d) != 1 || (w != 0 && w != d))) {
            return std::nullopt;
        }
        int t = d != 0 ? d : w;
        int u = s[i] + d;
        if (u != 0) {
            if (std::abs(u) != 1 || (t != 0 && t != u)) {
                return std::nullopt;
            }
            w = u;
        } else {
            w = t;
        }
    }
    Polygons out;
    for (Ring& piece : pieces) {
        if (w < 0) {
            std::reverse(piece.begin(), piece.end());
        }
        Ring cleaned = simplify(std::move(piece));
        if (cleaned.size() >= 3) {
            out.push_back(std::move(cleaned));
        }
    }
    return out;
}

Polygons resolve(std::span<const Point> p) {
    Rings fresh;
    fresh.push(p, 3);
    par::List<Seg> segs = fresh.segments();
    if (segs.empty()) {
        return {};
    }
    Snapped snapped = snap_round(std::move(segs));
    std::vector<Pair> pairs = classify(snapped.points, snapped.segments, Rule::NonZero);
    return link(snapped.points, std::move(pairs));
}

// The chunk stores appended in order, as `Rings::append` would, with the copies made on the pool:
// every part knows where its points, ring ends and entries go.
Rings join(std::vector<Rings>& parts) {
    std::vector<std::size_t> points(parts.size() + 1, 0), rings(parts.size() + 1, 0),
        entries(parts.size() + 1, 0);
    for (std::size_t k = 0; k < parts.size(); ++k) {
        points[k + 1] = points[k] + parts[k].points.size();
        rings[k + 1] = rings[k] + parts[k].ends.size();
        entries[k + 1] = entries[k] + parts[k].entries.size();
    }
    Rings store;
    par::resize(store.points, points.back());
    par::resize(store.ends, rings.back());
    par::resize(store.entries, entries.back());
    base::pool::for_each(parts.size(), [&](std::size_t k) {
        Rings& part = parts[k];
        std::copy(part.points.begin(), part.points.end(), store.points.begin() + points[k]);
        for (std::size_t r = 0; r < part.ends.size(); ++r) {
            store.ends[rings[k] + r] = part.ends[r] + points[k];
        }
        for (std::size_t e = 0; e < part.entries.size(); ++e) {
            PolygonEntry entry = part.entries[e];
            entry.first_ring += rings[k];
            store.entries[entries[k] + e] = entry;
        }
        part = Rings();
    });
    return store;
}

} // namespace

void Rings::add_polygon(std::span<const Point> input) {
    std::size_t r = ends.size();
    if (!push(input, 3)) {
        return;
    }
    std::size_t start = ring_begin(r);
    auto ring = std::span<Point>(points).subspan(start);
    const Box box = bounds(ring);
    if (is_convex(ring)) {
        i128 area = twice_area(ring);
        if (area == 0) {
            ends.pop_back();
            points.resize(start);
            return;
        }
        if (area < 0) {
            std::reverse(ring.begin(), ring.end());
        }
        entries.push_back({box, r, Kind::Convex});
        return;
    }
    Ring p(ring.begin(), ring.end());
    ends.pop_back();
    points.resize(start);
    std::optional<Polygons> pieces;
    Kind kind = Kind::Simple;
    if (auto u = untouched(ring_edges(p))) {
        if (auto walked = walk_pieces(p, *u)) {
            pieces = orient_pieces(std::move(*walked));
        }
    }
    if (!pieces) {
        pieces = resolve(p);
        kind = Kind::Resolved;
    }
    bool kept = false;
    for (const Ring& piece : *pieces) {
        if (!push(piece, 3)) {
            continue;
        }
        if (twice_area(this->ring(ends.size() - 1)) == 0) {
            points.resize(ring_begin(ends.size() - 1));
            ends.pop_back();
            continue;
        }
        kept = true;
    }
    if (kept) {
        entries.push_back({box, r, kind});
    }
}

Rings Rings::of(std::span<const Ring> polygons) {
    const std::size_t total = point_count(polygons);
    std::size_t count = polygons.size();
    if (!(total >= par::threshold && par::threads() > 1)) {
        Rings store;
        store.points.reserve(total);
        store.ends.reserve(count);
        store.entries.reserve(count);
        for (const Ring& ring : polygons) {
            store.add_polygon(ring);
        }
        return store;
    }
    std::size_t chunks = par::chunk_count(count);
    std::vector<Rings> parts(chunks);
    par::for_chunks(count, chunks, [&](std::size_t k, std::size_t b, std::size_t e) {
        std::size_t points = 0;
        for (std::size_t i = b; i < e; ++i) {
            points += polygons[i].size();
        }
        parts[k].points.reserve(points);
        parts[k].ends.reserve(e - b);
        parts[k].entries.reserve(e - b);
        for (std::size_t i = b; i < e; ++i) {
            parts[k].add_polygon(polygons[i]);
        }
    });
    return join(parts);
}

} // namespace quorvane_dsl::boolean::detail
