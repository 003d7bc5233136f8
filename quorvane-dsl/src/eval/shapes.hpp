// What a shape statement makes of its primitive and arguments, and the shapes a value denotes.
#pragma once

#include <optional>
#include <variant>
#include <vector>

#include "eval/cell_state.hpp"
#include "eval/value.hpp"
#include "geom/shape.hpp"

namespace quorvane_dsl::eval {

// A finished shape in the cell's coordinates, or the recipe of a shape computed from others.
using ShapeDef = std::variant<geom::LocalShape, Derived>;

// A shape gives its index, a list of nothing but shapes their indices; anything else none.
std::optional<std::vector<ShapeId>> shape_indices(const Value& value);

} // namespace quorvane_dsl::eval
