#include "boolean/detail/snap.hpp"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <limits>
#include <numeric>

#include "boolean/detail/grid.hpp"
#include "boolean/detail/par.hpp"
#include "boolean/detail/segments.hpp"

namespace quorvane_dsl::boolean::detail {

namespace {

constexpr std::uint32_t crossing_id = 0xFFFFFFFFu;
// Past this many segments in one grid cell, testing each against every vertex of the cell grows
// with their product (a fan of edges through one point, long collinear runs); such cells get a
// segment tree of their own instead (`crowded_hits`).
constexpr std::size_t crowded = 48;

[[noreturn]] void stop(const char* message) {
    std::fputs(message, stderr);
    std::fputc('\n', stderr);
    std::abort();
}

unsigned bit_length(std::uint64_t v) {
    return static_cast<unsigned>(std::bit_width(v));
}

struct Vertices {
    par::List<Point> points;
    std::vector<std::uint32_t> start; // start vertex of every input segment
};

// Crossing points of all cells, in cell order, possibly repeated.
std::vector<Point> all_crossings(std::span<const Seg> segs, const Grid& grid, const Groups& cells) {
    return par::flat_map(grid.cell_count(), [&](std::size_t b, std::size_t e) {
        std::vector<Point> out;
        for (std::size_t g = b; g < e; ++g) {
            // A cell's segments lie anywhere in the list; those of the cell after next are
            // fetched early.
            if (g + 2 < e) {
                for (std::uint32_t i : cells.of(g + 2)) {
                    __builtin_prefetch(segs.data() + i);
                }
            }
            cell_crossings(g, cells.of(g), segs, grid, out);
        }
        return out;
    });
}

// Numbers sorted items: a new vertex at the first item and wherever the key changes. An item
// whose id is not below the segment count stands for a crossing.
template <class Item, class KeyEq, class IdOf, class Decode>
Vertices number_points(const std::vector<Item>& items, std::size_t segment_count, KeyEq same,
                       IdOf id_of, Decode decode) {
    Vertices v;
    par::resize(v.start, segment_count);
    std::size_t n = items.size();
    auto is_new = [&](std::size_t i) { return i == 0 || !same(items[i - 1], items[i]); };
    // Counted first, so that the list is made at its size rather than grown by copying.
    std::size_t chunks = par::goes_parallel(n) ? par::chunk_count(n) : 1;
    const std::vector<std::size_t> firsts =
        par::chunk_offsets<std::size_t>(n, chunks, [&](std::size_t b, std::size_t e) {
            std::size_t c = 0;
            for (std::size_t i = b; i < e; ++i) {
                c += is_new(i);
            }
            return c;
        });
    par::resize(v.points, firsts[chunks]);
    par::SharedSlice<Point> points(v.points);
    par::SharedSlice<std::uint32_t> start(v.start);
    par::for_chunks(n, chunks, [&](std::size_t k, std::size_t b, std::size_t e) {
        std::size_t next = firsts[k];
        for (std::size_t i = b; i < e; ++i) {
            // The segments' entries are written at random; a later one is fetched early.
            constexpr std::size_t ahead = 16;
            if (i + ahead < e && id_of(items[i + ahead]) < segment_count) {
                __builtin_prefetch(v.start.data() + id_of(items[i + ahead]), 1);
            }
            if (is_new(i)) {
                points.write(next++, decode(items[i]));
            }
            if (std::size_t id = id_of(items[i]); id < segment_count) {
                start.write(id, static_cast<std::uint32_t>(next - 1));
            }
        }
    });
    return v;
}

struct Triple {
    Point p;
    std::uint32_t value = 0;
};

// Takes the crossings to release them once they are in the sort items, before the sort needs
// its scratch room. Points are keyed by their offset from the bounds' corner, x above y. Where
// the key leaves room for a segment id below it, key and id share one word: half the bytes of a
// key with the id beside it for the sort to move, which is most of the numbering's time.
Vertices distinct_points(std::span<const Seg> segs, std::vector<Point> crossings,
                         const Box& bounds) {
    std::size_t n = segs.size();
    std::size_t total = n + crossings.size();
    auto point_of = [&](std::size_t i) {
        return i < n ? Point{segs[i].x1, segs[i].y1} : crossings[i - n];
    };
    auto id_of = [&](std::size_t i) { return i < n ? static_cast<std::uint32_t>(i) : crossing_id; };
    std::uint64_t w = static_cast<std::uint64_t>(bounds.x1) - static_cast<std::uint64_t>(bounds.x0);
    std::uint64_t h = static_cast<std::uint64_t>(bounds.y1) - static_cast<std::uint64_t>(bounds.y0);
    unsigned bx = bit_length(w), by = bit_length(h);
    std::uint64_t ymask = by == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << by) - 1;
    auto key_of = [&](Point p) {
        return ((static_cast<std::uint64_t>(p.x) - static_cast<std::uint64_t>(bounds.x0)) << by) |
               (static_cast<std::uint64_t>(p.y) - static_cast<std::uint64_t>(bounds.y0));
    };
    auto point_at = [&](std::uint64_t key) {
        return Point{
            static_cast<std::int64_t>((key >> by) + static_cast<std::uint64_t>(bounds.x0)),
            static_cast<std::int64_t>((key & ymask) + static_cast<std::uint64_t>(bounds.y0))};
    };
    // Ids run below n, so the all-ones id of these bits is free to mark a crossing.
    const unsigned id_bits = bit_length(n);
    if (bx + by + id_bits <= 64) {
        const std::uint64_t ids = (std::uint64_t{1} << id_bits) - 1;
        std::vector<std::uint64_t> items;
        par::resize(items, total);
        par::for_range(total, [&](std::size_t b, std::size_t e) {
            for (std::size_t i = b; i < e; ++i) {
                items[i] = (key_of(point_of(i)) << id_bits) | (i < n ? i : ids);
            }
        });
        std::vector<Point>().swap(crossings);
        sort_keys(items, bx + by + id_bits);
        return number_points(
            items, n,
            [&](std::uint64_t a, std::uint64_t b) { return (a >> id_bits) == (b >> id_bits); },
            [&](std::uint64_t it) { return it & ids; },
            [&](std::uint64_t it) { return point_at(it >> id_bits); });
    }
    if (bx + by <= 64 && bx < 64 && by < 64) {
        std::vector<KeyItem> items;
        par::resize(items, total);
        par::for_range(total, [&](std::size_t b, std::size_t e) {
            for (std::size_t i = b; i < e; ++i) {
                items[i] = {key_of(point_of(i)), id_of(i)};
            }
        });
        std::vector<Point>().swap(crossings);
        sort_keys(items, bx + by);
        return number_points(
            items, n, [](const KeyItem& a, const KeyItem& b) { return a.key == b.key; },
            [](const KeyItem& it) { return it.value; },
            [&](const KeyItem& it) { return point_at(it.key); });
    }
    std::vector<Triple> items(total);
    for (std::size_t i = 0; i < total; ++i) {
        items[i] = {point_of(i), id_of(i)};
    }
    std::vector<Point>().swap(crossings);
    std::sort(items.begin(), items.end(),
              [](const Triple& a, const Triple& b) { return a.p < b.p; });
    return number_points(
        items, n, [](const Triple& a, const Triple& b) { return a.p == b.p; },
        [](const Triple& t) { return t.value; }, [](const Triple& t) { return t.p; });
}

struct Hit {
    std::uint32_t vertex = 0;
    PathHit t;
    // t as a double, within 2^-51 of it: t lies in [0, 1], and its two conversions and the
    // division each err by at most half an ulp.
    double near = 0.0;
};

Hit hit_at(std::uint32_t vertex, const PathHit& t) {
    return {vertex, t, static_cast<double>(t.num) / static_cast<double>(t.den)};
}

bool axis_parallel(const Seg& s) {
    return s.x1 == s.x2 || s.y1 == s.y2;
}

// Which kinds of segment a list holds.
struct Kinds {
    bool horizontal = false;
    bool diagonal = false;
    bool second_operand = false;
};

Kinds kinds_of(std::span<const Seg> segs) {
    auto scan = [&](std::size_t b, std::size_t e) {
        Kinds k;
        for (std::size_t i = b; i < e; ++i) {
            k.horizontal = k.horizontal || segs[i].y1 == segs[i].y2;
            k.diagonal = k.diagonal || !axis_parallel(segs[i]);
            k.second_operand = k.second_operand || segs[i].operand != 0;
        }
        return k;
    };
    return par::reduce<Kinds>(segs.size(), scan, [](const Kinds& x, const Kinds& y) {
        return Kinds{x.horizontal || y.horizontal, x.diagonal || y.diagonal,
                     x.second_operand || y.second_operand};
    });
}

// Vertex ids in (y, x) order, where those on one horizontal line follow each other. Ids ascend
// with x along a row, so ascending (y, id) is that order. The vertices are listed per band of
// rows, a band as high as keeps the bands no more than twice the vertices.
par::List<std::uint32_t> row_order(std::span<const Point> points, const Box& bounds) {
    std::size_t n = points.size();
    std::uint64_t h = static_cast<std::uint64_t>(bounds.y1) - static_cast<std::uint64_t>(bounds.y0);
    unsigned shift = 0;
    while ((h >> shift) >= 2 * n) {
        ++shift;
    }
    auto band = [&](std::size_t i) {
        return (static_cast<std::uint64_t>(points[i].y) - static_cast<std::uint64_t>(bounds.y0)) >>
               shift;
    };
    Groups bands = Groups::build_parallel(
        n, (h >> shift) + 1,
        [&](std::size_t i, std::vector<std::uint64_t>& out) { out.push_back(band(i)); });
    par::List<std::uint32_t> ids = std::move(bands.members);
    // A band lists its ids in ascending order, which is all a band of one row needs.
    if (shift > 0) {
        par::for_each_index(bands.starts.size() - 1, par::goes_parallel(n), [&](std::size_t g) {
            std::sort(ids.data() + bands.starts[g], ids.data() + bands.starts[g + 1],
                      [&](std::uint32_t a, std::uint32_t b) {
                          return points[a].y != points[b].y ? points[a].y < points[b].y : a < b;
                      });
        });
    }
    return ids;
}

// Every vertex's successor in the row order: the next vertex to the right in its row, or, for
// the last of a row, some vertex never asked for.
par::List<std::uint32_t> next_in_row(std::span<const std::uint32_t> ids) {
    par::List<std::uint32_t> next;
    par::resize(next, ids.size());
    par::for_range(ids.size() - 1, [&](std::size_t first, std::size_t last) {
        for (std::size_t r = first; r < last; ++r) {
            next[ids[r]] = ids[r + 1];
        }
    });
    return next;
}

// The vertices by grid cell for the hot-pixel search of diagonal segments: a cell's members in
// id order with their points alongside, and the hits found in crowded cells.
struct CellPoints {
    Groups cells;
    std::vector<Point> points;
    std::vector<std::uint64_t> crowded_pairs;
};

// Past this many segment and vertex tests in one leaf of a crowded cell, the leaf's vertices are
// put into buckets and each segment tests only those of the buckets along its way. Long segments
// that cross each other everywhere (a star polygon) leave leaves no split can thin out.
constexpr std::size_t bucketed_tests = std::size_t{1} << 14;
constexpr std::size_t batch = std::size_t{1} << 16;

void add_hit(std::span<const Seg> segs, std::uint32_t s, std::uint32_t m, Point p,
             std::vector<std::uint64_t>& pairs) {
    if (on_path(segs[s], segment_box(segs[s]), p)) {
        pairs.push_back((std::uint64_t{s} << 32) | m);
    }
}

// The (segment, member) hits of one leaf: its diagonal segments against the members listed for
// it. Bucketing only narrows the candidates; the exact test decides, so both ways find the same
// pairs.
void leaf_hits(std::span<const Seg> segs, std::span<const std::uint32_t> leaf,
               std::span<const std::uint32_t> members, const std::vector<Point>& cell_points,
               std::vector<std::uint64_t>& pairs) {
    if (leaf.size() * members.size() <= bucketed_tests) {
        for (std::uint32_t m : members) {
            for (std::uint32_t s : leaf) {
                add_hit(segs, s, m, cell_points[m], pairs);
            }
        }
        return;
    }
    Box box = empty_box;
    for (std::uint32_t m : members) {
        const Point p = cell_points[m];
        box = box_union(box, Box{p.x, p.y, p.x, p.y});
    }
    // Square buckets holding about one member each, and no more than about four buckets per
    // member when the members lie along a line.
    const double w = static_cast<double>(box.x1 - box.x0) + 1;
    const double h = static_cast<double>(box.y1 - box.y0) + 1;
    const double k = static_cast<double>(members.size());
    const double fit = std::max(std::sqrt(w * h / k), std::max(w, h) / (2 * std::sqrt(k) + 1));
    const auto side = static_cast<std::int64_t>(std::max(1.0, std::ceil(fit)));
    const std::int64_t columns = (box.x1 - box.x0) / side + 1;
    const std::int64_t rows = (box.y1 - box.y0) / side + 1;
    const auto bucket_of = [&](Point p) {
        return static_cast<std::size_t>((p.y - box.y0) / side * columns + (p.x - box.x0) / side);
    };
    std::vector<std::uint32_t> first(static_cast<std::size_t>(columns * rows) + 1, 0);
    for (std::uint32_t m : members) {
        ++first[bucket_of(cell_points[m]) + 1];
    }
    for (std::size_t b = 1; b < first.size(); ++b) {
        first[b] += first[b - 1];
    }
    std::vector<std::uint32_t> bucketed(members.size());
    std::vector<std::uint32_t> next(first.begin(), first.end() - 1);
    for (std::uint32_t m : members) {
        bucketed[next[bucket_of(cell_points[m])]++] = m;
    }
    for (std::uint32_t s : leaf) {
        const Seg& seg = segs[s];
        const double x1 = static_cast<double>(seg.x1), y1 = static_cast<double>(seg.y1);
        const double slope =
            static_cast<double>(seg.y2 - seg.y1) / static_cast<double>(seg.x2 - seg.x1);
        const std::int64_t lo = std::max(std::min(seg.x1, seg.x2) - 1, box.x0);
        const std::int64_t hi = std::min(std::max(seg.x1, seg.x2) + 1, box.x1);
        for (std::int64_t c = (lo - box.x0) / side; lo <= hi && c <= (hi - box.x0) / side; ++c) {
            // A hit lies within half a unit of the segment on both axes; floats get a unit more.
            const double from_x = std::max(static_cast<double>(box.x0 + c * side) - 1,
                                           static_cast<double>(std::min(seg.x1, seg.x2)));
            const double to_x = std::min(static_cast<double>(box.x0 + (c + 1) * side),
                                         static_cast<double>(std::max(seg.x1, seg.x2)));
            const double ya = y1 + (from_x - x1) * slope;
            const double yb = y1 + (to_x - x1) * slope;
            const double low = std::floor(std::min(ya, yb)) - 2;
            const double high = std::ceil(std::max(ya, yb)) + 2;
            if (high < static_cast<double>(box.y0) || low > static_cast<double>(box.y1)) {
                continue;
            }
            const std::int64_t r0 =
                (std::max(static_cast<std::int64_t>(low), box.y0) - box.y0) / side;
            const std::int64_t r1 =
                (std::min(static_cast<std::int64_t>(high), box.y1) - box.y0) / side;
            for (std::int64_t r = r0; r <= r1; ++r) {
                const auto b = static_cast<std::size_t>(r * columns + c);
                for (std::uint32_t i = first[b]; i < first[b + 1]; ++i) {
                    add_hit(segs, s, bucketed[i], cell_points[bucketed[i]], pairs);
                }
            }
        }
    }
}

// Hands every leaf the members whose points lie in the boxes, widened by one unit, of all the
// nodes on its way down. The members go down together, one split per node, rather than one at
// a time: neighbours in (x, y) order take the same ways.
template <class AtLeaf>
void push_down(const SegTree& tree, std::uint32_t node, std::span<const std::uint32_t> members,
               const std::vector<Point>& cell_points, AtLeaf&& at_leaf) {
    const SegTree::Node& n = tree.nodes[node];
    if (n.leaf) {
        at_leaf(n.a, members);
        return;
    }
    std::vector<std::uint32_t> inside;
    for (std::uint32_t child : {n.a, n.b}) {
        const Box& cb = tree.nodes[child].box;
        inside.clear();
        for (std::uint32_t m : members) {
            const Point p = cell_points[m];
            if (p.x >= cb.x0 - 1 && p.x <= cb.x1 + 1 && p.y >= cb.y0 - 1 && p.y <= cb.y1 + 1) {
                inside.push_back(m);
            }
        }
        if (!inside.empty()) {
            push_down(tree, child, inside, cell_points, at_leaf);
        }
    }
}

// (segment, member) pairs of the cells too crowded for plain loops, sorted; a member is a
// vertex's position in `point_cells`. Only diagonal segments are searched: the vertices on a
// straight one are found by their order. The work lies with the vertices, and a few cells can
// hold nearly all of them (a fan of edges crossing near one point), so the members rather than
// the cells are cut into chunks; a cell cut by a chunk border builds its tree in both chunks.
// The sort makes the order independent of the chunks.
std::vector<std::uint64_t> crowded_hits(std::span<const Seg> segs, const Grid& grid,
                                        const Groups& seg_cells, const Groups& point_cells,
                                        const std::vector<Point>& cell_points) {
    std::int64_t side = std::int64_t{1} << grid.shift;
    const std::vector<std::uint32_t>& starts = point_cells.starts;
    auto search = [&](std::size_t first, std::size_t last) {
        std::vector<std::uint64_t> pairs;
        std::vector<std::uint32_t> members;
        // The cell holding member `first`: the last cell starting at or before it.
        std::size_t g = static_cast<std::size_t>(
            std::upper_bound(starts.begin(), starts.end(), first) - starts.begin() - 1);
        for (; g < grid.cell_count() && starts[g] < last; ++g) {
            auto list = seg_cells.of(g);
            if (list.size() <= crowded || point_cells.of(g).empty()) {
                continue;
            }
            std::vector<std::uint32_t> diagonal;
            std::copy_if(list.begin(), list.end(), std::back_inserter(diagonal),
                         [&](std::uint32_t s) { return !axis_parallel(segs[s]); });
            if (diagonal.empty()) {
                continue;
            }
            std::int64_t x0 = grid.cell_x(g), y0 = grid.cell_y(g);
            // A hot pixel reaches half a unit around its vertex, so the tree's box and the
            // descent below test with a whole unit of margin.
            SegTree tree;
            tree.build(segs, Box{x0 - 1, y0 - 1, x0 + side + 1, y0 + side + 1},
                       std::move(diagonal));
            const std::size_t from = std::max<std::size_t>(starts[g], first);
            const std::size_t to = std::min<std::size_t>(starts[g + 1], last);
            // Members in runs of `batch`, so that their lists stay small however many vertices
            // the cell holds; a run is a strip of the cell, as members follow (x, y).
            for (std::size_t begin = from; begin < to; begin += batch) {
                members.resize(std::min(to, begin + batch) - begin);
                std::iota(members.begin(), members.end(), static_cast<std::uint32_t>(begin));
                push_down(tree, 0, members, cell_points,
                          [&](std::uint32_t leaf, std::span<const std::uint32_t> at_leaf) {
                              leaf_hits(segs, tree.leaves[leaf], at_leaf, cell_points, pairs);
                          });
            }
        }
        return pairs;
    };
    std::vector<std::uint64_t> pairs = par::flat_map(cell_points.size(), search);
    // Fine curves make tens of millions of pairs, which the radix sort orders several times
    // faster than a comparison sort; the key is the whole pair, segment above member.
    sort_keys(pairs, 32 + bit_length(segs.size()));
    pairs.erase(std::unique(pairs.begin(), pairs.end()), pairs.end());
    return pairs;
}

// Lists the vertices by cell, in id order within a cell as the build keeps item order, with
// their points alongside; takes the points, which are then held in cell order only.
CellPoints cell_points(std::span<const Seg> segs, const Grid& grid, const Groups& seg_cells,
                       par::List<Point> points) {
    std::size_t count = points.size();
    CellPoints cp;
    cp.cells = Groups::build_parallel(count, grid.cell_count(),
                                      [&](std::size_t i, std::vector<std::uint64_t>& out) {
                                          out.push_back(grid.cell_of(points[i]));
                                      });
    par::resize(cp.points, cp.cells.members.size());
    par::for_range(cp.points.size(), [&](std::size_t first, std::size_t last) {
        for (std::size_t m = first; m < last; ++m) {
            cp.points[m] = points[cp.cells.members[m]];
        }
    });
    par::List<Point>().swap(points);
    cp.crowded_pairs = crowded_hits(segs, grid, seg_cells, cp.cells, cp.points);
    return cp;
}

// The points back in id order: every vertex lies in exactly one cell, so the members are a
// permutation of the ids.
par::List<Point> points_by_id(const CellPoints& cp) {
    par::List<Point> points;
    par::resize(points, cp.points.size());
    par::for_range(points.size(), [&](std::size_t first, std::size_t last) {
        for (std::size_t m = first; m < last; ++m) {
            points[cp.cells.members[m]] = cp.points[m];
        }
    });
    return points;
}

// The range of a cell's members (ascending ids, so ascending (x, y)) in the x range of the box.
// The members' points lie in member order, so the search reads memory in sequence.
std::pair<std::size_t, std::size_t> x_range(const CellPoints& cp, std::uint64_t g, const Box& box) {
    constexpr std::int64_t lowest = std::numeric_limits<std::int64_t>::min();
    constexpr std::int64_t highest = std::numeric_limits<std::int64_t>::max();
    auto begin = cp.points.begin() + cp.cells.starts[g];
    auto end = cp.points.begin() + cp.cells.starts[g + 1];
    auto first = std::lower_bound(begin, end, Point{box.x0, lowest});
    auto last = std::upper_bound(first, end, Point{box.x1, highest});
    return {static_cast<std::size_t>(first - cp.points.begin()),
            static_cast<std::size_t>(last - cp.points.begin())};
}

void push_key(std::vector<std::uint64_t>& keys, std::uint64_t u, std::uint64_t w,
              std::uint64_t operand, unsigned b) {
    std::uint64_t lo_id = std::min(u, w), hi_id = std::max(u, w);
    keys.push_back((lo_id << (b + 2)) | (hi_id << 2) | (operand << 1) | (u < w ? 1 : 0));
}

// All vertices are integer points, so the hot pixels an axis-parallel segment passes are those
// of the vertices on it: the ids strictly between its end points' when it is vertical, as ids
// follow (x, y) order, and the vertices from its left end rightwards to its right end when it
// is horizontal. The keys are sorted later, so they are made from the lower end onwards.
void straight_keys(const Seg& s, std::uint32_t from, std::uint32_t to,
                   std::span<const std::uint32_t> next, unsigned b,
                   std::vector<std::uint64_t>& keys) {
    const std::uint32_t lo = std::min(from, to), hi = std::max(from, to);
    const bool vertical = s.x1 == s.x2;
    for (std::uint32_t u = lo; u != hi;) {
        std::uint32_t w = vertical ? u + 1 : next[u];
        if (from < to) {
            push_key(keys, u, w, s.operand, b);
        } else {
            push_key(keys, w, u, s.operand, b);
        }
        u = w;
    }
}

// The vertices whose hot pixels diagonal segment i passes, in the order it passes them. The
// pairs of crowded cells are sorted by segment; `pair` moves forward over them.
void diagonal_hits(std::span<const Seg> segs, std::size_t i, const Grid& grid,
                   const Groups& seg_cells, const CellPoints& cp,
                   std::vector<std::uint64_t>::const_iterator& pair, std::vector<Hit>& hits,
                   std::vector<std::uint64_t>& cells) {
    const Seg& s = segs[i];
    const Box box = segment_box(s);
    hits.clear();
    cells.clear();
    grid.cells_of(s, box, cells);
    for (std::uint64_t g : cells) {
        if (seg_cells.of(g).size() > crowded) {
            // Searched by `crowded_hits`; its pairs for this segment join below.
            continue;
        }
        auto [first_member, last_member] = x_range(cp, g, box);
        for (std::size_t m = first_member; m < last_member; ++m) {
            if (auto t = on_path(s, box, cp.points[m])) {
                hits.push_back(hit_at(cp.cells.members[m], *t));
            }
        }
    }
    const auto end = cp.crowded_pairs.end();
    while (pair != end && (*pair >> 32) < i) {
        ++pair;
    }
    for (; pair != end && (*pair >> 32) == i; ++pair) {
        // A segment's pairs lie all over the vertices, and every one is a miss of the cache
        // unless fetched early.
        constexpr std::ptrdiff_t ahead = 16;
        if (end - pair > ahead) {
            const auto later = static_cast<std::uint32_t>(pair[ahead]);
            __builtin_prefetch(cp.points.data() + later);
            __builtin_prefetch(cp.cells.members.data() + later);
        }
        auto m = static_cast<std::uint32_t>(*pair);
        auto t = on_path(s, box, cp.points[m]);
        if (!t) {
            stop("a hit");
        }
        hits.push_back(hit_at(cp.cells.members[m], *t));
    }
    std::sort(hits.begin(), hits.end(), [](const Hit& x, const Hit& y) {
        // Doubles further apart than both their errors order as the exact fractions do.
        constexpr double apart = 0x1p-49;
        if (x.near < y.near - apart || x.near > y.near + apart) {
            return x.near < y.near;
        }
        i128 l = x.t.num * y.t.den, r = y.t.num * x.t.den;
        if (l != r) {
            return l < r;
        }
        if (x.t.inclusive != y.t.inclusive) {
            return x.t.inclusive;
        }
        return x.vertex < y.vertex;
    });
}

// Sub-edge keys of every segment, cut at the vertices whose hot pixels it passes, in parts.
// A crossing cuts its two segments once each, so the keys number about the segments plus twice
// the crossings; room for a quarter more is reserved, which costs address space only, rather
// than let a list grow by copying while everything else is still held.
std::vector<std::vector<std::uint64_t>> sub_edges(std::span<const Seg> segs, const Grid& grid,
                                                  const Groups& seg_cells, const CellPoints& cp,
                                                  std::span<const std::uint32_t> next,
                                                  const Vertices& v, std::size_t crossing_count,
                                                  unsigned b) {
    const double per_segment =
        1.25 * (1.0 + 2.0 * static_cast<double>(crossing_count) / static_cast<double>(segs.size()));
    return par::map_chunks(segs.size(), [&](std::size_t first, std::size_t last) {
        std::vector<std::uint64_t> keys;
        keys.reserve(static_cast<std::size_t>(per_segment * static_cast<double>(last - first)) +
                     16);
        std::vector<std::uint64_t> cells;
        std::vector<Hit> hits;
        // The pairs are sorted by segment: one search per chunk, then a moving cursor.
        auto pair = std::lower_bound(cp.crowded_pairs.begin(), cp.crowded_pairs.end(),
                                     static_cast<std::uint64_t>(first) << 32);
        constexpr std::size_t ahead = 8;
        auto first_cell = [&](std::size_t j) {
            const Box box = segment_box(segs[j]);
            return grid.col(box.x0) + grid.columns * grid.row(box.y0);
        };
        for (std::size_t i = first; i < last; ++i) {
            // The cell lists and the row successors are read at random; what the next segments
            // need is fetched early, a cell's start in a step before its points and ids.
            if (i + 2 * ahead < last && !axis_parallel(segs[i + 2 * ahead])) {
                __builtin_prefetch(cp.cells.starts.data() + first_cell(i + 2 * ahead));
            }
            if (i + ahead < last) {
                const std::size_t j = i + ahead;
                if (!axis_parallel(segs[j])) {
                    const std::uint32_t start = cp.cells.starts[first_cell(j)];
                    __builtin_prefetch(cp.points.data() + start);
                    __builtin_prefetch(cp.cells.members.data() + start);
                } else if (segs[j].y1 == segs[j].y2) {
                    __builtin_prefetch(next.data() + std::min(v.start[j], v.start[segs[j].next]));
                }
            }
            const Seg& s = segs[i];
            const std::uint32_t from = v.start[i], to = v.start[s.next];
            if (axis_parallel(s)) {
                straight_keys(s, from, to, next, b, keys);
                continue;
            }
            diagonal_hits(segs, i, grid, seg_cells, cp, pair, hits, cells);
            std::uint32_t u = from;
            for (const Hit& h : hits) {
                push_key(keys, u, h.vertex, s.operand, b);
                u = h.vertex;
            }
            push_key(keys, u, to, s.operand, b);
        }
        return keys;
    });
}

// Winding changes across the pieces of an arrangement without diagonal segments, per operand
// (a union has one, and its second lists stay empty): from every vertex up to the next id,
// which is the next vertex up its column where there is a piece, and from every vertex to the
// next one right in its row. Indexed by vertex id.
struct Turns {
    par::List<std::int32_t> up[2];
    par::List<std::int32_t> across[2];
};

// Turns every entry into the sum of itself and all entries before it, in the order of ids when
// given, else in index order.
void running_sums(par::List<std::int32_t>& w, const par::List<std::uint32_t>* order) {
    auto at = [&](std::size_t i) -> std::int32_t& { return order ? w[(*order)[i]] : w[i]; };
    std::size_t n = w.size();
    std::size_t chunks = par::goes_parallel(n) ? par::chunk_count(n) : 1;
    // One chunk starts from zero: its total would be a pass for nothing.
    const std::vector<std::int32_t> carries =
        chunks == 1
            ? std::vector<std::int32_t>(2, 0)
            : par::chunk_offsets<std::int32_t>(n, chunks, [&](std::size_t b, std::size_t e) {
                  std::int32_t total = 0;
                  for (std::size_t i = b; i < e; ++i) {
                      total += at(i);
                  }
                  return total;
              });
    par::for_chunks(n, chunks, [&](std::size_t k, std::size_t b, std::size_t e) {
        std::int32_t sum = carries[k];
        for (std::size_t i = b; i < e; ++i) {
            sum += at(i);
            at(i) = sum;
        }
    });
}

// A straight segment changes the winding by the same amount across all pieces between its
// ends, which follow each other in id order (vertical) or row order (horizontal): the change
// is noted at the lower end and taken back at the upper, and running sums give the change
// across every piece. In parallel, workers add to shared entries atomically; integer sums do
// not depend on their order.
Turns straight_turns(std::span<const Seg> segs, const std::vector<std::uint32_t>& start,
                     std::size_t count, bool horizontal, bool two_operands) {
    Turns t;
    for (unsigned o = 0; o < (two_operands ? 2u : 1u); ++o) {
        par::resize(t.up[o], count);
        if (horizontal) {
            par::resize(t.across[o], count);
        }
    }
    const bool shared = par::goes_parallel(segs.size());
    auto add = [&](std::int32_t& w, std::int32_t d) {
        if (shared) {
            std::atomic_ref<std::int32_t>(w).fetch_add(d, std::memory_order_relaxed);
        } else {
            w += d;
        }
    };
    par::for_range(segs.size(), [&](std::size_t first, std::size_t last) {
        for (std::size_t i = first; i < last; ++i) {
            const Seg& s = segs[i];
            const std::uint32_t from = start[i], to = start[s.next];
            par::List<std::int32_t>& w = (s.x1 == s.x2 ? t.up : t.across)[s.operand];
            // Ids ascend up a column and along a row.
            const std::int32_t d = from < to ? 1 : -1;
            add(w[std::min(from, to)], d);
            add(w[std::max(from, to)], -d);
        }
    });
    return t;
}

// The pieces of an arrangement without diagonal segments, in (from, to) order: a vertex's piece
// up its column ends at the next id, its piece along its row further on, as the next vertex in
// the row lies in a later column.
par::List<SnapSeg> straight_pieces(const Turns& t, std::span<const std::uint32_t> next) {
    std::size_t n = t.up[0].size();
    auto turn = [](const par::List<std::int32_t>(&w)[2], std::size_t o, std::size_t v) {
        return w[o].empty() ? 0 : w[o][v];
    };
    auto for_each_piece = [&](std::size_t b, std::size_t e, auto&& emit) {
        for (std::size_t v = b; v < e; ++v) {
            const auto id = static_cast<std::uint32_t>(v);
            std::int32_t wa = turn(t.up, 0, v), wb = turn(t.up, 1, v);
            if (wa != 0 || wb != 0) {
                emit(SnapSeg{id, id + 1, wa, wb});
            }
            wa = turn(t.across, 0, v);
            wb = turn(t.across, 1, v);
            if (wa != 0 || wb != 0) {
                emit(SnapSeg{id, next[v], wa, wb});
            }
        }
    };
    // Counted first, so that the list is made at its size rather than grown by copying.
    std::size_t chunks = par::goes_parallel(n) ? par::chunk_count(n) : 1;
    std::vector<std::size_t> starts(chunks + 1, 0);
    par::for_chunks(n, chunks, [&](std::size_t k, std::size_t b, std::size_t e) {
        std::size_t c = 0;
        for_each_piece(b, e, [&](const SnapSeg&) { ++c; });
        starts[k + 1] = c;
    });
    for (std::size_t k = 0; k < chunks; ++k) {
        starts[k + 1] += starts[k];
    }
    par::List<SnapSeg> out;
    par::resize(out, starts[chunks]);
    par::SharedSlice<SnapSeg> slice(out);
    par::for_chunks(n, chunks, [&](std::size_t k, std::size_t b, std::size_t e) {
        std::size_t pos = starts[k];
        for_each_piece(b, e, [&](const SnapSeg& s) { slice.write(pos++, s); });
    });
    return out;
}

// Calls emit for every piece of keys[b, e) whose winding changes do not cancel.
template <class Emit>
void for_each_piece(const std::vector<std::uint64_t>& keys, std::size_t b, std::size_t e,
                    unsigned bits, Emit&& emit) {
    std::uint64_t mask = bits >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << bits) - 1;
    std::size_t i = b;
    while (i < e) {
        std::uint64_t piece = keys[i] >> 2;
        std::int32_t wa = 0, wb = 0;
        for (; i < e && (keys[i] >> 2) == piece; ++i) {
            std::int32_t d = (keys[i] & 1) ? 1 : -1;
            ((keys[i] & 2) ? wb : wa) += d;
        }
        if (wa == 0 && wb == 0) {
            continue;
        }
        emit(SnapSeg{static_cast<std::uint32_t>(piece >> bits),
                     static_cast<std::uint32_t>(piece & mask), wa, wb});
    }
}

// Merges runs of sorted sub-edge keys into pieces. In parallel, chunk borders move forward so
// that no run is split; every chunk counts its pieces first and then writes them straight into
// its own range of the result.
par::List<SnapSeg> merge(const std::vector<std::uint64_t>& keys, unsigned bits) {
    std::size_t n = keys.size();
    par::List<SnapSeg> out;
    if (!par::goes_parallel(n)) {
        out.reserve(n / 2);
        for_each_piece(keys, 0, n, bits, [&](const SnapSeg& s) { out.push_back(s); });
        return out;
    }
    std::size_t chunks = par::chunk_count(n);
    std::vector<std::size_t> bounds(chunks + 1);
    for (std::size_t k = 0; k <= chunks; ++k) {
        bounds[k] = par::chunk_start(k, n, chunks);
    }
    for (std::size_t k = 1; k < chunks; ++k) {
        std::size_t s = std::max(bounds[k - 1], bounds[k]);
        while (s > 0 && s < n && (keys[s] >> 2) == (keys[s - 1] >> 2)) {
            ++s;
        }
        bounds[k] = s;
    }
    auto range = [&](std::size_t k) {
        return std::pair{bounds[k], std::max(bounds[k], bounds[k + 1])};
    };
    std::vector<std::size_t> starts(chunks + 1, 0);
    base::pool::for_each(chunks, [&](std::size_t k) {
        auto [b, e] = range(k);
        std::size_t count = 0;
        for_each_piece(keys, b, e, bits, [&](const SnapSeg&) { ++count; });
        starts[k + 1] = count;
    });
    for (std::size_t k = 0; k < chunks; ++k) {
        starts[k + 1] += starts[k];
    }
    par::resize(out, starts[chunks]);
    par::SharedSlice<SnapSeg> slice(out);
    base::pool::for_each(chunks, [&](std::size_t k) {
        auto [b, e] = range(k);
        std::size_t pos = starts[k];
        for_each_piece(keys, b, e, bits, [&](const SnapSeg& s) { slice.write(pos++, s); });
    });
    return out;
}

} // namespace

namespace {

// a/b < c/d for positive denominators.
template <class I> bool less(I a, I b, I c, I d) {
    return a * d < c * b;
}

// The clipping of `on_path` for a point other than the segment's end points, in integers of
// type I. Every product below is of two numbers at most twice a side of the segment or an offset
// of the point from its start, plus one, so 64 bits are exact while those stay below 2^30.
template <class I> std::optional<PathHit> clip_to_pixel(const Seg& s, Point p) {
    I dx = s.x2 - s.x1, dy = s.y2 - s.y1;
    I w = dx * (p.y - s.y1) - dy * (p.x - s.x1);
    auto abs = [](I v) { return v < 0 ? -v : v; };
    if (2 * abs(w) > abs(dx) + abs(dy)) {
        return std::nullopt;
    }
    I sx = 2 * I{s.x1}, sy = 2 * I{s.y1}, ddx = 2 * dx, ddy = 2 * dy;
    I xmin = 2 * I{p.x} - 1, xmax = 2 * I{p.x} + 1;
    I ymin = 2 * I{p.y} - 1, ymax = 2 * I{p.y} + 1;
    I en = 0, ed = 1, xn = 1, xd = 1;
    bool enter_incl = true, exit_incl = true;
    // p * t <= q for each edge; inclusive edges keep equal bounds, exclusive ones mark them.
    auto clip = [&](I pp, I q, bool inclusive) {
        if (pp == 0) {
            return q >= 0;
        }
        I num = q, den = pp;
        if (den < 0) {
            num = -num;
            den = -den;
        }
        if (pp < 0) {
            if (less(en, ed, num, den)) {
                en = num;
                ed = den;
                enter_incl = inclusive;
            } else if (!inclusive && !less(num, den, en, ed)) {
                enter_incl = false;
            }
        } else {
            if (less(num, den, xn, xd)) {
                xn = num;
                xd = den;
                exit_incl = inclusive;
            } else if (!inclusive && !less(xn, xd, num, den)) {
                exit_incl = false;
            }
        }
        return true;
    };
    if (!clip(-ddx, sx - xmin, true) || !clip(ddx, xmax - sx, false) ||
        !clip(-ddy, sy - ymin, true) || !clip(ddy, ymax - sy, false)) {
        return std::nullopt;
    }
    bool enter_lt_exit = less(en, ed, xn, xd);
    bool equal = !enter_lt_exit && !less(xn, xd, en, ed);
    if (enter_lt_exit || (equal && enter_incl && exit_incl)) {
        return PathHit{en, ed, enter_incl};
    }
    return std::nullopt;
}

} // namespace

std::optional<PathHit> on_path(const Seg& s, const Box& box, Point p) {
    if (p.x < box.x0 || p.x > box.x1 || p.y < box.y0 || p.y > box.y1) {
        return std::nullopt;
    }
    if ((p.x == s.x1 && p.y == s.y1) || (p.x == s.x2 && p.y == s.y2)) {
        return std::nullopt;
    }
    // Measured on the segment and the point, not on `box`, which only has to hold the point: a
    // caller's box may be narrower than the segment.
    constexpr std::int64_t narrow = std::int64_t{1} << 30;
    const auto short_enough = [](std::int64_t d) { return d > -narrow && d < narrow; };
    if (short_enough(s.x2 - s.x1) && short_enough(s.y2 - s.y1) && short_enough(p.x - s.x1) &&
        short_enough(p.y - s.y1)) {
        return clip_to_pixel<std::int64_t>(s, p);
    }
    return clip_to_pixel<i128>(s, p);
}

namespace {

// The vertices of an arrangement and the keys of its sub-edges, not yet sorted.
struct Cut {
    par::List<Point> points;
    // The pieces themselves when no segment is diagonal, else the keys of their sub-edges.
    par::List<SnapSeg> pieces;
    std::vector<std::vector<std::uint64_t>> key_parts;
    unsigned bits = 0;
};

// Takes the segments so that they die here with the cell lists, before the keys'
// sort and merge need their room. Diagonal segments search the vertices by cell; while they
// do, the vertices are held in cell order only, and put back in id order afterwards.
Cut cut(par::List<Seg> segs) {
    // Boxes of segments are computed where needed: a list of them would cost more memory
    // traffic than the few comparisons it saves.
    Box bounds = segments_bounds(segs);
    Kinds kinds = kinds_of(segs);
    Grid grid =
        Grid::make(bounds, segs.size(), [&](std::size_t i) { return segment_box(segs[i]); });
    Groups seg_cells = Groups::build_parallel(segs.size(), grid.cell_count(),
                                              [&](std::size_t i, std::vector<std::uint64_t>& out) {
                                                  grid.cells_of(segs[i], segment_box(segs[i]), out);
                                              });
    std::vector<Point> crossings = all_crossings(segs, grid, seg_cells);
    const std::size_t crossing_count = crossings.size();
    Vertices v = distinct_points(segs, std::move(crossings), bounds);
    std::size_t count = v.points.size();
    if (count - 1 >= (std::size_t{1} << 31)) {
        stop("too many vertices");
    }
    unsigned b = bit_length(count - 1);
    Cut out;
    out.bits = b;
    par::List<std::uint32_t> rows =
        kinds.horizontal ? row_order(v.points, bounds) : par::List<std::uint32_t>();
    par::List<std::uint32_t> next =
        kinds.horizontal ? next_in_row(rows) : par::List<std::uint32_t>();
    if (!kinds.diagonal) {
        seg_cells = Groups();
        Turns turns = straight_turns(segs, v.start, count, kinds.horizontal, kinds.second_operand);
        par::List<Seg>().swap(segs);
        std::vector<std::uint32_t>().swap(v.start);
        for (unsigned o = 0; o < 2; ++o) {
            running_sums(turns.up[o], nullptr);
            running_sums(turns.across[o], &rows);
        }
        par::List<std::uint32_t>().swap(rows);
        out.pieces = straight_pieces(turns, next);
        out.points = std::move(v.points);
        return out;
    }
    par::List<std::uint32_t>().swap(rows);
    CellPoints cp = cell_points(segs, grid, seg_cells, std::move(v.points));
    out.key_parts = sub_edges(segs, grid, seg_cells, cp, next, v, crossing_count, b);
    par::List<Seg>().swap(segs);
    seg_cells = Groups();
    par::List<std::uint32_t>().swap(next);
    std::vector<std::uint32_t>().swap(v.start);
    std::vector<std::uint64_t>().swap(cp.crowded_pairs);
    out.points = points_by_id(cp);
    return out;
}

} // namespace

Snapped snap_round(par::List<Seg> segs) {
    Cut c = cut(std::move(segs));
    Snapped out;
    if (c.key_parts.empty()) {
        out.segments = std::move(c.pieces);
    } else {
        std::vector<std::uint64_t> keys = par::concat(std::move(c.key_parts));
        sort_keys(keys, 2 * c.bits + 2);
        out.segments = merge(keys, c.bits);
    }
    out.points = std::move(c.points);
    return out;
}

} // namespace quorvane_dsl::boolean::detail
