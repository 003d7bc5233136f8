// The shapes of one top cell that matter to a fill rule, brought into the top cell's frame.
#pragma once

#include <cstdint>
#include <expected>
#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

#include "boolean/types.hpp"
#include "ir/model.hpp"

namespace quorvane_dsl::dummy {

// The layers one rule looks at, as indices into the library's layers.
struct Targets {
    std::uint64_t fill = 0;
    std::vector<std::uint64_t> exclude;
    std::optional<std::uint64_t> area;
};

// Where a cell's contents land in the top cell: mirrored (y to -y) first, then turned by
// `angle` degrees (already normalised), then moved; positions stay unrounded.
struct Placement {
    double angle = 0;
    double x = 0;
    double y = 0;
    bool mirror = false;
};

// A shape that keeps tiles away: a box, or a polygon ring of at least three points.
using Blocker = std::variant<boolean::Box, boolean::Ring>;

struct Stepped;

struct Flattened {
    std::vector<Blocker> blocking;
    std::vector<boolean::Ring> area;
    // Arrays whose elements land a whole number of units apart without turning: kept as one
    // element and its steps rather than one copy per element.
    std::vector<Stepped> stepped;
};

// The blocking shapes of an array's first element, repeated at u * `column` + v * `row` for
// u below `columns` and v below `rows`. Every repeat lies within the coordinate limit.
struct Stepped {
    Flattened element;
    boolean::Point column;
    boolean::Point row;
    std::uint64_t columns = 0;
    std::uint64_t rows = 0;
};

// Flattening stops with an error beyond this many placed cells and shapes, so that nested
// arrays cannot make a fill run without end.
inline constexpr std::uint64_t max_flattened = std::uint64_t{1} << 28;

// The blocking shapes (fill and exclude layers, blackbox footprints) and the area outlines of
// `top`, in its coordinates. The library must be free of cycles.
std::expected<Flattened, std::string> flatten(const ir::Library& library, std::uint64_t top,
                                              const Targets& targets);

// Per cell: 2 not yet known, 0 nothing below it matters to the targets, 1 something does.
using RelevanceMemo = std::vector<std::uint8_t>;

bool is_relevant(const ir::Library& library, std::uint64_t cell, const Targets& targets,
                 RelevanceMemo& memo);

// The ring moved by the placement, rounded to whole units: a box when it is an axis-aligned
// rectangle, else a polygon.
Blocker place(std::span<const boolean::Point> ring, const Placement& placement);

} // namespace quorvane_dsl::dummy
