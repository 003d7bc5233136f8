#include "eval/stored_index.hpp"

#include <bit>
#include <functional>

namespace quorvane_dsl::eval {

namespace {

// A search from the front of fewer names reads a few cache lines: never worth a table.
constexpr std::size_t indexed_names = 32;

// Searches from the front of a larger list before it gets a table: building one reads every
// name and writes about twice as many slots, as a few searches do.
constexpr std::uint32_t searches_before_table = 8;
constexpr std::uint32_t table_bit = std::uint32_t{1} << 31;

template <class NameAt>
std::optional<std::uint32_t> search(std::size_t count, std::string_view name,
                                    const NameAt& name_at) {
    for (std::uint32_t i = 0; i < count; ++i) {
        if (name_at(i) == name) {
            return i;
        }
    }
    return std::nullopt;
}

template <class NameAt>
std::size_t probe(const std::vector<std::uint32_t>& slots, std::string_view name,
                  const NameAt& name_at) {
    const std::size_t mask = slots.size() - 1;
    std::size_t i = std::hash<std::string_view>{}(name)&mask;
    while (slots[i] != 0 && name_at(slots[i] - 1) != name) {
        i = (i + 1) & mask;
    }
    return i;
}

template <class NameAt> std::vector<std::uint32_t> build(std::size_t count, const NameAt& name_at) {
    std::vector<std::uint32_t> slots(std::bit_ceil(count + count / 2 + 1));
    for (std::uint32_t i = 0; i < count; ++i) {
        // A stored list may repeat a name (an imported cell's); the first is found, as by a search.
        std::uint32_t& slot = slots[probe(slots, name_at(i), name_at)];
        if (slot == 0) {
            slot = i + 1;
        }
    }
    return slots;
}

} // namespace

template <class NameAt>
std::optional<std::uint32_t> StoredIndex::find(std::uint64_t list, std::size_t count,
                                               std::string_view name, const NameAt& name_at) {
    if (count < indexed_names) {
        return search(count, name, name_at);
    }
    if (list >= list_states_.size()) {
        list_states_.resize(list + 1);
    }
    std::uint32_t& state = list_states_[list];
    if (state < searches_before_table) {
        ++state;
        return search(count, name, name_at);
    }
    if (state == searches_before_table) {
        state = table_bit | static_cast<std::uint32_t>(tables_.size());
        tables_.push_back(build(count, name_at));
    }
    const std::vector<std::uint32_t>& slots = tables_[state & ~table_bit];
    const std::uint32_t slot = slots[probe(slots, name, name_at)];
    return slot == 0 ? std::nullopt : std::optional(slot - 1);
}

const ir::Value* StoredIndex::value(std::uint64_t index, const ir::Cell& cell,
                                    std::string_view name) {
    const std::size_t params = cell.params.size();
    const auto value_at = [&](std::uint32_t i) -> const ir::NamedValue& {
        return i < params ? cell.params[i] : cell.attrs[i - params];
    };
    const auto found = find(2 * index, params + cell.attrs.size(), name,
                            [&](std::uint32_t i) -> std::string_view { return value_at(i).first; });
    return found ? &value_at(*found).second : nullptr;
}

const ir::Marker* StoredIndex::marker(std::uint64_t index, const ir::Cell& cell,
                                      std::string_view name) {
    const auto found =
        find(2 * index + 1, cell.markers.size(), name,
             [&](std::uint32_t i) -> std::string_view { return cell.markers[i].name; });
    return found ? &cell.markers[*found] : nullptr;
}

} // namespace quorvane_dsl::eval
