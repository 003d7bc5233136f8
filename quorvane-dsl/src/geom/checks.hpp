// The argument checks and automatic arc counts that every shape builder shares.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "geom/shape.hpp"

namespace quorvane_dsl::geom {

// Each check gives the message that refuses the value, or nothing when the value passes.

// Zero, negative, infinite and NaN fail; positive subnormals pass.
std::optional<std::string> check_positive(std::string_view name, double value);

// Negative (below -0), infinite and NaN fail.
std::optional<std::string> check_not_negative(std::string_view name, double value);

// An explicit segment count outside 3..=65536.
std::optional<std::string> check_segments(std::int64_t segments);

// Segments of an arc sweeping `sweep_degrees` at `radius`, keeping every chord within `tol` of the
// arc: 8 per full circle when the tolerance reaches the radius, never fewer than 8 per full
// circle, never more than 4096 and never fewer than 2.
std::size_t auto_segments(double sweep_degrees, double radius, double tol);

// The explicit count when given (checked), else the automatic one.
Built<std::size_t> arc_segments(std::optional<std::int64_t> segments, double sweep_degrees,
                                double radius, double tol);

// Radii in messages are shown to the nearest 0.001 nm, halves away from zero.
double round_thousandth(double nanometres);

} // namespace quorvane_dsl::geom
