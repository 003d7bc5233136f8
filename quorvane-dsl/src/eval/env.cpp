#include "eval/env.hpp"

#include <algorithm>
#include <iterator>
#include <optional>

namespace quorvane_dsl::eval {

namespace {

std::size_t home(hir::BindingId binding, std::size_t mask) {
    return static_cast<std::size_t>((std::uint64_t{binding.raw} * 0x9E3779B97F4A7C15u) >> 32) &
           mask;
}

// The place of `binding` in `places`, or the free place where it would go.
template <class Places> auto& place_of(Places& places, hir::BindingId binding) {
    const std::size_t mask = places.size() - 1;
    std::size_t i = home(binding, mask);
    while (places[i].slot != EnvStore::none && places[i].binding != binding) {
        i = (i + 1) & mask;
    }
    return places[i];
}

std::uint32_t find_slot(const EnvStore& store, hir::BindingId binding) {
    if (store.places.empty()) {
        return EnvStore::none;
    }
    return place_of(store.places, binding).slot;
}

std::uint32_t add_slot(EnvStore& store, hir::BindingId binding) {
    if (2 * (store.history.size() + 1) > store.places.size()) {
        std::vector<EnvStore::Place> grown(std::max<std::size_t>(16, 2 * store.places.size()));
        for (const EnvStore::Place& p : store.places) {
            if (p.slot != EnvStore::none) {
                place_of(grown, p.binding) = p;
            }
        }
        store.places = std::move(grown);
    }
    const auto slot = static_cast<std::uint32_t>(store.history.size());
    store.history.emplace_back();
    place_of(store.places, binding) = {binding, slot};
    return slot;
}

// The position of the last version not after `version` in strictly increasing `versions`. The
// versions are whole numbers, so that position is at most `version - versions.front()`; a
// binding written once per snapshot (a loop variable read by the placements of its body) has
// exactly that one, found without a search.
std::optional<std::size_t> last_at_or_before(const std::vector<std::uint64_t>& versions,
                                             std::uint64_t version) {
    if (versions.front() > version) {
        return std::nullopt;
    }
    const std::size_t bound = static_cast<std::size_t>(
        std::min<std::uint64_t>(versions.size() - 1, version - versions.front()));
    if (versions[bound] <= version) {
        return bound;
    }
    const auto end = versions.begin() + static_cast<std::ptrdiff_t>(bound);
    return static_cast<std::size_t>(std::upper_bound(versions.begin(), end, version) -
                                    versions.begin()) -
           1;
}

} // namespace

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
    const std::uint32_t slot = find_slot(*store, binding);
    if (slot == EnvStore::none) {
        return nullptr;
    }
    const EnvStore::History& h = store->history[slot];
    if (!frozen || h.versions.back() <= version) {
        return &h.values.back();
    }
    const auto index = last_at_or_before(h.versions, version);
    return index ? &h.values[*index] : nullptr;
}

Value& Env::shared_slot(hir::BindingId binding, bool keep_value) {
    if (!store) {
        store = std::make_shared<EnvStore>();
    }
    std::uint32_t slot = find_slot(*store, binding);
    if (slot == EnvStore::none) {
        slot = add_slot(*store, binding);
    }
    EnvStore::History& h = store->history[slot];
    if (h.versions.empty() || h.versions.back() != store->version) {
        // Snapshots taken since the last write still read the value before this one.
        h.versions.push_back(store->version);
        h.values.push_back(keep_value && !h.values.empty() ? Value(h.values.back()) : Value{});
    }
    return h.values.back();
}

Value* Env::edit(hir::BindingId binding) {
    if (!frozen) {
        return find_shared(binding) ? &shared_slot(binding, true) : nullptr;
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
        shared_slot(binding, false) = std::move(value);
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
