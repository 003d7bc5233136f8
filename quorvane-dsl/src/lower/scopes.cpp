// The local scopes of a cell body: one shadow stack per name.
#include "lower/lowerer.hpp"

namespace quorvane_dsl::lower {

void Scopes::pop() {
    for (std::size_t i = names_.size(); i > opened_.back(); --i) {
        auto found = stacks_.find(*names_[i - 1]);
        found->second.pop_back();
        if (found->second.empty()) {
            stacks_.erase(found);
        }
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
    auto [entry, inserted] = stacks_.try_emplace(std::string(name));
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
    if (found == stacks_.end()) {
        return std::nullopt;
    }
    return found->second.back().binding;
}

std::vector<std::string_view> Scopes::names() const {
    std::vector<std::string_view> result;
    result.reserve(stacks_.size());
    for (const auto& [name, stack] : stacks_) {
        result.push_back(name);
    }
    return result;
}

} // namespace quorvane_dsl::lower
