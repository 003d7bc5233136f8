// A uniform power-of-two grid over boxes or segments, and the per-cell member lists.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <vector>

#include "boolean/detail/par.hpp"
#include "boolean/types.hpp"

namespace quorvane_dsl::boolean::detail {

struct Grid {
    std::int64_t ox = 0;
    std::int64_t oy = 0;
    std::uint64_t columns = 1;
    std::uint64_t rows = 1;
    std::uint32_t shift = 0;

    // Cells at least as large as a typical box unless that crowds them, never more than
    // max(2n, 4) of them; box_at(i) gives box i of n, so that callers need not hold a list.
    template <class BoxAt> static Grid make(const Box& bounds, std::size_t n, BoxAt&& box_at);
    static Grid make(const Box& bounds, std::span<const Box> boxes) {
        return make(bounds, boxes.size(), [&](std::size_t i) { return boxes[i]; });
    }
    // The grid of make() whose typical box has the larger side `median`.
    static Grid sized(const Box& bounds, std::size_t n, std::int64_t median);

    std::uint64_t col(std::int64_t x) const {
        return (static_cast<std::uint64_t>(x) - static_cast<std::uint64_t>(ox)) >> shift;
    }
    std::uint64_t row(std::int64_t y) const {
        return (static_cast<std::uint64_t>(y) - static_cast<std::uint64_t>(oy)) >> shift;
    }
    std::uint64_t cell_of(Point p) const { return col(p.x) + columns * row(p.y); }
    std::uint64_t cell_count() const { return columns * rows; }
    std::int64_t cell_x(std::uint64_t g) const {
        return ox + static_cast<std::int64_t>((g % columns) << shift);
    }
    std::int64_t cell_y(std::uint64_t g) const {
        return oy + static_cast<std::int64_t>((g / columns) << shift);
    }

    void cells_of_box(const Box& b, std::vector<std::uint64_t>& out) const;
    // Cells the segment passes through, widened by one unit in every direction.
    void cells_of(const Seg& s, const Box& b, std::vector<std::uint64_t>& out) const;
};

// Members per cell, compressed: cell j holds members[starts[j] .. starts[j + 1]).
struct Groups {
    std::vector<std::uint32_t> starts;
    par::List<std::uint32_t> members;

    std::span<const std::uint32_t> of(std::size_t cell) const {
        return std::span<const std::uint32_t>(members).subspan(starts[cell],
                                                               starts[cell + 1] - starts[cell]);
    }

    // cells(i, out) appends the cell ids of item i to an emptied out. The members of a cell
    // come in item order.
    template <class CellsFn>
    static Groups build_parallel(std::size_t n, std::size_t cell_count, CellsFn&& cells);
};

template <class BoxAt> Grid Grid::make(const Box& bounds, std::size_t n, BoxAt&& box_at) {
    std::size_t step = (n + 1023) / 1024;
    std::vector<std::int64_t> sizes;
    sizes.reserve(1024);
    for (std::size_t i = 0; i < n; i += step) {
        const Box b = box_at(i);
        sizes.push_back(std::max(b.x1 - b.x0, b.y1 - b.y0));
    }
    auto mid = sizes.begin() + static_cast<std::ptrdiff_t>(sizes.size() / 2);
    std::nth_element(sizes.begin(), mid, sizes.end());
    return sized(bounds, n, *mid);
}

[[noreturn]] inline void cell_out_of_range() {
    std::fputs("cell id out of range\n", stderr);
    std::abort();
}

template <class CellsFn>
Groups Groups::build_parallel(std::size_t n, std::size_t cell_count, CellsFn&& cells) {
    // Calls visit(item, cell) for every cell of the items in [b, e).
    const auto each_cell = [&](std::size_t b, std::size_t e, auto&& visit) {
        std::vector<std::uint64_t> out;
        for (std::size_t i = b; i < e; ++i) {
            out.clear();
            cells(i, out);
            for (std::uint64_t j : out) {
                if (j >= cell_count) {
                    cell_out_of_range();
                }
                visit(i, j);
            }
        }
    };
    Groups g;
    if (!par::goes_parallel(n)) {
        g.starts.assign(cell_count + 1, 0);
        each_cell(0, n, [&](std::size_t, std::uint64_t j) { ++g.starts[j + 1]; });
        for (std::size_t i = 1; i <= cell_count; ++i) {
            g.starts[i] += g.starts[i - 1];
        }
        std::vector<std::uint32_t> cursor(g.starts.begin(), g.starts.end() - 1);
        g.members.resize(g.starts[cell_count]);
        each_cell(0, n, [&](std::size_t i, std::uint64_t j) {
            g.members[cursor[j]++] = static_cast<std::uint32_t>(i);
        });
        return g;
    }
    // Cells are taken in blocks of consecutive cells, few enough for every chunk to count its
    // entries per block without sharing counters. The entries go to their blocks in chunk
    // order, and every block then distributes its own to its cells, so that a cell lists its
    // members in item order, as sequentially, without atomic counters on shared memory.
    constexpr std::size_t max_blocks = 2048;
    unsigned shift = 0;
    while (((cell_count - 1) >> shift) + 1 > max_blocks) {
        ++shift;
    }
    const std::size_t blocks = ((cell_count - 1) >> shift) + 1;
    const std::size_t chunks = par::chunk_count(n);
    std::vector<std::size_t> offsets(chunks * blocks, 0);
    par::for_chunks(n, chunks, [&](std::size_t k, std::size_t b, std::size_t e) {
        std::size_t* count = offsets.data() + k * blocks;
        each_cell(b, e, [&](std::size_t, std::uint64_t j) { ++count[j >> shift]; });
    });
    std::vector<std::size_t> block_starts(blocks + 1, 0);
    std::size_t total = 0;
    for (std::size_t block = 0; block < blocks; ++block) {
        block_starts[block] = total;
        for (std::size_t k = 0; k < chunks; ++k) {
            std::size_t c = offsets[k * blocks + block];
            offsets[k * blocks + block] = total;
            total += c;
        }
    }
    block_starts[blocks] = total;
    // An entry: the cell's place in its block and the item.
    struct Entry {
        std::uint32_t place;
        std::uint32_t item;
    };
    par::List<Entry> entries;
    par::resize(entries, total);
    par::for_chunks(n, chunks, [&](std::size_t k, std::size_t b, std::size_t e) {
        std::size_t* next = offsets.data() + k * blocks;
        each_cell(b, e, [&](std::size_t i, std::uint64_t j) {
            entries[next[j >> shift]++] = {
                static_cast<std::uint32_t>(j & ((std::uint64_t{1} << shift) - 1)),
                static_cast<std::uint32_t>(i)};
        });
    });
    g.starts.resize(cell_count + 1);
    g.starts[cell_count] = static_cast<std::uint32_t>(total);
    par::resize(g.members, total);
    base::pool::for_each(blocks, [&](std::size_t block) {
        const std::size_t first_cell = block << shift;
        const std::size_t size = std::min(cell_count - first_cell, std::size_t{1} << shift);
        std::vector<std::uint32_t> cursor(size + 1, 0);
        for (std::size_t x = block_starts[block]; x < block_starts[block + 1]; ++x) {
            ++cursor[entries[x].place + 1];
        }
        cursor[0] = static_cast<std::uint32_t>(block_starts[block]);
        for (std::size_t c = 0; c < size; ++c) {
            cursor[c + 1] += cursor[c];
            g.starts[first_cell + c] = cursor[c];
        }
        for (std::size_t x = block_starts[block]; x < block_starts[block + 1]; ++x) {
            g.members[cursor[entries[x].place]++] = entries[x].item;
        }
    });
    return g;
}

// True when no two of the closed boxes share a point; false also when the test gives up.
bool boxes_apart(std::span<const Box> boxes);

} // namespace quorvane_dsl::boolean::detail
