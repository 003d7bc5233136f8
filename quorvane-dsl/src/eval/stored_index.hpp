// The stored values and markers of built cells found by name.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "ir/model.hpp"

namespace quorvane_dsl::eval {

// A parent reads its children's stored values and markers by name (`inst.x`, `inst.marker.m`, a
// placement on a marker), each of them perhaps once for every member of a large child. A
// child's list is searched from the front until the searches have read about as many names as
// a table of them would take to build, and only then gets one, so that a design of many cells
// of a few dozen members, each read a few times, keeps no tables.
class StoredIndex {
  public:
    // The first stored parameter of that name, else the first stored attribute, of the library
    // cell `cell` at position `index`.
    const ir::Value* value(std::uint64_t index, const ir::Cell& cell, std::string_view name);
    const ir::Marker* marker(std::uint64_t index, const ir::Cell& cell, std::string_view name);

  private:
    // The position of the first name equal to `name` among `count` names, read by `name_at`;
    // `list` tells a cell's lists apart.
    template <class NameAt>
    std::optional<std::uint32_t> find(std::uint64_t list, std::size_t count, std::string_view name,
                                      const NameAt& name_at);

    // By list (two a cell: values, markers): the searches from the front made so far or, with
    // the top bit, the position of its table in tables_. Sized at the first search of a large list.
    std::vector<std::uint32_t> list_states_;
    // Open addressing by the hash of the name: a power of two in size, at most two thirds full;
    // a slot holds a position in the list plus one (0 is free).
    std::vector<std::vector<std::uint32_t>> tables_;
};

} // namespace quorvane_dsl::eval
