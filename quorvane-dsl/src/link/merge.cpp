#include "link/merge.hpp"

#include <algorithm>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "signature/signature.hpp"

namespace quorvane_dsl::link {

namespace {

using Group = std::vector<std::uint64_t>;

// Indices of the cells that share a name with another, groups ordered by their first index.
std::vector<Group> namesake_groups(const ir::Library& library) {
    std::unordered_map<std::string_view, Group> by_name;
    for (std::uint64_t i = 0; i < library.cells.size(); ++i) {
        by_name[library.cells[i].name].push_back(i);
    }
    std::vector<Group> groups;
    for (auto& [name, group] : by_name) {
        if (group.size() > 1) {
            groups.push_back(std::move(group));
        }
    }
    std::ranges::sort(groups);
    return groups;
}

struct Folding {
    std::vector<std::uint64_t> representative;
    std::vector<std::uint64_t> renamed;
};

// Equal digests point to the first kept cell; kept cells after a group's first need new names.
Folding fold(const ir::Library& library, const std::vector<Group>& groups) {
    Folding folding;
    folding.representative.resize(library.cells.size());
    for (std::uint64_t i = 0; i < library.cells.size(); ++i) {
        folding.representative[i] = i;
    }
    signature::Digests digests(library);
    for (const Group& group : groups) {
        std::unordered_map<std::string, std::uint64_t> kept;
        for (const std::uint64_t cell : group) {
            const sha256::Digest digest = digests.cell(cell);
            const auto [first, fresh] =
                kept.try_emplace(std::string(digest.begin(), digest.end()), cell);
            if (!fresh) {
                folding.representative[cell] = first->second;
            } else if (kept.size() > 1) {
                folding.renamed.push_back(cell);
            }
        }
    }
    return folding;
}

void rename(ir::Library& library, const std::vector<std::uint64_t>& renamed) {
    std::unordered_set<std::string> taken;
    for (const ir::Cell& cell : library.cells) {
        taken.insert(cell.name);
    }
    for (const std::uint64_t index : renamed) {
        std::string& name = library.cells[index].name;
        std::string candidate;
        for (std::uint64_t n = 1;; ++n) {
            candidate = name + "$" + std::to_string(n);
            if (!taken.contains(candidate)) {
                break;
            }
        }
        taken.insert(candidate);
        name = std::move(candidate);
    }
}

void drop_folded(ir::Library& library, const std::vector<std::uint64_t>& representative) {
    std::vector<std::uint64_t> new_index(library.cells.size());
    std::vector<ir::Cell> cells;
    for (std::uint64_t i = 0; i < library.cells.size(); ++i) {
        if (representative[i] == i) {
            new_index[i] = cells.size();
            cells.push_back(std::move(library.cells[i]));
        }
    }
    for (ir::Cell& cell : cells) {
        for (ir::Instance& inst : cell.instances) {
            inst.cell = new_index[representative[inst.cell]];
        }
    }
    std::vector<std::uint64_t> tops;
    std::vector<bool> listed(cells.size());
    for (const std::uint64_t top : library.tops) {
        const std::uint64_t moved = new_index[representative[top]];
        if (!listed[moved]) {
            listed[moved] = true;
            tops.push_back(moved);
        }
    }
    library.cells = std::move(cells);
    library.tops = std::move(tops);
}

} // namespace

void merge_same_names(ir::Library& library) {
    const std::vector<Group> groups = namesake_groups(library);
    if (groups.empty()) {
        return;
    }
    const Folding folding = fold(library, groups);
    rename(library, folding.renamed);
    for (std::uint64_t i = 0; i < folding.representative.size(); ++i) {
        if (folding.representative[i] != i) {
            drop_folded(library, folding.representative);
            return;
        }
    }
}

} // namespace quorvane_dsl::link
