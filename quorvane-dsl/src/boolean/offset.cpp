#include "boolean/offset.hpp"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "base/round.hpp"
#include "boolean/detail/link.hpp"
#include "boolean/detail/par.hpp"
#include "boolean/detail/snap.hpp"
#include "boolean/detail/sweep.hpp"

namespace quorvane_dsl::boolean {

// The face runs the phases.
using namespace detail;

namespace {

constexpr double arc_tolerance = 1.0;
constexpr double max_arc_segments = 4096.0;
// Far beyond any layout, yet small enough that grown coordinates stay within the exact range.
constexpr double max_distance = static_cast<double>(std::int64_t{1} << 40);

struct Vec {
    double x;
    double y;
};

Vec operator+(Vec a, Vec b) {
    return {a.x + b.x, a.y + b.y};
}
Vec operator-(Vec a, Vec b) {
    return {a.x - b.x, a.y - b.y};
}
Vec operator*(double k, Vec a) {
    return {k * a.x, k * a.y};
}
double dot(Vec a, Vec b) {
    return a.x * b.x + a.y * b.y;
}

Vec to_vec(Point p) {
    return {static_cast<double>(p.x), static_cast<double>(p.y)};
}
Point to_point(Vec v) {
    return {base::round_to_i64(v.x), base::round_to_i64(v.y)};
}

struct Params {
    Join join;
    std::optional<std::uint32_t> segments_per_circle;
    double s;  // +1 outward, -1 inward
    double d;  // distance
    double sd; // signed distance
};

// One corner: the vertex, its two unit edge directions, their right-hand normals, and the sine
// and cosine of the turn.
struct Corner {
    Vec v;
    Vec u1, u2;
    Vec r1, r2;
    double cross;
    double dot;
};

std::uint64_t arc_segments(const Params& p, double theta) {
    double raw = 0.0;
    if (p.segments_per_circle) {
        raw = std::abs(theta) * *p.segments_per_circle / (2.0 * std::numbers::pi);
    } else {
        const double quarter = std::numbers::pi / 4.0;
        const double step = arc_tolerance >= p.d
                                ? quarter
                                : std::min(2.0 * std::acos(1.0 - arc_tolerance / p.d), quarter);
        raw = std::abs(theta) / step;
    }
    // Also maps NaN and negative counts to a single segment.
    const double up = std::ceil(raw);
    return up >= 1.0 ? static_cast<std::uint64_t>(std::min(up, max_arc_segments)) : 1;
}

void round_join(const Params& p, const Corner& c, Vec p1, Vec p2, Ring& out) {
    const double theta = std::atan2(c.cross, c.dot);
    const std::uint64_t n = arc_segments(p, theta);
    const double phi0 = std::atan2(-p.s * c.u1.x, p.s * c.u1.y);
    out.push_back(to_point(p1));
    for (std::uint64_t i = 1; i < n; ++i) {
        const double phi = phi0 + theta * static_cast<double>(i) / static_cast<double>(n);
        out.push_back(to_point(c.v + p.d * Vec{std::cos(phi), std::sin(phi)}));
    }
    out.push_back(to_point(p2));
}

// Turns of up to 120 degrees meet at the moved edges' crossing; sharper ones are cut square to
// the bisector 2d from the vertex so that spikes stay bounded.
void miter_join(const Params& p, const Corner& c, Vec p1, Vec p2, Ring& out) {
    const Vec sum = c.r1 + c.r2;
    if (1.0 + c.dot >= 0.5) {
        out.push_back(to_point(c.v + (p.sd / (1.0 + c.dot)) * sum));
        return;
    }
    const Vec b = (p.s / std::hypot(sum.x, sum.y)) * sum;
    const double t1 = (2.0 * p.d - dot(b, p1 - c.v)) / dot(b, c.u1);
    const double t2 = (2.0 * p.d - dot(b, p2 - c.v)) / -dot(b, c.u2);
    out.push_back(to_point(p1 + t1 * c.u1));
    out.push_back(to_point(p2 - t2 * c.u2));
}

void open_corner(const Params& p, const Corner& c, Vec p1, Vec p2, Ring& out) {
    switch (p.join) {
    case Join::Miter:
        miter_join(p, c, p1, p2, out);
        return;
    case Join::Round:
        round_join(p, c, p1, p2, out);
        return;
    case Join::Bevel:
        out.push_back(to_point(p1));
        out.push_back(to_point(p2));
        return;
    }
}

// Where the moved edges overlap, their crossing point stands for the corner when both edges are
// long enough to reach it; otherwise the vertex itself keeps the ring connected and the
// resolving sweep cuts the overlap away.
void closed_corner(const Params& p, const Corner& c, Vec p1, Vec p2, bool single_point_allowed,
                   Point vertex, Ring& out) {
    if (single_point_allowed && c.dot >= 0.0) {
        out.push_back(to_point(c.v + (p.sd / (1.0 + c.dot)) * (c.r1 + c.r2)));
        return;
    }
    out.push_back(to_point(p1));
    out.push_back(vertex);
    out.push_back(to_point(p2));
}

void offset_ring(const Params& p, std::span<const Point> ring, std::vector<double>& len,
                 std::vector<Vec>& dir, Ring& out) {
    const std::size_t n = ring.size();
    len.resize(n);
    dir.resize(n);
    for (std::size_t i = 0; i < n; ++i) {
        const Vec diff = to_vec(ring[(i + 1) % n]) - to_vec(ring[i]);
        len[i] = std::hypot(diff.x, diff.y);
        dir[i] = {diff.x / len[i], diff.y / len[i]};
    }
    out.clear();
    for (std::size_t k = 1; k <= n; ++k) {
        const std::size_t a = k - 1;
        const std::size_t b = k % n;
        Corner c{};
        c.v = to_vec(ring[b]);
        c.u1 = dir[a];
        c.u2 = dir[b];
        c.r1 = {c.u1.y, -c.u1.x};
        c.r2 = {c.u2.y, -c.u2.x};
        c.cross = c.u1.x * c.u2.y - c.u1.y * c.u2.x;
        c.dot = c.u1.x * c.u2.x + c.u1.y * c.u2.y;
        const Vec p1 = c.v + p.sd * c.r1;
        const Vec p2 = c.v + p.sd * c.r2;
        const bool open = p.s > 0 ? c.cross > 0.0 : c.cross < 0.0;
        if (open) {
            open_corner(p, c, p1, p2, out);
            continue;
        }
        const double w = p.d * std::abs(c.cross) + 1.0;
        const bool single = k < n && len[a] >= w && len[b] >= w;
        closed_corner(p, c, p1, p2, single, ring[b], out);
    }
}

Rings offset_chunk(const Params& p, std::span<const Ring> rings) {
    Rings store;
    store.points.reserve(2 * point_count(rings));
    store.ends.reserve(rings.size());
    std::vector<double> len;
    std::vector<Vec> dir;
    Ring out;
    for (const Ring& ring : rings) {
        if (ring.empty()) {
            continue;
        }
        out.reserve(2 * ring.size());
        offset_ring(p, ring, len, dir, out);
        store.push(out, 2);
    }
    return store;
}

Polygons resolve(const Rings& store) {
    par::List<Seg> segments = store.segments();
    if (segments.empty()) {
        return {};
    }
    const Snapped snapped = snap_round(std::move(segments));
    std::vector<Pair> pairs = classify(snapped.points, snapped.segments, Rule::Positive);
    return link(snapped.points, std::move(pairs));
}

// Width plus height of the set's box: shrinking by more leaves nothing, whatever the shape.
double extent(std::span<const Ring> rings) {
    Box box = empty_box;
    for (const Ring& ring : rings) {
        box = box_union(box, bounds(ring));
    }
    return static_cast<double>(box.x1 - box.x0) + static_cast<double>(box.y1 - box.y0);
}

std::expected<Polygons, RangeError> grow(std::span<const Ring> polygons, Join join,
                                         std::optional<std::uint32_t> segments_per_circle,
                                         bool outward, double distance) {
    std::expected<Polygons, RangeError> normalised = boolean(polygons, {}, Op::Union);
    if (!normalised || !(distance > 0.0) || normalised->empty()) {
        return normalised;
    }
    if (!outward && distance > extent(*normalised)) {
        return Polygons{};
    }
    const Rings store = offset(*normalised, join, segments_per_circle, outward, distance);
    if (std::optional<RangeError> error = check_range(store.points)) {
        return std::unexpected(std::move(*error));
    }
    return resolve(store);
}

} // namespace

Rings offset(std::span<const Ring> rings, Join join,
             std::optional<std::uint32_t> segments_per_circle, bool outward, double distance) {
    const double d = std::min(distance, max_distance);
    const double s = outward ? 1.0 : -1.0;
    const Params p{join, segments_per_circle, s, d, s * d};
    if (!par::goes_parallel(point_count(rings))) {
        return offset_chunk(p, rings);
    }
    const std::size_t chunks = par::chunk_count(rings.size());
    std::vector<Rings> parts(chunks);
    par::for_chunks(rings.size(), chunks, [&](std::size_t k, std::size_t b, std::size_t e) {
        parts[k] = offset_chunk(p, rings.subspan(b, e - b));
    });
    Rings store;
    for (Rings& part : parts) {
        store.append(std::move(part));
    }
    return store;
}

std::expected<Polygons, RangeError> dilate(std::span<const Ring> polygons, Join join,
                                           std::optional<std::uint32_t> segments_per_circle,
                                           double distance) {
    return grow(polygons, join, segments_per_circle, true, distance);
}

std::expected<Polygons, RangeError> erode(std::span<const Ring> polygons, Join join,
                                          std::optional<std::uint32_t> segments_per_circle,
                                          double distance) {
    return grow(polygons, join, segments_per_circle, false, distance);
}

} // namespace quorvane_dsl::boolean
