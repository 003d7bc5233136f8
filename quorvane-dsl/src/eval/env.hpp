// The local environment of a cell body: the current value of each local binding.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "eval/value.hpp"
#include "hir/ids.hpp"

namespace quorvane_dsl::eval {

// Hashes a typed HIR index by its position.
struct IdxHash {
    template <class T> std::size_t operator()(arena::Idx<T> idx) const {
        return std::hash<std::uint32_t>{}(idx.raw);
    }
};

// Every placement keeps the local values of its statement, and a cell body may place as many
// things as it defines names. So a snapshot must not copy the environment: one store, shared by
// the environment and all its snapshots, keeps for each binding the values it was given, each
// tagged with the number of snapshots taken before it was written. A snapshot reads, per binding,
// the last value written before it was taken. A value is overwritten in place while no snapshot
// can see it, so the store grows by one value per write that follows a snapshot.
struct EnvStore {
    // The values one binding was given, oldest first, each with the version it was written at.
    struct History {
        std::vector<std::uint64_t> versions;
        std::vector<Value> values;
    };
    // The slot of each binding, by open addressing: it is read for every name evaluated.
    struct Place {
        hir::BindingId binding;
        std::uint32_t slot = none;
    };
    static constexpr std::uint32_t none = ~std::uint32_t{0};
    std::vector<Place> places;    // a power of two long, at most half full
    std::vector<History> history; // per slot
    std::uint64_t version = 0;    // snapshots taken so far
};

class Env {
  public:
    Env() = default;
    Env(Env&&) = default;
    Env& operator=(Env&&) = default;
    // Copies would share the store; a copy is taken with `snapshot`.
    Env(const Env&) = delete;
    Env& operator=(const Env&) = delete;

    // The value `binding` holds; null when it holds none.
    const Value* find(hir::BindingId binding) const;
    // The same, for changing the value in place.
    Value* edit(hir::BindingId binding);
    void set(hir::BindingId binding, Value value);
    // The environment as it is now; later changes to either side leave the other as it was.
    // Taking one only marks the shared store (hence const), whatever the environment's size.
    Env snapshot() const;

  private:
    const Value* find_shared(hir::BindingId binding) const;
    // Where a write of `binding` goes in the shared store; only the live environment writes there.
    // A slot new since the last snapshot starts as the value before it when `keep_value` (an
    // edit), else empty (a whole new value is about to replace it).
    Value& shared_slot(hir::BindingId binding, bool keep_value);

    std::shared_ptr<EnvStore> store;
    // Set for a snapshot: the version it reads at. Values given to a snapshot stay in `own`.
    bool frozen = false;
    std::uint64_t version = 0;
    std::vector<std::pair<hir::BindingId, Value>> own;
};

} // namespace quorvane_dsl::eval
