// Parameters, attributes and markers of cells found by name.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "hir/hir.hpp"

namespace quorvane_dsl::hir {

// What a name of a cell's level denotes, as far as a field access on the cell can read it.
struct Member {
    enum class Kind : std::uint8_t { None, Param, Attr, Marker };
    Kind kind = Kind::None;
    std::uint32_t index = 0; // position among the cell's members of that kind
};

// Lowering keeps each name of a cell's level once, interned, among the cell's names, so a member
// is found by symbol without reading a text. A cell is searched in place until the searches
// have read about as many names as a table of them would take to build; only then does it get
// one, since its members may read each other by the million. So a design of many cells of a
// few dozen names, each read a few times, keeps no tables.
class MemberIndex {
  public:
    explicit MemberIndex(const Hir& hir) : hir_(&hir) {}

    Member find(CellId cell, Symbol name);

  private:
    // Open addressing by symbol: a power of two in size, at most two thirds full. A slot holds
    // the position of a name in the cell's names plus one (0 is free), so a name costs 6 to 12
    // bytes and its symbol is read from the names themselves.
    struct Table {
        std::vector<std::uint32_t> slots;
        std::uint8_t block_bits = 0; // of a symbol kept in order in a block of slots
        std::uint8_t shift = 0;      // 64 less the bits of a block's position
    };

    static Table build(std::span<const CellName> names);
    static std::size_t probe(const Table& table, std::span<const CellName> names, Symbol name);

    const Hir* hir_;
    // By cell: the searches from the front made so far or, with `table_bit`, the position of its
    // table in tables_. Sized at the first search of a large cell.
    std::vector<std::uint32_t> cell_states_;
    std::vector<Table> tables_;
};

} // namespace quorvane_dsl::hir
