#include "ir/engine.hpp"

#include <array>

#include "boolean/boolean.hpp"
#include "boolean/path.hpp"
#include "boolean/split.hpp"

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

std::optional<Box> as_box(std::span<const Point> ring) {
    if (ring.size() != 4) {
        return std::nullopt;
    }
    const std::array<boolean::Point, 4> corners{{{ring[0].x, ring[0].y},
                                                 {ring[1].x, ring[1].y},
                                                 {ring[2].x, ring[2].y},
                                                 {ring[3].x, ring[3].y}}};
    const std::optional<boolean::Box> box = boolean::as_box(corners);
    if (!box) {
        return std::nullopt;
    }
    return Box{box->x0, box->y0, box->x1, box->y1};
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

// The cutting of a geometry that does not fit one element.
struct Pieces {
    std::vector<Geometry> operator()(const Box& box) const { return {Geometry{box}}; }
    std::vector<Geometry> operator()(const Polygon& polygon) const {
        return polygon_pieces(to_boolean(polygon.points));
    }
    std::vector<Geometry> operator()(const Path& path) const {
        return polygon_pieces(boolean::path_polygon(to_boolean(path.points), path.width));
    }
};

} // namespace

bool Geometry::fits_one_element() const {
    if (const auto* polygon = std::get_if<Polygon>(&kind)) {
        return boolean::fits_one_piece(polygon->points.size());
    }
    if (const auto* path = std::get_if<Path>(&kind)) {
        return boolean::fits_one_piece(path->points.size());
    }
    return true;
}

std::vector<Geometry> Geometry::gds_pieces() const {
    if (fits_one_element()) {
        return {*this};
    }
    return std::visit(Pieces{}, kind);
}

} // namespace quorvane_dsl::ir
