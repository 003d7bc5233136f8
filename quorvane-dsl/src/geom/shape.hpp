// Built shapes in cell coordinates: their geometry, named anchors and bounding box.
#pragma once

#include <expected>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "geom/frame.hpp"

namespace quorvane_dsl::geom {

// What every shape builder returns: the shape, or the one message that refused it.
template <class T> using Built = std::expected<T, std::string>;

using Points = std::vector<Point>;

struct Polygon {
    Points points;
    friend bool operator==(const Polygon&, const Polygon&) = default;
};

struct Path {
    double width = 0;
    Points points;
    friend bool operator==(const Path&, const Path&) = default;
};

struct LocalGeometry;

struct Group {
    std::vector<LocalGeometry> members;
    friend bool operator==(const Group&, const Group&) = default;
};

// Nanometre geometry before rounding: a box, one polygon ring, a path or a group of them.
struct LocalGeometry {
    std::variant<BBox, Polygon, Path, Group> kind;
    friend bool operator==(const LocalGeometry&, const LocalGeometry&) = default;

    // The smallest box around the geometry; none for an empty polygon, path or group.
    std::optional<BBox> bbox() const;
};

struct NamedFrame {
    std::string name;
    Frame frame;
    friend bool operator==(const NamedFrame&, const NamedFrame&) = default;
};

struct LocalShape {
    LocalGeometry geometry;
    std::vector<NamedFrame> anchors;
    BBox bbox;
    friend bool operator==(const LocalShape&, const LocalShape&) = default;

    // "origin", then the shape's own anchors (first match), then the box anchors at angle 0.
    std::optional<Frame> anchor(std::string_view name) const;
};

// A shape without anchors whose box is that of its geometry, or all zero when it has none.
LocalShape shape_of(LocalGeometry geometry);

LocalShape polygon_shape(Points points);

} // namespace quorvane_dsl::geom
