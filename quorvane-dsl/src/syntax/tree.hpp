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
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/pages.hpp"
#include "source/location.hpp"
#include "syntax/kind.hpp"

namespace quorvane_dsl::syntax {

inline constexpr std::uint32_t no_index = UINT32_MAX;

static_assert(kind::kind_count <= 256, "a kind is stored in one byte");

// A column of a tree, in pages of its own so that its front can be given back (FrontRelease).
template <class T> using Column = base::PageVector<T>;

// The tokens of a text in order, as a tree stores them: each token's kind and start offset. A
// token ends where the next one starts, the last one at the end of the text.
struct TokenColumns {
    Column<std::uint8_t> kinds;
    Column<std::uint32_t> starts;
};

// A large source holds about three quarters of an element per byte, so an element is kept to
// its kind (one byte); a token adds its start (four bytes, the lexer's own column) and a node its
// subtree end and parent (eight bytes), found by the ranks of tokens and nodes. An element starts
// where the first token at or after it does, and ends where the element after its subtree
// starts; a token's parent is found from the nearest node before it.
struct Tree {
    struct NodeLinks {
        std::uint32_t subtree_end = 0; // one past the last element of the node's subtree
        std::uint32_t parent = no_index;
    };

    std::string text;                   // the whole text; token texts are slices of it
    Column<std::uint8_t> kinds;         // by element, in preorder; element 0 is the root node
    Column<std::uint32_t> starts;       // by token, in text order: the offset it starts at
    Column<NodeLinks> nodes;            // by node, in preorder
    Column<std::uint64_t> node_bits;    // bit i % 64 of word i / 64: element i is a node
    Column<std::uint32_t> nodes_before; // by word of node_bits: the nodes in earlier words

    std::uint32_t size() const { return static_cast<std::uint32_t>(kinds.size()); }
    SyntaxKind kind(std::uint32_t index) const { return static_cast<SyntaxKind>(kinds[index]); }
    bool is_node(std::uint32_t index) const { return kind::is_node_kind(kind(index)); }
    // One rank for a token, whose end is the next token's start; two for a node.
    source::TextRange range(std::uint32_t index) const {
        const std::uint32_t nodes_before_index = node_rank(index);
        const std::uint32_t tokens_before = index - nodes_before_index;
        if (is_node(index)) {
            return {token_start(tokens_before), start(nodes[nodes_before_index].subtree_end)};
        }
        return {token_start(tokens_before), token_start(tokens_before + 1)};
    }
    // Where the element at `index` starts; the end of the text for the index past the last.
    std::uint32_t start(std::uint32_t index) const {
        return token_start(index < size() ? index - node_rank(index) : no_index);
    }
    // Where the token numbered `token` starts; the end of the text for any number past the last.
    std::uint32_t token_start(std::uint32_t token) const {
        return token < starts.size() ? starts[token] : static_cast<std::uint32_t>(text.size());
    }
    std::uint32_t subtree_end(std::uint32_t index) const {
        return is_node(index) ? nodes[node_rank(index)].subtree_end : index + 1;
    }
    // no_index for the root.
    std::uint32_t parent(std::uint32_t index) const;
    // The number of nodes before an element in preorder, which numbers the nodes from 0.
    std::uint32_t node_rank(std::uint32_t index) const {
        const std::uint64_t below = (std::uint64_t{1} << (index % 64)) - 1;
        return nodes_before[index / 64] + bit_count(node_bits[index / 64] & below);
    }

  private:
    // Counted in a few inline instructions: without a target that has a population count
    // instruction, std::popcount is a library call, and ranks are taken at every step of a walk.
    static std::uint32_t bit_count(std::uint64_t bits) {
        bits -= (bits >> 1) & 0x5555555555555555;
        bits = (bits & 0x3333333333333333) + ((bits >> 2) & 0x3333333333333333);
        bits = (bits + (bits >> 4)) & 0x0F0F0F0F0F0F0F0F;
        return static_cast<std::uint32_t>((bits * 0x0101010101010101) >> 56);
    }
};

// One step of assembling a tree: open a node, close the innermost open node, or take the next
// token under its own kind or another. One byte each, as a large source records about one per
// byte of its text: the top bit marks an open, the rest is a kind or one of two codes above all
// kinds.
class TreeEvent {
  public:
    static constexpr TreeEvent open(SyntaxKind kind) {
        return TreeEvent(static_cast<std::uint8_t>(open_bit | kind::to_raw(kind)));
    }
    static constexpr TreeEvent close() { return TreeEvent(close_code); }
    static constexpr TreeEvent advance() { return TreeEvent(own_kind_code); }
    static constexpr TreeEvent advance_as(SyntaxKind kind) {
        return TreeEvent(static_cast<std::uint8_t>(kind::to_raw(kind)));
    }

    bool is_open() const { return (bits_ & open_bit) != 0; }
    bool is_close() const { return bits_ == close_code; }
    // The kind of an open node or of a token taken under another kind.
    SyntaxKind kind() const { return static_cast<SyntaxKind>(bits_ & kind_mask); }
    bool keeps_own_kind() const { return bits_ == own_kind_code; }

  private:
    static constexpr std::uint8_t open_bit = 0x80;
    static constexpr std::uint8_t kind_mask = 0x7F;
    static constexpr std::uint8_t close_code = 0x7F;
    static constexpr std::uint8_t own_kind_code = 0x7E;
    static_assert(kind::kind_count < own_kind_code, "kinds and codes share seven bits");

    explicit constexpr TreeEvent(std::uint8_t bits) : bits_(bits) {}

    std::uint8_t bits_;
};

// Where the trivia tokens go: each one is taken by its own event, or none is and every run of
// them goes into the node open when the next token or node is reached (the rest of the text into
// the root), so no node but the root starts or ends with trivia.
enum class TriviaEvents : std::uint8_t { Explicit, Attached };

// Lays the tree out in preorder in one pass over the events; the token columns become the
// tree's element columns. Ends the process unless the events open exactly one root, close every
// node and take every token: those are faults of the caller, not of any input.
std::shared_ptr<const Tree> assemble_tree(std::string text, TokenColumns tokens,
                                          std::span<const TreeEvent> events, TriviaEvents trivia);

// Releases a tree and gives back its text, moved when no other handle holds the tree, so that a
// large text is not held twice while the rest of the tree goes.
std::string release_text(std::shared_ptr<const Tree> tree);

// Gives a tree's columns back from the front while the tree's only reader walks it forward and
// never looks back: lowering, item by item, of a tree that nothing else holds. The pages wholly
// before the point it has passed are released in batches (base::release_pages), so a stray read
// behind it faults instead of reading zeros. The first page of every column, with the root's
// entries, and the text stay.
class FrontRelease {
  public:
    explicit FrontRelease(const Tree& tree);

    // No element before `index` is read again.
    void behind(std::uint32_t index);

  private:
    struct Pages {
        const std::byte* data;
        std::size_t released; // bytes from data, whole pages: the first page and those given back
        std::size_t batch;    // whole pages: fewer calls, at most a 64th of the column held back

        void release_to(std::size_t bytes);
    };

    static Pages pages(const void* data, std::size_t bytes);

    const Tree& tree_;
    Pages kinds_;
    Pages starts_;
    Pages nodes_;
    Pages node_bits_;
    Pages nodes_before_;
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

    SyntaxKind kind() const { return tree_->kind(index_); }
    source::TextRange text_range() const { return tree_->range(index_); }
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
    std::uint32_t parent = no_index; // the parent of `index`, known from the way down
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

    bool is_node() const { return tree_->is_node(index_); }
    bool is_token() const { return !tree_->is_node(index_); }
    std::optional<SyntaxNode> as_node() const;
    std::optional<SyntaxToken> as_token() const;
};

// A position in the builder's output to which a node can later be opened, wrapping everything
// added since (start_node_at).
struct Checkpoint {
    std::uint32_t position = 0;
};

// Builds a tree from start_node / token / finish_node calls. They are recorded as events, so
// start_node_at is an open event inserted at the checkpoint; finish lays the tree out.
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
    std::string text_;
    TokenColumns tokens_;
    std::vector<TreeEvent> events_;
    std::uint32_t open_nodes_ = 0;
};

} // namespace quorvane_dsl::syntax

// Iterators hold their own reference to the tree, so they may outlive the range they came from.
template <class Cursor>
inline constexpr bool std::ranges::enable_borrowed_range<quorvane_dsl::syntax::TreeRange<Cursor>> =
    true;
