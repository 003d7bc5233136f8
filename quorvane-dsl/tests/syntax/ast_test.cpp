#include <gtest/gtest.h>

#include "syntax/ast.hpp"
#include "syntax/parser.hpp"

namespace quorvane_dsl::syntax::ast {
namespace {

using enum SyntaxKind;

// The first node of `kind` in the parse of `text`.
SyntaxNode find(std::string_view text, SyntaxKind kind) {
    for (const SyntaxNode& node : parser::parse(text).tree().descendants()) {
        if (node.kind() == kind) {
            return node;
        }
    }
    ADD_FAILURE() << "no node of kind " << kind::name(kind) << " in " << text;
    return parser::parse(text).tree();
}

std::string text_of(const std::optional<Expr>& expr) {
    return expr ? std::string(expr->syntax().text()) : "<none>";
}

TEST(Ast, ChildAfter) {
    const SyntaxNode assign = find("cell c { a = b + 1 }", ASSIGN_STMT);
    EXPECT_EQ(text_of(child_after(assign, EQ)), "b + 1");
    EXPECT_EQ(text_of(child_after(find("cell c { a = }", ASSIGN_STMT), EQ)), "<none>");
    EXPECT_EQ(text_of(child_after(find("define x = a[i][j]", INDEX_EXPR), L_BRACK)), "j");
    EXPECT_EQ(text_of(child_after(find("cell c { for i in 0..n { } }", FOR_STMT), IN_KW)), "0..n");
    EXPECT_EQ(text_of(child_after(find("cell c { place a at (0, 0) }", PLACE_SPEC), AT_KW)),
              "(0, 0)");
    EXPECT_EQ(text_of(child_after(find("cell c(w = 1, h = 2) { }", PARAM_LIST), EQ)), "<none>");
    EXPECT_EQ(text_of(child_after(find("cell c { a = b }", ASSIGN_STMT), COMMA)), "<none>");
    // A kind that occurs twice: the first occurrence counts.
    EXPECT_EQ(text_of(child_after(find("define p = (1, 2, 3)", POINT_EXPR), COMMA)), "2");
}

TEST(Ast, ExpressionCasts) {
    const SyntaxNode root =
        parser::parse("define x = f(-a.b, [1], (1, 2), (3), self, y[0] + 1)").tree();
    std::vector<Expr::Kind> kinds;
    for (const SyntaxNode& node : root.descendants()) {
        if (const auto expr = Expr::cast(node)) {
            kinds.push_back(expr->kind());
        }
    }
    using K = Expr::Kind;
    EXPECT_EQ(kinds,
              (std::vector<K>{K::CallExpr, K::NameRef, K::PrefixExpr, K::FieldExpr, K::NameRef,
                              K::NameRef, K::ListExpr, K::Literal, K::PointExpr, K::Literal,
                              K::Literal, K::ParenExpr, K::Literal, K::SelfExpr, K::BinExpr,
                              K::IndexExpr, K::NameRef, K::Literal, K::Literal}));
    EXPECT_FALSE(Expr::cast(find("define x = 1", NAME)).has_value());
    EXPECT_EQ(static_cast<int>(Expr::cast(find("define x = y", NAME_REF))->kind()), 1);

    const Expr bin = *Expr::cast(find("define x = a - b", BIN_EXPR));
    EXPECT_EQ(bin.op()->kind(), MINUS);
    ASSERT_EQ(bin.operands().size(), 2u);
    EXPECT_EQ(bin.operands()[1].syntax().text(), "b");
    const Expr field = *Expr::cast(find("define x = p.q", FIELD_EXPR));
    EXPECT_EQ(Name{*field.field()}.text(), "q");
    EXPECT_FALSE(Expr::cast(find("define x = p.0", FIELD_EXPR))->field().has_value());

    const auto args = arguments(*Expr::cast(find("define x = f(a = 1, 2)", CALL_EXPR))->arg_list());
    ASSERT_EQ(args.size(), 2u);
    EXPECT_EQ(Name{*args[0].name}.text(), "a");
    EXPECT_EQ(text_of(args[0].value), "1");
    EXPECT_FALSE(args[1].name.has_value());
    EXPECT_EQ(text_of(args[1].value), "2");
}

TEST(Ast, NamesTypesAndLayers) {
    EXPECT_EQ(Name::cast(find("cell abc { }", NAME))->text(), "abc");
    EXPECT_EQ(Name::cast(find("cell c { layer m { } }", NAME_REF))->text(), "m");
    EXPECT_EQ(Name{find("define = 1", CONST_DEF)}.text(), "");
    EXPECT_FALSE(Name::cast(find("define x = 1", CONST_DEF)).has_value());

    const auto type = type_child(find("define x: [[length]] = 1", CONST_DEF));
    ASSERT_TRUE(type && type->is_list());
    EXPECT_EQ(type->element()->element()->name(), "length");
    EXPECT_FALSE(type->element()->element()->element().has_value());

    const auto spec = [](std::string_view text) {
        return *LayerProp::cast(find(text, LAYER_PROP))->gds();
    };
    EXPECT_EQ(spec("define layer { m { gds 1/2 } }").layer()->text(), "1");
    EXPECT_EQ(spec("define layer { m { gds 1/2 } }").datatype()->text(), "2");
    EXPECT_EQ(spec("define layer { m { gds 1/ } }").layer()->text(), "1");
    EXPECT_FALSE(spec("define layer { m { gds 1/ } }").datatype().has_value());
    EXPECT_EQ(spec("define layer { m { gds /0 } }").layer()->text(), "0");
    EXPECT_FALSE(spec("define layer { m { gds /0 } }").datatype().has_value());
    // Numbers from 32768 on read back from GDSII negative; the sign belongs to its number.
    const auto negative = spec("define layer { m { gds -32768/ - 1 } }");
    EXPECT_EQ(negative.layer()->text(), "32768");
    EXPECT_EQ(negative.signed_layer(), "-32768");
    EXPECT_EQ(negative.signed_datatype(), "-1");
    EXPECT_EQ(spec("define layer { m { gds 5/-0 } }").signed_layer(), "5");
    const auto prop = *LayerProp::cast(find("define layer { m { color \"red\" } }", LAYER_PROP));
    EXPECT_FALSE(prop.gds().has_value());
    EXPECT_EQ(prop.name()->text(), "color");
    EXPECT_EQ(text_of(prop.value()), "\"red\"");
}

TEST(Ast, CellsAndStatements) {
    const SyntaxNode root = parser::parse(R"(cell c(w length = 1um, h) {
    param { n int = 3 }
    attribute { kind "pad" }
    marker { p { at { (0, 0), ), (1, 0) } } q { at (2, 2) } r { } }
    layer m { shape rect with w = 1 as r at (0, 0) }
    shape a + b, c as d
    place* x at (0, 0)
    place { x at (1, 1) }
    clone r as s
    define k = 1
    for i in 0..2 { }
    if k == 1 { }
    k = 2
    k
})")
                                .tree();
    const Cell cell = *Cell::cast(*root.first_child());
    EXPECT_EQ(cell.name()->text(), "c");
    const auto header = cell.header_params();
    ASSERT_EQ(header.size(), 2u);
    EXPECT_EQ(header[0].type()->name(), "length");
    EXPECT_EQ(text_of(header[0].default_value()), "1um");
    EXPECT_FALSE(header[1].type().has_value());
    EXPECT_FALSE(header[1].default_value().has_value());
    EXPECT_EQ(cell.section_params()[0].name()->text(), "n");
    EXPECT_EQ(text_of(cell.attributes()[0].value()), "\"pad\"");

    const auto markers = cell.markers();
    ASSERT_EQ(markers.size(), 3u);
    const auto locations = [](const SyntaxNode& marker) {
        std::vector<std::string> texts;
        if (const auto at = child_node(marker, MARKER_AT)) {
            for (const Expr& e : MarkerAt::cast(*at)->locations()) {
                texts.emplace_back(e.syntax().text());
            }
        }
        return texts;
    };
    EXPECT_EQ(locations(markers[0]), (std::vector<std::string>{"(0, 0)", "(1, 0)"}));
    EXPECT_EQ(locations(markers[1]), (std::vector<std::string>{"(2, 2)"}));
    EXPECT_TRUE(locations(markers[2]).empty());

    using K = Stmt::Kind;
    std::vector<K> kinds;
    for (const Stmt& stmt : cell.statements()) {
        kinds.push_back(stmt.kind());
    }
    EXPECT_EQ(kinds,
              (std::vector<K>{K::LayerBlock, K::ShapeStmt, K::PlaceStmt, K::PlaceStmt, K::CloneStmt,
                              K::DefineStmt, K::ForStmt, K::IfStmt, K::AssignStmt, K::ExprStmt}));

    const auto stmts = cell.statements();
    const ShapeStmt named =
        *ShapeStmt::cast(*child_node(*child_node(stmts[0].syntax(), BLOCK), SHAPE_STMT));
    EXPECT_FALSE(named.shape_expr().has_value());
    EXPECT_EQ(named.shape_name()->text(), "rect");
    EXPECT_EQ(arguments(*named.with_clause()).size(), 1u);
    EXPECT_EQ(named.as_name()->text(), "r");
    EXPECT_EQ(text_of(child_after(*named.place(), AT_KW)), "(0, 0)");
    const ShapeStmt combined = *ShapeStmt::cast(stmts[1].syntax());
    EXPECT_EQ(exprs(*combined.shape_expr()).size(), 2u);

    const PlaceStmt star = *PlaceStmt::cast(stmts[2].syntax());
    EXPECT_TRUE(star.is_star());
    EXPECT_TRUE(star.spec().has_value());
    const PlaceStmt braced = *PlaceStmt::cast(stmts[3].syntax());
    EXPECT_FALSE(braced.is_star());
    EXPECT_FALSE(braced.spec().has_value());
    EXPECT_EQ(statements(*braced.block())[0].kind(), K::PlaceSpec);
}

TEST(Ast, Imports) {
    const std::string text = "import \"a/b.qvs\"\nimport\nimport \"q\\\"x\\\\y\\n\"\ncell c { }";
    const auto list = imports(parser::parse(text).tree());
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].path, "a/b.qvs");
    EXPECT_EQ(list[0].range, (source::TextRange{7, 16}));
    EXPECT_EQ(list[1].path, "q\"x\\y\n");
    EXPECT_EQ(text.substr(list[1].range.start, list[1].range.len()), "\"q\\\"x\\\\y\\n\"");
}

} // namespace
} // namespace quorvane_dsl::syntax::ast
