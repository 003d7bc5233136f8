// Linking: copying cells and their layers from one library into another.
#pragma once

// Copies cells of one library (the source) into another (the target), with every cell they
// place and every layer they use, remembering what was copied so each source cell is copied
// and each source layer matched at most once per linker.

#include <cstdint>
#include <expected>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "ir/model.hpp"

namespace quorvane_dsl::link {

// The source cells whose copy is in progress, outermost first.
class CopyPath {
  public:
    void push(std::uint64_t cell);
    void pop();
    bool contains(std::uint64_t cell) const { return members_.contains(cell); }
    const std::vector<std::uint64_t>& cells() const { return order_; }

  private:
    std::vector<std::uint64_t> order_;
    std::unordered_set<std::uint64_t> members_;
};

class Linker {
  public:
    // The cell in the target's terms; it is not appended, the cells it places are.
    std::expected<ir::Cell, std::string> contents(ir::Library& target, std::uint64_t source_id,
                                                  const ir::Library& source, std::uint64_t cell);
    // The index of the cell's copy in the target, copying it when not yet copied.
    std::expected<std::uint64_t, std::string> copy_cell(ir::Library& target,
                                                        std::uint64_t source_id,
                                                        const ir::Library& source,
                                                        std::uint64_t cell, CopyPath& path);
    std::expected<ir::Cell, std::string> translate(ir::Library& target, std::uint64_t source_id,
                                                   const ir::Library& source, std::uint64_t cell,
                                                   CopyPath& path);

  private:
    struct Key {
        std::uint64_t source_id;
        std::uint64_t index;
        bool operator==(const Key&) const = default;
    };
    struct KeyHash {
        std::size_t operator()(const Key& key) const {
            return std::hash<std::uint64_t>{}(key.source_id * 0x9e3779b97f4a7c15ULL ^ key.index);
        }
    };

    std::uint64_t map_layer(ir::Library& target, std::uint64_t source_id, const ir::Library& source,
                            std::uint64_t layer);

    std::unordered_map<Key, std::uint64_t, KeyHash> layer_map_;
    std::unordered_map<Key, std::uint64_t, KeyHash> cell_map_;
};

} // namespace quorvane_dsl::link
