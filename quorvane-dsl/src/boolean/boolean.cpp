#include "boolean/boolean.hpp"

#include "boolean/detail/grid.hpp"
#include "boolean/detail/link.hpp"
#include "boolean/detail/par.hpp"
#include "boolean/detail/rings.hpp"
#include "boolean/detail/snap.hpp"
#include "boolean/detail/sweep.hpp"

namespace quorvane_dsl::boolean {

// The face runs the phases.
using namespace detail;

namespace {

bool in_range(std::int64_t v) {
    return v >= -coordinate_limit && v <= coordinate_limit;
}

bool shortcut_allowed(std::span<const Ring> b, Op op, const Rings& store) {
    if (!b.empty() || op != Op::Union) {
        return false;
    }
    for (const PolygonEntry& e : store.entries) {
        if (e.kind == Kind::Resolved) {
            return false;
        }
    }
    return true;
}

u128 area_of(const Box& b) {
    return static_cast<u128>(b.x1 - b.x0) * static_cast<u128>(b.y1 - b.y0);
}

std::optional<Polygons> try_apart(const Rings& store) {
    std::vector<Box> boxes;
    boxes.reserve(store.entries.size());
    Box all = empty_box;
    u128 area = 0;
    for (const PolygonEntry& e : store.entries) {
        boxes.push_back(e.box);
        all = box_union(all, e.box);
        area += area_of(e.box);
    }
    // Boxes apart from each other cover no more than their bounds: when their areas add up to
    // more, some overlap, and the grid test would only find it later.
    if (!boxes.empty() && area > area_of(all)) {
        return std::nullopt;
    }
    if (!boxes_apart(boxes)) {
        return std::nullopt;
    }
    return store.apart();
}

} // namespace

std::optional<RangeError> check_range(std::span<const Point> points) {
    for (const Point& p : points) {
        if (!in_range(p.x) || !in_range(p.y)) {
            return RangeError{p, "coordinate out of range: (" + std::to_string(p.x) + ", " +
                                     std::to_string(p.y) +
                                     ") lies outside the exact range of the polygon engine, "
                                     "which is -2^40 to 2^40 (1099511627776) database units"};
        }
    }
    return std::nullopt;
}

std::optional<RangeError> check_range(std::span<const Ring> rings) {
    for (const Ring& ring : rings) {
        if (auto error = check_range(std::span<const Point>(ring))) {
            return error;
        }
    }
    return std::nullopt;
}

std::expected<Polygons, RangeError> boolean(std::span<const Ring> a, std::span<const Ring> b,
                                            Op op) {
    if (auto error = check_range(a)) {
        return std::unexpected(std::move(*error));
    }
    if (auto error = check_range(b)) {
        return std::unexpected(std::move(*error));
    }
    Rings store, second;
    if (par::goes_parallel(point_count(a) + point_count(b))) {
        base::pool::invoke([&] { store = Rings::of(a); }, [&] { second = Rings::of(b); });
    } else {
        store = Rings::of(a);
        second = Rings::of(b);
    }
    store.b_start = store.points.size();
    store.append(std::move(second));
    if (shortcut_allowed(b, op, store)) {
        if (auto result = try_apart(store)) {
            return std::move(*result);
        }
    }
    par::List<Seg> segs = store.segments();
    if (segs.empty()) {
        return Polygons{};
    }
    store = Rings();
    Snapped snapped = snap_round(std::move(segs));
    std::vector<Pair> pairs = classify(snapped.points, snapped.segments, rule_of(op));
    par::List<SnapSeg>().swap(snapped.segments);
    return link(snapped.points, std::move(pairs));
}

std::optional<Box> as_box(std::span<const Point> ring) {
    if (ring.size() != 4) {
        return std::nullopt;
    }
    const Box b = bounds(ring);
    if (b.x1 <= b.x0 || b.y1 <= b.y0) {
        return std::nullopt;
    }
    // Four distinct corners joined by axis-parallel edges run around the box: the crossing order
    // needs diagonals. Comparisons alone, so any i64 coordinates are safe.
    for (std::size_t i = 0; i < 4; ++i) {
        const Point& p = ring[i];
        const Point& next = ring[(i + 1) % 4];
        if ((p.x != b.x0 && p.x != b.x1) || (p.y != b.y0 && p.y != b.y1)) {
            return std::nullopt;
        }
        if (p == next || p == ring[(i + 2) % 4] || (p.x != next.x && p.y != next.y)) {
            return std::nullopt;
        }
    }
    return b;
}

} // namespace quorvane_dsl::boolean
