#include "boolean/detail/segments.hpp"

#include <algorithm>
#include <array>
#include <cstdlib>

#include "boolean/detail/par.hpp"

namespace quorvane_dsl::boolean::detail {

namespace {

template <class I> bool opposite(I a, I b) {
    return (a > 0 && b < 0) || (a < 0 && b > 0);
}

// Rounds num / den (den > 0) to the nearest integer, halves upward.
template <class I> std::int64_t round_half_up(I num, I den) {
    I n2 = 2 * num + den;
    I d2 = 2 * den;
    I q = n2 / d2;
    if (n2 % d2 < 0) {
        --q;
    }
    return static_cast<std::int64_t>(q);
}

// The rounded proper crossing of two diagonal or mixed segments, in integers of type I. With
// every coordinate difference of the four end points at most E, the orientations stay within
// 2E^2 and the rounding's numerator within 4E^3 + 4E^2, so 64 bits are exact for E below 2^20.
template <class I> std::optional<Point> proper_crossing(const Seg& a, const Seg& b) {
    I bdx = b.x2 - b.x1, bdy = b.y2 - b.y1, adx = a.x2 - a.x1, ady = a.y2 - a.y1;
    I d1 = bdx * (a.y1 - b.y1) - bdy * (a.x1 - b.x1);
    I d2 = bdx * (a.y2 - b.y1) - bdy * (a.x2 - b.x1);
    if (!opposite(d1, d2)) {
        return std::nullopt;
    }
    I d3 = adx * (b.y1 - a.y1) - ady * (b.x1 - a.x1);
    I d4 = adx * (b.y2 - a.y1) - ady * (b.x2 - a.x1);
    if (!opposite(d3, d4)) {
        return std::nullopt;
    }
    I d = d1 - d2;
    I sign = d > 0 ? 1 : -1;
    I ad = d * sign;
    return Point{a.x1 + round_half_up(d1 * adx * sign, ad),
                 a.y1 + round_half_up(d1 * ady * sign, ad)};
}

// Whether the exact crossing of two segments that cross properly lies in the half-open box
// [x0, x1) x [y0, y1). With t = n / m (m > 0) its parameter on a, a coordinate lies in
// [lo, hi) exactly when (lo - start) m <= delta n < (hi - start) m.
bool crossing_in(const Seg& a, const Seg& b, const Box& box) {
    i128 bdx = b.x2 - b.x1, bdy = b.y2 - b.y1;
    i128 d1 = bdx * (a.y1 - b.y1) - bdy * (a.x1 - b.x1);
    i128 d2 = bdx * (a.y2 - b.y1) - bdy * (a.x2 - b.x1);
    i128 m = d1 - d2, n = d1;
    if (m < 0) {
        m = -m;
        n = -n;
    }
    auto within = [&](std::int64_t start, std::int64_t end, std::int64_t lo, std::int64_t hi) {
        i128 at = (i128{end} - start) * n;
        return (i128{lo} - start) * m <= at && at < (i128{hi} - start) * m;
    };
    return within(a.x1, a.x2, box.x0, box.x1) && within(a.y1, a.y2, box.y0, box.y1);
}

bool strictly_between(std::int64_t v, std::int64_t a, std::int64_t b) {
    return std::min(a, b) < v && v < std::max(a, b);
}

} // namespace

Box segments_bounds(std::span<const Seg> segments) {
    auto fold = [&](std::size_t b, std::size_t e) {
        Box u = empty_box;
        for (std::size_t i = b; i < e; ++i) {
            u = box_union(u, segment_box(segments[i]));
        }
        return u;
    };
    return par::reduce<Box>(segments.size(), fold, box_union);
}

std::optional<Point> crossing(const Seg& a, const Seg& b) {
    if ((a.x1 == b.x1 && a.y1 == b.y1) || (a.x1 == b.x2 && a.y1 == b.y2) ||
        (a.x2 == b.x1 && a.y2 == b.y1) || (a.x2 == b.x2 && a.y2 == b.y2)) {
        return std::nullopt;
    }
    bool ah = a.y1 == a.y2, av = a.x1 == a.x2, bh = b.y1 == b.y2, bv = b.x1 == b.x2;
    if ((ah || av) && (bh || bv)) {
        if (ah && bv) {
            if (strictly_between(b.x1, a.x1, a.x2) && strictly_between(a.y1, b.y1, b.y2)) {
                return Point{b.x1, a.y1};
            }
            return std::nullopt;
        }
        if (av && bh) {
            if (strictly_between(a.x1, b.x1, b.x2) && strictly_between(b.y1, a.y1, a.y2)) {
                return Point{a.x1, b.y1};
            }
            return std::nullopt;
        }
        return std::nullopt;
    }
    constexpr std::int64_t narrow = std::int64_t{1} << 20;
    const std::int64_t x0 = std::min({a.x1, a.x2, b.x1, b.x2});
    const std::int64_t x1 = std::max({a.x1, a.x2, b.x1, b.x2});
    const std::int64_t y0 = std::min({a.y1, a.y2, b.y1, b.y2});
    const std::int64_t y1 = std::max({a.y1, a.y2, b.y1, b.y2});
    if (x1 - x0 < narrow && y1 - y0 < narrow) {
        return proper_crossing<std::int64_t>(a, b);
    }
    return proper_crossing<i128>(a, b);
}

bool segment_meets_box(const Seg& s, const Box& sb, const Box& box) {
    if (sb.x1 < box.x0 || box.x1 < sb.x0 || sb.y1 < box.y0 || box.y1 < sb.y0) {
        return false;
    }
    if (sb.x0 >= box.x0 && sb.x1 <= box.x1 && sb.y0 >= box.y0 && sb.y1 <= box.y1) {
        return true;
    }
    const std::int64_t dx = s.x2 - s.x1, dy = s.y2 - s.y1;
    // Two products of factors below 2^31 and their difference fit in 64 bits; the segments and
    // boxes of a crowded cell's tree nearly always stay that small.
    constexpr std::int64_t narrow = std::int64_t{1} << 31;
    const bool small =
        std::max({std::abs(dx), std::abs(dy), std::abs(box.x0 - s.x1), std::abs(box.x1 - s.x1),
                  std::abs(box.y0 - s.y1), std::abs(box.y1 - s.y1)}) < narrow;
    int pos = 0, neg = 0;
    for (int c = 0; c < 4; ++c) {
        std::int64_t cx = (c & 1) ? box.x1 : box.x0;
        std::int64_t cy = (c & 2) ? box.y1 : box.y0;
        const int o = small ? sign(dx * (cy - s.y1) - dy * (cx - s.x1))
                            : sign(cross(dx, dy, cx - s.x1, cy - s.y1));
        pos += o > 0;
        neg += o < 0;
    }
    return pos != 4 && neg != 4;
}

std::uint32_t SegTree::build(std::span<const Seg> segments, const Box& box,
                             std::vector<std::uint32_t> items) {
    auto node = static_cast<std::uint32_t>(nodes.size());
    nodes.push_back({box, true, 0, 0});
    auto make_leaf = [&](std::vector<std::uint32_t>&& list) {
        nodes[node].leaf = true;
        nodes[node].a = static_cast<std::uint32_t>(leaves.size());
        leaves.push_back(std::move(list));
        return node;
    };
    if (items.size() <= 16) {
        return make_leaf(std::move(items));
    }
    bool x_first = box.x1 - box.x0 >= box.y1 - box.y0;
    for (int attempt = 0; attempt < 2; ++attempt) {
        bool on_x = (attempt == 0) == x_first;
        std::int64_t lo = on_x ? box.x0 : box.y0;
        std::int64_t hi = on_x ? box.x1 : box.y1;
        if (hi - lo <= 1) {
            continue;
        }
        std::int64_t mid = lo + ((hi - lo) >> 1);
        Box low = box, high = box;
        (on_x ? low.x1 : low.y1) = mid;
        (on_x ? high.x0 : high.y0) = mid;
        std::vector<std::uint32_t> low_items, high_items;
        for (std::uint32_t i : items) {
            const Box sb = segment_box(segments[i]);
            std::int64_t slo = on_x ? sb.x0 : sb.y0;
            std::int64_t shi = on_x ? sb.x1 : sb.y1;
            bool to_low = !(slo > mid);
            bool to_high = !(shi < mid);
            if (to_low && segment_meets_box(segments[i], sb, low)) {
                low_items.push_back(i);
            }
            if (to_high && segment_meets_box(segments[i], sb, high)) {
                high_items.push_back(i);
            }
        }
        if ((low_items.size() + high_items.size()) * 2 > items.size() * 3) {
            continue;
        }
        std::uint32_t a = build(segments, low, std::move(low_items));
        std::uint32_t b = build(segments, high, std::move(high_items));
        nodes[node].leaf = false;
        nodes[node].a = a;
        nodes[node].b = b;
        return node;
    }
    return make_leaf(std::move(items));
}

namespace {

// Lists longer than this are split by a segment tree first.
constexpr std::size_t small_list = 48;

// An axis-parallel segment: its fixed coordinate and the range of the other one.
struct Line {
    std::int64_t at;
    std::int64_t lo;
    std::int64_t hi;
};

// Two axis-parallel segments cross properly only when one is horizontal and the other
// vertical, and such a crossing lies in cell g only where the horizontal one's row and the
// vertical one's column meet it; a crossing strictly inside both shares no end point with
// either. Returns false, adding nothing, when a segment is diagonal.
bool straight_pairs(std::span<const std::uint32_t> list, std::span<const Seg> segments,
                    const Grid& grid, std::uint64_t g, std::vector<Point>& out) {
    std::array<Line, small_list> across, up;
    std::size_t n_across = 0, n_up = 0;
    const std::uint64_t column = g % grid.columns, row = g / grid.columns;
    for (std::uint32_t i : list) {
        const Seg& s = segments[i];
        if (s.y1 == s.y2) {
            if (grid.row(s.y1) == row) {
                across[n_across++] = {s.y1, std::min(s.x1, s.x2), std::max(s.x1, s.x2)};
            }
        } else if (s.x1 == s.x2) {
            if (grid.col(s.x1) == column) {
                up[n_up++] = {s.x1, std::min(s.y1, s.y2), std::max(s.y1, s.y2)};
            }
        } else {
            return false;
        }
    }
    for (std::size_t a = 0; a < n_across; ++a) {
        const Line h = across[a];
        for (std::size_t b = 0; b < n_up; ++b) {
            const Line v = up[b];
            if (h.lo < v.at && v.at < h.hi && v.lo < h.at && h.at < v.hi) {
                out.push_back({v.at, h.at});
            }
        }
    }
    return true;
}

// The crossings of a list that lie in cell g. A leaf of a tree passes its box: a pair listed in
// several leaves (long segments meeting at a small angle share many) is reported only by the
// leaf whose half-open box holds its exact crossing. The leaves' half-open boxes tile the root
// box, which holds that crossing (it lies within half a unit of its rounded point in g), and
// both segments pass through it, so they are listed in that leaf.
void collect_pairs(std::span<const std::uint32_t> list, std::span<const Seg> segments,
                   const Grid& grid, std::uint64_t g, const Box* leaf, std::vector<Point>& out) {
    const std::size_t first = out.size();
    if (list.size() <= small_list && straight_pairs(list, segments, grid, g, out)) {
        // An axis-parallel crossing is a grid point itself.
        if (leaf) {
            auto outside = [&](Point p) {
                return p.x < leaf->x0 || p.x >= leaf->x1 || p.y < leaf->y0 || p.y >= leaf->y1;
            };
            out.erase(std::remove_if(out.begin() + static_cast<std::ptrdiff_t>(first), out.end(),
                                     outside),
                      out.end());
        }
        return;
    }
    for (std::size_t i = 0; i < list.size(); ++i) {
        const Seg& a = segments[list[i]];
        const Box bi = segment_box(a);
        for (std::size_t j = i + 1; j < list.size(); ++j) {
            const Seg& b = segments[list[j]];
            if (!boxes_touch(bi, segment_box(b))) {
                continue;
            }
            auto p = crossing(a, b);
            if (p && grid.cell_of(*p) == g && (!leaf || crossing_in(a, b, *leaf))) {
                out.push_back(*p);
            }
        }
    }
}

} // namespace

void cell_crossings(std::uint64_t g, std::span<const std::uint32_t> list,
                    std::span<const Seg> segments, const Grid& grid, std::vector<Point>& out) {
    if (list.size() < 2) {
        return;
    }
    if (list.size() <= small_list) {
        collect_pairs(list, segments, grid, g, nullptr, out);
        return;
    }
    std::int64_t x0 = grid.cell_x(g), y0 = grid.cell_y(g);
    std::int64_t side = std::int64_t{1} << grid.shift;
    SegTree tree;
    tree.build(segments, Box{x0 - 1, y0 - 1, x0 + side + 1, y0 + side + 1},
               std::vector<std::uint32_t>(list.begin(), list.end()));
    for (const SegTree::Node& node : tree.nodes) {
        if (node.leaf) {
            collect_pairs(tree.leaves[node.a], segments, grid, g, &node.box, out);
        }
    }
}

} // namespace quorvane_dsl::boolean::detail
