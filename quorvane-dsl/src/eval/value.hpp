// Runtime values of the evaluator, the error marker every step returns, and the local environment.
#pragma once

#include <cstdint>
#include <expected>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "hir/expr.hpp"
#include "hir/ids.hpp"
#include "units/units.hpp"

namespace quorvane_dsl::eval {

// A cross-section with its parameters bound; shared, immutable once built.
struct XsValue;

// Runtime shapes and instances live in the cell state; values name them by their index there.
struct ShapeId {
    std::uint32_t index = 0;
    friend bool operator==(ShapeId, ShapeId) = default;
};
struct InstanceId {
    std::uint32_t index = 0;
    friend bool operator==(InstanceId, InstanceId) = default;
};

// Where a point came from: a marker location (for connections) and the cross-section that ends
// there (for ports that keep their cross-section).
struct PointSource {
    struct MarkerPart {
        std::string marker;
        std::optional<std::string> instance;
        std::uint64_t index = 0;
    };
    std::optional<MarkerPart> marker;
    std::shared_ptr<const XsValue> xsection;

    // A source carrying only the cross-section; none for none.
    static std::shared_ptr<const PointSource> of_xsection(std::shared_ptr<const XsValue> xs);
};

// The payload structs carry no member initialisers: a default-constructed Value must be
// possible while Value is still incomplete. A Value made with {} is an integer 0.
struct Value {
    struct Int {
        std::int64_t value;
    };
    // Lengths in nanometres and angles in degrees, raised to the exponents of `dim`.
    struct Quantity {
        double value;
        units::Dim dim;
    };
    struct Bool {
        bool value;
    };
    struct Str {
        std::shared_ptr<const std::string> text;
    };
    // A located, oriented point; computed points have no source.
    struct Point {
        double x;
        double y;
        double angle;
        std::shared_ptr<const PointSource> source;
    };
    // Copies share their elements, so copying a list costs the same whatever its size. A list is
    // the first `size` values of its buffer: appending to a list that ends where its buffer ends
    // extends the buffer in place, unseen by the shorter lists sharing it, so appends cost O(1)
    // however many copies (snapshots of a loop's variables, say) hold the list. A list that no
    // longer ends there takes a buffer of its own first.
    struct List {
        std::shared_ptr<std::vector<Value>> items; // null for a list made empty
        std::size_t size;
        std::uint32_t nested; // how deep lists nest in all the buffer holds; 0 when flat

        // Valid until the next append to a list sharing the buffer.
        std::span<const Value> elements() const;
        void push(Value value);
    };
    // `start..end` as written; iterating it yields start, ..., end - 1.
    struct Range {
        std::int64_t start;
        std::int64_t end;
    };
    struct Shape {
        ShapeId id;
    };
    struct Instance {
        InstanceId id;
    };
    struct Cell {
        hir::CellId def;
    };
    struct SelfCell {};
    struct Layer {
        hir::LayerId def;
    };
    // The markers of the cell being built (no instance) or of one of its instances.
    struct Markers {
        std::optional<InstanceId> instance;
    };
    struct Function {
        hir::Builtin builtin;
    };
    struct XSection {
        std::shared_ptr<const XsValue> value;
    };
    struct Nothing {};

    std::variant<Int, Quantity, Bool, Str, Point, List, Range, Shape, Instance, Cell, SelfCell,
                 Layer, Markers, Function, XSection, Nothing>
        kind;

    // The kind word of messages: "an integer", "a size", "an angle", "a number", ...
    std::string_view describe() const;

    static Value integer(std::int64_t v) { return {Int{v}}; }
    static Value quantity(double v, units::Dim dim) { return {Quantity{v, dim}}; }
    static Value number(double v) { return {Quantity{v, {}}}; }
    static Value size(double nm) { return {Quantity{nm, length_dim}}; }
    static Value angle(double deg) { return {Quantity{deg, angle_dim}}; }
    static Value boolean(bool v) { return {Bool{v}}; }
    static Value string(std::string text);
    static Value nothing() { return {Nothing{}}; }
    static Value list(std::vector<Value> items);

    static constexpr units::Dim length_dim{1, 0};
    static constexpr units::Dim angle_dim{0, 1};
};

// How deep a list nests inside another: 1 for a flat list, 0 for anything else.
std::uint32_t list_depth(const Value& value);

// The error result of every evaluation step. It carries nothing: the diagnostic that explains it
// was pushed before it was returned.
struct Stop {
    friend bool operator==(Stop, Stop) = default;
};

template <typename T> using Result = std::expected<T, Stop>;

} // namespace quorvane_dsl::eval
