// The formatter's flat view of a syntax tree: elements by preorder position.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "syntax/kind.hpp"
#include "syntax/tree.hpp"

namespace quorvane_dsl::format {

using syntax::SyntaxKind;

// A node or token of the tree, named by its position in preorder.
struct Element {
    std::uint32_t index = 0;
    friend constexpr bool operator==(Element, Element) = default;
};

// The layout passes walk the tree's preorder array directly: a subtree is one contiguous
// stretch of elements and the tokens come in text order.
class TreeView {
  public:
    explicit TreeView(const syntax::Tree& tree) : tree_(tree) {}

    std::string_view text() const { return tree_.text; }
    std::uint32_t size() const { return tree_.size(); }
    SyntaxKind kind(Element e) const { return tree_.kind(e.index); }
    std::uint32_t start(Element e) const { return tree_.start(e.index); }
    bool is_token(Element e) const { return !tree_.is_node(e.index); }
    bool is_trivia(Element e) const { return syntax::kind::is_trivia(kind(e)); }
    bool is_code_token(Element e) const { return is_token(e) && !is_trivia(e); }
    std::string_view text_of(Element e) const {
        const source::TextRange range = tree_.range(e.index);
        return text().substr(range.start, range.len());
    }
    std::optional<Element> parent(Element e) const;
    // Nodes numbered from 0 in preorder, for tables with an entry per node.
    std::uint32_t node_count() const { return static_cast<std::uint32_t>(tree_.nodes.size()); }
    std::uint32_t node_number(Element node) const { return tree_.node_rank(node.index); }

    // Children in order: first_child, then next_sibling while below subtree_end.
    Element first_child(Element e) const { return {e.index + 1}; }
    Element next_sibling(Element e) const { return {subtree_end(e)}; }
    std::uint32_t subtree_end(Element e) const { return tree_.subtree_end(e.index); }

    // The first token of a subtree that is not white space or a comment.
    std::optional<Element> first_token(Element e) const;
    // The first token after `e`'s subtree, anywhere later in the text, that is not trivia.
    std::optional<Element> next_token_after(Element e) const;
    // The first direct child of the given kind.
    std::optional<Element> child_of_kind(Element e, SyntaxKind kind) const;

  private:
    const syntax::Tree& tree_;
};

} // namespace quorvane_dsl::format
