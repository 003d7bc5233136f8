#include "syntax/tree.hpp"

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>

#include "base/fatal.hpp"

namespace quorvane_dsl::syntax {

namespace {

// The child after `index` of `parent`, tokens included.
std::uint32_t next_index_under(const Tree& tree, std::uint32_t parent, std::uint32_t index) {
    const std::uint32_t next = tree.subtree_end(index);
    return next < tree.subtree_end(parent) ? next : no_index;
}

// The same when the parent is not known yet: for a token, it is a search.
std::uint32_t next_child_index(const Tree& tree, std::uint32_t index) {
    const std::uint32_t parent = tree.parent(index);
    return parent == no_index ? no_index : next_index_under(tree, parent, index);
}

std::uint32_t first_child_index(const Tree& tree, std::uint32_t index) {
    return tree.is_node(index) && index + 1 < tree.subtree_end(index) ? index + 1 : no_index;
}

std::uint32_t skip_tokens_under(const Tree& tree, std::uint32_t parent, std::uint32_t index) {
    while (index != no_index && !tree.is_node(index)) {
        index = next_index_under(tree, parent, index);
    }
    return index;
}

std::uint32_t prev_child_index(const Tree& tree, std::uint32_t index) {
    const std::uint32_t parent = tree.parent(index);
    if (parent == no_index) {
        return no_index;
    }
    std::uint32_t prev = no_index;
    for (std::uint32_t child = parent + 1; child != index;
         child = next_index_under(tree, parent, child)) {
        prev = child;
    }
    return prev;
}

std::uint32_t last_child_index(const Tree& tree, std::uint32_t index) {
    std::uint32_t last = no_index;
    for (std::uint32_t child = first_child_index(tree, index); child != no_index;
         child = next_index_under(tree, index, child)) {
        last = child;
    }
    return last;
}

// The first token at or after `index` in preorder, below `limit`.
std::uint32_t token_from(const Tree& tree, std::uint32_t index, std::uint32_t limit) {
    for (; index < limit; ++index) {
        if (!tree.is_node(index)) {
            return index;
        }
    }
    return no_index;
}

// The last token before `limit` in preorder, at or after `floor`.
std::uint32_t token_before(const Tree& tree, std::uint32_t limit, std::uint32_t floor) {
    while (limit > floor) {
        --limit;
        if (!tree.is_node(limit)) {
            return limit;
        }
    }
    return no_index;
}

std::uint32_t node_from(const Tree& tree, std::uint32_t index, std::uint32_t limit) {
    for (; index < limit; ++index) {
        if (tree.is_node(index)) {
            return index;
        }
    }
    return no_index;
}

// The last node before `index` in preorder; the root is one for every later element.
std::uint32_t last_node_before(const Tree& tree, std::uint32_t index) {
    std::uint32_t word = index / 64;
    std::uint64_t bits = tree.node_bits[word] & ((std::uint64_t{1} << (index % 64)) - 1);
    while (bits == 0) {
        bits = tree.node_bits[--word];
    }
    return word * 64 + 63 - static_cast<std::uint32_t>(std::countl_zero(bits));
}

template <class T>
std::optional<T> handle(const std::shared_ptr<const Tree>& tree, std::uint32_t index) {
    if (index == no_index) {
        return std::nullopt;
    }
    return T(tree, index);
}

} // namespace

// A token's parent is the innermost node before it whose subtree still holds it: the nearest
// node before it, or one of that node's ancestors.
std::uint32_t Tree::parent(std::uint32_t index) const {
    if (is_node(index)) {
        return nodes[node_rank(index)].parent;
    }
    std::uint32_t node = last_node_before(*this, index);
    while (subtree_end(node) <= index) {
        node = nodes[node_rank(node)].parent;
    }
    return node;
}

namespace detail {

std::uint32_t first_index(const Tree& tree, Step step, std::uint32_t origin) {
    switch (step) {
    case Step::ChildNodes:
        return skip_tokens_under(tree, origin, first_child_index(tree, origin));
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
        return skip_tokens_under(tree, origin, next_index_under(tree, origin, current));
    case Step::ChildElements:
        return next_index_under(tree, origin, current);
    case Step::DescendantNodes:
        return node_from(tree, current + 1, tree.subtree_end(origin));
    case Step::DescendantElements:
        return current + 1 < tree.subtree_end(origin) ? current + 1 : no_index;
    case Step::Ancestors:
        return tree.parent(current);
    }
    return no_index;
}

WalkPosition next_walk(const Tree& tree, bool with_tokens, std::uint32_t origin,
                       WalkPosition position) {
    do {
        const std::uint32_t index = position.index;
        if (!position.leaving) {
            const std::uint32_t child = first_child_index(tree, index);
            position = child != no_index ? WalkPosition{child, false, index}
                                         : WalkPosition{index, true, position.parent};
        } else if (index == origin) {
            return {};
        } else {
            const std::uint32_t parent = position.parent;
            const std::uint32_t sibling = next_index_under(tree, parent, index);
            position = sibling != no_index ? WalkPosition{sibling, false, parent}
                                           : WalkPosition{parent, true, tree.parent(parent)};
        }
    } while (!with_tokens && !tree.is_node(position.index));
    return position;
}

} // namespace detail

std::string_view ElementHandle::text() const {
    source::TextRange range = text_range();
    return std::string_view(tree_->text).substr(range.start, range.len());
}

std::optional<SyntaxNode> ElementHandle::parent() const {
    return handle<SyntaxNode>(tree_, tree_->parent(index_));
}

std::optional<SyntaxElement> ElementHandle::next_sibling_or_token() const {
    return handle<SyntaxElement>(tree_, next_child_index(*tree_, index_));
}

std::optional<SyntaxElement> ElementHandle::prev_sibling_or_token() const {
    return handle<SyntaxElement>(tree_, prev_child_index(*tree_, index_));
}

SyntaxNode SyntaxNode::root(std::shared_ptr<const Tree> tree) {
    if (!tree || tree->size() == 0 || !tree->is_node(0)) {
        base::fatal("a syntax tree has a root node");
    }
    return SyntaxNode(std::move(tree), 0);
}

std::optional<SyntaxNode> SyntaxNode::first_child() const {
    return handle<SyntaxNode>(tree_,
                              skip_tokens_under(*tree_, index_, first_child_index(*tree_, index_)));
}

std::optional<SyntaxNode> SyntaxNode::last_child() const {
    std::uint32_t last = no_index;
    for (std::uint32_t child = skip_tokens_under(*tree_, index_, first_child_index(*tree_, index_));
         child != no_index;
         child = skip_tokens_under(*tree_, index_, next_index_under(*tree_, index_, child))) {
        last = child;
    }
    return handle<SyntaxNode>(tree_, last);
}

std::optional<SyntaxNode> SyntaxNode::next_sibling() const {
    const std::uint32_t parent = tree_->parent(index_);
    if (parent == no_index) {
        return std::nullopt;
    }
    return handle<SyntaxNode>(
        tree_, skip_tokens_under(*tree_, parent, next_index_under(*tree_, parent, index_)));
}

std::optional<SyntaxNode> SyntaxNode::prev_sibling() const {
    std::uint32_t prev = prev_child_index(*tree_, index_);
    while (prev != no_index && !tree_->is_node(prev)) {
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
    return handle<SyntaxToken>(tree_, token_from(*tree_, index_ + 1, tree_->subtree_end(index_)));
}

std::optional<SyntaxToken> SyntaxNode::last_token() const {
    return handle<SyntaxToken>(tree_, token_before(*tree_, tree_->subtree_end(index_), index_ + 1));
}

std::optional<SyntaxToken> SyntaxToken::next_token() const {
    return handle<SyntaxToken>(tree_, token_from(*tree_, index_ + 1, tree_->size()));
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

namespace {

// Eight events at a time: an open is the one event with its top bit set. The eight bits are
// summed by a multiplication, which needs no population count instruction.
std::size_t count_opens(std::span<const TreeEvent> events) {
    static_assert(sizeof(TreeEvent) == 1);
    constexpr std::uint64_t top_bits = 0x8080808080808080;
    constexpr std::uint64_t low_bytes = 0x0101010101010101;
    const auto* bytes = reinterpret_cast<const unsigned char*>(events.data());
    std::size_t opens = 0;
    std::size_t at = 0;
    for (; at + 8 <= events.size(); at += 8) {
        std::uint64_t word = 0;
        std::memcpy(&word, bytes + at, 8);
        opens += static_cast<std::size_t>((((word & top_bits) >> 7) * low_bytes) >> 56);
    }
    for (; at < events.size(); ++at) {
        opens += events[at].is_open();
    }
    return opens;
}

// The kind column while the elements are laid out over the tokens. A local of the assembly
// loop, not a member: a byte written into the column could alias any member, and the compiler
// would reload them all after every element.
struct KindCursor {
    std::uint8_t* kinds;
    std::uint32_t size;        // tokens and nodes
    std::uint32_t next;        // the next token to take
    std::uint32_t written = 0; // elements laid out so far

    std::uint8_t next_kind() const { return kinds[next]; }
    // The kind is read before the write: the element may take the token's own place.
    void take_token(std::uint8_t raw) {
        ++next;
        write(raw);
    }
    void write(std::uint8_t raw) { kinds[written++] = raw; }
};

// One pass over the events. The token kinds are first moved to the end of the kind column, so
// that every element is written at or before the token it is read from: the column becomes the
// elements' kinds without a second copy. Token starts stay where the lexer put them. A node's bit
// is set as it is written, so no second pass over the elements finds the nodes. The trivia rule
// is a parameter of the type: the loop runs once per event and tests nothing it need not.
template <TriviaEvents trivia> class Assembly {
  public:
    explicit Assembly(Tree& tree) : tree_(tree) {}

    void run(std::span<const TreeEvent> events) {
        KindCursor column = make_room(events);
        for (const TreeEvent event : events) {
            if (event.is_open()) {
                open(column, event.kind());
            } else if (event.is_close()) {
                close(column);
            } else {
                advance(column, event);
            }
        }
        if (column.written == 0) {
            base::fatal("a syntax tree has exactly one root node");
        }
        if (!open_.empty()) {
            base::fatal("a syntax tree is finished with unfinished nodes");
        }
        if (column.next != column.size) {
            base::fatal("a syntax tree leaves tokens out");
        }
    }

  private:
    struct Open {
        std::uint32_t element;
        std::uint32_t node;
    };

    KindCursor make_room(std::span<const TreeEvent> events) {
        const std::size_t tokens = tree_.kinds.size();
        const std::size_t nodes = count_opens(events);
        if (tokens + nodes >= no_index) {
            base::fatal("a syntax tree has 2^32 elements or more");
        }
        const auto size = static_cast<std::uint32_t>(tokens + nodes);
        tree_.kinds.resize(size);
        std::move_backward(tree_.kinds.begin(), tree_.kinds.begin() + tokens,
                           tree_.kinds.begin() + size);
        tree_.node_bits.assign((size + 63) / 64, 0);
        tree_.nodes.reserve(nodes);
        return {
            .kinds = tree_.kinds.data(), .size = size, .next = static_cast<std::uint32_t>(nodes)};
    }

    void open(KindCursor& column, SyntaxKind kind) {
        if (!kind::is_node_kind(kind)) [[unlikely]] {
            base::fatal("a node of a token kind");
        }
        std::uint32_t parent = no_index;
        if (!open_.empty()) [[likely]] {
            if constexpr (trivia == TriviaEvents::Attached) {
                take_trivia(column);
            }
            parent = open_.back().element;
        } else if (column.written > 0) {
            base::fatal("a syntax tree has exactly one root node");
        }
        open_.push_back({column.written, static_cast<std::uint32_t>(tree_.nodes.size())});
        tree_.nodes.push_back({.subtree_end = 0, .parent = parent});
        tree_.node_bits[column.written / 64] |= std::uint64_t{1} << (column.written % 64);
        column.write(static_cast<std::uint8_t>(kind::to_raw(kind)));
    }

    void close(KindCursor& column) {
        if (open_.empty()) [[unlikely]] {
            base::fatal("finish_node without an open node");
        }
        if constexpr (trivia == TriviaEvents::Attached) {
            if (open_.size() == 1) {
                while (column.next < column.size) {
                    column.take_token(column.next_kind());
                }
            }
        }
        tree_.nodes[open_.back().node].subtree_end = column.written;
        open_.pop_back();
    }

    void advance(KindCursor& column, TreeEvent event) {
        if (open_.empty()) [[unlikely]] {
            base::fatal("a syntax tree has exactly one root node");
        }
        if constexpr (trivia == TriviaEvents::Attached) {
            take_trivia(column);
        }
        if (column.next == column.size) [[unlikely]] {
            base::fatal("event past the last token");
        }
        const SyntaxKind kind =
            event.keeps_own_kind() ? static_cast<SyntaxKind>(column.next_kind()) : event.kind();
        if (!kind::is_token_kind(kind)) [[unlikely]] {
            base::fatal("a token of a node kind");
        }
        column.take_token(static_cast<std::uint8_t>(kind::to_raw(kind)));
    }

    static void take_trivia(KindCursor& column) {
        while (column.next < column.size &&
               kind::is_trivia(static_cast<SyntaxKind>(column.next_kind()))) {
            column.take_token(column.next_kind());
        }
    }

    Tree& tree_;
    std::vector<Open> open_;
};

void count_nodes_before(Tree& tree) {
    tree.nodes_before.resize(tree.node_bits.size());
    std::uint32_t before = 0;
    for (std::size_t word = 0; word < tree.node_bits.size(); ++word) {
        tree.nodes_before[word] = before;
        before += static_cast<std::uint32_t>(std::popcount(tree.node_bits[word]));
    }
}

} // namespace

std::shared_ptr<const Tree> assemble_tree(std::string text, TokenColumns tokens,
                                          std::span<const TreeEvent> events, TriviaEvents trivia) {
    if (tokens.kinds.size() != tokens.starts.size()) {
        base::fatal("token columns of different lengths");
    }
    auto tree = std::make_shared<Tree>();
    tree->text = std::move(text);
    tree->kinds = std::move(tokens.kinds);
    tree->starts = std::move(tokens.starts);
    if (trivia == TriviaEvents::Attached) {
        Assembly<TriviaEvents::Attached>(*tree).run(events);
    } else {
        Assembly<TriviaEvents::Explicit>(*tree).run(events);
    }
    count_nodes_before(*tree);
    return tree;
}

std::string release_text(std::shared_ptr<const Tree> tree) {
    if (tree.use_count() != 1) {
        return tree->text;
    }
    // Every tree is made non-const by assemble_tree, and no one else can see this one.
    return std::move(const_cast<Tree&>(*tree).text);
}

FrontRelease::FrontRelease(const Tree& tree)
    : tree_(tree), kinds_(pages(tree.kinds)), starts_(pages(tree.starts)),
      nodes_(pages(tree.nodes)), node_bits_(pages(tree.node_bits)),
      nodes_before_(pages(tree.nodes_before)) {}

template <class T> FrontRelease::Pages FrontRelease::pages(const Column<T>& column) {
    const std::size_t page = base::page_size();
    const std::size_t bytes = column.size() * sizeof(T);
    return {.data = base::mapped(column.capacity() * sizeof(T))
                        ? reinterpret_cast<const std::byte*>(column.data())
                        : nullptr,
            .released = page,
            .batch = std::max(page, bytes / 64 / page * page)};
}

// The entries of the elements before `index` in each column: as many node links as nodes, token
// starts as tokens, and the words of the rank vectors that hold none of the later elements.
void FrontRelease::behind(std::uint32_t index) {
    const bool past = index >= tree_.size();
    const std::size_t nodes = past ? tree_.nodes.size() : tree_.node_rank(index);
    const std::size_t tokens = past ? tree_.starts.size() : index - nodes;
    const std::size_t words = std::min(index, tree_.size()) / 64;
    kinds_.release_to(std::min(index, tree_.size()));
    starts_.release_to(tokens * sizeof(std::uint32_t));
    nodes_.release_to(nodes * sizeof(Tree::NodeLinks));
    node_bits_.release_to(words * sizeof(std::uint64_t));
    nodes_before_.release_to(words * sizeof(std::uint32_t));
}

// Only the pages wholly before `bytes`: the one it falls in is still read. A column whose
// release the system refused is kept whole from then on.
void FrontRelease::Pages::release_to(std::size_t bytes) {
    const std::size_t page = base::page_size();
    const std::size_t end = bytes / page * page;
    if (data == nullptr || end < released + batch) {
        return;
    }
    if (base::release_pages(data + released, data + end)) {
        released = end;
    } else {
        data = nullptr;
    }
}

void TreeBuilder::start_node(SyntaxKind kind) {
    if (!kind::is_node_kind(kind)) {
        base::fatal("start_node with a token kind");
    }
    events_.push_back(TreeEvent::open(kind));
    ++open_nodes_;
}

void TreeBuilder::token(SyntaxKind kind, std::string_view text) {
    if (!kind::is_token_kind(kind)) {
        base::fatal("token with a node kind");
    }
    if (text.size() >= std::numeric_limits<std::uint32_t>::max() - text_.size()) {
        base::fatal("a syntax tree's text is 4 GiB or longer");
    }
    tokens_.kinds.push_back(static_cast<std::uint8_t>(kind::to_raw(kind)));
    tokens_.starts.push_back(static_cast<std::uint32_t>(text_.size()));
    text_.append(text);
    events_.push_back(TreeEvent::advance());
}

void TreeBuilder::finish_node() {
    if (open_nodes_ == 0) {
        base::fatal("finish_node without an open node");
    }
    events_.push_back(TreeEvent::close());
    --open_nodes_;
}

Checkpoint TreeBuilder::checkpoint() const {
    return {static_cast<std::uint32_t>(events_.size())};
}

// The checkpoint is still valid when every node opened since is finished and none that was open
// then is.
void TreeBuilder::start_node_at(Checkpoint checkpoint, SyntaxKind kind) {
    if (!kind::is_node_kind(kind)) {
        base::fatal("start_node with a token kind");
    }
    bool valid = checkpoint.position <= events_.size();
    std::int64_t balance = 0;
    for (std::size_t i = checkpoint.position; valid && i < events_.size(); ++i) {
        balance += events_[i].is_open() ? 1 : events_[i].is_close() ? -1 : 0;
        valid = balance >= 0;
    }
    if (!valid || balance != 0) {
        base::fatal("a checkpoint is no longer valid: a node was finished after it was taken");
    }
    events_.insert(events_.begin() + checkpoint.position, TreeEvent::open(kind));
    ++open_nodes_;
}

std::shared_ptr<const Tree> TreeBuilder::finish() {
    if (open_nodes_ != 0) {
        base::fatal("a syntax tree is finished with unfinished nodes");
    }
    std::shared_ptr<const Tree> tree =
        assemble_tree(std::move(text_), std::move(tokens_), events_, TriviaEvents::Explicit);
    *this = TreeBuilder();
    return tree;
}

} // namespace quorvane_dsl::syntax
