// Publishing a design's top cells as blackboxes: outline, port marks and signatures.
#pragma once

#include <expected>
#include <string>

#include "ir/model.hpp"

namespace quorvane {

// A library holding one blackbox per distinct top cell of `design`, in top order, on the
// layers "blackbox" (outline) and "marker" (port marks). A top that is already a blackbox is
// published again unchanged. Any error leaves no partial library.
std::expected<quorvane_dsl::ir::Library, std::string>
publish_blackboxes(const quorvane_dsl::ir::Library& design);

// The summary line of one published cell: its footprint, port count and content signature.
std::string blackbox_summary(const quorvane_dsl::ir::Cell& cell, double dbu);

} // namespace quorvane
