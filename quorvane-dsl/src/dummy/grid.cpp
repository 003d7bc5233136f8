#include "dummy/grid.hpp"

#include <algorithm>
#include <cmath>

namespace quorvane_dsl::dummy {

namespace {

using boolean::Point;
using i128 = __int128;

// The bits of a mask byte.
constexpr std::uint8_t blocked = 1;       // a shape keeps the tile away
constexpr std::uint8_t region_edge = 2;   // a region edge crosses the tile
constexpr std::uint8_t region_inside = 4; // the tile's centre lies inside the region

template <typename T> T floor_div(T a, T b) {
    if (b < 0) {
        a = -a;
        b = -b;
    }
    const T q = a / b;
    return q - (a % b < 0 ? 1 : 0);
}

template <typename T> T ceil_div(T a, T b) {
    return -floor_div<T>(-a, b);
}

std::string decimal(unsigned __int128 value) {
    std::string digits;
    do {
        digits.insert(digits.begin(), static_cast<char>('0' + static_cast<int>(value % 10)));
        value /= 10;
    } while (value != 0);
    return digits;
}

void mark_columns(Grid& grid, std::int64_t j, std::int64_t from, std::int64_t to,
                  std::uint8_t bit) {
    from = std::max(from, grid.i_lo);
    to = std::min(to, grid.i_hi);
    std::uint8_t* row = grid.row(j);
    for (std::int64_t i = from; i <= to; ++i) {
        row[i - grid.i_lo] |= bit;
    }
}

// Marks with `bit` every position whose tile, grown by `grow`, some edge of the ring crosses.
// Per row only the columns near the edge's stretch within that row are tested exactly.
void mark_crossings(Grid& grid, std::span<const Point> ring, std::int64_t grow, std::uint8_t bit) {
    const Pitch& p = grid.pitch;
    const std::int64_t s = p.size;
    const std::int64_t pt = p.pitch;
    for (std::size_t e = 0; e < ring.size(); ++e) {
        const Point a = ring[e];
        const Point b = ring[(e + 1) % ring.size()];
        const std::int64_t min_x = std::min(a.x, b.x);
        const std::int64_t max_x = std::max(a.x, b.x);
        const std::int64_t min_y = std::min(a.y, b.y);
        const std::int64_t max_y = std::max(a.y, b.y);
        const std::int64_t j0 = std::max(grid.j_lo, floor_div(min_y - s - grow, pt) + 1);
        const std::int64_t j1 = std::min(grid.j_hi, ceil_div(max_y + grow, pt) - 1);
        for (std::int64_t j = j0; j <= j1; ++j) {
            const std::int64_t lo = j * pt - grow;
            const std::int64_t hi = j * pt + s + grow;
            std::int64_t xl = min_x;
            std::int64_t xr = max_x;
            if (a.y != b.y) {
                // A float estimate of the edge's stretch in this band, widened by a unit on
                // each side; the exact test below decides.
                const auto x_at = [&](std::int64_t y) {
                    return static_cast<double>(a.x) + static_cast<double>(y - a.y) *
                                                          static_cast<double>(b.x - a.x) /
                                                          static_cast<double>(b.y - a.y);
                };
                const double xa = x_at(std::max(min_y, lo));
                const double xb = x_at(std::min(max_y, hi));
                xl = std::max(min_x, static_cast<std::int64_t>(std::floor(std::min(xa, xb))) - 1);
                xr = std::min(max_x, static_cast<std::int64_t>(std::ceil(std::max(xa, xb))) + 1);
            }
            const std::int64_t off = p.offset(j);
            const std::int64_t i0 = std::max(grid.i_lo, floor_div(xl - off - s - grow, pt) + 1);
            const std::int64_t i1 = std::min(grid.i_hi, ceil_div(xr - off + grow, pt) - 1);
            std::uint8_t* row = grid.row(j);
            for (std::int64_t i = i0; i <= i1; ++i) {
                std::uint8_t& cell = row[i - grid.i_lo];
                if (cell & bit) {
                    continue;
                }
                const std::int64_t left = i * pt + off;
                if (edge_crosses(a, b, {left - grow, lo, left + s + grow, hi})) {
                    cell |= bit;
                }
            }
        }
    }
}

// Where the winding number at tile centres changes along one row: every column below
// `threshold` gets `delta` from one edge.
struct Step {
    std::int64_t row = 0;
    std::int64_t threshold = 0;
    int delta = 0;
    auto operator<=>(const Step&) const = default;
};

// The winding test at tile centres, in doubled coordinates so that centres are integer points:
// an edge a->b whose span min(a.y, b.y) <= c.y < max(a.y, b.y) adds +1 (upward) or -1
// (downward) to every centre strictly left of where it meets the row's centre line.
void add_steps(const Grid& grid, std::span<const Point> ring, std::vector<Step>& steps) {
    const Pitch& p = grid.pitch;
    const i128 s = p.size;
    const i128 two_p = i128(2) * p.pitch;
    for (std::size_t e = 0; e < ring.size(); ++e) {
        const Point a = ring[e];
        const Point b = ring[(e + 1) % ring.size()];
        if (a.y == b.y) {
            continue;
        }
        const i128 ax = i128(2) * a.x;
        const i128 ay = i128(2) * a.y;
        const i128 dx = i128(2) * (i128(b.x) - a.x);
        const i128 dy = i128(2) * (i128(b.y) - a.y);
        const i128 y_min = i128(2) * std::min(a.y, b.y);
        const i128 y_max = i128(2) * std::max(a.y, b.y);
        const std::int64_t j0 = std::max<std::int64_t>(
            grid.j_lo, static_cast<std::int64_t>(ceil_div(y_min - s, two_p)));
        const std::int64_t j1 = std::min<std::int64_t>(
            grid.j_hi, static_cast<std::int64_t>(ceil_div(y_max - s, two_p) - 1));
        const int delta = dy > 0 ? 1 : -1;
        for (std::int64_t j = j0; j <= j1; ++j) {
            const i128 cy = two_p * j + s;
            // The centre c counts when c.x - a.x < dx (c.y - a.y) / dy, i.e. c.x < x_cross.
            const i128 x_cross = ax + ceil_div(dx * (cy - ay), dy);
            const i128 first_out = ceil_div(x_cross - s - i128(2) * p.offset(j), two_p);
            const i128 clamped = std::clamp<i128>(first_out, grid.i_lo, i128(grid.i_hi) + 1);
            steps.push_back({j, static_cast<std::int64_t>(clamped), delta});
        }
    }
}

// Marks with `bit` the positions whose centre has a non-zero summed winding.
void mark_winding(Grid& grid, std::vector<Step>& steps, std::uint8_t bit) {
    std::sort(steps.begin(), steps.end());
    for (std::size_t first = 0; first < steps.size();) {
        const std::int64_t j = steps[first].row;
        std::size_t last = first;
        int winding = 0;
        while (last < steps.size() && steps[last].row == j) {
            winding += steps[last].delta;
            ++last;
        }
        // Left of every threshold all steps count; each threshold passed drops its own.
        std::int64_t column = grid.i_lo;
        for (std::size_t k = first; k < last; ++k) {
            if (steps[k].threshold > column) {
                if (winding != 0) {
                    mark_columns(grid, j, column, steps[k].threshold - 1, bit);
                }
                column = steps[k].threshold;
            }
            winding -= steps[k].delta;
        }
        first = last;
    }
}

// Runs of one row as (start, length), in column order.
struct Run {
    std::int64_t start = 0;
    std::int64_t length = 0;
};

} // namespace

bool edge_crosses(Point a, Point b, const boolean::Box& open) {
    if (std::min(a.y, b.y) >= open.y1 || std::max(a.y, b.y) <= open.y0 ||
        std::max(a.x, b.x) <= open.x0 || std::min(a.x, b.x) >= open.x1) {
        return false;
    }
    if (a == b) {
        return true;
    }
    const i128 dx = i128(b.x) - a.x;
    const i128 dy = i128(b.y) - a.y;
    i128 lowest = 0;
    i128 highest = 0;
    const Point corners[] = {
        {open.x0, open.y0}, {open.x1, open.y0}, {open.x1, open.y1}, {open.x0, open.y1}};
    for (std::size_t k = 0; k < 4; ++k) {
        const i128 side = dx * (i128(corners[k].y) - a.y) - dy * (i128(corners[k].x) - a.x);
        lowest = k == 0 ? side : std::min(lowest, side);
        highest = k == 0 ? side : std::max(highest, side);
    }
    return highest > 0 && lowest < 0;
}

std::expected<std::optional<Grid>, std::string> make_grid(const Pitch& pitch,
                                                          const boolean::Box& frame) {
    const std::int64_t s = pitch.size;
    const std::int64_t pt = pitch.pitch;
    Grid grid{.pitch = pitch,
              // One more column on the left than the frame needs: staggered rows start there.
              .i_lo = floor_div(frame.x0 - pt, pt),
              .i_hi = floor_div(frame.x1 - s, pt),
              .j_lo = floor_div(frame.y0, pt),
              .j_hi = floor_div(frame.y1 - s, pt)};
    if (grid.j_hi < grid.j_lo || grid.i_hi < grid.i_lo) {
        return std::nullopt;
    }
    const unsigned __int128 positions = static_cast<unsigned __int128>(grid.columns()) *
                                        static_cast<unsigned __int128>(grid.j_hi - grid.j_lo + 1);
    if (positions > max_positions) {
        return std::unexpected("the dummy grid would have " + decimal(positions) +
                               " tiles; use larger tiles or a smaller area");
    }
    grid.mask.reset(
        static_cast<std::uint8_t*>(std::calloc(static_cast<std::size_t>(positions), 1)));
    if (!grid.mask) {
        return std::unexpected("the dummy grid of " + decimal(positions) +
                               " tiles does not fit in memory; use larger tiles or a smaller area");
    }
    return grid;
}

void block_box(Grid& grid, const boolean::Box& box) {
    const Pitch& p = grid.pitch;
    const std::int64_t reach = p.size + p.keepout;
    // Strict overlap of the open grown tile and the open box on both axes.
    const std::int64_t j0 = std::max(grid.j_lo, floor_div(box.y0 - reach, p.pitch) + 1);
    const std::int64_t j1 = std::min(grid.j_hi, ceil_div(box.y1 + p.keepout, p.pitch) - 1);
    for (std::int64_t j = j0; j <= j1; ++j) {
        const std::int64_t off = p.offset(j);
        mark_columns(grid, j, floor_div(box.x0 - off - reach, p.pitch) + 1,
                     ceil_div(box.x1 - off + p.keepout, p.pitch) - 1, blocked);
    }
}

void block_polygon(Grid& grid, std::span<const Point> ring) {
    if (ring.empty()) {
        return;
    }
    mark_crossings(grid, ring, grid.pitch.keepout, blocked);
    std::vector<Step> steps;
    add_steps(grid, ring, steps);
    mark_winding(grid, steps, blocked);
}

void mark_region(Grid& grid, std::span<const boolean::Ring> rings) {
    std::vector<Step> steps;
    for (const boolean::Ring& ring : rings) {
        mark_crossings(grid, ring, 0, region_edge);
        add_steps(grid, ring, steps);
    }
    mark_winding(grid, steps, region_inside);
}

Blocks free_blocks(Grid& grid, const Region& region) {
    const Pitch& p = grid.pitch;
    const std::int64_t step = p.row_step();
    const auto* box = std::get_if<boolean::Box>(&region);
    Blocks out;
    // Blocks still open, per row parity class, waiting for a row `step` further up; each list
    // is in column order, as the runs of a row are.
    std::vector<std::vector<Block>> waiting(static_cast<std::size_t>(step));
    std::vector<Run> runs;
    for (std::int64_t j = grid.j_lo; j <= grid.j_hi; ++j) {
        const std::int64_t off = p.offset(j);
        std::int64_t first = grid.i_lo;
        std::int64_t last = grid.i_hi;
        if (box) {
            const bool rows_fit = box->y0 <= j * p.pitch && j * p.pitch + p.size <= box->y1;
            first = std::max(first, ceil_div(box->x0 - off, p.pitch));
            last =
                rows_fit ? std::min(last, floor_div(box->x1 - p.size - off, p.pitch)) : first - 1;
        }
        const std::uint8_t* row = grid.row(j);
        const std::uint8_t refused = box ? blocked : blocked | region_edge;
        const std::uint8_t wanted = box ? 0 : region_inside;
        runs.clear();
        for (std::int64_t i = first; i <= last; ++i) {
            const std::uint8_t cell = row[i - grid.i_lo];
            if ((cell & refused) != 0 || (cell & wanted) != wanted) {
                continue;
            }
            ++out.tiles;
            if (!runs.empty() && runs.back().start + runs.back().length == i) {
                ++runs.back().length;
            } else {
                runs.push_back({i, 1});
            }
        }
        // Both lists are in column order, so one merge pairs runs with the blocks above them.
        std::vector<Block>& open = waiting[static_cast<std::size_t>((j - grid.j_lo) % step)];
        std::vector<Block> next;
        next.reserve(runs.size());
        std::size_t k = 0;
        for (const Run& run : runs) {
            while (k < open.size() && open[k].start < run.start) {
                out.blocks.push_back(open[k++]);
            }
            if (k < open.size() && open[k].start == run.start && open[k].length == run.length) {
                Block grown = open[k++];
                ++grown.rows;
                next.push_back(grown);
            } else {
                next.push_back({run.start, run.length, j, 1});
            }
        }
        out.blocks.insert(out.blocks.end(), open.begin() + static_cast<std::ptrdiff_t>(k),
                          open.end());
        open = std::move(next);
    }
    for (const std::vector<Block>& open : waiting) {
        out.blocks.insert(out.blocks.end(), open.begin(), open.end());
    }
    std::sort(out.blocks.begin(), out.blocks.end(), [](const Block& a, const Block& b) {
        return a.first_row != b.first_row ? a.first_row < b.first_row : a.start < b.start;
    });
    return out;
}

} // namespace quorvane_dsl::dummy
