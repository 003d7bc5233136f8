// The tile grid of one top cell: blocked positions, the fill region and the blocks of free tiles.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <expected>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

#include "boolean/types.hpp"

namespace quorvane_dsl::dummy {

// The integer quantities of one rule, in database units.
struct Pitch {
    std::int64_t size = 1;    // tile side S
    std::int64_t pitch = 1;   // grid pitch P
    std::int64_t keepout = 0; // K
    bool stagger = false;
    // Odd rows of a staggered grid move right by half a pitch.
    std::int64_t offset(std::int64_t row) const { return stagger && (row & 1) ? pitch / 2 : 0; }
    std::int64_t row_step() const { return stagger ? 2 : 1; }
};

// Tiles go into a box, or inside polygon rings by their summed winding.
using Region = std::variant<boolean::Box, boolean::Polygons>;

// More grid positions than this make the fill refuse the area.
inline constexpr std::uint64_t max_positions = std::uint64_t{1} << 32;

struct Grid {
    Pitch pitch;
    std::int64_t i_lo = 0;
    std::int64_t i_hi = 0;
    std::int64_t j_lo = 0;
    std::int64_t j_hi = 0;
    // One byte per position, row by row; see the bits in grid.cpp. Zeroed by calloc, so pages
    // that no shape marks never take memory of their own.
    std::unique_ptr<std::uint8_t, void (*)(void*)> mask{nullptr, std::free};

    std::int64_t columns() const { return i_hi - i_lo + 1; }
    std::uint8_t* row(std::int64_t j) {
        return mask.get() + static_cast<std::size_t>((j - j_lo) * columns());
    }
};

// The grid over the box (x0, y0, x1, y1) of a region; none when no tile can fit, an error when
// it has more than `max_positions` positions or its mask cannot be had.
std::expected<std::optional<Grid>, std::string> make_grid(const Pitch& pitch,
                                                          const boolean::Box& frame);

// Marks every position whose tile, grown by the keepout, overlaps the shape.
void block_box(Grid& grid, const boolean::Box& box);
void block_polygon(Grid& grid, std::span<const boolean::Point> ring);

// Records, for a polygon region, which tiles lie inside its rings.
void mark_region(Grid& grid, std::span<const boolean::Ring> rings);

// A rectangle of tiles: `length` columns from `start`, `rows` rows one row step apart.
struct Block {
    std::int64_t start = 0;
    std::int64_t length = 0;
    std::int64_t first_row = 0;
    std::int64_t rows = 0;
};

struct Blocks {
    std::vector<Block> blocks;
    std::uint64_t tiles = 0;
};

// The free tiles inside the region, merged into blocks ordered by first row, then start column.
Blocks free_blocks(Grid& grid, const Region& region);

// Does the segment a->b cross the open rectangle (left, bottom, right, top)?
bool edge_crosses(boolean::Point a, boolean::Point b, const boolean::Box& open);

} // namespace quorvane_dsl::dummy
