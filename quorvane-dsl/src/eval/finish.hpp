// The last passes over an evaluated library: ports that meet are connected, and cells that
// share a name are merged when equal and renamed when not.
#pragma once

#include <cstdint>
#include <unordered_set>

#include "ir/model.hpp"

namespace quorvane_dsl::eval {

// Records a connection between every two ports of kind "port" of one cell that sit at the same
// place facing each other or the same way, unless the cell holds it already.
void connect_ports(ir::Library& lib);

// Cells of one name with equal content become one (cells built from source win over `copied`
// ones, then the lower index); the remaining different ones get "$1", "$2", ... appended.
void settle_names(ir::Library& lib, const std::unordered_set<std::uint64_t>& copied);

} // namespace quorvane_dsl::eval
