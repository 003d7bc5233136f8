#pragma once

// Points handed to and taken from the polygon engine, which keeps its own point type.

#include <span>
#include <vector>

#include "boolean/types.hpp"
#include "ir/model.hpp"

namespace quorvane_dsl::ir {

std::vector<boolean::Point> to_boolean(std::span<const Point> points);
std::vector<Point> from_boolean(std::span<const boolean::Point> points);

} // namespace quorvane_dsl::ir
