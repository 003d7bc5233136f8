#include "syntax/tree.hpp"

#include <limits>

#include "base/fatal.hpp"

namespace quorvane_dsl::syntax {

namespace {

const TreeElement& at(const Tree& tree, std::uint32_t index) {
    return tree.elements[index];
}

// The child after `index` under the same parent, tokens included.
std::uint32_t next_child_index(const Tree& tree, std::uint32_t index) {
    const TreeElement& element = at(tree, index);
    if (element.parent == no_index) {
        return no_index;
    }
    std::uint32_t next = element.subtree_end;
    return next < at(tree, element.parent).subtree_end ? next : no_index;
}

std::uint32_t first_child_index(const Tree& tree, std::uint32_t index) {
    const TreeElement& element = at(tree, index);
    return element.is_node && index + 1 < element.subtree_end ? index + 1 : no_index;
}

std::uint32_t skip_tokens(const Tree& tree, std::uint32_t index) {
    while (index != no_index && !at(tree, index).is_node) {
        index = next_child_index(tree, index);
    }
    return index;
}

std::uint32_t prev_child_index(const Tree& tree, std::uint32_t index) {
    std::uint32_t parent = at(tree, index).parent;
    if (parent == no_index) {
        return no_index;
    }
    std::uint32_t prev = no_index;
    for (std::uint32_t child = parent + 1; child != index; child = next_child_index(tree, child)) {
        prev = child;
    }
    return prev;
}

std::uint32_t last_child_index(const Tree& tree, std::uint32_t index) {
    std::uint32_t last = no_index;
    for (std::uint32_t child = first_child_index(tree, index); child != no_index;
         child = next_child_index(tree, child)) {
        last = child;
    }
    return last;
}

// The first token at or after `index` in preorder, below `limit`.
std::uint32_t token_from(const Tree& tree, std::uint32_t index, std::uint32_t limit) {
    for (; index < limit; ++index) {
        if (!at(tree, index).is_node) {
            return index;
        }
    }
    return no_index;
}

// The last token before `limit` in preorder, at or after `floor`.
std::uint32_t token_before(const Tree& tree, std::uint32_t limit, std::uint32_t floor) {
    while (limit > floor) {
        --limit;
        if (!at(tree, limit).is_node) {
            return limit;
        }
    }
    return no_index;
}

std::uint32_t node_from(const Tree& tree, std::uint32_t index, std::uint32_t limit) {
    for (; index < limit; ++index) {
        if (at(tree, index).is_node) {
            return index;
        }
    }
    return no_index;
}

template <class T>
std::optional<T> handle(const std::shared_ptr<const Tree>& tree, std::uint32_t index) {
    if (index == no_index) {
        return std::nullopt;
    }
    return T(tree, index);
}

} // namespace

namespace detail {

std::uint32_t first_index(const Tree& tree, Step step, std::uint32_t origin) {
    switch (step) {
    case Step::ChildNodes:
        return skip_tokens(tree, first_child_index(tree, origin));
    case Step::ChildElements:
        return first_child_index(tree, origin);
    case Step::DescendantNodes:
    case Step::DescendantElements:
    case Step::Ancestors:
        return origin;
    }
    return no_index;
}

std::uint32_t next_index(const Tree& tree, Step step, std::uint32_t origin, std::uint32_t current) {
    switch (step) {
    case Step::ChildNodes:
        return skip_tokens(tree, next_child_index(tree, current));
    case Step::ChildElements:
        return next_child_index(tree, current);
    case Step::DescendantNodes:
        return node_from(tree, current + 1, at(tree, origin).subtree_end);
    case Step::DescendantElements:
        return current + 1 < at(tree, origin).subtree_end ? current + 1 : no_index;
    case Step::Ancestors:
        return at(tree, current).parent;
    }
    return no_index;
}

WalkPosition next_walk(const Tree& tree, bool with_tokens, std::uint32_t origin,
                       WalkPosition position) {
    do {
        std::uint32_t index = position.index;
        if (!position.leaving) {
            std::uint32_t child = first_child_index(tree, index);
            position = child != no_index ? WalkPosition{child, false} : WalkPosition{index, true};
        } else if (index == origin) {
            return {};
        } else {
            std::uint32_t sibling = next_child_index(tree, index);
            position = sibling != no_index ? WalkPosition{sibling, false}
                                           : WalkPosition{at(tree, index).parent, true};
        }
    } while (!with_tokens && !at(tree, position.index).is_node);
    return position;
}

} // namespace detail

std::string_view ElementHandle::text() const {
    source::TextRange range = text_range();
    return std::string_view(tree_->text).substr(range.start, range.len());
}

std::optional<SyntaxNode> ElementHandle::parent() const {
    return handle<SyntaxNode>(tree_, element().parent);
}

std::optional<SyntaxElement> ElementHandle::next_sibling_or_token() const {
    return handle<SyntaxElement>(tree_, next_child_index(*tree_, index_));
}

std::optional<SyntaxElement> ElementHandle::prev_sibling_or_token() const {
    return handle<SyntaxElement>(tree_, prev_child_index(*tree_, index_));
}

SyntaxNode SyntaxNode::root(std::shared_ptr<const Tree> tree) {
    if (!tree || tree->elements.empty() || !tree->elements[0].is_node) {
        base::fatal("a syntax tree has a root node");
    }
    return SyntaxNode(std::move(tree), 0);
}

std::optional<SyntaxNode> SyntaxNode::first_child() const {
    return handle<SyntaxNode>(tree_, skip_tokens(*tree_, first_child_index(*tree_, index_)));
}

std::optional<SyntaxNode> SyntaxNode::last_child() const {
    std::uint32_t last = no_index;
    for (std::uint32_t child = skip_tokens(*tree_, first_child_index(*tree_, index_));
         child != no_index; child = skip_tokens(*tree_, next_child_index(*tree_, child))) {
        last = child;
    }
    return handle<SyntaxNode>(tree_, last);
}

std::optional<SyntaxNode> SyntaxNode::next_sibling() const {
    return handle<SyntaxNode>(tree_, skip_tokens(*tree_, next_child_index(*tree_, index_)));
}

std::optional<SyntaxNode> SyntaxNode::prev_sibling() const {
    std::uint32_t prev = prev_child_index(*tree_, index_);
    while (prev != no_index && !at(*tree_, prev).is_node) {
        prev = prev_child_index(*tree_, prev);
    }
    return handle<SyntaxNode>(tree_, prev);
}

std::optional<SyntaxElement> SyntaxNode::first_child_or_token() const {
    return handle<SyntaxElement>(tree_, first_child_index(*tree_, index_));
}

std::optional<SyntaxElement> SyntaxNode::last_child_or_token() const {
    return handle<SyntaxElement>(tree_, last_child_index(*tree_, index_));
}

std::optional<SyntaxToken> SyntaxNode::first_token() const {
    return handle<SyntaxToken>(tree_, token_from(*tree_, index_ + 1, element().subtree_end));
}

std::optional<SyntaxToken> SyntaxNode::last_token() const {
    return handle<SyntaxToken>(tree_, token_before(*tree_, element().subtree_end, index_ + 1));
}

std::optional<SyntaxToken> SyntaxToken::next_token() const {
    auto size = static_cast<std::uint32_t>(tree_->elements.size());
    return handle<SyntaxToken>(tree_, token_from(*tree_, index_ + 1, size));
}

std::optional<SyntaxToken> SyntaxToken::prev_token() const {
    return handle<SyntaxToken>(tree_, token_before(*tree_, index_, 0));
}

std::optional<SyntaxNode> SyntaxElement::as_node() const {
    return is_node() ? std::optional<SyntaxNode>(SyntaxNode(tree_, index_)) : std::nullopt;
}

std::optional<SyntaxToken> SyntaxElement::as_token() const {
    return is_token() ? std::optional<SyntaxToken>(SyntaxToken(tree_, index_)) : std::nullopt;
}

std::uint32_t TreeBuilder::text_size() const {
    return static_cast<std::uint32_t>(text_.size());
}

void TreeBuilder::start_node(SyntaxKind kind) {
    kind::from_raw(kind::to_raw(kind));
    open_.push_back({kind, static_cast<std::uint32_t>(children_.size()), text_size()});
}

void TreeBuilder::token(SyntaxKind kind, std::string_view text) {
    kind::from_raw(kind::to_raw(kind));
    if (text.size() >= std::numeric_limits<std::uint32_t>::max() - text_.size()) {
        base::fatal("a syntax tree's text is 4 GiB or longer");
    }
    std::uint32_t start = text_size();
    text_.append(text);
    children_.push_back({.range = {start, text_size()}, .kind = kind});
}

void TreeBuilder::finish_node() {
    if (open_.empty()) {
        base::fatal("finish_node without an open node");
    }
    Open open = open_.back();
    open_.pop_back();
    Pending node{.range = {open.text_start, text_size()},
                 .kids_begin = static_cast<std::uint32_t>(kids_.size()),
                 .kids_count = static_cast<std::uint32_t>(children_.size() - open.first_child),
                 .kind = open.kind,
                 .is_node = true};
    for (std::size_t i = open.first_child; i < children_.size(); ++i) {
        node.subtree_size += children_[i].subtree_size;
        kids_.push_back(children_[i]);
    }
    if (node.subtree_size >= no_index) {
        base::fatal("a syntax tree has 2^32 elements or more");
    }
    children_.resize(open.first_child);
    children_.push_back(node);
}

Checkpoint TreeBuilder::checkpoint() const {
    return {static_cast<std::uint32_t>(children_.size())};
}

void TreeBuilder::start_node_at(Checkpoint checkpoint, SyntaxKind kind) {
    kind::from_raw(kind::to_raw(kind));
    std::uint32_t floor = open_.empty() ? 0 : open_.back().first_child;
    if (checkpoint.position > children_.size() || checkpoint.position < floor) {
        base::fatal("a checkpoint is no longer valid: a node was finished after it was taken");
    }
    std::uint32_t text_start = checkpoint.position < children_.size()
                                   ? children_[checkpoint.position].range.start
                                   : text_size();
    open_.push_back({kind, checkpoint.position, text_start});
}

std::shared_ptr<const Tree> TreeBuilder::finish() {
    if (!open_.empty()) {
        base::fatal("a syntax tree is finished with unfinished nodes");
    }
    if (children_.size() != 1 || !children_[0].is_node) {
        base::fatal("a syntax tree has exactly one root node");
    }
    auto tree = std::make_shared<Tree>();
    tree->text = std::move(text_);
    tree->elements.reserve(children_[0].subtree_size);
    kids_.push_back(children_[0]);

    // Depth-first with an explicit stack: parsed nesting may be deeper than the call stack.
    struct Visit {
        std::uint32_t pending;
        std::uint32_t parent;
    };
    std::vector<Visit> stack{{static_cast<std::uint32_t>(kids_.size() - 1), no_index}};
    while (!stack.empty()) {
        Visit visit = stack.back();
        stack.pop_back();
        const Pending& pending = kids_[visit.pending];
        auto index = static_cast<std::uint32_t>(tree->elements.size());
        tree->elements.push_back({.range = pending.range,
                                  .parent = visit.parent,
                                  .subtree_end = index + pending.subtree_size,
                                  .kind = pending.kind,
                                  .is_node = pending.is_node});
        for (std::uint32_t k = pending.kids_count; k > 0; --k) {
            stack.push_back({pending.kids_begin + k - 1, index});
        }
    }
    children_.clear();
    kids_.clear();
    text_.clear();
    return tree;
}

} // namespace quorvane_dsl::syntax
