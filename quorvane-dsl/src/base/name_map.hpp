// Hash maps keyed by names that are looked up by string_view, without building a string.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace quorvane_dsl::base {

// Hashes std::string keys so that they can be looked up by string_view; the hash equals that of
// std::string, so the iteration order stays that of a plain map.
struct NameHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const {
        return std::hash<std::string_view>{}(text);
    }
};

template <class V> using NameMap = std::unordered_map<std::string, V, NameHash, std::equal_to<>>;

} // namespace quorvane_dsl::base
