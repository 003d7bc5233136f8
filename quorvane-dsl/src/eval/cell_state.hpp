// Everything known about one cell variant while it is built: parameters, lazy attributes and
// markers, runtime shapes and instances, cell-level bindings and placement bookkeeping.
#pragma once

#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <variant>
#include <vector>

#include "eval/env.hpp"
#include "eval/value.hpp"
#include "geom/frame.hpp"
#include "geom/shape.hpp"
#include "hir/hir.hpp"
#include "ir/model.hpp"

namespace quorvane_dsl::eval {

// An attribute or marker slot, evaluated on first use.
struct Lazy {
    enum class State : std::uint8_t { NotEvaluated, Evaluating, Failed, Done };
    State state = State::NotEvaluated;
    Value value; // meaningful in Done only
};

// A placement statement that named a shape or instance and waits to be resolved; it keeps the
// environment of the statement so its expressions can be evaluated later.
struct Pending {
    // What of the placed thing goes to the target: a cell's origin, a named anchor of a shape
    // (looked up when resolved) or one location of a marker of the placed cell.
    struct Origin {};
    struct ShapeAnchor {
        std::string name;
    };
    struct Marker {
        std::string name;
        std::uint64_t index = 0;
    };
    std::variant<Origin, ShapeAnchor, Marker> anchor;
    geom::Frame frame; // of a cell anchor, in the placed cell's coordinates
    Env env;
    hir::StmtId stmt;
};

struct PlaceState {
    struct Unplaced {};
    struct Resolving {};
    struct Placed {
        geom::Transform transform;
    };
    // Its geometry was used at its local coordinates before any placement.
    struct UsedUnplaced {};
    struct Failed {};
    using Kind = std::variant<Unplaced, Pending, Resolving, Placed, UsedUnplaced, Failed>;
    Kind kind;
};

// The recipe of a shape made by a boolean operation or by growing or shrinking others.
struct Derived {
    hir::Primitive operation = hir::Primitive::Union;
    std::vector<ShapeId> a;
    std::vector<ShapeId> b; // empty for dilate and erode
    double distance = 0;    // nm; 0 for the set operations
    std::uint8_t join = 0;  // 0 miter, 1 round, 2 bevel
    std::optional<std::int64_t> segments;
};

// The piece of one shape on one layer.
struct View {
    ShapeId source;
    hir::LayerId layer;
};

struct RtShape {
    std::optional<View> view; // none for a plain shape
    // Empty for a shape made by an operator expression: messages name it by the expression's text
    // (display_name), which a long chain of operators would otherwise copy once per link.
    std::string name;
    std::optional<geom::LocalShape> shape;
    std::vector<std::pair<hir::LayerId, geom::LocalGeometry>> pieces; // sections after the first
    std::optional<hir::LayerId> layer;
    PlaceState place;
    // Start and end cross-sections of a shape drawn with one.
    std::optional<std::pair<std::shared_ptr<const XsValue>, std::shared_ptr<const XsValue>>>
        xsections;
    std::optional<Derived> derived;
    hir::Src src;
    bool banded = false;
    bool auxiliary = false; // placed with `place*`: positioned but never written
    bool failed = false;    // reported, or consumed into another shape: silent from now on
};

struct RtInstance {
    // The library cell of an instantiation that failed.
    static constexpr std::uint64_t no_cell = std::numeric_limits<std::uint64_t>::max();

    std::string name;
    PlaceState place;
    std::uint64_t cell = no_cell;
    hir::Src src;
    bool named = false; // named with `as`; never merged into an array
};

struct CellState {
    std::vector<std::optional<Value>> params;
    std::vector<Lazy> attrs;
    std::vector<Lazy> markers;
    std::vector<RtShape> shapes;
    // The view made for each source shape and layer, by source index (high half) and layer.
    std::unordered_map<std::uint64_t, ShapeId> views;
    std::vector<RtInstance> instances;
    std::unordered_map<hir::BindingId, Value, IdxHash> bindings;
    std::unordered_map<std::string, std::uint32_t> name_counts;
    // Every instance name given in the cell, with the statement that gave it.
    std::unordered_map<std::string, hir::Src> instance_names;
    // What is being resolved, outermost first: a name as RtShape holds it, and its place.
    std::vector<std::pair<std::string, hir::Src>> placement_stack;
    std::vector<ir::Connection> connections;
    std::vector<std::vector<ir::NamedValue>> marker_attrs;
    std::vector<std::shared_ptr<const XsValue>> marker_xs;
    hir::CellId cell;

    CellState(const hir::Hir& hir, hir::CellId cell);

    ShapeId new_shape(std::string name, hir::Src src, std::optional<hir::LayerId> layer);
    // The one view of `source` on `layer`, made on first request.
    ShapeId view(ShapeId source, hir::LayerId layer, const hir::Hir& hir, hir::Src src);

    RtShape& shape(ShapeId id) { return shapes[id.index]; }
};

// The name messages give a shape or placement: `name`, or when that is empty the text at `src` in
// parentheses.
std::string display_name(const std::string& name, hir::Src src, const hir::Hir& hir);
// Whether display_name(name, src, hir) is `shown`, without building it.
bool displays_as(const std::string& name, hir::Src src, const hir::Hir& hir,
                 std::string_view shown);

} // namespace quorvane_dsl::eval
