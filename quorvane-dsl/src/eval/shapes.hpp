// What a shape statement makes of its primitive and arguments, and the shapes a value denotes.
#pragma once

#include <memory>
#include <optional>
#include <variant>
#include <vector>

#include "eval/cell_state.hpp"
#include "eval/value.hpp"
#include "geom/bands.hpp"
#include "geom/shape.hpp"

namespace quorvane_dsl::eval {

// A shape drawn with the bands of a cross-section: every band's geometry with its layer, and the
// cross-sections at its two ends (none at the start of a shape without ends).
struct BandedDef {
    geom::Banded built;
    std::vector<hir::LayerId> layers; // per band, in band order
    std::shared_ptr<const XsValue> start;
    std::shared_ptr<const XsValue> xsection;
};

// A finished shape in the cell's coordinates, one drawn with a cross-section, or the recipe of a
// shape computed from others.
using ShapeDef = std::variant<geom::LocalShape, BandedDef, Derived>;

// A shape gives its index, a list of nothing but shapes their indices; anything else none.
std::optional<std::vector<ShapeId>> shape_indices(const Value& value);

} // namespace quorvane_dsl::eval
