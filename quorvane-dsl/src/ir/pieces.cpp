#include "boolean/path.hpp"
#include "boolean/split.hpp"
#include "ir/engine.hpp"

namespace quorvane_dsl::ir {

std::vector<boolean::Point> to_boolean(std::span<const Point> points) {
    std::vector<boolean::Point> out;
    out.reserve(points.size());
    for (const Point& p : points) {
        out.push_back({p.x, p.y});
    }
    return out;
}

std::vector<Point> from_boolean(std::span<const boolean::Point> points) {
    std::vector<Point> out;
    out.reserve(points.size());
    for (const boolean::Point& p : points) {
        out.push_back({p.x, p.y});
    }
    return out;
}

namespace {

std::vector<Geometry> polygon_pieces(const std::vector<boolean::Point>& ring) {
    const auto split = boolean::split(ring);
    // The engine refuses coordinates beyond 2^40, which no GDSII record can hold either (the
    // writer refuses them); the ring stays whole so that its digest is still defined.
    if (!split) {
        return {Geometry{Polygon{from_boolean(ring)}}};
    }
    std::vector<Geometry> pieces;
    pieces.reserve(split->size());
    for (const boolean::Ring& piece : *split) {
        pieces.push_back(Geometry{Polygon{from_boolean(piece)}});
    }
    return pieces;
}

struct Pieces {
    std::vector<Geometry> operator()(const Box& box) const { return {Geometry{box}}; }
    std::vector<Geometry> operator()(const Polygon& polygon) const {
        if (polygon.points.size() <= max_gds_points) {
            return {Geometry{polygon}};
        }
        return polygon_pieces(to_boolean(polygon.points));
    }
    std::vector<Geometry> operator()(const Path& path) const {
        if (path.points.size() <= max_gds_points) {
            return {Geometry{path}};
        }
        return polygon_pieces(boolean::path_polygon(to_boolean(path.points), path.width));
    }
};

} // namespace

std::vector<Geometry> Geometry::gds_pieces() const {
    return std::visit(Pieces{}, kind);
}

} // namespace quorvane_dsl::ir
