#include "format/layout.hpp"

#include <algorithm>

#include "base/utf8.hpp"
#include "format/measure.hpp"

namespace quorvane_dsl::format {

namespace {

using K = SyntaxKind;

bool is_opener(K kind) {
    return kind == K::L_BRACE || kind == K::L_PAREN || kind == K::L_BRACK;
}
bool is_closer(K kind) {
    return kind == K::R_BRACE || kind == K::R_PAREN || kind == K::R_BRACK;
}

bool is_container(K kind) {
    switch (kind) {
    case K::SOURCE_FILE:
    case K::LAYER_TABLE:
    case K::LAYER_DEF:
    case K::XSECTION_DEF:
    case K::CELL:
    case K::PARAM_SECTION:
    case K::PARAM_LIST:
    case K::ATTR_SECTION:
    case K::MARKER_SECTION:
    case K::MARKER_DECL:
    case K::AT_LIST:
    case K::WITH_CLAUSE:
    case K::BLOCK:
    case K::PLACE_BLOCK:
    case K::POINT_EXPR:
    case K::LIST_EXPR:
    case K::ARG_LIST:
        return true;
    default:
        return false;
    }
}

bool has_line_feed(std::string_view text) {
    return text.find('\n') != std::string_view::npos;
}

// The node a joinable block is measured from: a section itself, or the statement owning a
// block. Blocks of `if` and `else` never join.
std::optional<Element> join_head(const TreeView& tree, Element node) {
    switch (tree.kind(node)) {
    case K::PARAM_SECTION:
    case K::ATTR_SECTION:
    case K::MARKER_SECTION:
        return node;
    case K::BLOCK:
    case K::PLACE_BLOCK: {
        const std::optional<Element> parent = tree.parent(node);
        if (parent && tree.kind(*parent) != K::IF_STMT) {
            return parent;
        }
        return std::nullopt;
    }
    default:
        return std::nullopt;
    }
}

// The braces of a block whose own tokens are only braces and keywords, and its one child node.
struct JoinShape {
    Element open;
    Element close;
    Element child;
};

std::optional<JoinShape> join_shape(const TreeView& tree, Element block) {
    std::optional<Element> open, close, child;
    std::uint32_t child_nodes = 0;
    for (Element c = tree.first_child(block); c.index < tree.subtree_end(block);
         c = tree.next_sibling(c)) {
        const K kind = tree.kind(c);
        if (!tree.is_token(c)) {
            child = c;
            ++child_nodes;
        } else if (kind == K::L_BRACE) {
            open = open.value_or(c);
        } else if (kind == K::R_BRACE) {
            close = c;
        } else if (kind == K::COMMENT) {
            return std::nullopt;
        } else if (kind != K::WHITESPACE && !syntax::kind::is_keyword(kind)) {
            return std::nullopt;
        }
    }
    if (!open || !close || child_nodes != 1) {
        return std::nullopt;
    }
    return JoinShape{*open, *close, *child};
}

// Every line break inside the child must already be taken away by a joined inner block.
bool child_joins(const TreeView& tree, Element child, const std::vector<bool>& single_line) {
    bool pending_break = false;
    for (std::uint32_t i = child.index; i < tree.subtree_end(child); ++i) {
        const Element e{i};
        if (!tree.is_token(e)) {
            continue;
        }
        if (pending_break && !single_line[i]) {
            return false;
        }
        pending_break = false;
        if (tree.kind(e) == K::COMMENT) {
            return false;
        }
        if (tree.kind(e) == K::WHITESPACE && has_line_feed(tree.text_of(e))) {
            pending_break = true;
        }
    }
    return true;
}

void try_join(const TreeView& tree, Element block, const std::vector<std::uint16_t>& depths,
              std::vector<bool>& single_line) {
    const std::optional<Element> head = join_head(tree, block);
    if (!head) {
        return;
    }
    const std::optional<JoinShape> shape = join_shape(tree, block);
    if (!shape || !child_joins(tree, shape->child, single_line) ||
        !has_line_feed(tree.text_of(block))) {
        return;
    }
    const std::optional<Element> head_first = tree.first_token(*head);
    const std::optional<Element> child_first = tree.first_token(shape->child);
    if (!head_first || !child_first) {
        return;
    }
    // No token but trivia comes between a node's start and its first token, so the head's first
    // token stands at the depth the head starts at.
    const std::uint32_t length = indent_width * depths[tree.node_number(*head)] + 3 +
                                 width_up_to(tree, *head, tree.start(shape->open)) +
                                 width(tree, shape->child);
    if (length <= join_limit) {
        single_line[child_first->index] = true;
        single_line[shape->close.index] = true;
    }
}

// One level more for a token that continues a construct begun on an earlier line; none for
// a token that begins an entry, a statement or a list element, which the depth indents.
std::uint32_t continuation_indent(const TreeView& tree, Element token) {
    if (tree.kind(token) == K::COMMENT || is_closer(tree.kind(token))) {
        return 0;
    }
    std::optional<Element> node = tree.parent(token);
    while (node) {
        if (tree.first_token(*node) != token) {
            return 1;
        }
        const std::optional<Element> parent = tree.parent(*node);
        if (!parent || is_container(tree.kind(*parent))) {
            return 0;
        }
        node = parent;
    }
    return 0;
}

void write_text(std::string& out, std::string_view text) {
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n')) {
        text.remove_suffix(1);
    }
    out += text;
}

// Step by step output of the tokens: the white space of the text is only remembered, and
// replaced by the separator the layout rules give.
struct Emitter {
    const TreeView& tree;
    const AlignmentMap& alignment;
    const std::vector<bool>& single_line;
    std::string out;
    std::uint32_t depth;
    std::string_view pending; // the white space since the previous token; empty when none
    std::optional<Element> previous;
    std::size_t next_pad = 0; // tokens come in order, and so do the pads

    std::optional<std::uint32_t> pad_of(Element t) {
        const std::vector<AlignmentMap::Pad>& pads = alignment.pads();
        while (next_pad < pads.size() && pads[next_pad].token < t.index) {
            ++next_pad;
        }
        if (next_pad < pads.size() && pads[next_pad].token == t.index) {
            return pads[next_pad].spaces;
        }
        return std::nullopt;
    }

    void token(Element t) {
        const K kind = tree.kind(t);
        if (kind == K::WHITESPACE) {
            pending = tree.text_of(t);
            return;
        }
        if (is_closer(kind) && depth > 0) {
            --depth;
        }
        if (previous) {
            separator(t);
        }
        write_text(out, tree.text_of(t));
        if (is_opener(kind)) {
            ++depth;
        }
        previous = t;
        pending = {};
    }

    void separator(Element t) {
        const std::uint32_t breaks = line_feeds(pending);
        if (breaks == 0 && tree.kind(*previous) == K::COMMENT && !pending.empty()) {
            // Only a lone carriage return can end a comment without a line feed; keep it, or
            // the token would be swallowed into the comment.
            out += '\r';
            pending.remove_prefix(1);
        }
        if (breaks == 0) {
            same_line_separator(t);
        } else if (single_line[t.index]) {
            out += ' ';
        } else {
            out += '\n';
            if (breaks >= 2 && tree.kind(*previous) != K::L_BRACE && !is_closer(tree.kind(t))) {
                out += '\n';
            }
            out.append(indent_width * (depth + continuation_indent(tree, t)), ' ');
        }
    }

    void same_line_separator(Element t) {
        if (tree.kind(t) == K::COMMENT) {
            // A comment after code keeps its distance, so hand-aligned comments stay aligned.
            out.append(std::max<std::size_t>(1, pending.size()), ' ');
        } else if (const std::optional<std::uint32_t> pad = pad_of(t)) {
            out.append(*pad, ' ');
        } else if (space_between(tree, *previous, t)) {
            out += ' ';
        }
    }
};

} // namespace

std::vector<std::uint16_t> node_depths(const TreeView& tree) {
    std::vector<std::uint16_t> depths(tree.node_count(), 0);
    std::uint16_t depth = 0;
    for (std::uint32_t i = 0; i < tree.size(); ++i) {
        const K kind = tree.kind({i});
        if (!tree.is_token({i})) {
            depths[tree.node_number({i})] = depth;
        } else if (is_closer(kind) && depth > 0) {
            --depth;
        } else if (is_opener(kind)) {
            ++depth;
        }
    }
    return depths;
}

// Later blocks first, so that inner blocks are decided before the blocks holding them; nodes of
// one start keep their tree order. Starts never fall along the tree order, so taking the runs of
// equal start from the last one back orders them without sorting.
std::vector<bool> single_line_blocks(const TreeView& tree,
                                     const std::vector<std::uint16_t>& depths) {
    std::vector<bool> single_line(tree.size(), false);
    std::vector<Element> run; // nodes of one start, nested, so as many as the nesting is deep
    std::uint32_t i = tree.size();
    while (i > 0) {
        --i;
        if (tree.is_token({i})) {
            continue;
        }
        run.assign(1, Element{i});
        while (i > 0 && !tree.is_token({i - 1}) && tree.start({i - 1}) == tree.start({i})) {
            run.push_back({--i});
        }
        for (auto node = run.rbegin(); node != run.rend(); ++node) {
            try_join(tree, *node, depths, single_line);
        }
    }
    return single_line;
}

std::string emit(const TreeView& tree, const AlignmentMap& alignment,
                 const std::vector<bool>& single_line) {
    Emitter emitter{tree, alignment, single_line, {}, 0, {}, {}, 0};
    emitter.out.reserve(tree.text().size() + tree.text().size() / 4);
    for (std::uint32_t i = 0; i < tree.size(); ++i) {
        if (tree.is_token({i})) {
            emitter.token({i});
        }
    }
    return std::move(emitter.out);
}

void clean_up(std::string& text) {
    std::size_t kept = 0;
    std::size_t line_start = 0;
    while (line_start <= text.size()) {
        std::size_t line_end = text.find('\n', line_start);
        if (line_end == std::string::npos) {
            line_end = text.size();
        }
        if (line_start > 0) {
            text[kept++] = '\n';
        }
        const std::string_view line =
            base::utf8::trim_end(std::string_view(text).substr(line_start, line_end - line_start));
        // Never behind the line it copies, so the copy reads nothing it has overwritten.
        std::copy(line.begin(), line.end(), text.begin() + static_cast<std::ptrdiff_t>(kept));
        kept += line.size();
        line_start = line_end + 1;
    }
    text.resize(base::utf8::trim_end(std::string_view(text).substr(0, kept)).size());
    if (!text.empty()) {
        text += '\n';
    }
}

} // namespace quorvane_dsl::format
