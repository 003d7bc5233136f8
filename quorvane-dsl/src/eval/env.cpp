#include "eval/env.hpp"

#include <algorithm>
#include <iterator>

namespace quorvane_dsl::eval {

const Value* Env::find(hir::BindingId binding) const {
    for (const auto& [b, value] : own) {
        if (b == binding) {
            return &value;
        }
    }
    return find_shared(binding);
}

const Value* Env::find_shared(hir::BindingId binding) const {
    if (!store) {
        return nullptr;
    }
    const auto slot = store->slots.find(binding);
    if (slot == store->slots.end()) {
        return nullptr;
    }
    const auto& entries = store->history[slot->second];
    if (!frozen) {
        return &entries.back().value;
    }
    const auto later = std::upper_bound(
        entries.begin(), entries.end(), version,
        [](std::uint64_t v, const EnvStore::Entry& entry) { return v < entry.version; });
    return later == entries.begin() ? nullptr : &std::prev(later)->value;
}

Value& Env::shared_slot(hir::BindingId binding) {
    if (!store) {
        store = std::make_shared<EnvStore>();
    }
    const auto [slot, added] =
        store->slots.try_emplace(binding, static_cast<std::uint32_t>(store->history.size()));
    if (added) {
        store->history.emplace_back();
    }
    auto& entries = store->history[slot->second];
    if (entries.empty() || entries.back().version != store->version) {
        // Snapshots taken since the last write still read the value before this one.
        entries.push_back({store->version, entries.empty() ? Value{} : entries.back().value});
    }
    return entries.back().value;
}

Value* Env::edit(hir::BindingId binding) {
    if (!frozen) {
        return find_shared(binding) ? &shared_slot(binding) : nullptr;
    }
    for (auto& [b, value] : own) {
        if (b == binding) {
            return &value;
        }
    }
    const Value* seen = find_shared(binding);
    if (!seen) {
        return nullptr;
    }
    own.emplace_back(binding, *seen);
    return &own.back().second;
}

void Env::set(hir::BindingId binding, Value value) {
    if (!frozen) {
        shared_slot(binding) = std::move(value);
        return;
    }
    for (auto& [b, held] : own) {
        if (b == binding) {
            held = std::move(value);
            return;
        }
    }
    own.emplace_back(binding, std::move(value));
}

Env Env::snapshot() const {
    Env copy;
    copy.store = store;
    copy.frozen = true;
    copy.own = own;
    copy.version = frozen || !store ? version : store->version++;
    return copy;
}

} // namespace quorvane_dsl::eval
