// The ring store: the rings of one or two polygon sets in flat lists.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "boolean/detail/par.hpp"
#include "boolean/types.hpp"

namespace quorvane_dsl::boolean::detail {

// How an input polygon was taken in.
enum class Kind : std::uint8_t { Convex = 0, Simple = 1, Resolved = 2 };

struct PolygonEntry {
    Box box;
    std::uint64_t first_ring = 0;
    Kind kind = Kind::Convex;
};

struct Rings {
    std::vector<Point> points;
    std::vector<std::uint64_t> ends;
    std::vector<PolygonEntry> entries;
    // Index of the first point of the second operand; all points belong to the first by default.
    std::uint64_t b_start = std::numeric_limits<std::uint64_t>::max();

    std::size_t ring_count() const { return ends.size(); }
    std::uint64_t ring_begin(std::size_t i) const { return i == 0 ? 0 : ends[i - 1]; }
    std::span<const Point> ring(std::size_t i) const {
        return std::span<const Point>(points).subspan(ring_begin(i), ends[i] - ring_begin(i));
    }

    // Appends one ring with consecutive duplicates and closing points removed; keeps it only
    // when at least `min` points remain.
    bool push(std::span<const Point> ring, std::size_t min);
    // Moves every ring and entry of `other` behind this store's.
    void append(Rings&& other);
    // Takes in one input polygon (nonzero rule) as a convex, simple or resolved entry.
    void add_polygon(std::span<const Point> ring);
    // The store of a whole input polygon set.
    static Rings of(std::span<const Ring> polygons);
    // One directed segment per ring point, in point order.
    par::List<Seg> segments() const;
    // The segment from point i of the ring [ring_start, ring_end) to the next.
    Seg segment(std::uint64_t i, std::uint64_t ring_start, std::uint64_t ring_end) const;
    // The normalised rings when every polygon can pass unchanged; used only for a union with
    // an empty second set whose polygons are apart.
    std::optional<Polygons> apart() const;
};

} // namespace quorvane_dsl::boolean::detail
