// Measures of the formatter: token spacing, widths in characters, line feeds.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "format/tree_view.hpp"

namespace quorvane_dsl::format {

// The kind of a node as a raw number, or one past the last kind when there is no node, so
// that a missing parent matches no node kind.
std::uint16_t parent_kind(const TreeView& tree, std::optional<Element> node);

// Whether one space separates two tokens that stand on the same line, when no alignment pad
// applies.
bool space_between(const TreeView& tree, Element previous, Element next);

// The node's tokens laid out on one line by the spacing rule, counted in characters;
// comments and the text's own white space never count.
std::uint32_t width(const TreeView& tree, Element node);
// The same for the node's tokens that start no later than `last_start`.
std::uint32_t width_up_to(const TreeView& tree, Element node, std::uint32_t last_start);

std::uint32_t line_feeds(std::string_view text);

} // namespace quorvane_dsl::format
