#include <algorithm>
#include <iostream>
#include <random>
#include <ranges>
#include <string>

#include <gtest/gtest.h>

#include "syntax/parser.hpp"
#include "syntax/tree.hpp"

using namespace quorvane_dsl::syntax;
using enum SyntaxKind;

namespace {

// "# c\ncell a { x = 1 + 2 }  " as the parser would lay it out: trivia between the nodes
// belong to the enclosing node, the binary expression is wrapped through a checkpoint.
SyntaxNode sample() {
    TreeBuilder b;
    b.start_node(SOURCE_FILE);
    b.token(COMMENT, "# c");
    b.token(WHITESPACE, "\n");
    b.start_node(CELL);
    b.token(CELL_KW, "cell");
    b.token(WHITESPACE, " ");
    b.start_node(NAME);
    b.token(IDENT, "a");
    b.finish_node();
    b.token(WHITESPACE, " ");
    b.start_node(BLOCK);
    b.token(L_BRACE, "{");
    b.token(WHITESPACE, " ");
    b.start_node(ASSIGN_STMT);
    b.start_node(NAME_REF);
    b.token(IDENT, "x");
    b.finish_node();
    b.token(WHITESPACE, " ");
    b.token(EQ, "=");
    b.token(WHITESPACE, " ");
    Checkpoint lhs = b.checkpoint();
    b.start_node(LITERAL);
    b.token(NUMBER, "1");
    b.finish_node();
    b.token(WHITESPACE, " ");
    b.token(PLUS, "+");
    b.token(WHITESPACE, " ");
    b.start_node(LITERAL);
    b.token(NUMBER, "2");
    b.finish_node();
    b.start_node_at(lhs, BIN_EXPR);
    b.finish_node();
    b.finish_node();
    b.token(WHITESPACE, " ");
    b.token(R_BRACE, "}");
    b.finish_node();
    b.finish_node();
    b.token(WHITESPACE, "  ");
    b.finish_node();
    return SyntaxNode::root(b.finish());
}

std::string listing(const SyntaxNode& root, bool with_tokens) {
    std::string out;
    auto add = [&](Walk walk, SyntaxKind kind) {
        out += walk == Walk::Enter ? "+" : "-";
        out += kind::name(kind);
        out += ' ';
    };
    if (with_tokens) {
        for (const auto& event : root.preorder_with_tokens()) {
            if (!kind::is_trivia(event.element.kind())) {
                add(event.walk, event.element.kind());
            }
        }
    } else {
        for (const auto& event : root.preorder()) {
            add(event.walk, event.element.kind());
        }
    }
    return out;
}

std::string kinds(auto&& range) {
    std::string out;
    for (const auto& element : range) {
        out += kind::name(element.kind());
        out += ' ';
    }
    return out;
}

} // namespace

TEST(Tree, KeepsTextAndRanges) {
    SyntaxNode root = sample();
    EXPECT_EQ(root.text(), "# c\ncell a { x = 1 + 2 }  ");
    EXPECT_EQ(root.kind(), SOURCE_FILE);
    EXPECT_FALSE(root.parent());

    SyntaxNode cell = *root.first_child();
    EXPECT_EQ(cell.kind(), CELL);
    EXPECT_EQ(cell.text(), "cell a { x = 1 + 2 }");
    EXPECT_EQ(cell.text_range(), (quorvane_dsl::source::TextRange{4, 24}));
    EXPECT_EQ(cell.first_token()->text(), "cell");
    EXPECT_EQ(cell.last_token()->text(), "}");
    EXPECT_EQ(*cell.parent(), root);

    SyntaxNode bin = *root.descendants().begin();
    EXPECT_EQ(bin, root);
    auto found = std::ranges::find_if(root.descendants(),
                                      [](const SyntaxNode& n) { return n.kind() == BIN_EXPR; });
    ASSERT_NE(found, root.descendants().end());
    bin = *found;
    EXPECT_EQ(bin.text(), "1 + 2");
    EXPECT_EQ(bin.parent()->kind(), ASSIGN_STMT);
    EXPECT_EQ(kinds(bin.children()), "LITERAL LITERAL ");
    EXPECT_EQ(kinds(bin.children_with_tokens()), "LITERAL WHITESPACE PLUS WHITESPACE LITERAL ");
    EXPECT_EQ(kinds(bin.ancestors()), "BIN_EXPR ASSIGN_STMT BLOCK CELL SOURCE_FILE ");
    EXPECT_EQ(bin.first_child()->next_sibling()->text(), "2");
    EXPECT_EQ(bin.last_child()->text(), "2");
    EXPECT_EQ(bin.last_child()->prev_sibling()->text(), "1");
    EXPECT_FALSE(bin.first_child()->prev_sibling());
    EXPECT_FALSE(bin.last_child()->next_sibling());

    SyntaxElement plus = *bin.first_child()->next_sibling_or_token()->next_sibling_or_token();
    ASSERT_TRUE(plus.is_token());
    EXPECT_EQ(plus.as_token()->text(), "+");
    EXPECT_EQ(plus.text_range(), (quorvane_dsl::source::TextRange{19, 20}));
    EXPECT_EQ(plus.prev_sibling_or_token()->kind(), WHITESPACE);
    EXPECT_FALSE(plus.as_node());
    EXPECT_EQ(plus.as_token()->next_token()->kind(), WHITESPACE);
    EXPECT_EQ(plus.as_token()->next_token()->next_token()->text(), "2");
    EXPECT_EQ(plus.as_token()->prev_token()->prev_token()->text(), "1");

    EXPECT_EQ(root.first_child_or_token()->kind(), COMMENT);
    EXPECT_EQ(root.last_child_or_token()->text(), "  ");
    EXPECT_FALSE(root.first_token()->prev_token());
    EXPECT_FALSE(root.last_token()->next_token());
    EXPECT_EQ(kinds(root.children()), "CELL ");
}

TEST(Tree, TokensTileTheText) {
    SyntaxNode root = sample();
    std::string joined;
    std::uint32_t offset = 0;
    for (const SyntaxElement& element : root.descendants_with_tokens()) {
        if (auto token = element.as_token()) {
            EXPECT_EQ(token->text_range().start, offset);
            offset = token->text_range().end;
            joined += token->text();
        }
    }
    EXPECT_EQ(joined, root.text());
}

TEST(Tree, PreorderWalks) {
    SyntaxNode root = sample();
    EXPECT_EQ(listing(root, false),
              "+SOURCE_FILE +CELL +NAME -NAME +BLOCK +ASSIGN_STMT +NAME_REF -NAME_REF +BIN_EXPR "
              "+LITERAL -LITERAL +LITERAL -LITERAL -BIN_EXPR -ASSIGN_STMT -BLOCK -CELL "
              "-SOURCE_FILE ");
    SyntaxNode name = *root.first_child()->first_child();
    EXPECT_EQ(listing(name, true), "+NAME +IDENT -IDENT -NAME ");
    // A walk stays inside its subtree.
    EXPECT_EQ(listing(name, false), "+NAME -NAME ");
    EXPECT_EQ(std::ranges::distance(root.preorder_with_tokens()), 2 * 29);
}

TEST(Tree, CheckpointsAndEmptyNodes) {
    TreeBuilder b;
    b.start_node(SOURCE_FILE);
    Checkpoint start = b.checkpoint();
    b.token(IDENT, "a");
    b.start_node_at(start, FIELD_EXPR);
    b.token(DOT, ".");
    b.token(IDENT, "b");
    b.finish_node();
    // Wrapping the finished node again at the same checkpoint nests it.
    b.start_node_at(start, CALL_EXPR);
    b.start_node(ARG_LIST);
    b.finish_node();
    b.finish_node();
    // A node opened at a checkpoint with nothing after it is empty, at the current offset.
    b.start_node_at(b.checkpoint(), ERROR);
    b.finish_node();
    b.finish_node();
    SyntaxNode root = SyntaxNode::root(b.finish());

    EXPECT_EQ(listing(root, true), "+SOURCE_FILE +CALL_EXPR +FIELD_EXPR +IDENT -IDENT +DOT -DOT "
                                   "+IDENT -IDENT -FIELD_EXPR +ARG_LIST -ARG_LIST -CALL_EXPR "
                                   "+ERROR -ERROR -SOURCE_FILE ");
    SyntaxNode call = *root.first_child();
    EXPECT_EQ(call.text(), "a.b");
    SyntaxNode args = *call.last_child();
    EXPECT_EQ(args.text_range(), (quorvane_dsl::source::TextRange{3, 3}));
    EXPECT_FALSE(args.first_token());
    EXPECT_FALSE(args.last_token());
    EXPECT_FALSE(args.first_child_or_token());
    SyntaxNode error = *call.next_sibling();
    EXPECT_EQ(error.text_range(), (quorvane_dsl::source::TextRange{3, 3}));
    EXPECT_EQ(root.last_token()->text(), "b");
}

TEST(Tree, DeepNestingNeedsNoRecursion) {
    constexpr int depth = 200000;
    TreeBuilder b;
    for (int i = 0; i < depth; ++i) {
        b.start_node(PAREN_EXPR);
        b.token(L_PAREN, "(");
    }
    for (int i = 0; i < depth; ++i) {
        b.token(R_PAREN, ")");
        b.finish_node();
    }
    SyntaxNode root = SyntaxNode::root(b.finish());
    EXPECT_EQ(root.text().size(), 2u * depth);
    EXPECT_EQ(std::ranges::distance(root.preorder()), 2 * depth);
    EXPECT_EQ(root.last_token()->text_range().start, 2u * depth - 1);
    // The last token's parent lies past every inner node that closed before it.
    EXPECT_EQ(*root.last_token()->parent(), root);
    EXPECT_EQ(root.last_token()->prev_sibling_or_token()->kind(), PAREN_EXPR);
}

// A checkpoint stays valid while the nodes open when it was taken stay open.
TEST(TreeDeathTest, CheckpointsOutlivedByTheirNode) {
    const auto inner_finished = [] {
        TreeBuilder b;
        b.start_node(SOURCE_FILE);
        b.start_node(BLOCK);
        Checkpoint inside = b.checkpoint();
        b.token(IDENT, "a");
        b.finish_node();
        b.start_node_at(inside, ERROR);
    };
    EXPECT_DEATH(inner_finished(), "checkpoint is no longer valid");
    const auto opened_since = [] {
        TreeBuilder b;
        b.start_node(SOURCE_FILE);
        Checkpoint before = b.checkpoint();
        b.start_node(BLOCK);
        b.start_node_at(before, ERROR);
    };
    EXPECT_DEATH(opened_since(), "checkpoint is no longer valid");
}

// What lies after the point a release has passed reads as in a tree kept whole; a read behind it
// faults instead of finding zeros.
TEST(TreeDeathTest, ReleasedFront) {
    std::string text;
    for (int i = 0; i < 1000; ++i) {
        text += "cell c" + std::to_string(i) + " { x = " + std::to_string(i) + " + 1 }\n";
    }
    const parser::Parse whole = parser::parse(text);
    const parser::Parse parse = parser::parse(text);
    const auto children = [](const SyntaxNode& root) {
        std::vector<SyntaxNode> nodes;
        std::ranges::copy(root.children(), std::back_inserter(nodes));
        return nodes;
    };
    const std::vector<SyntaxNode> cells = children(parse.tree());
    const std::vector<SyntaxNode> whole_cells = children(whole.tree());
    ASSERT_EQ(cells.size(), 1000u);
    FrontRelease release(*parse.green);
    release.behind(cells[100].index());
    release.behind(cells[800].index());
    release.behind(cells[50].index());
    for (std::size_t i = 800; i < cells.size(); ++i) {
        const auto walked = cells[i].preorder_with_tokens();
        const auto kept = whole_cells[i].preorder_with_tokens();
        for (auto a = walked.begin(), b = kept.begin(); b != std::default_sentinel; ++a, ++b) {
            ASSERT_NE(a, std::default_sentinel);
            EXPECT_EQ((*a).element.kind(), (*b).element.kind());
            EXPECT_EQ((*a).element.text_range(), (*b).element.text_range());
            EXPECT_EQ((*a).element.parent()->index(), (*b).element.parent()->index());
        }
    }
    EXPECT_EQ(cells.back().next_sibling_or_token()->text(), "\n");
    // Printed, so that the reads cannot be left out.
    EXPECT_DEATH(std::cout << cells[500].text_range().start, "");
    EXPECT_DEATH(std::cout << int{parse.green->kinds[cells[500].index()]}, "");
}

namespace {

// A plain nested model of a tree, built alongside the flat one and walked recursively.
struct Model {
    SyntaxKind kind;
    std::string text; // tokens only
    std::vector<Model> kids;
};

Model random_model(std::mt19937& rng, int depth) {
    if (depth == 0 || rng() % 3 == 0) {
        return {IDENT, std::string(1 + rng() % 3, static_cast<char>('a' + rng() % 26)), {}};
    }
    Model node{kind::from_raw(61 + rng() % 55), "", {}};
    for (auto n = rng() % 4; n > 0; --n) {
        node.kids.push_back(random_model(rng, depth - 1));
    }
    return node;
}

// Nodes are opened either directly or, after their first child, through a checkpoint.
void feed(TreeBuilder& b, const Model& m, std::mt19937& rng) {
    if (m.kind == IDENT) {
        b.token(m.kind, m.text);
        return;
    }
    std::size_t first = 0;
    if (!m.kids.empty() && rng() % 2 == 0) {
        Checkpoint cp = b.checkpoint();
        feed(b, m.kids[0], rng);
        b.start_node_at(cp, m.kind);
        first = 1;
    } else {
        b.start_node(m.kind);
    }
    for (std::size_t i = first; i < m.kids.size(); ++i) {
        feed(b, m.kids[i], rng);
    }
    b.finish_node();
}

std::string model_text(const Model& m) {
    std::string text = m.text;
    for (const Model& kid : m.kids) {
        text += model_text(kid);
    }
    return text;
}

void expect_matches(const Model& m, const SyntaxElement& e) {
    ASSERT_EQ(e.kind(), m.kind);
    ASSERT_EQ(e.text(), model_text(m));
    auto node = e.as_node();
    if (!node) {
        return;
    }
    std::vector<SyntaxElement> kids;
    for (const SyntaxElement& kid : node->children_with_tokens()) {
        kids.push_back(kid);
    }
    ASSERT_EQ(kids.size(), m.kids.size());
    std::size_t node_kids = 0;
    for (std::size_t i = 0; i < kids.size(); ++i) {
        ASSERT_EQ(*kids[i].parent(), *node);
        ASSERT_EQ(kids[i].prev_sibling_or_token().has_value(), i > 0);
        ASSERT_EQ(kids[i].next_sibling_or_token().has_value(), i + 1 < kids.size());
        node_kids += kids[i].is_node();
        expect_matches(m.kids[i], kids[i]);
    }
    ASSERT_EQ(std::ranges::distance(node->children()), static_cast<std::ptrdiff_t>(node_kids));
    if (node->first_token()) {
        ASSERT_EQ(node->first_token()->text_range().start, node->text_range().start);
        ASSERT_EQ(node->last_token()->text_range().end, node->text_range().end);
    } else {
        ASSERT_TRUE(node->text_range().empty());
    }
}

} // namespace

TEST(Tree, MatchesANestedModel) {
    std::mt19937 rng(7);
    for (int round = 0; round < 300; ++round) {
        Model root{SOURCE_FILE, "", {}};
        for (auto n = rng() % 4; n > 0; --n) {
            root.kids.push_back(random_model(rng, 5));
        }
        TreeBuilder b;
        feed(b, root, rng);
        SyntaxNode tree = SyntaxNode::root(b.finish());
        expect_matches(root, tree);
        ASSERT_EQ(std::ranges::distance(tree.preorder_with_tokens()),
                  2 * std::ranges::distance(tree.descendants_with_tokens()));
    }
}
