// The ports of a cell: marker locations of the cell and of the cells it places.
#pragma once

// The marker locations visible at the level of one cell: its own, and those of the cells it
// places directly (not through arrays), moved into its coordinates.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "ir/model.hpp"

namespace quorvane_dsl::lvs {

struct Port {
    std::string marker;
    std::optional<std::string> instance;
    std::uint64_t index = 0;
    std::string kind;
    std::optional<std::string> type;
    std::optional<double> width;
    std::optional<std::string> xsection;
    std::int64_t x = 0;
    std::int64_t y = 0;
    double angle = 0;
    bool operator==(const Port&) const = default;
};

struct PortAttrs {
    std::optional<double> width;
    std::optional<std::string> type;
    std::optional<std::string> xsection;
};

// The "width" (a number), "type" (a text) and "xsection" (a named value, as its literal)
// attributes; a later match replaces an earlier one.
PortAttrs attrs_of(std::span<const ir::NamedValue> attrs);

std::vector<Port> ports(std::span<const ir::Cell> cells, const ir::Cell& cell);

} // namespace quorvane_dsl::lvs
