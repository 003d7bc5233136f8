#include "boolean/detail/rings.hpp"

#include "boolean/detail/par.hpp"

namespace quorvane_dsl::boolean::detail {

bool Rings::push(std::span<const Point> ring, std::size_t min) {
    std::size_t start = points.size();
    for (const Point& p : ring) {
        if (points.size() == start || points.back() != p) {
            points.push_back(p);
        }
    }
    while (points.size() - start > 1 && points.back() == points[start]) {
        points.pop_back();
    }
    if (points.size() - start < min) {
        points.resize(start);
        return false;
    }
    ends.push_back(points.size());
    return true;
}

void Rings::append(Rings&& other) {
    if (ends.empty()) {
        points = std::move(other.points);
        ends = std::move(other.ends);
        entries = std::move(other.entries);
        return;
    }
    std::uint64_t m = points.size();
    std::uint64_t k = ends.size();
    points.insert(points.end(), other.points.begin(), other.points.end());
    ends.reserve(ends.size() + other.ends.size());
    for (std::uint64_t e : other.ends) {
        ends.push_back(e + m);
    }
    entries.reserve(entries.size() + other.entries.size());
    for (PolygonEntry entry : other.entries) {
        entry.first_ring += k;
        entries.push_back(entry);
    }
}

std::vector<Seg> Rings::segments() const {
    return par::flat_map(ring_count(), [&](std::size_t b, std::size_t e) {
        std::vector<Seg> out;
        if (b == e) {
            return out;
        }
        out.reserve(ends[e - 1] - ring_begin(b));
        for (std::size_t r = b; r < e; ++r) {
            std::uint64_t s = ring_begin(r);
            std::uint64_t end = ends[r];
            for (std::uint64_t i = s; i < end; ++i) {
                std::uint64_t j = i + 1 == end ? s : i + 1;
                out.push_back({points[i].x, points[i].y, points[j].x, points[j].y,
                               i >= b_start ? 1u : 0u, static_cast<std::uint32_t>(j)});
            }
        }
        return out;
    });
}

} // namespace quorvane_dsl::boolean::detail
