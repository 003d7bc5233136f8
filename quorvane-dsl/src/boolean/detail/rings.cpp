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

Seg Rings::segment(std::uint64_t i, std::uint64_t ring_start, std::uint64_t ring_end) const {
    std::uint64_t j = i + 1 == ring_end ? ring_start : i + 1;
    return {points[i].x,
            points[i].y,
            points[j].x,
            points[j].y,
            i >= b_start ? 1u : 0u,
            static_cast<std::uint32_t>(j)};
}

par::List<Seg> Rings::segments() const {
    par::List<Seg> out;
    std::size_t count = ends.empty() ? 0 : ends.back();
    if (!par::goes_parallel(ring_count())) {
        out.reserve(count);
        for (std::size_t r = 0; r < ring_count(); ++r) {
            for (std::uint64_t i = ring_begin(r); i < ends[r]; ++i) {
                out.push_back(segment(i, ring_begin(r), ends[r]));
            }
        }
        return out;
    }
    // Segment i starts at point i, so the chunks of rings write their parts of one list in
    // place: no lists of their own to join.
    par::resize(out, count);
    par::for_range(ring_count(), [&](std::size_t b, std::size_t e) {
        for (std::size_t r = b; r < e; ++r) {
            for (std::uint64_t i = ring_begin(r); i < ends[r]; ++i) {
                out[i] = segment(i, ring_begin(r), ends[r]);
            }
        }
    });
    return out;
}

} // namespace quorvane_dsl::boolean::detail
