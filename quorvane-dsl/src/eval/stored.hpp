// Conversions between runtime values and the values an IR cell stores.
#pragma once

#include <expected>
#include <string>

#include "eval/value.hpp"
#include "ir/value.hpp"

namespace quorvane_dsl::eval {

// The most values one stored value may hold, nested lists included.
inline constexpr std::size_t max_stored_values = 1'000'000;

// `dbu` × round(v / `dbu`), halves away from zero; saturating, NaN to 0.
double snap(double v, double dbu);

// The stored form of a value, sizes and point coordinates snapped to the grid, or the message
// that refuses it ("a shape cannot be stored as a value").
std::expected<ir::Value, std::string> to_stored(const Value& value, double dbu);

} // namespace quorvane_dsl::eval
