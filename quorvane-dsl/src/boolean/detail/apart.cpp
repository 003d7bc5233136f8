#include "boolean/detail/apart.hpp"

#include <algorithm>
#include <atomic>

#include "boolean/boolean.hpp"
#include "boolean/detail/link.hpp"
#include "boolean/detail/par.hpp"
#include "boolean/detail/rings.hpp"
#include "boolean/detail/segments.hpp"
#include "boolean/detail/snap.hpp"

namespace quorvane_dsl::boolean::detail {

namespace {

bool same(const Seg& s, const Seg& t, bool s_start, bool t_start) {
    std::int64_t sx = s_start ? s.x1 : s.x2, sy = s_start ? s.y1 : s.y2;
    std::int64_t tx = t_start ? t.x1 : t.x2, ty = t_start ? t.y1 : t.y2;
    return sx == tx && sy == ty;
}

bool vertex_on_path(const Edge& e, const Seg& other) {
    return on_path(e.seg, e.box, {other.x1, other.y1}) ||
           on_path(e.seg, e.box, {other.x2, other.y2});
}

bool entry_passes(const Rings& store, std::size_t entry) {
    const PolygonEntry& pe = store.entries[entry];
    if (pe.kind != Kind::Convex) {
        return pe.kind == Kind::Simple;
    }
    auto ring = store.ring(pe.first_ring);
    return as_box(ring) || untouched(ring_edges(ring));
}

} // namespace

std::vector<Edge> ring_edges(std::span<const Point> ring) {
    std::vector<Edge> edges;
    edges.reserve(ring.size());
    for (std::size_t i = 0; i < ring.size(); ++i) {
        const Point& a = ring[i];
        const Point& b = ring[(i + 1) % ring.size()];
        const Seg seg{a.x, a.y, b.x, b.y, 0, 0};
        edges.push_back({seg, segment_box(seg)});
    }
    return edges;
}

std::optional<Untouched> untouched(std::span<const Edge> edges) {
    std::size_t n = edges.size();
    std::vector<std::uint32_t> order(n);
    for (std::size_t i = 0; i < n; ++i) {
        order[i] = static_cast<std::uint32_t>(i);
    }
    std::stable_sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
        return edges[a].box.x0 < edges[b].box.x0;
    });
    Untouched result;
    result.flags.assign(n, false);
    for (std::size_t i = 0; i < n; ++i) {
        std::uint32_t a = order[i];
        const Edge& ea = edges[a];
        for (std::size_t j = i + 1; j < n && edges[order[j]].box.x0 <= ea.box.x1; ++j) {
            std::uint32_t b = order[j];
            const Edge& eb = edges[b];
            if (eb.box.y1 < ea.box.y0 || eb.box.y0 > ea.box.y1) {
                continue;
            }
            if (same(ea.seg, eb.seg, true, true)) {
                if (same(ea.seg, eb.seg, false, false)) {
                    return std::nullopt;
                }
                Point p{ea.seg.x1, ea.seg.y1};
                result.shared.push_back({p, a});
                result.shared.push_back({p, b});
            } else if (same(ea.seg, eb.seg, true, false) && same(ea.seg, eb.seg, false, true)) {
                if (result.flags[a] || result.flags[b]) {
                    return std::nullopt;
                }
                result.flags[a] = result.flags[b] = true;
            }
            if (crossing(ea.seg, eb.seg)) {
                return std::nullopt;
            }
            if (vertex_on_path(ea, eb.seg) || vertex_on_path(eb, ea.seg)) {
                return std::nullopt;
            }
        }
    }
    return result;
}

std::optional<Polygons> Rings::apart() const {
    std::size_t entry_count = entries.size();
    bool parallel = points.size() >= par::threshold && par::threads() > 1;
    if (parallel) {
        std::atomic<bool> failed{false};
        par::for_chunks(entry_count, par::chunk_count(entry_count),
                        [&](std::size_t, std::size_t b, std::size_t e) {
                            for (std::size_t i = b; i < e; ++i) {
                                if (!entry_passes(*this, i)) {
                                    failed.store(true, std::memory_order_relaxed);
                                    return;
                                }
                            }
                        });
        if (failed.load()) {
            return std::nullopt;
        }
    } else {
        for (std::size_t i = 0; i < entry_count; ++i) {
            if (!entry_passes(*this, i)) {
                return std::nullopt;
            }
        }
    }
    auto clean = [&](std::size_t b, std::size_t e) {
        Polygons out;
        out.reserve(e - b);
        for (std::size_t r = b; r < e; ++r) {
            auto span = ring(r);
            Ring cleaned = simplify(Ring(span.begin(), span.end()));
            if (cleaned.size() >= 3) {
                out.push_back(canonical(std::move(cleaned)));
            }
        }
        return out;
    };
    Polygons result;
    std::size_t count = ring_count();
    if (parallel) {
        std::size_t chunks = par::chunk_count(count);
        std::vector<Polygons> parts(chunks);
        par::for_chunks(count, chunks, [&](std::size_t k, std::size_t b, std::size_t e) {
            parts[k] = clean(b, e);
        });
        result = par::concat(std::move(parts));
    } else {
        result = clean(0, count);
    }
    sort_rings(result);
    return result;
}

} // namespace quorvane_dsl::boolean::detail
