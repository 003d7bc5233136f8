// Folds cells that arrived twice under one name and renames namesakes that differ.
#pragma once

#include "ir/model.hpp"

namespace quorvane_dsl::link {

// Cells of one exact name with equal content digests are folded into the first of them, and
// every placement and top follows; a differing namesake becomes the name, "$" and the first
// free number from 1. Surviving cells keep their order.
void merge_same_names(ir::Library& library);

} // namespace quorvane_dsl::link
