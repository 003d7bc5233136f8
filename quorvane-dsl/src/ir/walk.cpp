#include "ir/walk.hpp"

namespace quorvane_dsl::ir {

std::optional<std::uint64_t> cycle(std::span<const Cell> cells) {
    enum class Mark : std::uint8_t { Unvisited, OnPath, Done };
    std::vector<Mark> marks(cells.size(), Mark::Unvisited);
    std::optional<std::uint64_t> found;
    const auto enter = [&](std::uint64_t cell) {
        switch (marks.at(cell)) {
        case Mark::Unvisited:
            marks[cell] = Mark::OnPath;
            return true;
        case Mark::OnPath:
            found = found.value_or(cell);
            return false;
        case Mark::Done:
            return false;
        }
        return false;
    };
    const auto finish = [&](std::uint64_t cell) { marks[cell] = Mark::Done; };
    for (std::uint64_t root = 0; root < cells.size() && !found; ++root) {
        walk_children_first(cells, root, enter, finish);
    }
    return found;
}

} // namespace quorvane_dsl::ir
