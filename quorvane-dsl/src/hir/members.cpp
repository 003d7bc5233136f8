#include "hir/members.hpp"

#include <algorithm>
#include <bit>

namespace quorvane_dsl::hir {

namespace {

// Below this many names a search from the front is quicker than building a table.
constexpr std::size_t indexed_names = 16;

// Slots of consecutive symbols (MemberIndex::probe).
constexpr int block_bits = 6;
constexpr std::size_t block_size = std::size_t{1} << block_bits;

Member member_of(const Res& res) {
    if (const auto* param = std::get_if<Res::Param>(&res.kind)) {
        return {Member::Kind::Param, param->index};
    }
    if (const auto* attr = std::get_if<Res::Attr>(&res.kind)) {
        return {Member::Kind::Attr, attr->index};
    }
    if (const auto* marker = std::get_if<Res::Marker>(&res.kind)) {
        return {Member::Kind::Marker, marker->index};
    }
    return {};
}

} // namespace

std::size_t MemberIndex::probe(const Table& table, Symbol name) {
    const std::size_t mask = table.slots.size() - 1;
    // Names are mostly interned in the order declared and read near each other, so a run of
    // consecutive symbols keeps its order in one block of slots, and the blocks are spread by
    // Fibonacci hashing, so that no long run of symbols forms one cluster.
    const std::uint64_t block = (name.raw >> block_bits) * 0x9E3779B97F4A7C15ull;
    std::size_t i = (block >> table.shift) << block_bits | (name.raw & (block_size - 1));
    while (table.slots[i].name_plus_one != 0 && table.slots[i].name_plus_one != name.raw + 1) {
        i = (i + 1) & mask;
    }
    return i;
}

MemberIndex::Table MemberIndex::build(std::span<const CellName> names) {
    // Two blocks at least, so that a block's position has a bit.
    const std::size_t size = std::bit_ceil(std::max(2 * names.size(), 2 * block_size));
    const auto block_count_bits = std::countr_zero(size) - block_bits;
    Table table{std::vector<Slot>(size), static_cast<std::uint8_t>(64 - block_count_bits)};
    for (const CellName& named : names) {
        // Lowering keeps each name once in a cell; were there two, the first is found.
        Slot& slot = table.slots[probe(table, named.name)];
        if (slot.name_plus_one == 0) {
            slot = {named.name.raw + 1, member_of(named.res)};
        }
    }
    return table;
}

Member MemberIndex::find(CellId cell, Symbol name) {
    const std::span<const CellName> names = hir_->names_of(hir_->cells[cell].names);
    if (names.size() < indexed_names) {
        for (const CellName& named : names) {
            if (named.name == name) {
                return member_of(named.res);
            }
        }
        return {};
    }
    Table& table = tables_[cell.raw];
    if (table.slots.empty()) {
        table = build(names);
    }
    return table.slots[probe(table, name)].member;
}

} // namespace quorvane_dsl::hir
