// Directed segments of a ring store, their boxes and exact crossings.
#pragma once

#include <algorithm>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "boolean/detail/grid.hpp"
#include "boolean/types.hpp"

namespace quorvane_dsl::boolean::detail {

inline Box segment_box(const Seg& s) {
    return {std::min(s.x1, s.x2), std::min(s.y1, s.y2), std::max(s.x1, s.x2), std::max(s.y1, s.y2)};
}

// The box of all segments.
Box segments_bounds(std::span<const Seg> segments);

// The proper crossing of two segments, rounded to the nearest grid point (halves upward).
std::optional<Point> crossing(const Seg& a, const Seg& b);

// A two-way partition tree over the segments of one crowded grid cell.
struct SegTree {
    struct Node {
        Box box;
        bool leaf = true;
        std::uint32_t a = 0; // leaf: index into leaves; inner: low child
        std::uint32_t b = 0; // inner: high child
    };
    std::vector<Node> nodes;
    std::vector<std::vector<std::uint32_t>> leaves;

    std::uint32_t build(std::span<const Seg> segments, const Box& box,
                        std::vector<std::uint32_t> items);
};

// Whether the segment meets the closed box.
bool segment_meets_box(const Seg& s, const Box& sbox, const Box& box);

// Appends the crossing points lying in grid cell g, in any order; a point where several pairs
// cross may repeat.
void cell_crossings(std::uint64_t g, std::span<const std::uint32_t> list,
                    std::span<const Seg> segments, const Grid& grid, std::vector<Point>& out);

} // namespace quorvane_dsl::boolean::detail
