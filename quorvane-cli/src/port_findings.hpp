#pragma once

// The port findings of a library on standard error, for netlist and lvs.

#include "ir/model.hpp"

namespace quorvane {

// Prints every finding as "warning: ..." or "error: ..." with the cell it stands in; true when
// any of them is an error.
bool print_findings(const quorvane_dsl::ir::Library& library);

} // namespace quorvane
