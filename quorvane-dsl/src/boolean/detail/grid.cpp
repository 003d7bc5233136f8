#include "boolean/detail/grid.hpp"

#include <algorithm>
#include <bit>

namespace quorvane_dsl::boolean::detail {

namespace {

i128 floor_div(i128 num, i128 den) {
    if (den < 0) {
        num = -num;
        den = -den;
    }
    i128 q = num / den;
    if (num % den < 0) {
        --q;
    }
    return q;
}

i128 ceil_div(i128 num, i128 den) {
    return -floor_div(-num, den);
}

} // namespace

// The average number of items per cell above which the grid is refined.
constexpr std::size_t crowd_per_cell = 24;

Grid Grid::sized(const Box& bounds, std::size_t n, std::int64_t median) {
    std::uint32_t shift =
        median <= 1
            ? 0
            : static_cast<std::uint32_t>(std::bit_width(static_cast<std::uint64_t>(median - 1)));
    std::uint64_t w = static_cast<std::uint64_t>(bounds.x1) - static_cast<std::uint64_t>(bounds.x0);
    std::uint64_t h = static_cast<std::uint64_t>(bounds.y1) - static_cast<std::uint64_t>(bounds.y0);
    auto cells = [&](std::uint32_t s) { return static_cast<u128>((w >> s) + 1) * ((h >> s) + 1); };
    // Where layers pile up, cells of the typical size hold so many members that the pairwise
    // tests within a cell dominate: such cells are halved until they hold few on average.
    while (shift > 0 && cells(shift) * crowd_per_cell < n) {
        --shift;
    }
    u128 limit = std::max<std::uint64_t>(2 * n, 4);
    while (shift < 64 && cells(shift) > limit) {
        ++shift;
    }
    Grid g;
    g.ox = bounds.x0;
    g.oy = bounds.y0;
    g.columns = (w >> shift) + 1;
    g.rows = (h >> shift) + 1;
    g.shift = shift;
    return g;
}

void Grid::cells_of_box(const Box& b, std::vector<std::uint64_t>& out) const {
    std::uint64_t cx0 = col(b.x0), cx1 = col(b.x1), cy0 = row(b.y0), cy1 = row(b.y1);
    for (std::uint64_t cy = cy0; cy <= cy1; ++cy) {
        for (std::uint64_t cx = cx0; cx <= cx1; ++cx) {
            out.push_back(cx + columns * cy);
        }
    }
}

void Grid::cells_of(const Seg& s, const Box& b, std::vector<std::uint64_t>& out) const {
    std::uint64_t cx0 = col(b.x0), cx1 = col(b.x1), cy0 = row(b.y0), cy1 = row(b.y1);
    if (cx0 == cx1 || cy0 == cy1 || (cx1 - cx0 == 1 && cy1 - cy0 == 1)) {
        cells_of_box(b, out);
        return;
    }
    i128 dx = s.x2 - s.x1;
    i128 dy = s.y2 - s.y1;
    auto floor_at = [&](i128 x) { return floor_div(i128{s.y1} * dx + (x - s.x1) * dy, dx); };
    auto ceil_at = [&](i128 x) { return ceil_div(i128{s.y1} * dx + (x - s.x1) * dy, dx); };
    i128 side = i128{1} << shift;
    for (std::uint64_t cx = cx0; cx <= cx1; ++cx) {
        i128 left = i128{ox} + i128(cx) * side;
        i128 xl = std::max<i128>(left - 1, b.x0);
        i128 xr = std::min<i128>(left + side + 1, b.x1);
        i128 ylo = std::max<i128>(std::min(floor_at(xl), floor_at(xr)) - 1, b.y0);
        i128 yhi = std::min<i128>(std::max(ceil_at(xl), ceil_at(xr)) + 1, b.y1);
        std::uint64_t r0 = row(static_cast<std::int64_t>(ylo));
        std::uint64_t r1 = row(static_cast<std::int64_t>(yhi));
        for (std::uint64_t cy = r0; cy <= r1; ++cy) {
            out.push_back(cx + columns * cy);
        }
    }
}

bool boxes_apart(std::span<const Box> boxes) {
    std::size_t n = boxes.size();
    if (n <= 1) {
        return true;
    }
    if (n <= 16) {
        for (std::size_t i = 0; i < n; ++i) {
            for (std::size_t j = i + 1; j < n; ++j) {
                if (boxes_touch(boxes[i], boxes[j])) {
                    return false;
                }
            }
        }
        return true;
    }
    Box bounds = empty_box;
    for (const Box& b : boxes) {
        bounds = box_union(bounds, b);
    }
    Grid grid = Grid::make(bounds, boxes);
    u128 covered = 0;
    for (const Box& b : boxes) {
        covered += static_cast<u128>(grid.col(b.x1) - grid.col(b.x0) + 1) *
                   (grid.row(b.y1) - grid.row(b.y0) + 1);
        if (covered > 4 * static_cast<u128>(n)) {
            return false;
        }
    }
    Groups groups = Groups::build_parallel(
        n, grid.cell_count(),
        [&](std::size_t i, std::vector<std::uint64_t>& out) { grid.cells_of_box(boxes[i], out); });
    for (std::size_t c = 0; c < grid.cell_count(); ++c) {
        auto members = groups.of(c);
        for (std::size_t i = 0; i < members.size(); ++i) {
            for (std::size_t j = i + 1; j < members.size(); ++j) {
                if (boxes_touch(boxes[members[i]], boxes[members[j]])) {
                    return false;
                }
            }
        }
    }
    return true;
}

} // namespace quorvane_dsl::boolean::detail
