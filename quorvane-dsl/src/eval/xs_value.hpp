// An evaluated cross-section: its bound parameters, identifying text and stored form.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "eval/value.hpp"
#include "geom/bands.hpp"
#include "hir/ids.hpp"
#include "ir/value.hpp"

namespace quorvane_dsl::eval {

// Immutable once built and shared; equal `key`s mean the same cross-section.
struct XsValue {
    std::vector<Value> args;              // per parameter, as evaluated (not snapped)
    std::string key;                      // the literal of the name with every parameter
    ir::Value stored{ir::Value::Named{}}; // the named value parameters and attributes keep
    std::vector<std::pair<hir::LayerId, geom::Band>> bands; // section order, then offset order
    std::shared_ptr<const std::string> type;
    std::shared_ptr<const std::string> bend;
    double p = 0.5;
    std::optional<double> min_radius;
    std::optional<double> radius;
    std::optional<double> pitch;
    hir::XsId def;
};

// The width of the first section, the main one: its bands come first.
inline double main_width(const XsValue& xs) {
    return xs.bands.empty() ? 0.0 : xs.bands.front().second.width;
}

} // namespace quorvane_dsl::eval
