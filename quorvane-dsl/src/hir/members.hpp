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
// is found by symbol without reading a text. A cell of a few names is searched in place; a
// larger one gets a table on its first lookup, since its members may read each other by the
// million.
class MemberIndex {
  public:
    explicit MemberIndex(const Hir& hir) : hir_(&hir), tables_(hir.cells.size()) {}

    Member find(CellId cell, Symbol name);

  private:
    // Open addressing by symbol: a power of two in size, at most half full, so that a lookup
    // touches one slot or a few neighbours. An empty slot has no name.
    struct Slot {
        std::uint32_t name_plus_one = 0;
        Member member;
    };
    struct Table {
        std::vector<Slot> slots;
        std::uint8_t shift = 0; // 64 less the bits of a block's position
    };

    static Table build(std::span<const CellName> names);
    static std::size_t probe(const Table& table, Symbol name);

    const Hir* hir_;
    std::vector<Table> tables_; // by cell index; empty until a lookup in a large cell
};

} // namespace quorvane_dsl::hir
