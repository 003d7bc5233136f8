#pragma once

// Port findings: ports of placed cells that nothing connects, and connections between ports of
// different type, cross-section or width.

#include <string>
#include <vector>

#include "ir/model.hpp"

namespace quorvane_dsl::lvs {

struct Finding {
    // The cell in which the instance or the connection stands.
    std::string cell;
    std::string message;
    bool warning = false;
    bool operator==(const Finding&) const = default;
};

// The findings of every cell of the library, in library order.
std::vector<Finding> findings(const ir::Library& library);

} // namespace quorvane_dsl::lvs
