// Lowering's walk of the syntax tree by element index.
#pragma once

// The hot paths of lowering (expressions, arguments, statements) read the tree through plain
// element indices and the tree itself: a handle would count a reference on the shared tree at
// every step, and the typed views search the children again for every part they are asked for.
// A node's children are stepped over in one forward pass: a token is one element, a node its
// whole subtree.

#include <array>
#include <cstdint>
#include <string_view>

#include "source/location.hpp"
#include "syntax/ast.hpp"
#include "syntax/kind.hpp"
#include "syntax/tree.hpp"

namespace quorvane_dsl::lower::walk {

using syntax::no_index;
using syntax::SyntaxKind;
using syntax::Tree;

using syntax::ast::is_expr;

// The children of `node`, tokens included, in order.
class Children {
  public:
    Children(const Tree& tree, std::uint32_t node)
        : tree_(tree), next_(node + 1), end_(tree.subtree_end(node)) {}

    // The next child, or no_index past the last.
    std::uint32_t next() {
        if (next_ >= end_) {
            return no_index;
        }
        const std::uint32_t child = next_;
        next_ = tree_.subtree_end(child);
        return child;
    }

  private:
    const Tree& tree_;
    std::uint32_t next_;
    std::uint32_t end_;
};

// Where one pass over a node's children gathers its parts, each part is the first child found
// for it.
inline void keep_first(std::uint32_t& part, std::uint32_t child) {
    if (part == no_index) {
        part = child;
    }
}

inline std::string_view text(const Tree& tree, std::uint32_t index) {
    const source::TextRange range = tree.range(index);
    return std::string_view(tree.text).substr(range.start, range.len());
}

// The first child of `kind`, a node or a token.
inline std::uint32_t child_node(const Tree& tree, std::uint32_t node, SyntaxKind kind) {
    Children children(tree, node);
    for (std::uint32_t child = children.next(); child != no_index; child = children.next()) {
        if (tree.kind(child) == kind) {
            return child;
        }
    }
    return no_index;
}

// The first BLOCK or PLACE_BLOCK child.
inline std::uint32_t block_child(const Tree& tree, std::uint32_t node) {
    Children children(tree, node);
    for (std::uint32_t child = children.next(); child != no_index; child = children.next()) {
        if (tree.kind(child) == SyntaxKind::BLOCK || tree.kind(child) == SyntaxKind::PLACE_BLOCK) {
            return child;
        }
    }
    return no_index;
}

// The NAME inside the first AS_NAME child.
inline std::uint32_t as_name(const Tree& tree, std::uint32_t node) {
    const std::uint32_t as = child_node(tree, node, SyntaxKind::AS_NAME);
    return as != no_index ? child_node(tree, as, SyntaxKind::NAME) : no_index;
}

// The first NAME_TYPE or LIST_TYPE child.
inline std::uint32_t type_child(const Tree& tree, std::uint32_t node) {
    Children children(tree, node);
    for (std::uint32_t child = children.next(); child != no_index; child = children.next()) {
        if (tree.kind(child) == SyntaxKind::NAME_TYPE ||
            tree.kind(child) == SyntaxKind::LIST_TYPE) {
            return child;
        }
    }
    return no_index;
}

// The first child token that is not trivia: the operator of a binary or prefix expression, the
// token of a literal, a name reference or `self`.
inline std::uint32_t first_token(const Tree& tree, std::uint32_t node) {
    Children children(tree, node);
    for (std::uint32_t child = children.next(); child != no_index; child = children.next()) {
        if (!tree.is_node(child) && !syntax::kind::is_trivia(tree.kind(child))) {
            return child;
        }
    }
    return no_index;
}

// The text of the first IDENT child of a NAME or NAME_REF, "" when the name was missing.
inline std::string_view name_text(const Tree& tree, std::uint32_t name) {
    Children children(tree, name);
    for (std::uint32_t child = children.next(); child != no_index; child = children.next()) {
        if (tree.kind(child) == SyntaxKind::IDENT) {
            return text(tree, child);
        }
    }
    return {};
}

// The first N expression children, no_index for those missing.
template <std::size_t N>
std::array<std::uint32_t, N> leading_exprs(const Tree& tree, std::uint32_t node) {
    std::array<std::uint32_t, N> found;
    found.fill(no_index);
    std::size_t count = 0;
    Children children(tree, node);
    for (std::uint32_t child = children.next(); child != no_index && count < N;
         child = children.next()) {
        if (is_expr(tree.kind(child))) {
            found[count++] = child;
        }
    }
    return found;
}

inline std::uint32_t first_expr(const Tree& tree, std::uint32_t node) {
    return leading_exprs<1>(tree, node)[0];
}

// What an expression node needs of its children, found in one pass: each step onto a child node
// takes a rank of the tree, and a second search would take them all again.
struct ExprParts {
    std::uint32_t first = no_index;  // the first expression child
    std::uint32_t second = no_index; // the second expression child
    std::uint32_t marked = no_index; // the first child of the kind asked for
    std::uint32_t after = no_index;  // the first expression at or after `marked`
    std::uint32_t token = no_index;  // the first token that is not trivia
};

inline ExprParts expr_parts(const Tree& tree, std::uint32_t node, SyntaxKind mark) {
    ExprParts parts;
    Children children(tree, node);
    for (std::uint32_t child = children.next(); child != no_index; child = children.next()) {
        const SyntaxKind kind = tree.kind(child);
        if (kind == mark && parts.marked == no_index) {
            parts.marked = child;
        }
        if (is_expr(kind)) {
            if (parts.first == no_index) {
                parts.first = child;
            } else if (parts.second == no_index) {
                parts.second = child;
            }
            if (parts.marked != no_index && parts.after == no_index) {
                parts.after = child;
            }
        } else if (parts.token == no_index && !tree.is_node(child) &&
                   !syntax::kind::is_trivia(kind)) {
            parts.token = child;
        }
    }
    return parts;
}

// The first child of `kind` when it is an expression, else the first expression after it: the
// value after `=`, `in`, `at` or `[`.
inline std::uint32_t child_after(const Tree& tree, std::uint32_t node, SyntaxKind kind) {
    bool found = false;
    Children children(tree, node);
    for (std::uint32_t child = children.next(); child != no_index; child = children.next()) {
        found = found || tree.kind(child) == kind;
        if (found && is_expr(tree.kind(child))) {
            return child;
        }
    }
    return no_index;
}

} // namespace quorvane_dsl::lower::walk
