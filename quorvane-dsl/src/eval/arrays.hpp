// Runs of equal placements on a regular grid, merged into array instances.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "ir/model.hpp"

namespace quorvane_dsl::eval {

struct ArrayCandidate {
    ir::Instance instance; // plain, in database units
    bool mergeable = false;
};

struct Run {
    std::size_t count = 1;
    std::optional<ir::Point> step;
};

// The run of matching candidates from `start` with one constant step (the `expected` one when
// given), at most `limit` long.
Run find_run(const std::vector<ArrayCandidate>& candidates, std::size_t start,
             std::optional<ir::Point> expected, std::size_t limit);

// The instances in their order, each run (or block of equal runs) written as one array.
std::vector<ir::Instance> merge_arrays(std::vector<ArrayCandidate> candidates);

} // namespace quorvane_dsl::eval
