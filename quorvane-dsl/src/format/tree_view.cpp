#include "format/tree_view.hpp"

namespace quorvane_dsl::format {

std::optional<Element> TreeView::parent(Element e) const {
    const std::uint32_t p = tree_.parent(e.index);
    if (p == syntax::no_index) {
        return std::nullopt;
    }
    return Element{p};
}

std::optional<Element> TreeView::first_token(Element e) const {
    for (std::uint32_t i = e.index; i < subtree_end(e); ++i) {
        if (is_code_token({i})) {
            return Element{i};
        }
    }
    return std::nullopt;
}

std::optional<Element> TreeView::next_token_after(Element e) const {
    for (std::uint32_t i = subtree_end(e); i < size(); ++i) {
        if (is_code_token({i})) {
            return Element{i};
        }
    }
    return std::nullopt;
}

std::optional<Element> TreeView::child_of_kind(Element e, SyntaxKind kind) const {
    for (Element c = first_child(e); c.index < subtree_end(e); c = next_sibling(c)) {
        if (this->kind(c) == kind) {
            return c;
        }
    }
    return std::nullopt;
}

} // namespace quorvane_dsl::format
