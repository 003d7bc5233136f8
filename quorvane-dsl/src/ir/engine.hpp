// Where the IR meets the polygon engine: point conversions, boxes and GDSII pieces.
#pragma once

#include <optional>
#include <span>
#include <vector>

#include "boolean/types.hpp"
#include "ir/model.hpp"

namespace quorvane_dsl::ir {

// Points handed to and taken from the engine, which keeps its own point type.
std::vector<boolean::Point> to_boolean(std::span<const Point> points);
std::vector<Point> from_boolean(std::span<const boolean::Point> points);

// The box of a ring of exactly four distinct corners of a rectangle of non-zero width and height,
// from any corner in either direction; the one test of whether a polygon is a box.
std::optional<Box> as_box(std::span<const Point> ring);

} // namespace quorvane_dsl::ir
