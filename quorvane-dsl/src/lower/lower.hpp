// Lowering: the syntax trees of a loaded program become one HIR with every name resolved.
#pragma once

#include "hir/hir.hpp"
#include "load/load.hpp"

namespace quorvane_dsl::lower {

// Never fails: every fault is a diagnostic in the result, after the loader's own. The syntax
// trees are released when it returns, their texts given back to the files.
hir::Hir lower(load::Loaded loaded);

} // namespace quorvane_dsl::lower
