// Records shared by the phases of the polygon boolean engine.
#pragma once

#include <algorithm>
#include <compare>
#include <cstdint>
#include <limits>
#include <optional>
#include <span>
#include <vector>

namespace quorvane_dsl::boolean {

// Exact products and sums of coordinates.
using i128 = __int128;
using u128 = unsigned __int128;

// A point in database units.
struct Point {
    std::int64_t x = 0;
    std::int64_t y = 0;
    friend auto operator<=>(const Point&, const Point&) = default;
};

// A ring is closed implicitly: the last point connects back to the first.
using Ring = std::vector<Point>;
using Polygons = std::vector<Ring>;

// The points of all the rings, which decides whether a step goes to the pool.
inline std::size_t point_count(std::span<const Ring> rings) {
    std::size_t count = 0;
    for (const Ring& ring : rings) {
        count += ring.size();
    }
    return count;
}

// Twice the signed area of a ring (positive when counter-clockwise), exact for coordinates in
// the engine's range.
inline i128 twice_area(std::span<const Point> ring) {
    i128 sum = 0;
    for (std::size_t i = 0; i < ring.size(); ++i) {
        const Point& a = ring[i];
        const Point& b = ring[(i + 1) % ring.size()];
        sum += i128(a.x) * b.y - i128(b.x) * a.y;
    }
    return sum;
}

// Closed axis-parallel box: min x, min y, max x, max y.
struct Box {
    std::int64_t x0 = 0;
    std::int64_t y0 = 0;
    std::int64_t x1 = 0;
    std::int64_t y1 = 0;
    friend bool operator==(const Box&, const Box&) = default;
};

inline constexpr Box empty_box{
    std::numeric_limits<std::int64_t>::max(), std::numeric_limits<std::int64_t>::max(),
    std::numeric_limits<std::int64_t>::min(), std::numeric_limits<std::int64_t>::min()};

inline bool boxes_touch(const Box& a, const Box& b) {
    return a.x0 <= b.x1 && b.x0 <= a.x1 && a.y0 <= b.y1 && b.y0 <= a.y1;
}

inline Box box_union(const Box& a, const Box& b) {
    return {a.x0 < b.x0 ? a.x0 : b.x0, a.y0 < b.y0 ? a.y0 : b.y0, a.x1 > b.x1 ? a.x1 : b.x1,
            a.y1 > b.y1 ? a.y1 : b.y1};
}

// The smallest box holding all the points; empty_box when there are none.
inline Box bounds(std::span<const Point> points) {
    Box box = empty_box;
    for (const Point& q : points) {
        box = box_union(box, Box{q.x, q.y, q.x, q.y});
    }
    return box;
}

inline int sign(i128 v) {
    return (v > 0) - (v < 0);
}

inline i128 cross(i128 ux, i128 uy, i128 wx, i128 wy) {
    return ux * wy - uy * wx;
}

// Cross product of origin->u_end and origin->w_end: positive when w_end lies left of the first.
inline i128 cross_at(Point origin, Point u_end, Point w_end) {
    return cross(i128(u_end.x) - origin.x, i128(u_end.y) - origin.y, i128(w_end.x) - origin.x,
                 i128(w_end.y) - origin.y);
}

// Winding number of a ring around q; nullopt when q lies on one of its edges.
inline std::optional<int> winding_around(std::span<const Point> ring, Point q) {
    int w = 0;
    for (std::size_t i = 0; i < ring.size(); ++i) {
        const Point& a = ring[i];
        const Point& b = ring[(i + 1) % ring.size()];
        const i128 c = cross_at(a, b, q);
        if (c == 0 && q.x >= std::min(a.x, b.x) && q.x <= std::max(a.x, b.x) &&
            q.y >= std::min(a.y, b.y) && q.y <= std::max(a.y, b.y)) {
            return std::nullopt;
        }
        if (a.y <= q.y && q.y < b.y && c > 0) {
            ++w;
        } else if (b.y <= q.y && q.y < a.y && c < 0) {
            --w;
        }
    }
    return w;
}

// Operation codes of a boolean between two polygon sets.
enum class Op : std::uint8_t { Union = 0, Intersection = 1, Difference = 2, Xor = 3 };

// What counts as inside, as a test on the winding numbers of the two operands.
enum class Rule : std::uint8_t {
    Union,        // wa > 0 or wb > 0
    Intersection, // wa > 0 and wb > 0
    Difference,   // wa > 0 and not wb > 0
    Xor,          // exactly one of wa > 0, wb > 0
    NonZero,      // wa != 0 (one polygon filled by the nonzero rule)
    Positive,     // wa > 0 (offsetting)
};

inline Rule rule_of(Op op) {
    switch (op) {
    case Op::Union:
        return Rule::Union;
    case Op::Intersection:
        return Rule::Intersection;
    case Op::Difference:
        return Rule::Difference;
    case Op::Xor:
        return Rule::Xor;
    }
    return Rule::Union;
}

// One directed input segment; `next` is the index of the segment starting at this one's end.
struct Seg {
    std::int64_t x1 = 0;
    std::int64_t y1 = 0;
    std::int64_t x2 = 0;
    std::int64_t y2 = 0;
    std::uint32_t operand = 0;
    std::uint32_t next = 0;
};

// One piece of the snapped arrangement, running from the smaller to the larger vertex id,
// with the winding change of each operand across it. The end points live once, in the vertex
// list: there are about as many pieces as input points, and their coordinates would triple the
// arrangement's size.
struct SnapSeg {
    std::uint32_t from = 0;
    std::uint32_t to = 0;
    std::int32_t wa = 0;
    std::int32_t wb = 0;
};

// A directed boundary piece of a result, as vertex ids, with the inside on its left.
struct Pair {
    std::uint32_t from = 0;
    std::uint32_t to = 0;
};

} // namespace quorvane_dsl::boolean
