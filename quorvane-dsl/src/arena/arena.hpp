// Append-only arenas of HIR items, addressed by typed u32 indices.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/fatal.hpp"

namespace quorvane_dsl::arena {

// The position of an item in its Arena<T>. The type parameter keeps an index of a cell from
// being used as an index of an expression.
template <class T> struct Idx {
    std::uint32_t raw = 0;

    friend constexpr bool operator==(Idx, Idx) = default;
    friend constexpr auto operator<=>(Idx, Idx) = default;
};

// An index or none in four bytes, where std::optional takes eight: none is the one value an
// index never has, as an arena holds fewer than 2^32 - 1 items. Read like an optional.
template <class T> struct OptIdx {
    std::uint32_t raw = UINT32_MAX;

    constexpr OptIdx() = default;
    constexpr OptIdx(std::nullopt_t) {}
    constexpr OptIdx(Idx<T> idx) : raw(idx.raw) {}
    constexpr OptIdx(std::optional<Idx<T>> idx) : raw(idx ? idx->raw : UINT32_MAX) {}

    constexpr bool has_value() const { return raw != UINT32_MAX; }
    constexpr explicit operator bool() const { return has_value(); }
    constexpr Idx<T> operator*() const { return Idx<T>{raw}; }
    // Where an optional is wanted, so that readers need not know how the none is kept.
    constexpr operator std::optional<Idx<T>>() const {
        return *this ? std::optional(**this) : std::nullopt;
    }
    friend constexpr bool operator==(OptIdx, OptIdx) = default;
};

// Items are never removed or reordered, so an index stays valid as long as the arena lives.
template <class T> class Arena {
  public:
    Idx<T> alloc(T item) {
        // Indices are u32; a program this large cannot come from a text below 4 GiB.
        if (items_.size() >= UINT32_MAX) {
            base::fatal("arena: more than 2^32 - 1 items");
        }
        items_.push_back(std::move(item));
        return Idx<T>{static_cast<std::uint32_t>(items_.size() - 1)};
    }

    const T& operator[](Idx<T> idx) const { return items_[checked(idx)]; }
    T& operator[](Idx<T> idx) { return items_[checked(idx)]; }

    std::size_t size() const { return items_.size(); }
    bool empty() const { return items_.empty(); }
    void reserve(std::size_t n) { items_.reserve(n); }

    // The items in index order; the position of an item is its index.
    auto begin() const { return items_.begin(); }
    auto end() const { return items_.end(); }

    // The index of the item at a position of the walk.
    static Idx<T> idx_at(std::size_t position) {
        return Idx<T>{static_cast<std::uint32_t>(position)};
    }

  private:
    std::size_t checked(Idx<T> idx) const {
        if (idx.raw >= items_.size()) {
            base::fatal("arena: index " + std::to_string(idx.raw) + " out of range (size " +
                        std::to_string(items_.size()) + ")");
        }
        return idx.raw;
    }

    std::vector<T> items_;
};

} // namespace quorvane_dsl::arena
