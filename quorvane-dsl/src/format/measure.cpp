#include "format/measure.hpp"

#include <algorithm>

#include "base/utf8.hpp"

namespace quorvane_dsl::format {

namespace {

using K = SyntaxKind;

bool no_space_after(K a) {
    return a == K::L_PAREN || a == K::L_BRACK || a == K::DOT || a == K::DOT2;
}

bool no_space_before(K b) {
    switch (b) {
    case K::R_PAREN:
    case K::R_BRACK:
    case K::COMMA:
    case K::DOT:
    case K::DOT2:
    case K::COLON:
    case K::SEMI:
        return true;
    default:
        return false;
    }
}

bool is(std::uint16_t raw, K kind) {
    return raw == syntax::kind::to_raw(kind);
}

} // namespace

std::uint16_t parent_kind(const TreeView& tree, std::optional<Element> node) {
    if (!node) {
        return syntax::kind::kind_count + 1;
    }
    return syntax::kind::to_raw(tree.kind(*node));
}

bool space_between(const TreeView& tree, Element previous, Element next) {
    const K a = tree.kind(previous);
    const K b = tree.kind(next);
    if (no_space_after(a) || (a == K::L_BRACE && b == K::R_BRACE) || no_space_before(b)) {
        return false;
    }
    // Looked up only past the rules of the kinds alone: a token's parent is a search.
    const std::uint16_t a_parent = parent_kind(tree, tree.parent(previous));
    const std::uint16_t b_parent = parent_kind(tree, tree.parent(next));
    if (b == K::STAR && is(b_parent, K::PLACE_STMT)) {
        return false;
    }
    if ((a == K::MINUS || a == K::BANG) && is(a_parent, K::PREFIX_EXPR)) {
        return false;
    }
    if (b == K::L_BRACK && is(b_parent, K::INDEX_EXPR)) {
        return false;
    }
    if (b == K::L_PAREN && (is(b_parent, K::PARAM_LIST) || is(b_parent, K::ARG_LIST))) {
        return false;
    }
    return !(is(a_parent, K::GDS_SPEC) && is(b_parent, K::GDS_SPEC));
}

std::uint32_t width(const TreeView& tree, Element node) {
    return width_up_to(tree, node, UINT32_MAX);
}

std::uint32_t width_up_to(const TreeView& tree, Element node, std::uint32_t last_start) {
    std::uint32_t total = 0;
    std::optional<Element> previous;
    for (std::uint32_t i = node.index; i < tree.subtree_end(node); ++i) {
        const Element e{i};
        if (!tree.is_code_token(e) || tree.start(e) > last_start) {
            continue;
        }
        if (previous && space_between(tree, *previous, e)) {
            ++total;
        }
        total += static_cast<std::uint32_t>(base::utf8::char_count(tree.text_of(e)));
        previous = e;
    }
    return total;
}

std::uint32_t line_feeds(std::string_view text) {
    return static_cast<std::uint32_t>(std::count(text.begin(), text.end(), '\n'));
}

} // namespace quorvane_dsl::format
