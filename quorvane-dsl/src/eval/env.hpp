// The local environment of a cell body: the current value of each local binding.
#pragma once

#include <cstddef>
#include <functional>
#include <unordered_map>

#include "eval/value.hpp"
#include "hir/ids.hpp"

namespace quorvane_dsl::eval {

// Hashes a typed HIR index by its position.
struct IdxHash {
    template <class T> std::size_t operator()(arena::Idx<T> idx) const {
        return std::hash<std::uint32_t>{}(idx.raw);
    }
};

using Env = std::unordered_map<hir::BindingId, Value, IdxHash>;

} // namespace quorvane_dsl::eval
