// Walks of the cell graph without recursion, and its cycle check.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "ir/model.hpp"

namespace quorvane_dsl::ir {

// Visits the cells placed below `root`, children before their parents, with an explicit stack
// so that deep hierarchies cannot exhaust the call stack. `enter(cell)` is asked for the root
// and for every placement and answers whether the cell still needs a visit, marking it as
// started when it does; `finish(cell)` runs once all the children it entered are finished.
// A cell already started is never entered again, so a cycle ends the walk along it.
template <typename Enter, typename Finish>
void walk_children_first(std::span<const Cell> cells, std::uint64_t root, Enter&& enter,
                         Finish&& finish) {
    if (!enter(root)) {
        return;
    }
    struct Entry {
        std::uint64_t cell;
        std::size_t next;
    };
    std::vector<Entry> stack{{root, 0}};
    while (!stack.empty()) {
        Entry& top = stack.back();
        const auto& instances = cells[top.cell].instances;
        if (top.next < instances.size()) {
            const std::uint64_t child = instances[top.next++].cell;
            if (enter(child)) {
                stack.push_back({child, 0});
            }
            continue;
        }
        const std::uint64_t done = top.cell;
        stack.pop_back();
        finish(done);
    }
}

// A cell that contains itself through its instances, found without recursion.
std::optional<std::uint64_t> cycle(std::span<const Cell> cells);

} // namespace quorvane_dsl::ir
