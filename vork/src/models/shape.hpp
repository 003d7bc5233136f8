// Shape records of the layout database and their GDSII element metadata.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>
#include <vector>

#include "models/id.hpp"

namespace vork::models::shape {

// A run of points in the database's point pool (`LayoutDb::points`). Shapes refer to their
// points this way so that a million elements cost no million allocations.
struct PointRange {
    std::uint64_t first = 0;
    std::uint64_t count = 0;
};

// The placement of an instance or a text.
struct Orthogonal {
    // Counter-clockwise rotation by (code mod 4) * 90 degrees; codes 4 to 7 reflect across the
    // x axis first.
    std::uint8_t code = 0;
};

struct General {
    double magnification = 1.0;
    double angle = 0.0; // degrees
    bool reflection = false;
    bool absolute_magnification = false;
    bool absolute_angle = false;
};

struct Transform {
    Point origin;
    std::variant<Orthogonal, General> orientation;
};

struct Boundary {
    PointRange points; // kept and written unchanged, closed or not
};

// A BOX whose XY is not its five closed corners keeps that XY in its `ShapeExtras`.
struct Box {
    std::int64_t left = 0;
    std::int64_t bottom = 0;
    std::int64_t right = 0;
    std::int64_t top = 0;
};

// The box's ring as a BOX element's XY holds it: counter-clockwise from the lower left, closed.
inline std::array<Point, 5> closed_corners(const Box& b) {
    return {Point{b.left, b.bottom}, Point{b.right, b.bottom}, Point{b.right, b.top},
            Point{b.left, b.top}, Point{b.left, b.bottom}};
}

struct SimplePolygon {
    PointRange points;
};

// The holes are a run of `LayoutDb::holes`, each a ring in the point pool, so that every shape
// record is plain data: a million of them are moved and freed without being visited.
struct Polygon {
    PointRange outer{};
    PointRange holes{}; // first and count in `LayoutDb::holes`, not in the point pool
};

// BGNEXTN and ENDEXTN, which come only with path type 4, live in its `ShapeExtras`.
struct Path {
    PointRange points;
    std::int64_t width = 0;
    bool width_present = false;
    bool width_absolute = false;
    std::optional<std::uint16_t> path_type{};
};

// A text's data lives in `LayoutDb::texts`; texts are rare and large.
struct Text {
    std::uint64_t body = 0;
};

struct TextBody {
    std::string text{};
    std::optional<std::int64_t> width{};
    bool width_absolute = false;
    Transform transform{}; // the origin is the text's position
    std::optional<std::uint16_t> presentation{};
    std::optional<std::uint16_t> path_type{};
};

struct Node {
    PointRange points;
};

struct Edge {};
struct EdgePair {};

using Shape = std::variant<Boundary, Box, SimplePolygon, Polygon, Path, Text, Node, Edge, EdgePair>;

enum class ShapeKind : std::uint8_t {
    Boundary,
    Box,
    SimplePolygon,
    Polygon,
    Path,
    Text,
    Node,
    Edge,
    EdgePair
};

inline ShapeKind kind_of(const Shape& shape) {
    return static_cast<ShapeKind>(shape.index());
}

std::string_view debug_name(ShapeKind kind);

struct GdsProperty {
    std::string value;
    std::uint16_t attribute = 0;
};

// What a BOX or PATH record has no room for, rare enough to live in a pool of its own
// (`LayoutDb::shape_extras`) rather than make every record larger.
struct ShapeExtras {
    std::optional<PointRange> box_xy{}; // a BOX's XY as read, when not its five closed corners
    std::optional<std::int64_t> begin_extension{}; // a PATH's BGNEXTN
    std::optional<std::int64_t> end_extension{};   // a PATH's ENDEXTN
};

// The GDS-level extras of an element or an instance.
struct GdsElementMeta {
    std::vector<GdsProperty> properties{}; // in file order
    std::optional<std::int32_t> plex{};
    std::optional<std::uint16_t> elflags{};
    // One past the element's position in `LayoutDb::shape_extras`; 0: none. It fits the
    // padding, so that instances, which hold their meta inline, grow by nothing.
    std::uint32_t shape_extras = 0;
};

// An element's GDS extras in the database's pool (`LayoutDb::metas`): most elements have none,
// and a million of them should not each carry an empty list.
struct MetaRef {
    std::uint64_t index = 0; // 0: none; else one past the position in the pool
};

struct ShapeRecord {
    MetaRef meta;
    Shape shape;
};

// Copied and freed by the million; anything a record owns would have to be visited.
static_assert(std::is_trivially_copyable_v<ShapeRecord> &&
              std::is_trivially_destructible_v<ShapeRecord>);
// Every byte of a record is paid for a million times over in a large stream, and faulted in
// fresh by the kernel.
static_assert(sizeof(ShapeRecord) <= 48);
static_assert(sizeof(GdsElementMeta) <= 40);

} // namespace vork::models::shape
