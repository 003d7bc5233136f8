#include <algorithm>
#include <tuple>

#include <gtest/gtest.h>

#include "parse_helpers.hpp"

namespace quorvane_dsl::syntax {
namespace {

using testing::errors_of;
using testing::shape_of;
using Errors = std::vector<std::string>;

struct Case {
    std::string_view text;
    std::string_view shape;
    Errors errors;
};

void check_cases(const std::vector<Case>& cases) {
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(shape_of(c.text), c.shape);
        EXPECT_EQ(errors_of(c.text), c.errors);
    }
}

std::string source_text(const SyntaxNode& root) {
    std::string text;
    for (const auto& event : root.preorder_with_tokens()) {
        if (event.walk == Walk::Enter && event.element.is_token()) {
            text += event.element.text();
        }
    }
    return text;
}

std::vector<std::string> child_kinds(const SyntaxNode& node) {
    std::vector<std::string> kinds;
    for (const SyntaxElement& element : node.children_with_tokens()) {
        kinds.emplace_back(kind::name(element.kind()));
    }
    return kinds;
}

TEST(Parser, TriviaLandBetweenNodes) {
    EXPECT_EQ(shape_of(""), "SOURCE_FILE()");
    EXPECT_TRUE(errors_of("").empty());

    const auto only_comments = parser::parse("# a\n\n# b\n").tree();
    EXPECT_EQ(child_kinds(only_comments),
              (std::vector<std::string>{"COMMENT", "WHITESPACE", "COMMENT", "WHITESPACE"}));

    const auto root = parser::parse("# head\ncell a {\n  x # note\n}\n# tail").tree();
    EXPECT_EQ(child_kinds(root),
              (std::vector<std::string>{"COMMENT", "WHITESPACE", "CELL", "WHITESPACE", "COMMENT"}));
    const SyntaxNode cell = *root.first_child();
    EXPECT_EQ(cell.first_token()->text(), "cell");
    EXPECT_EQ(cell.last_token()->text(), "}");
    EXPECT_EQ(child_kinds(cell),
              (std::vector<std::string>{"CELL_KW", "WHITESPACE", "NAME", "WHITESPACE", "L_BRACE",
                                        "WHITESPACE", "EXPR_STMT", "WHITESPACE", "COMMENT",
                                        "WHITESPACE", "R_BRACE"}));
    EXPECT_EQ(child_kinds(*cell.children().begin()), (std::vector<std::string>{"IDENT"}));
    // Tokens after a finished node find their own parent, not the node before them.
    EXPECT_EQ(*cell.last_token()->parent(), cell);
    EXPECT_EQ(*root.last_token()->parent(), root);
    EXPECT_EQ(root.last_token()->prev_token()->parent()->kind(), SyntaxKind::SOURCE_FILE);
    const SyntaxToken note = *cell.last_token()->prev_token()->prev_token();
    EXPECT_EQ(note.text(), "# note");
    EXPECT_EQ(*note.parent(), cell);
    EXPECT_EQ(note.prev_sibling_or_token()->prev_sibling_or_token()->kind(), SyntaxKind::EXPR_STMT);
}

TEST(Parser, ErrorPlacesAndOrder) {
    // A missing token at the end is reported after the last token, not in trailing blanks.
    EXPECT_EQ(errors_of("cell a {  \n\n"), Errors{"expected `}`@8..8"});
    // Only the first message at one place; none of the parser's at an error token.
    EXPECT_EQ(errors_of("define x"), Errors{"expected `=`@8..8"});
    EXPECT_EQ(errors_of("cell c { shape r as t at $ }"), Errors{"unexpected character `$`@25..26"});
    // Lexer and parser errors by start; the lexer's first at equal starts.
    EXPECT_EQ(errors_of("define s = \"open\ncell"),
              (Errors{"unterminated string@11..16", "expected a name@21..21"}));
    EXPECT_EQ(errors_of("cell c { x = @ }"), (Errors{"unexpected character `@`@13..14"}));
}

TEST(Parser, Items) {
    check_cases({
        {"define layer { metal1 { gds 1/0 } }",
         "SOURCE_FILE(LAYER_TABLE(DEFINE_KW LAYER_KW L_BRACE LAYER_DEF(NAME(IDENT) L_BRACE "
         "LAYER_PROP(GDS_KW GDS_SPEC(NUMBER SLASH NUMBER)) R_BRACE) R_BRACE))",
         {}},
        {"define layer { m { gds -1/-2 } }",
         "SOURCE_FILE(LAYER_TABLE(DEFINE_KW LAYER_KW L_BRACE LAYER_DEF(NAME(IDENT) L_BRACE "
         "LAYER_PROP(GDS_KW GDS_SPEC(MINUS NUMBER SLASH MINUS NUMBER)) R_BRACE) R_BRACE))",
         {}},
        // Only minus, and once: a plus or a second sign is no GDS number.
        {"define layer { m { gds 1/+2 } }",
         "SOURCE_FILE(LAYER_TABLE(DEFINE_KW LAYER_KW L_BRACE LAYER_DEF(NAME(IDENT) L_BRACE "
         "LAYER_PROP(GDS_KW GDS_SPEC(NUMBER SLASH)) ERROR(PLUS) ERROR(NUMBER) R_BRACE) R_BRACE))",
         {"expected a number@25..26", "expected a layer property such as `gds 1/0`@26..27"}},
        {"define layer { m { gds --1/0 } }",
         "SOURCE_FILE(LAYER_TABLE(DEFINE_KW LAYER_KW L_BRACE LAYER_DEF(NAME(IDENT) L_BRACE "
         "LAYER_PROP(GDS_KW GDS_SPEC(MINUS MINUS NUMBER)) ERROR(SLASH) ERROR(NUMBER) R_BRACE) "
         "R_BRACE))",
         {"expected a number@24..25", "expected a layer property such as `gds 1/0`@26..27",
          "expected a layer property such as `gds 1/0`@27..28"}},
        {"define layer = 3",
         "SOURCE_FILE(CONST_DEF(DEFINE_KW NAME(IDENT) EQ LITERAL(NUMBER)))",
         {}},
        {"define xsection = 1",
         "SOURCE_FILE(CONST_DEF(DEFINE_KW NAME(IDENT) EQ LITERAL(NUMBER)))",
         {}},
        {"define x: [length] = 1um",
         "SOURCE_FILE(CONST_DEF(DEFINE_KW NAME(IDENT) COLON LIST_TYPE(L_BRACK NAME_TYPE(IDENT) "
         "R_BRACK) EQ LITERAL(NUMBER)))",
         {}},
        {"import\n\"a\"", "SOURCE_FILE(IMPORT(IMPORT_KW STRING))", {}},
        {"import b", "SOURCE_FILE(IMPORT(IMPORT_KW) ERROR(IDENT))", {"expected a string@7..8"}},
        {"; define layer { ; m { ; gds 1\n} }",
         "SOURCE_FILE(SEMI LAYER_TABLE(DEFINE_KW LAYER_KW L_BRACE SEMI LAYER_DEF(NAME(IDENT) "
         "L_BRACE SEMI LAYER_PROP(GDS_KW GDS_SPEC(NUMBER)) R_BRACE) R_BRACE))",
         {"expected `/`@31..32"}},
        {"define layer { 1 m { x 2; 3 } }",
         "SOURCE_FILE(LAYER_TABLE(DEFINE_KW LAYER_KW L_BRACE ERROR(NUMBER) LAYER_DEF(NAME(IDENT) "
         "L_BRACE LAYER_PROP(NAME(IDENT) LITERAL(NUMBER)) SEMI ERROR(NUMBER) R_BRACE) R_BRACE))",
         {"expected a layer name@15..16", "expected a layer property such as `gds 1/0`@26..27"}},
        {"cell a(w length, h = 2um,) { }",
         "SOURCE_FILE(CELL(CELL_KW NAME(IDENT) PARAM_LIST(L_PAREN PARAM_DECL(NAME(IDENT) "
         "NAME_TYPE(IDENT)) COMMA PARAM_DECL(NAME(IDENT) EQ LITERAL(NUMBER)) COMMA R_PAREN) "
         "L_BRACE R_BRACE))",
         {}},
        {"cell a(w: length) { }",
         "SOURCE_FILE(CELL(CELL_KW NAME(IDENT) PARAM_LIST(L_PAREN PARAM_DECL(NAME(IDENT)))) "
         "ERROR(COLON IDENT R_PAREN L_BRACE R_BRACE))",
         {"expected `)`@8..9"}},
        {"cell a(w\nlength) { }",
         "SOURCE_FILE(CELL(CELL_KW NAME(IDENT) PARAM_LIST(L_PAREN PARAM_DECL(NAME(IDENT)))) "
         "ERROR(IDENT R_PAREN L_BRACE R_BRACE))",
         {"expected `)`@9..15"}},
        {"define xsection wg { si 500nm offset 1um }",
         "SOURCE_FILE(XSECTION_DEF(DEFINE_KW XSECTION_KW NAME(IDENT) L_BRACE "
         "XS_SECTION(NAME_REF(IDENT) LITERAL(NUMBER) OFFSET_MOD(OFFSET_KW LITERAL(NUMBER))) "
         "R_BRACE))",
         {}},
        {"define xsection wg { si 500nm\noffset 1um; ; with w = 1; with { a = 1 } with x }",
         "SOURCE_FILE(XSECTION_DEF(DEFINE_KW XSECTION_KW NAME(IDENT) L_BRACE "
         "XS_SECTION(NAME_REF(IDENT) LITERAL(NUMBER)) XS_SECTION(NAME_REF(IDENT) "
         "LITERAL(NUMBER)) SEMI SEMI WITH_CLAUSE(WITH_KW ARG(NAME(IDENT) EQ LITERAL(NUMBER))) "
         "SEMI WITH_CLAUSE(WITH_KW L_BRACE ARG(NAME(IDENT) EQ LITERAL(NUMBER)) R_BRACE) "
         "XS_SECTION(NAME_REF(IDENT) NAME_REF(IDENT)) R_BRACE))",
         {}},
        {"define xsection wg { 1 si\n si 1 offset\n}",
         "SOURCE_FILE(XSECTION_DEF(DEFINE_KW XSECTION_KW NAME(IDENT) L_BRACE ERROR(NUMBER) "
         "XS_SECTION(NAME_REF(IDENT)) XS_SECTION(NAME_REF(IDENT) LITERAL(NUMBER) "
         "OFFSET_MOD(OFFSET_KW)) R_BRACE))",
         {"expected a section such as `si 500nm`, or `with ...`@21..22",
          "expected the width of the section@27..29", "expected an offset after `offset`@39..40"}},
        {"cell c { marker { p { at (0, 0) } } }",
         "SOURCE_FILE(CELL(CELL_KW NAME(IDENT) L_BRACE MARKER_SECTION(MARKER_KW L_BRACE "
         "MARKER_DECL(NAME(IDENT) L_BRACE MARKER_AT(AT_KW POINT_EXPR(L_PAREN LITERAL(NUMBER) "
         "COMMA LITERAL(NUMBER) R_PAREN)) R_BRACE) R_BRACE) R_BRACE))",
         {}},
        {"cell c { marker { p { at { 1, 2; 3 ) } with a = 1 ) ; } } }",
         "SOURCE_FILE(CELL(CELL_KW NAME(IDENT) L_BRACE MARKER_SECTION(MARKER_KW L_BRACE "
         "MARKER_DECL(NAME(IDENT) L_BRACE MARKER_AT(AT_KW AT_LIST(L_BRACE LITERAL(NUMBER) COMMA "
         "LITERAL(NUMBER) SEMI LITERAL(NUMBER) ERROR(R_PAREN) R_BRACE)) WITH_CLAUSE(WITH_KW "
         "ARG(NAME(IDENT) EQ LITERAL(NUMBER))) ERROR(R_PAREN) SEMI R_BRACE) R_BRACE) R_BRACE))",
         {"expected a location@35..36", "expected `at` or `with`@50..51"}},
        {"cell c { marker { p { at",
         "SOURCE_FILE(CELL(CELL_KW NAME(IDENT) L_BRACE MARKER_SECTION(MARKER_KW L_BRACE "
         "MARKER_DECL(NAME(IDENT) L_BRACE MARKER_AT(AT_KW)))))",
         {"expected an expression@24..24"}},
        {"cell c { param { a length = 1 ; 3 4\n} attribute { x 1; + } marker { 1 } }",
         "SOURCE_FILE(CELL(CELL_KW NAME(IDENT) L_BRACE PARAM_SECTION(PARAM_KW L_BRACE "
         "PARAM_DECL(NAME(IDENT) NAME_TYPE(IDENT) EQ LITERAL(NUMBER)) SEMI ERROR(NUMBER NUMBER) "
         "R_BRACE) ATTR_SECTION(ATTRIBUTE_KW L_BRACE ATTR_DECL(NAME(IDENT) LITERAL(NUMBER)) SEMI "
         "ERROR(PLUS) R_BRACE) MARKER_SECTION(MARKER_KW L_BRACE ERROR(NUMBER) R_BRACE) R_BRACE))",
         {"expected a parameter@32..33", "expected an attribute@55..56",
          "expected a marker name@68..69"}},
        {"cell a {\ncell b { }",
         "SOURCE_FILE(CELL(CELL_KW NAME(IDENT) L_BRACE) CELL(CELL_KW NAME(IDENT) L_BRACE "
         "R_BRACE))",
         {"expected `}`@9..13"}},
        {"cell c { ) x }",
         "SOURCE_FILE(CELL(CELL_KW NAME(IDENT) L_BRACE ERROR(R_PAREN IDENT) R_BRACE))",
         {"expected `param`, `attribute`, `marker`, a `layer` block or a statement@9..10"}},
        {"foo bar\nfoo bar define x = 1",
         "SOURCE_FILE(ERROR(IDENT IDENT) ERROR(IDENT IDENT) CONST_DEF(DEFINE_KW NAME(IDENT) EQ "
         "LITERAL(NUMBER)))",
         {"expected `cell`, `define` or `import`@0..3",
          "expected `cell`, `define` or `import`@8..11"}},
    });
}

// Statements are checked inside a cell; the shapes below omit the cell's own tokens.
std::string body_shape(std::string_view body) {
    const std::string shape = shape_of("cell c {" + std::string(body) + "}");
    const std::string head = "SOURCE_FILE(CELL(CELL_KW NAME(IDENT) L_BRACE ";
    const std::string foot = " R_BRACE))";
    if (shape.starts_with(head) && shape.ends_with(foot)) {
        return shape.substr(head.size(), shape.size() - head.size() - foot.size());
    }
    return shape;
}

Errors body_errors(std::string_view body) {
    return errors_of("cell c {" + std::string(body) + "}");
}

TEST(Parser, Statements) {
    struct BodyCase {
        std::string_view body;
        std::string_view shape;
        Errors errors;
    };
    const std::vector<BodyCase> cases = {
        {"layer = 2\nshape.x\nplace (a)",
         "ASSIGN_STMT(NAME_REF(IDENT) EQ LITERAL(NUMBER)) EXPR_STMT(FIELD_EXPR(NAME_REF(IDENT) "
         "DOT NAME_REF(IDENT))) EXPR_STMT(CALL_EXPR(NAME_REF(IDENT) ARG_LIST(L_PAREN "
         "NAME_REF(IDENT) R_PAREN)))",
         {}},
        {"shape r\nshape r + s as t\nshape r, s as t\nshape r as t",
         "SHAPE_STMT(SHAPE_KW NAME_REF(IDENT)) SHAPE_STMT(SHAPE_KW SHAPE_EXPR(BIN_EXPR("
         "NAME_REF(IDENT) PLUS NAME_REF(IDENT))) AS_NAME(AS_KW NAME(IDENT))) SHAPE_STMT(SHAPE_KW "
         "SHAPE_EXPR(NAME_REF(IDENT) COMMA NAME_REF(IDENT)) AS_NAME(AS_KW NAME(IDENT))) "
         "SHAPE_STMT(SHAPE_KW NAME_REF(IDENT) AS_NAME(AS_KW NAME(IDENT)))",
         {"expected `as <name>`@16..21"}},
        {"shape rect(1um) as r . c at (0, 0)",
         "SHAPE_STMT(SHAPE_KW SHAPE_EXPR(CALL_EXPR(NAME_REF(IDENT) ARG_LIST(L_PAREN "
         "LITERAL(NUMBER) R_PAREN))) AS_NAME(AS_KW NAME(IDENT)) SHAPE_PLACE(DOT NAME_REF(IDENT) "
         "AT_KW POINT_EXPR(L_PAREN LITERAL(NUMBER) COMMA LITERAL(NUMBER) R_PAREN)))",
         {}},
        {"shape rect with w = 1um as r\nat (0, 0)",
         "SHAPE_STMT(SHAPE_KW NAME_REF(IDENT) WITH_CLAUSE(WITH_KW ARG(NAME(IDENT) EQ "
         "LITERAL(NUMBER))) AS_NAME(AS_KW NAME(IDENT))) EXPR_STMT(CALL_EXPR(NAME_REF(IDENT) "
         "ARG_LIST(L_PAREN LITERAL(NUMBER) COMMA LITERAL(NUMBER) R_PAREN)))",
         {}},
        {"clone a as b .p mirror\nclone a as b at\n1",
         "CLONE_STMT(CLONE_KW NAME_REF(IDENT) AS_NAME(AS_KW NAME(IDENT)) SHAPE_PLACE(DOT "
         "NAME_REF(IDENT) MIRROR_MOD(MIRROR_KW))) CLONE_STMT(CLONE_KW NAME_REF(IDENT) "
         "AS_NAME(AS_KW NAME(IDENT)) SHAPE_PLACE(AT_KW)) EXPR_STMT(LITERAL(NUMBER))",
         {"expected `at`@24..30", "expected a location after `at`@47..48"}},
        {"shape a as b at (0, 0)\nrotate 90deg offset (1, 1)\nplace x at (1, 2)\nrotate\n90",
         "SHAPE_STMT(SHAPE_KW NAME_REF(IDENT) AS_NAME(AS_KW NAME(IDENT)) SHAPE_PLACE(AT_KW "
         "POINT_EXPR(L_PAREN LITERAL(NUMBER) COMMA LITERAL(NUMBER) R_PAREN) ROTATE_MOD(ROTATE_KW "
         "LITERAL(NUMBER)) OFFSET_MOD(OFFSET_KW POINT_EXPR(L_PAREN LITERAL(NUMBER) COMMA "
         "LITERAL(NUMBER) R_PAREN)))) PLACE_STMT(PLACE_KW PLACE_SPEC(NAME_REF(IDENT) AT_KW "
         "POINT_EXPR(L_PAREN LITERAL(NUMBER) COMMA LITERAL(NUMBER) R_PAREN) "
         "ROTATE_MOD(ROTATE_KW))) EXPR_STMT(LITERAL(NUMBER))",
         {"expected an angle after `rotate`@83..85"}},
        {"place { inst.origin at (0, 0)\nlayer m { inst.origin at (0, 0) } }",
         "PLACE_STMT(PLACE_KW PLACE_BLOCK(L_BRACE PLACE_SPEC(FIELD_EXPR(NAME_REF(IDENT) DOT "
         "NAME_REF(IDENT)) AT_KW POINT_EXPR(L_PAREN LITERAL(NUMBER) COMMA LITERAL(NUMBER) "
         "R_PAREN)) LAYER_BLOCK(LAYER_KW NAME_REF(IDENT) BLOCK(L_BRACE PLACE_SPEC(FIELD_EXPR("
         "NAME_REF(IDENT) DOT NAME_REF(IDENT)) AT_KW POINT_EXPR(L_PAREN LITERAL(NUMBER) COMMA "
         "LITERAL(NUMBER) R_PAREN)) R_BRACE)) R_BRACE))",
         {"a placement outside `place { }` needs the `place` keyword@60..62"}},
        {"place { for i in 0..2 { if a { x at 1 } } }",
         "PLACE_STMT(PLACE_KW PLACE_BLOCK(L_BRACE FOR_STMT(FOR_KW NAME(IDENT) IN_KW BIN_EXPR("
         "LITERAL(NUMBER) DOT2 LITERAL(NUMBER)) BLOCK(L_BRACE IF_STMT(IF_KW NAME_REF(IDENT) "
         "BLOCK(L_BRACE PLACE_SPEC(NAME_REF(IDENT) AT_KW LITERAL(NUMBER)) R_BRACE)) R_BRACE)) "
         "R_BRACE))",
         {}},
        {"place * { }", "PLACE_STMT(PLACE_KW STAR PLACE_BLOCK(L_BRACE R_BRACE))", {}},
        {"place self.a with k = 1 at p as q",
         "PLACE_STMT(PLACE_KW PLACE_SPEC(FIELD_EXPR(SELF_EXPR(SELF_KW) DOT NAME_REF(IDENT)) "
         "WITH_CLAUSE(WITH_KW ARG(NAME(IDENT) EQ LITERAL(NUMBER))) AT_KW NAME_REF(IDENT) "
         "AS_NAME(AS_KW NAME(IDENT))))",
         {}},
        {"if p { } else if q { } else { }",
         "IF_STMT(IF_KW NAME_REF(IDENT) BLOCK(L_BRACE R_BRACE) ELSE_KW IF_STMT(IF_KW "
         "NAME_REF(IDENT) BLOCK(L_BRACE R_BRACE) ELSE_KW BLOCK(L_BRACE R_BRACE)))",
         {}},
        {"for i 0..n { }",
         "FOR_STMT(FOR_KW NAME(IDENT) BIN_EXPR(LITERAL(NUMBER) DOT2 NAME_REF(IDENT)) "
         "BLOCK(L_BRACE R_BRACE))",
         {"expected `in`@14..15"}},
        {"x with { a = 1; b = 2, z }",
         "PLACE_SPEC(NAME_REF(IDENT) WITH_CLAUSE(WITH_KW L_BRACE ARG(NAME(IDENT) EQ "
         "LITERAL(NUMBER)) SEMI ARG(NAME(IDENT) EQ LITERAL(NUMBER)) COMMA ARG(NAME_REF(IDENT)) "
         "R_BRACE))",
         {"a placement outside `place { }` needs the `place` keyword@10..14",
          "expected `at`@34..35"}},
        {"place a with { ) } at p\nplace a with b,\n",
         "PLACE_STMT(PLACE_KW PLACE_SPEC(NAME_REF(IDENT) WITH_CLAUSE(WITH_KW L_BRACE "
         "ERROR(R_PAREN) R_BRACE) AT_KW NAME_REF(IDENT))) PLACE_STMT(PLACE_KW "
         "PLACE_SPEC(NAME_REF(IDENT) WITH_CLAUSE(WITH_KW ARG(NAME_REF(IDENT)) COMMA ARG())))",
         {"expected an argument@23..24", "expected an expression@48..49"}},
        {";;", "SEMI SEMI", {}},
        {"a\n- b\n+ b\nif x { + }",
         "EXPR_STMT(NAME_REF(IDENT)) EXPR_STMT(PREFIX_EXPR(MINUS NAME_REF(IDENT))) ERROR(PLUS "
         "IDENT) IF_STMT(IF_KW NAME_REF(IDENT) BLOCK(L_BRACE ERROR(PLUS) R_BRACE))",
         {"expected `param`, `attribute`, `marker`, a `layer` block or a statement@14..15",
          "expected a statement@25..26"}},
        {"layer m { x\ncell d { }",
         "SOURCE_FILE(CELL(CELL_KW NAME(IDENT) L_BRACE LAYER_BLOCK(LAYER_KW NAME_REF(IDENT) "
         "BLOCK(L_BRACE EXPR_STMT(NAME_REF(IDENT))))) CELL(CELL_KW NAME(IDENT) L_BRACE R_BRACE) "
         "ERROR(R_BRACE))",
         {"expected `}`@20..24", "expected `cell`, `define` or `import`@30..31"}},
        {"define w: length = 1\ndefine v\n",
         "DEFINE_STMT(DEFINE_KW NAME(IDENT) COLON NAME_TYPE(IDENT) EQ LITERAL(NUMBER)) "
         "DEFINE_STMT(DEFINE_KW NAME(IDENT))",
         {"expected `=`@38..39"}},
    };
    for (const BodyCase& c : cases) {
        SCOPED_TRACE(c.body);
        EXPECT_EQ(body_shape(c.body), c.shape);
        EXPECT_EQ(body_errors(c.body), c.errors);
    }
}

// Expressions are checked as the value of a top-level `define`.
std::string value_shape(std::string_view value) {
    const std::string shape = shape_of("define x = " + std::string(value));
    const std::string head = "SOURCE_FILE(CONST_DEF(DEFINE_KW NAME(IDENT) EQ ";
    return shape.starts_with(head) ? shape.substr(head.size()) : shape;
}

TEST(Parser, Expressions) {
    const std::vector<std::pair<std::string_view, std::string_view>> cases = {
        {"-a * b", "BIN_EXPR(PREFIX_EXPR(MINUS NAME_REF(IDENT)) STAR NAME_REF(IDENT))))"},
        {"-a.b", "PREFIX_EXPR(MINUS FIELD_EXPR(NAME_REF(IDENT) DOT NAME_REF(IDENT)))))"},
        {"- -f(x)",
         "PREFIX_EXPR(MINUS PREFIX_EXPR(MINUS CALL_EXPR(NAME_REF(IDENT) ARG_LIST(L_PAREN "
         "NAME_REF(IDENT) R_PAREN))))))"},
        {"a | b & c",
         "BIN_EXPR(NAME_REF(IDENT) PIPE BIN_EXPR(NAME_REF(IDENT) AMP NAME_REF(IDENT)))))"},
        {"a + b & c",
         "BIN_EXPR(BIN_EXPR(NAME_REF(IDENT) PLUS NAME_REF(IDENT)) AMP NAME_REF(IDENT))))"},
        {"0..n + 1",
         "BIN_EXPR(LITERAL(NUMBER) DOT2 BIN_EXPR(NAME_REF(IDENT) PLUS LITERAL(NUMBER)))))"},
        {"a..b..c",
         "BIN_EXPR(BIN_EXPR(NAME_REF(IDENT) DOT2 NAME_REF(IDENT)) DOT2 NAME_REF(IDENT))))"},
        {"a < b < c",
         "BIN_EXPR(BIN_EXPR(NAME_REF(IDENT) LT NAME_REF(IDENT)) LT NAME_REF(IDENT))))"},
        {"a || b && c == d ^ !e % 2",
         "BIN_EXPR(NAME_REF(IDENT) PIPE2 BIN_EXPR(NAME_REF(IDENT) AMP2 BIN_EXPR(NAME_REF(IDENT) "
         "EQ2 BIN_EXPR(NAME_REF(IDENT) CARET BIN_EXPR(PREFIX_EXPR(BANG NAME_REF(IDENT)) PERCENT "
         "LITERAL(NUMBER))))))))"},
        {"a.b.c[0](1)",
         "CALL_EXPR(INDEX_EXPR(FIELD_EXPR(FIELD_EXPR(NAME_REF(IDENT) DOT NAME_REF(IDENT)) DOT "
         "NAME_REF(IDENT)) L_BRACK LITERAL(NUMBER) R_BRACK) ARG_LIST(L_PAREN LITERAL(NUMBER) "
         "R_PAREN))))"},
        {"a.\nb", "FIELD_EXPR(NAME_REF(IDENT) DOT NAME_REF(IDENT))))"},
        {"f\n(x)", "NAME_REF(IDENT)) ERROR(L_PAREN IDENT R_PAREN))"},
        {"(1, 2, 90deg) + [] + [a] + [a, b,] + true",
         "BIN_EXPR(BIN_EXPR(BIN_EXPR(BIN_EXPR(POINT_EXPR(L_PAREN LITERAL(NUMBER) COMMA "
         "LITERAL(NUMBER) COMMA LITERAL(NUMBER) R_PAREN) PLUS LIST_EXPR(L_BRACK R_BRACK)) PLUS "
         "LIST_EXPR(L_BRACK NAME_REF(IDENT) R_BRACK)) PLUS LIST_EXPR(L_BRACK NAME_REF(IDENT) "
         "COMMA NAME_REF(IDENT) COMMA R_BRACK)) PLUS LITERAL(TRUE_KW))))"},
        {"f(a, )", "CALL_EXPR(NAME_REF(IDENT) ARG_LIST(L_PAREN NAME_REF(IDENT) COMMA R_PAREN))))"},
        {"f(x = 1, 2)",
         "CALL_EXPR(NAME_REF(IDENT) ARG_LIST(L_PAREN ARG(NAME(IDENT) EQ LITERAL(NUMBER)) COMMA "
         "LITERAL(NUMBER) R_PAREN))))"},
    };
    for (const auto& [value, shape] : cases) {
        SCOPED_TRACE(value);
        EXPECT_EQ(value_shape(value), shape);
        if (!value.contains('\n')) {
            EXPECT_TRUE(errors_of("define x = " + std::string(value)).empty());
        }
    }

    const std::vector<std::tuple<std::string_view, std::string_view, Errors>> faulty = {
        {"p.0",
         "FIELD_EXPR(NAME_REF(IDENT) DOT NUMBER)))",
         {"use `[i]` to pick a location, e.g. `output[0]`@13..14"}},
        {"a.", "FIELD_EXPR(NAME_REF(IDENT) DOT)))", {"expected a field name@13..13"}},
        {"()", "PAREN_EXPR(L_PAREN R_PAREN)))", {"expected an expression@12..13"}},
        {"(x,)",
         "POINT_EXPR(L_PAREN NAME_REF(IDENT) COMMA R_PAREN)))",
         {"expected an expression@14..15"}},
        {"(x, y, a, b)",
         "POINT_EXPR(L_PAREN NAME_REF(IDENT) COMMA NAME_REF(IDENT) COMMA NAME_REF(IDENT))) "
         "ERROR(COMMA IDENT R_PAREN))",
         {"expected `)`@19..20"}},
        {"[a, , b]",
         "LIST_EXPR(L_BRACK NAME_REF(IDENT) COMMA)) ERROR(COMMA IDENT R_BRACK))",
         {"expected `]`@15..16"}},
        {"f(,)",
         "CALL_EXPR(NAME_REF(IDENT) ARG_LIST(L_PAREN))) ERROR(COMMA R_PAREN))",
         {"expected `)`@13..14"}},
        {"a[", "INDEX_EXPR(NAME_REF(IDENT) L_BRACK)))", {"expected an expression@13..13"}},
        {"-", "PREFIX_EXPR(MINUS)))", {"expected an expression@12..12"}},
        {"1 +", "BIN_EXPR(LITERAL(NUMBER) PLUS)))", {"expected an expression@14..14"}},
        {"}",
         "SOURCE_FILE(CONST_DEF(DEFINE_KW NAME(IDENT) EQ) ERROR(R_BRACE))",
         {"expected an expression@11..12"}},
    };
    for (const auto& [value, shape, errors] : faulty) {
        SCOPED_TRACE(value);
        EXPECT_EQ(value_shape(value), shape);
        EXPECT_EQ(errors_of("define x = " + std::string(value)), errors);
    }
}

std::string repeat(std::string_view piece, std::size_t count) {
    std::string text;
    text.reserve(piece.size() * count);
    for (std::size_t i = 0; i < count; ++i) {
        text += piece;
    }
    return text;
}

TEST(Parser, UnclosedBracketsAtTheEndDoNotStopTheParser) {
    for (const std::size_t count : {130u, 300u, 999u}) {
        SCOPED_TRACE(count);
        const std::string text = "define x = " + repeat("(", count);
        const parser::Parse parsed = parser::parse(text);
        EXPECT_EQ(source_text(parsed.tree()), text);
        const std::uint32_t end = static_cast<std::uint32_t>(text.size());
        EXPECT_EQ(parsed.errors,
                  (std::vector<SyntaxError>{{"expected an expression", {end, end}}}));
    }
    const std::string with_tail = "cell c { x = " + repeat("[f(", 200) + "\n}";
    EXPECT_EQ(source_text(parser::parse(with_tail).tree()), with_tail);
}

TEST(Parser, DeepNestingIsAnErrorNotAStackOverflow) {
    const std::size_t deep = 100000;
    const std::vector<std::string> texts = {
        "define x = " + repeat("(", deep) + "1" + repeat(")", deep) + "\ndefine y = 2",
        "define x = " + repeat("(", deep),
        "cell c { x = " + repeat("(", deep) + "\ncell d { }",
        "define x = " + repeat("-", deep) + "1",
        "define x = a" + repeat(".b", deep),
        "define x: " + repeat("[", deep) + "t" + repeat("]", deep) + " = 1",
        "cell c { " + repeat("if a { ", deep) + repeat("}", deep) + " }\ncell d { }",
        "cell c { if a { }" + repeat(" else if b { }", deep) + " }",
        "cell c { " + repeat("place { ", deep / 2) + repeat("}", deep / 2) + " }",
        "define x = " + repeat("[", deep) + repeat("]", deep),
    };
    for (const std::string& text : texts) {
        SCOPED_TRACE(text.substr(0, 40));
        const parser::Parse parsed = parser::parse(text);
        EXPECT_EQ(source_text(parsed.tree()), text);
        ASSERT_FALSE(parsed.errors.empty());
        const auto too_deep =
            std::count_if(parsed.errors.begin(), parsed.errors.end(),
                          [](const SyntaxError& e) { return e.message == "nested too deeply"; });
        EXPECT_EQ(too_deep, 1);
    }
    // The nesting that fits stays an ordinary tree, and the items after a deep one parse.
    const std::string fits = "define x = " + repeat("(", 400) + "1" + repeat(")", 400);
    EXPECT_TRUE(parser::parse(fits).errors.empty());
    // A chain of operators is no nesting, however long.
    const std::string chain = "define x = 1" + repeat(" + 1 * 2", deep) + "\ndefine y = 2";
    const parser::Parse chained = parser::parse(chain);
    EXPECT_TRUE(chained.errors.empty());
    EXPECT_EQ(source_text(chained.tree()), chain);
    const SyntaxNode after_deep = *parser::parse(texts[0]).tree().last_child();
    EXPECT_EQ(shape_of(after_deep), "CONST_DEF(DEFINE_KW NAME(IDENT) EQ LITERAL(NUMBER))");
    const SyntaxNode cell_after_deep = *parser::parse(texts[2]).tree().last_child();
    EXPECT_EQ(shape_of(cell_after_deep), "CELL(CELL_KW NAME(IDENT) L_BRACE R_BRACE)");
}

} // namespace
} // namespace quorvane_dsl::syntax
