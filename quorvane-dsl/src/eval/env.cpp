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
    const EnvStore::History& h = store->history[slot->second];
    if (!frozen || h.versions.back() <= version) {
        return &h.values.back();
    }
    const auto later = std::upper_bound(h.versions.begin(), h.versions.end(), version);
    return later == h.versions.begin()
               ? nullptr
               : &h.values[static_cast<std::size_t>(std::prev(later) - h.versions.begin())];
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
    EnvStore::History& h = store->history[slot->second];
    if (h.versions.empty() || h.versions.back() != store->version) {
        // Snapshots taken since the last write still read the value before this one.
        h.versions.push_back(store->version);
        h.values.push_back(h.values.empty() ? Value{} : Value(h.values.back()));
    }
    return h.values.back();
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
