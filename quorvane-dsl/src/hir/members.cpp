#include "hir/members.hpp"

#include <algorithm>
#include <bit>

namespace quorvane_dsl::hir {

namespace {

// A search from the front of fewer names reads a few cache lines: never worth a table.
constexpr std::size_t indexed_names = 32;

// Searches from the front of a larger cell before it gets a table: building one reads every
// name and writes about twice as many slots, as a few searches do.
constexpr std::uint32_t searches_before_table = 8;
constexpr std::uint32_t table_bit = std::uint32_t{1} << 31;

// The widest block of slots of consecutive symbols (MemberIndex::probe).
constexpr int max_block_bits = 6;

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

Member search(std::span<const CellName> names, Symbol name) {
    for (const CellName& named : names) {
        if (named.name == name) {
            return member_of(named.res);
        }
    }
    return {};
}

} // namespace

std::size_t MemberIndex::probe(const Table& table, std::span<const CellName> names, Symbol name) {
    const std::size_t mask = table.slots.size() - 1;
    // Names are mostly interned in the order declared and read near each other, so a run of
    // consecutive symbols keeps its order in one block of slots, and the blocks are spread by
    // Fibonacci hashing, so that no long run of symbols forms one cluster.
    const std::uint64_t block = (name.raw >> table.block_bits) * 0x9E3779B97F4A7C15ull;
    const std::uint32_t in_block = name.raw & ((std::uint32_t{1} << table.block_bits) - 1);
    std::size_t i = (block >> table.shift) << table.block_bits | in_block;
    while (table.slots[i] != 0 && names[table.slots[i] - 1].name != name) {
        i = (i + 1) & mask;
    }
    return i;
}

MemberIndex::Table MemberIndex::build(std::span<const CellName> names) {
    const std::size_t size = std::bit_ceil(names.size() + names.size() / 2 + 1);
    const int size_bits = std::countr_zero(size);
    // Two blocks at least, so that a block's position has a bit.
    const int block_bits = std::min(max_block_bits, size_bits - 1);
    Table table{std::vector<std::uint32_t>(size), static_cast<std::uint8_t>(block_bits),
                static_cast<std::uint8_t>(64 - (size_bits - block_bits))};
    for (std::uint32_t i = 0; i < names.size(); ++i) {
        // Lowering keeps each name once in a cell; were there two, the first is found.
        std::uint32_t& slot = table.slots[probe(table, names, names[i].name)];
        if (slot == 0) {
            slot = i + 1;
        }
    }
    return table;
}

Member MemberIndex::find(CellId cell, Symbol name) {
    const std::span<const CellName> names = hir_->names_of(hir_->cells[cell].names);
    if (names.size() < indexed_names) {
        return search(names, name);
    }
    if (cell_states_.empty()) {
        cell_states_.resize(hir_->cells.size());
    }
    std::uint32_t& state = cell_states_[cell.raw];
    if (state < searches_before_table) {
        ++state;
        return search(names, name);
    }
    if (state == searches_before_table) {
        state = table_bit | static_cast<std::uint32_t>(tables_.size());
        tables_.push_back(build(names));
    }
    const Table& table = tables_[state & ~table_bit];
    const std::uint32_t slot = table.slots[probe(table, names, name)];
    return slot == 0 ? Member{} : member_of(names[slot - 1].res);
}

} // namespace quorvane_dsl::hir
