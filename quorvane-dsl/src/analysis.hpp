// The result of analysing a source file: the one seam between analysis and evaluation.
#pragma once

#include "check/types.hpp"
#include "hir/hir.hpp"

namespace quorvane_dsl {

struct Analysis {
    hir::Hir hir;
    check::Types types;
};

} // namespace quorvane_dsl
