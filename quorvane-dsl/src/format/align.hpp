// The formatter's alignment pass: columns of consecutive entries padded to line up.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "format/tree_view.hpp"

namespace quorvane_dsl::format {

// Spaces to write before a token that continues its line, by token; set by the alignment
// pass for the first token of each aligned column. Few tokens have one, so only those are kept.
class AlignmentMap {
  public:
    // A later setting for the same token replaces the earlier one.
    void set(Element token, std::uint32_t spaces) { pads_.push_back({token.index, spaces}); }
    struct Pad {
        std::uint32_t token;
        std::uint32_t spaces;
    };

    // Called once all are set: orders the pads by token.
    void settle();
    const std::vector<Pad>& pads() const { return pads_; }

  private:
    std::vector<Pad> pads_;
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
