// Tests that let rings pass through the engine unchanged.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "boolean/types.hpp"

namespace quorvane_dsl::boolean::detail {

struct Edge {
    Seg seg;
    Box box;
};

struct SharedStart {
    Point point;
    std::uint32_t edge = 0;
    friend auto operator<=>(const SharedStart&, const SharedStart&) = default;
};

struct Untouched {
    std::vector<bool> flags; // edges of doubled-back pairs
    std::vector<SharedStart> shared;
};

// The edges of one ring: edge i runs from point i to point i + 1 (cyclically).
std::vector<Edge> ring_edges(std::span<const Point> ring);

// No result when two edges cross, an edge is repeated, or a vertex lies in another edge's path.
std::optional<Untouched> untouched(std::span<const Edge> edges);

} // namespace quorvane_dsl::boolean::detail
