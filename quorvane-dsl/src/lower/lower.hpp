// Lowering: the syntax trees of a loaded program become one HIR with every name resolved.
#pragma once

#include "hir/hir.hpp"
#include "load/load.hpp"

namespace quorvane_dsl::lower {

// What lowering records beyond what checking and evaluating read.
struct Options {
    // Hir::occurrences, for tools that point from a name to its definition and back.
    bool occurrences = true;
};

// Never fails: every fault is a diagnostic in the result, after the loader's own. The syntax
// trees are released when it returns, their texts given back to the files; the storage of a
// tree that no one else holds is given back already while lowering passes through it.
hir::Hir lower(load::Loaded loaded, Options options = {});

} // namespace quorvane_dsl::lower
