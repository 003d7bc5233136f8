// The lossless syntax tree and its node, token and element handles.
#pragma once

// The lossless syntax tree: every byte of the parsed text is in exactly one token, trivia
// included. A finished tree is one immutable flat array of elements in preorder; a handle
// (node, token or either) is a shared pointer to the tree plus an index into that array, so
// handles are cheap to copy and keep their tree alive.

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <memory>
#include <optional>
#include <ranges>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "source/location.hpp"
#include "syntax/kind.hpp"

namespace quorvane_dsl::syntax {

inline constexpr std::uint32_t no_index = UINT32_MAX;

struct TreeElement {
    source::TextRange range;
    std::uint32_t parent = no_index; // no_index for the root
    std::uint32_t subtree_end = 0;   // one past the last element of this element's subtree
    SyntaxKind kind = SyntaxKind::ERROR;
    bool is_node = false;
};

struct Tree {
    std::string text;                  // the whole text; token texts are slices of it
    std::vector<TreeElement> elements; // preorder; element 0 is the root node
};

class SyntaxNode;
class SyntaxToken;
class SyntaxElement;

// What nodes, tokens and elements share. The index must denote an element of the tree; handles
// are made by the tree's own navigation, starting from SyntaxNode::root.
class ElementHandle {
  public:
    ElementHandle(std::shared_ptr<const Tree> tree, std::uint32_t index)
        : tree_(std::move(tree)), index_(index) {}

    SyntaxKind kind() const { return element().kind; }
    source::TextRange text_range() const { return element().range; }
    std::string_view text() const;
    std::optional<SyntaxNode> parent() const;
    std::optional<SyntaxElement> next_sibling_or_token() const;
    std::optional<SyntaxElement> prev_sibling_or_token() const;

    std::uint32_t index() const { return index_; }
    const std::shared_ptr<const Tree>& tree() const { return tree_; }

    friend bool operator==(const ElementHandle& a, const ElementHandle& b) {
        return a.tree_ == b.tree_ && a.index_ == b.index_;
    }

  protected:
    const TreeElement& element() const { return tree_->elements[index_]; }

    std::shared_ptr<const Tree> tree_;
    std::uint32_t index_;
};

enum class Walk : std::uint8_t { Enter, Leave };

template <class T> struct WalkEvent {
    Walk walk;
    T element;
};

// How a range steps from one element to the next; see tree.cpp.
enum class Step : std::uint8_t {
    ChildNodes,
    ChildElements,
    DescendantNodes,
    DescendantElements,
    Ancestors,
};

namespace detail {
std::uint32_t first_index(const Tree& tree, Step step, std::uint32_t origin);
std::uint32_t next_index(const Tree& tree, Step step, std::uint32_t origin, std::uint32_t current);
struct WalkPosition {
    std::uint32_t index = no_index; // no_index past the end
    bool leaving = false;
};
WalkPosition next_walk(const Tree& tree, bool with_tokens, std::uint32_t origin,
                       WalkPosition position);
} // namespace detail

// A lazy sequence over one tree, starting at element `origin`. The cursor says where the walk
// starts, how it steps, when it is done and what it yields at each position.
template <class Cursor> class TreeRange : public std::ranges::view_interface<TreeRange<Cursor>> {
  public:
    using Position = typename Cursor::Position;

    class iterator {
      public:
        using value_type = typename Cursor::Value;
        using difference_type = std::ptrdiff_t;

        iterator() = default;
        iterator(std::shared_ptr<const Tree> tree, std::uint32_t origin, Position position)
            : tree_(std::move(tree)), origin_(origin), position_(position) {}

        value_type operator*() const { return Cursor::value(tree_, position_); }
        iterator& operator++() {
            position_ = Cursor::next(*tree_, origin_, position_);
            return *this;
        }
        iterator operator++(int) {
            iterator old = *this;
            ++*this;
            return old;
        }
        friend bool operator==(const iterator& it, std::default_sentinel_t) {
            return Cursor::at_end(it.position_);
        }

      private:
        std::shared_ptr<const Tree> tree_;
        std::uint32_t origin_ = no_index;
        Position position_{};
    };

    TreeRange(std::shared_ptr<const Tree> tree, std::uint32_t origin)
        : tree_(std::move(tree)), origin_(origin) {}

    iterator begin() const { return iterator(tree_, origin_, Cursor::first(*tree_, origin_)); }
    std::default_sentinel_t end() const { return {}; }

  private:
    std::shared_ptr<const Tree> tree_;
    std::uint32_t origin_;
};

namespace detail {

template <class Item, Step step> struct StepCursor {
    using Position = std::uint32_t;
    using Value = Item;
    static Position first(const Tree& tree, std::uint32_t origin) {
        return first_index(tree, step, origin);
    }
    static Position next(const Tree& tree, std::uint32_t origin, Position current) {
        return next_index(tree, step, origin, current);
    }
    static bool at_end(Position current) { return current == no_index; }
    static Item value(const std::shared_ptr<const Tree>& tree, Position current) {
        return Item(tree, current);
    }
};

template <class Item, bool with_tokens> struct WalkCursor {
    using Position = WalkPosition;
    using Value = WalkEvent<Item>;
    static Position first(const Tree&, std::uint32_t origin) { return {origin, false}; }
    static Position next(const Tree& tree, std::uint32_t origin, Position position) {
        return next_walk(tree, with_tokens, origin, position);
    }
    static bool at_end(Position position) { return position.index == no_index; }
    static Value value(const std::shared_ptr<const Tree>& tree, Position position) {
        return {position.leaving ? Walk::Leave : Walk::Enter, Item(tree, position.index)};
    }
};

} // namespace detail

// The handles one step away from each other, e.g. the children of a node.
template <class Item, Step step> using ElementRange = TreeRange<detail::StepCursor<Item, step>>;
// Enter and leave events of a subtree in preorder.
template <class Item, bool with_tokens>
using PreorderRange = TreeRange<detail::WalkCursor<Item, with_tokens>>;

class SyntaxNode : public ElementHandle {
  public:
    using ElementHandle::ElementHandle;

    // The root of a finished tree (see TreeBuilder::finish).
    static SyntaxNode root(std::shared_ptr<const Tree> tree);

    std::optional<SyntaxNode> first_child() const;
    std::optional<SyntaxNode> last_child() const;
    std::optional<SyntaxNode> next_sibling() const;
    std::optional<SyntaxNode> prev_sibling() const;
    std::optional<SyntaxElement> first_child_or_token() const;
    std::optional<SyntaxElement> last_child_or_token() const;
    std::optional<SyntaxToken> first_token() const;
    std::optional<SyntaxToken> last_token() const;

    ElementRange<SyntaxNode, Step::ChildNodes> children() const { return {tree_, index_}; }
    ElementRange<SyntaxElement, Step::ChildElements> children_with_tokens() const {
        return {tree_, index_};
    }
    // Descendants and ancestors start with the node itself.
    ElementRange<SyntaxNode, Step::DescendantNodes> descendants() const { return {tree_, index_}; }
    ElementRange<SyntaxElement, Step::DescendantElements> descendants_with_tokens() const {
        return {tree_, index_};
    }
    ElementRange<SyntaxNode, Step::Ancestors> ancestors() const { return {tree_, index_}; }
    PreorderRange<SyntaxNode, false> preorder() const { return {tree_, index_}; }
    PreorderRange<SyntaxElement, true> preorder_with_tokens() const { return {tree_, index_}; }
};

class SyntaxToken : public ElementHandle {
  public:
    using ElementHandle::ElementHandle;

    // The tokens before and after this one in the whole tree, whatever their parents.
    std::optional<SyntaxToken> next_token() const;
    std::optional<SyntaxToken> prev_token() const;
};

class SyntaxElement : public ElementHandle {
  public:
    using ElementHandle::ElementHandle;
    SyntaxElement(const SyntaxNode& node) : ElementHandle(node) {}
    SyntaxElement(const SyntaxToken& token) : ElementHandle(token) {}

    bool is_node() const { return element().is_node; }
    bool is_token() const { return !element().is_node; }
    std::optional<SyntaxNode> as_node() const;
    std::optional<SyntaxToken> as_token() const;
};

// A position in the builder's output to which a node can later be opened, wrapping everything
// added since (start_node_at).
struct Checkpoint {
    std::uint32_t position = 0;
};

// Builds a tree from start_node / token / finish_node calls. Finished elements wait on a stack
// until their parent node is finished, so start_node_at costs nothing extra; finish lays the
// whole tree out in preorder in one pass.
class TreeBuilder {
  public:
    void start_node(SyntaxKind kind);
    void token(SyntaxKind kind, std::string_view text);
    void finish_node();
    Checkpoint checkpoint() const;
    // Opens a node that starts at the checkpoint: what was added since becomes its first children.
    void start_node_at(Checkpoint checkpoint, SyntaxKind kind);
    // Ends the process unless exactly one node and nothing else remains at the top and all nodes
    // are finished: those are faults of the caller, not of any input.
    std::shared_ptr<const Tree> finish();

  private:
    struct Pending {
        source::TextRange range;
        std::uint32_t kids_begin = 0; // into kids_
        std::uint32_t kids_count = 0;
        std::uint32_t subtree_size = 1;
        SyntaxKind kind = SyntaxKind::ERROR;
        bool is_node = false;
    };
    struct Open {
        SyntaxKind kind;
        std::uint32_t first_child; // into children_
        std::uint32_t text_start;
    };

    std::uint32_t text_size() const;

    std::string text_;
    std::vector<Pending> children_; // finished elements whose parent is still open
    std::vector<Pending> kids_;     // the children of finished nodes, each node's in one block
    std::vector<Open> open_;
};

} // namespace quorvane_dsl::syntax

// Iterators hold their own reference to the tree, so they may outlive the range they came from.
template <class Cursor>
inline constexpr bool std::ranges::enable_borrowed_range<quorvane_dsl::syntax::TreeRange<Cursor>> =
    true;
