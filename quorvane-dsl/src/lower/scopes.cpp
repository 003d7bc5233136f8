// The local scopes of a cell body: one shadow stack per name.
#include <algorithm>

#include "lower/lowerer.hpp"

namespace quorvane_dsl::lower {

void Scopes::pop() {
    for (std::size_t i = names_.size(); i > opened_.back(); --i) {
        stacks_[names_[i - 1].raw].pop_back();
    }
    names_.resize(opened_.back());
    opened_.pop_back();
}

void Scopes::clear() {
    for (const hir::Symbol name : names_) {
        stacks_[name.raw].clear();
    }
    names_.clear();
    opened_.clear();
}

void Scopes::bind(hir::Symbol name, hir::BindingId binding) {
    if (opened_.empty()) {
        return;
    }
    if (name.raw >= stacks_.size()) {
        stacks_.resize(name.raw + 1);
    }
    std::vector<Shadow>& stack = stacks_[name.raw];
    if (!stack.empty() && stack.back().depth == opened_.size()) {
        stack.back().binding = binding;
        return;
    }
    stack.push_back({binding, opened_.size()});
    names_.push_back(name);
}

std::optional<hir::BindingId> Scopes::find(hir::Symbol name) const {
    if (name.raw >= stacks_.size() || stacks_[name.raw].empty()) {
        return std::nullopt;
    }
    return stacks_[name.raw].back().binding;
}

std::vector<hir::Symbol> Scopes::names() const {
    std::vector<hir::Symbol> result = names_;
    std::ranges::sort(result, {}, &hir::Symbol::raw);
    const auto repeated = std::ranges::unique(result);
    result.erase(repeated.begin(), repeated.end());
    return result;
}

} // namespace quorvane_dsl::lower
