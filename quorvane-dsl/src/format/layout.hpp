// The formatter's layout passes: bracket depths, joined blocks, indentation, the output.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "format/align.hpp"
#include "format/tree_view.hpp"

namespace quorvane_dsl::format {

inline constexpr std::uint32_t indent_width = 4;
// The longest line that joining a one-statement block may produce.
inline constexpr std::uint32_t join_limit = 88;

// The bracket depth each node starts at, by node number. Kept to two bytes a node: the parser's
// nesting limit bounds the depth of a tree without errors, the only kind formatted.
std::vector<std::uint16_t> node_depths(const TreeView& tree);

// Tokens whose line break is replaced by one space: the first token of the one entry or
// statement of a block short enough to join onto one line, and that block's "}".
std::vector<bool> single_line_blocks(const TreeView& tree,
                                     const std::vector<std::uint16_t>& depths);

// Writes the tokens with the canonical separators between them.
std::string emit(const TreeView& tree, const AlignmentMap& alignment,
                 const std::vector<bool>& single_line);

// Drops trailing white space from each line and the whole text, and ends it with a line feed
// unless it is empty. In place: the text is about as large as the source.
void clean_up(std::string& text);

} // namespace quorvane_dsl::format
