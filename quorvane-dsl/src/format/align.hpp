// The formatter's alignment pass: columns of consecutive entries padded to line up.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "format/tree_view.hpp"

namespace quorvane_dsl::format {

// Spaces to write before a token that continues its line, by token; set by the alignment
// pass for the first token of each aligned column.
struct AlignmentMap {
    static constexpr std::uint32_t none = UINT32_MAX;
    std::vector<std::uint32_t> pads; // indexed by element

    explicit AlignmentMap(std::uint32_t element_count) : pads(element_count, none) {}
    void set(Element token, std::uint32_t spaces) { pads[token.index] = spaces; }
    std::optional<std::uint32_t> get(Element token) const {
        const std::uint32_t pad = pads[token.index];
        return pad == none ? std::nullopt : std::optional(pad);
    }
};

using Run = std::vector<Element>;

// The runs of a section: consecutive entries of the given kind, each on a line of its own,
// not parted by a blank line, a comment line or another token; each run two or more long.
std::vector<Run> runs(const TreeView& tree, Element section, SyntaxKind entry_kind);

// An entry's name: its first child node of kind NAME or NAME_REF.
std::optional<Element> entry_name(const TreeView& tree, Element entry);

// Pads the token after each entry's name so that it starts one column after the widest name.
void align_after_name(const TreeView& tree, const Run& run, AlignmentMap& map);

// Lines up the "=" of the defaults of a run of parameter declarations.
void align_params(const TreeView& tree, const Run& run, AlignmentMap& map);

// Lines up the `at` of a run of placements one column after the widest head.
void align_places(const TreeView& tree, const Run& run, AlignmentMap& map);

// Every section of the tree, in preorder, with its runs aligned.
AlignmentMap align_sections(const TreeView& tree);

} // namespace quorvane_dsl::format
