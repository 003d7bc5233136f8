// The IR data model: a library of layers and cells with shapes, instances and markers.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "ir/value.hpp"

namespace quorvane_dsl::ir {

// A point of geometry in database units.
struct Point {
    std::int64_t x = 0;
    std::int64_t y = 0;
    auto operator<=>(const Point&) const = default;
};

struct Layer {
    std::string name;
    std::int32_t layer = 0;
    std::int32_t datatype = 0;
    bool operator==(const Layer&) const = default;
};

struct Box {
    std::int64_t left = 0;
    std::int64_t bottom = 0;
    std::int64_t right = 0;
    std::int64_t top = 0;
    bool operator==(const Box&) const = default;
};

// One ring; the edge from the last point back to the first is implied.
struct Polygon {
    std::vector<Point> points;
    bool operator==(const Polygon&) const = default;
};

// A centre line of the given full width, ends flush with the first and last points.
struct Path {
    std::int64_t width = 0;
    std::vector<Point> points;
    bool operator==(const Path&) const = default;
};

struct Geometry {
    std::variant<Box, Polygon, Path> kind;
    bool operator==(const Geometry&) const = default;

    // Whether one GDSII element holds it (see `boolean::max_piece_points`).
    bool fits_one_element() const;
    // The geometries that stand for this one in GDSII, each fitting one element.
    std::vector<Geometry> gds_pieces() const;
};

struct Shape {
    std::uint64_t layer = 0;
    Geometry geometry;
    bool operator==(const Shape&) const = default;
};

struct Array {
    std::uint32_t columns = 0;
    std::uint32_t rows = 0;
    Point column_step;
    Point row_step;
    bool operator==(const Array&) const = default;
};

// A placed child: a child point p lands at origin + R(rotation) M(mirror) p, then the array steps
// (in the parent's axes) are added per copy.
struct Instance {
    std::string name;
    std::uint64_t cell = 0;
    std::int64_t x = 0;
    std::int64_t y = 0;
    double rotation = 0;
    bool mirror = false;
    std::optional<Array> array;
    bool operator==(const Instance&) const = default;
};

struct Frame {
    std::int64_t x = 0;
    std::int64_t y = 0;
    double angle = 0;
    bool operator==(const Frame&) const = default;
};

struct Marker {
    std::string name;
    std::vector<Frame> locations;
    std::vector<NamedValue> attrs;
    bool operator==(const Marker&) const = default;
};

// One end of a connection; no instance means a marker of the cell itself.
struct PortRef {
    std::string port;
    std::optional<std::string> instance;
    std::uint64_t index = 0;
    bool operator==(const PortRef&) const = default;

    // "self.port[index]" or "instance.port[index]".
    std::string text() const;
};

struct Connection {
    PortRef a;
    PortRef b;
    bool geometric = false;
    bool operator==(const Connection&) const = default;
};

struct Blackbox {
    Box footprint;
    std::string interface;
    std::string content;
    bool operator==(const Blackbox&) const = default;
};

struct Cell {
    std::string name;
    std::string source;
    std::vector<NamedValue> params;
    std::vector<NamedValue> attrs;
    std::vector<Shape> shapes;
    std::vector<Instance> instances;
    std::vector<Marker> markers;
    std::vector<Connection> connections;
    std::optional<Blackbox> blackbox;
    bool operator==(const Cell&) const = default;

    // The first marker of that name, or none.
    const Marker* marker(std::string_view name) const;
};

struct Library {
    double dbu = 1;
    std::vector<Layer> layers;
    std::vector<Cell> cells;
    std::vector<std::uint64_t> tops;
    bool operator==(const Library&) const = default;
};

// Reads the text form of a port reference back; nothing when it is not one.
std::optional<PortRef> parse_port(std::string_view text);

// A marker's kind: its first "kind" attribute when that is a text, else "port".
std::string_view marker_kind(const Marker& marker);

} // namespace quorvane_dsl::ir
