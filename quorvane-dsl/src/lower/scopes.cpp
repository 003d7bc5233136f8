// The local scopes of a cell body: one shadow stack per name.
#include "lower/lowerer.hpp"

namespace quorvane_dsl::lower {

// A name's entry stays when its last binding goes, so that a name bound again in the next loop
// or block of the cell costs no allocation; `clear` drops them all between cells.
void Scopes::pop() {
    for (std::size_t i = names_.size(); i > opened_.back(); --i) {
        stacks_.find(*names_[i - 1])->second.pop_back();
    }
    names_.resize(opened_.back());
    opened_.pop_back();
}

void Scopes::clear() {
    stacks_.clear();
    names_.clear();
    opened_.clear();
}

void Scopes::bind(std::string_view name, hir::BindingId binding) {
    if (opened_.empty()) {
        return;
    }
    auto entry = stacks_.find(name);
    if (entry == stacks_.end()) {
        entry = stacks_.try_emplace(std::string(name)).first;
    }
    std::vector<Shadow>& stack = entry->second;
    if (!stack.empty() && stack.back().depth == opened_.size()) {
        stack.back().binding = binding;
        return;
    }
    stack.push_back({binding, opened_.size()});
    names_.push_back(&entry->first);
}

std::optional<hir::BindingId> Scopes::find(const base::HashedName& name) const {
    const auto found = stacks_.find(name);
    if (found == stacks_.end() || found->second.empty()) {
        return std::nullopt;
    }
    return found->second.back().binding;
}

std::vector<std::string_view> Scopes::names() const {
    std::vector<std::string_view> result;
    result.reserve(stacks_.size());
    for (const auto& [name, stack] : stacks_) {
        if (!stack.empty()) {
            result.push_back(name);
        }
    }
    return result;
}

} // namespace quorvane_dsl::lower
