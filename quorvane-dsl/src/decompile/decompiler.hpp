// The state of one decompiler run, shared by the file frame and the cell writer.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "decompile/decompile.hpp"
#include "decompile/output.hpp"
#include "ir/ir.hpp"

namespace quorvane_dsl::decompile {

// The characters an identifier keeps as they are; everything else becomes "_".
constexpr bool is_ascii_alnum(char32_t c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

struct Decompiler {
    Output output;
    std::vector<std::string> warnings;
    std::vector<std::string> cell_names;  // by cell index
    std::vector<std::string> layer_names; // by layer index
    const ir::Library& library;
    NameSet names; // file level

    // Appends the `cell` block of one library cell.
    void cell(std::size_t index);
};

// `decompile_to` with pieces of the given sizes.
std::expected<std::vector<std::string>, Unparsed> decompile_in_pieces(const ir::Library& library,
                                                                      const LayerSource* source,
                                                                      PieceLimits limits,
                                                                      const TextSink& sink);

} // namespace quorvane_dsl::decompile
