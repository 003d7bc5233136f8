// HIR definitions: layers, constants, cross-sections, cells and their members, local bindings.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "hir/expr.hpp"
#include "hir/ids.hpp"
#include "hir/stmt.hpp"
#include "source/location.hpp"

namespace quorvane_dsl::hir {

// A layer of a layer table.
struct LayerDef {
    std::string name;
    // Every property but a well-formed `gds` property, in written order; one that starts with
    // `gds` but holds no layer and datatype stands here under the name "gds".
    std::vector<std::pair<std::string, ExprId>> props;
    // From the last well-formed `gds <layer>/<datatype>` property.
    std::optional<std::pair<std::int32_t, std::int32_t>> gds;
    Src src; // of the name
};

struct ConstDef {
    std::string name;
    std::optional<TypeAnn> ty;
    Src src; // of the name
    // A Missing expression when the definition has no value or repeats a name.
    ExprId value;
};

// A parameter of a cell or a cross-section.
struct ParamDef {
    std::string name;
    std::optional<TypeAnn> ty;
    std::optional<ExprId> default_value;
    Src src; // of the name
};

// One band of a cross-section.
struct XsSection {
    std::optional<LayerId> layer; // absent when no layer is named or the name is no layer
    std::optional<ExprId> offset;
    Src src; // of the whole section
    ExprId width;
};

struct XsDef {
    std::string name;
    std::vector<ParamDef> params;
    std::vector<XsSection> sections;
    ArgRun props; // the arguments of every `with` clause, in written order
    Src src;      // of the name

    // The first parameter of that name with its position, or none.
    std::optional<std::pair<std::uint32_t, const ParamDef*>> param(std::string_view name) const;
};

struct AttrDef {
    std::string name;
    Src src; // of the name
    // A Missing expression when the declaration has none.
    ExprId value;
};

struct MarkerDef {
    std::string name;
    std::vector<ExprId> at; // every location of every `at` clause, in order
    ArgRun with;            // the arguments of every `with` clause, in order
    Src src;                // of the name
};

// Where a cell comes from: a source file, or a cell of an imported IR file.
struct CellOrigin {
    struct Source {
        bool operator==(const Source&) const = default;
    };
    struct Imported {
        std::size_t file = 0; // position in Hir::ir_files
        std::size_t cell = 0; // position in that file's library cells
        bool operator==(const Imported&) const = default;
    };
    std::variant<Source, Imported> kind;
    bool operator==(const CellOrigin&) const = default;
};

// A name bound at a cell's level.
struct CellName {
    Symbol name;
    Res res;
};

struct CellDef {
    CellOrigin origin;
    std::string name;
    // Header parameters first, then those of every `param` section; repeated names not added.
    std::vector<ParamDef> params;
    // For an imported cell, one per stored parameter and attribute of the IR cell.
    std::vector<AttrDef> attrs;
    std::vector<MarkerDef> markers;
    Body body;
    // Parameters, attributes, markers and the `as` names bound at the cell's level, in the order
    // declared. Lowering looks them up in a table of the cell it lowers, which it then drops.
    CellNameRun names;
    source::TextRange span; // the whole definition (of an imported cell: its span in the IR text)
    Src src;                // of the name
};

enum class BindingKind : std::uint8_t {
    ForVar,   // the variable of a `for` loop
    Define,   // a `define` variable, the only kind that may be assigned to
    Shape,    // the `as` name of `shape` and `clone`
    Instance, // the `as` name of a placement
};

// A named value inside a cell.
struct Binding {
    Symbol name;
    Src src; // of the name where it is bound
    CellId cell;
    // Made by the cell's pre-pass over `as` names, which records the name occurrence itself.
    bool recorded = false;
    BindingKind kind = BindingKind::ForVar;
};

// What a top-level name denotes.
struct Global {
    enum class Kind : std::uint8_t { Layer, Const, Cell, XSection };
    Kind kind = Kind::Layer;
    std::uint32_t index = 0; // position in the arena of that kind

    Res res() const;
};

} // namespace quorvane_dsl::hir
