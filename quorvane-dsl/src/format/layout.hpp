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

// The bracket depth each token stands at, by element: an opener at the depth outside it, a
// closer at the depth of its opener.
std::vector<std::uint32_t> depth_map(const TreeView& tree);

// Tokens whose line break is replaced by one space: the first token of the one entry or
// statement of a block short enough to join onto one line, and that block's "}".
std::vector<bool> single_line_blocks(const TreeView& tree,
                                     const std::vector<std::uint32_t>& depths);

// Writes the tokens with the canonical separators between them.
std::string emit(const TreeView& tree, const AlignmentMap& alignment,
                 const std::vector<bool>& single_line);

// Drops trailing white space from each line and the whole text, and ends it with a line feed
// unless it is empty.
std::string clean_up(std::string_view text);

} // namespace quorvane_dsl::format
