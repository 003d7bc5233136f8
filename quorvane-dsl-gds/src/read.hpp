// GDSII, ours or another tool's, into an IR library.
#pragma once

#include <cstdint>
#include <expected>
#include <string>
#include <string_view>
#include <vector>

#include "base/file.hpp"
#include "ir/ir.hpp"
#include "models/top.hpp"

namespace quorvane_dsl_gds::read {

struct ReadResult {
    quorvane_dsl::ir::Library library;
    std::vector<std::string> warnings; // in the order they arose
};

// The whole stream, taken over so that its bytes are freed once the records are read, before
// the IR is made. Fails with the reader's error in its debug form, or when a cell contains
// itself.
std::expected<ReadResult, std::string> read_gds(quorvane_dsl::base::FileBytes bytes);
std::expected<ReadResult, std::string> read_gds(std::vector<std::uint8_t> bytes);

// Never fails: what the IR cannot hold is left out with a warning.
ReadResult from_layout(const vork::models::top::LayoutDb& layout);

// The text usable as the stem of an instance name.
std::string sanitize(std::string_view text);

// A box when the four points form an axis-parallel rectangle, else the polygon of the points.
quorvane_dsl::ir::Geometry polygon_or_box(std::vector<quorvane_dsl::ir::Point> points);

} // namespace quorvane_dsl_gds::read
