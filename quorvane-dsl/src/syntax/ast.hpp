// Typed read-only views over the syntax tree, one per construct.
#pragma once

// Typed, read-only views over the syntax tree. A view wraps one node and never fails: a part
// the source lacked (the parser reported it) is an empty result.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "syntax/kind.hpp"
#include "syntax/tree.hpp"

namespace quorvane_dsl::syntax::ast {

// The first direct child token of `kind`; child nodes are not entered.
std::optional<SyntaxToken> token(const SyntaxNode& node, SyntaxKind kind);
// The first direct child node of `kind`.
std::optional<SyntaxNode> child_node(const SyntaxNode& node, SyntaxKind kind);
// Every direct child node of `kind`, in order.
std::vector<SyntaxNode> child_nodes(const SyntaxNode& node, SyntaxKind kind);

// An expression node: one of eleven kinds, numbered as the variants below.
class Expr {
  public:
    enum class Kind : std::uint8_t {
        Literal,
        NameRef,
        SelfExpr,
        ParenExpr,
        PointExpr,
        ListExpr,
        BinExpr,
        PrefixExpr,
        FieldExpr,
        IndexExpr,
        CallExpr,
    };

    static std::optional<Expr> cast(const SyntaxNode& node);

    Kind kind() const { return kind_; }
    const SyntaxNode& syntax() const { return node_; }

    // The direct child expressions in order: the operands of a binary or prefix expression, the
    // components of a point, the elements of a list, the inner expression of a parenthesis, the
    // base and index of an index, the callee of a call; of a field access the base and then the
    // field's NAME_REF, which is an expression node too (see `field`).
    std::vector<Expr> operands() const;
    // The operator token of a binary or prefix expression.
    std::optional<SyntaxToken> op() const;
    // The token of a literal, a name reference or `self`.
    std::optional<SyntaxToken> leaf() const;
    // The field name of a field access (a NAME_REF node).
    std::optional<SyntaxNode> field() const;
    // The ARG_LIST of a call.
    std::optional<SyntaxNode> arg_list() const;

  private:
    Expr(Kind kind, SyntaxNode node) : kind_(kind), node_(std::move(node)) {}

    Kind kind_;
    SyntaxNode node_;
};

// The kind of expression a node of `kind` is, or none for every other kind. Lowering asks it
// at every child it walks, so it is inline.
inline std::optional<Expr::Kind> expr_kind(SyntaxKind kind) {
    using enum SyntaxKind;
    switch (kind) {
    case LITERAL:
        return Expr::Kind::Literal;
    case NAME_REF:
        return Expr::Kind::NameRef;
    case SELF_EXPR:
        return Expr::Kind::SelfExpr;
    case PAREN_EXPR:
        return Expr::Kind::ParenExpr;
    case POINT_EXPR:
        return Expr::Kind::PointExpr;
    case LIST_EXPR:
        return Expr::Kind::ListExpr;
    case BIN_EXPR:
        return Expr::Kind::BinExpr;
    case PREFIX_EXPR:
        return Expr::Kind::PrefixExpr;
    case FIELD_EXPR:
        return Expr::Kind::FieldExpr;
    case INDEX_EXPR:
        return Expr::Kind::IndexExpr;
    case CALL_EXPR:
        return Expr::Kind::CallExpr;
    default:
        return std::nullopt;
    }
}

inline bool is_expr(SyntaxKind kind) {
    return expr_kind(kind).has_value();
}

// The first child element of `kind`: that element when it is an expression node, else the
// first later sibling node that is one. Reads the value after `=`, `in`, `at` or `[`.
std::optional<Expr> child_after(const SyntaxNode& node, SyntaxKind kind);
// The first direct child node that is an expression.
std::optional<Expr> first_expr(const SyntaxNode& node);
// Every direct child node that is an expression, in order.
std::vector<Expr> exprs(const SyntaxNode& node);

// One argument of a `with` clause or a call: an optional name and an optional value.
struct Argument {
    std::optional<SyntaxNode> name;
    std::optional<Expr> value;
};
// The arguments of a WITH_CLAUSE (its ARG nodes) or of an ARG_LIST (ARG nodes and bare
// positional expressions), in order.
std::vector<Argument> arguments(const SyntaxNode& list);

// NAME or NAME_REF.
struct Name {
    SyntaxNode syntax;
    static std::optional<Name> cast(const SyntaxNode& node);
    // The text of the first IDENT child, or "" when the name was missing.
    std::string text() const;
};
std::optional<Name> name_child(const SyntaxNode& node);
std::optional<Name> name_ref_child(const SyntaxNode& node);

// NAME_TYPE or LIST_TYPE.
struct Type {
    SyntaxNode syntax;
    static std::optional<Type> cast(const SyntaxNode& node);
    bool is_list() const { return syntax.kind() == SyntaxKind::LIST_TYPE; }
    // The type name of a NAME_TYPE ("" when missing).
    std::string name() const;
    // The element type of a LIST_TYPE.
    std::optional<Type> element() const;
};
std::optional<Type> type_child(const SyntaxNode& node);

struct GdsSpec {
    SyntaxNode syntax;
    static std::optional<GdsSpec> cast(const SyntaxNode& node);
    std::optional<SyntaxToken> layer() const;
    std::optional<SyntaxToken> datatype() const;
    // The texts of `layer` and `datatype` behind the minus sign written before them, if any:
    // the numbers as they are to be read.
    std::optional<std::string> signed_layer() const;
    std::optional<std::string> signed_datatype() const;
};

struct LayerProp {
    SyntaxNode syntax;
    static std::optional<LayerProp> cast(const SyntaxNode& node);
    std::optional<GdsSpec> gds() const;
    std::optional<Name> name() const { return name_child(syntax); }
    std::optional<Expr> value() const { return first_expr(syntax); }
};

struct ParamDecl {
    SyntaxNode syntax;
    static std::optional<ParamDecl> cast(const SyntaxNode& node);
    std::optional<Name> name() const { return name_child(syntax); }
    std::optional<Type> type() const { return type_child(syntax); }
    std::optional<Expr> default_value() const { return child_after(syntax, SyntaxKind::EQ); }
};

struct AttrDecl {
    SyntaxNode syntax;
    static std::optional<AttrDecl> cast(const SyntaxNode& node);
    std::optional<Name> name() const { return name_child(syntax); }
    std::optional<Expr> value() const { return first_expr(syntax); }
};

struct MarkerAt {
    SyntaxNode syntax;
    static std::optional<MarkerAt> cast(const SyntaxNode& node);
    std::vector<Expr> locations() const;
};

// LAYER_BLOCK, SHAPE_STMT, CLONE_STMT, PLACE_STMT, PLACE_SPEC, DEFINE_STMT, FOR_STMT, IF_STMT,
// ASSIGN_STMT or EXPR_STMT.
class Stmt {
  public:
    enum class Kind : std::uint8_t {
        LayerBlock,
        ShapeStmt,
        CloneStmt,
        PlaceStmt,
        PlaceSpec,
        DefineStmt,
        ForStmt,
        IfStmt,
        AssignStmt,
        ExprStmt,
    };

    static std::optional<Stmt> cast(const SyntaxNode& node);

    Kind kind() const { return kind_; }
    const SyntaxNode& syntax() const { return node_; }

  private:
    Stmt(Kind kind, SyntaxNode node) : kind_(kind), node_(std::move(node)) {}

    Kind kind_;
    SyntaxNode node_;
};
// The statements among the direct children of a CELL, BLOCK or PLACE_BLOCK.
std::vector<Stmt> statements(const SyntaxNode& node);

struct ShapeStmt {
    SyntaxNode syntax;
    static std::optional<ShapeStmt> cast(const SyntaxNode& node);
    // Absent in the name form (`shape rect with ...`).
    std::optional<SyntaxNode> shape_expr() const;
    // The shape name of the name form.
    std::optional<Name> shape_name() const { return name_ref_child(syntax); }
    std::optional<SyntaxNode> with_clause() const;
    // The NAME inside AS_NAME.
    std::optional<Name> as_name() const;
    std::optional<SyntaxNode> place() const;
};

struct PlaceStmt {
    SyntaxNode syntax;
    static std::optional<PlaceStmt> cast(const SyntaxNode& node);
    // Absent when the statement holds a PLACE_BLOCK.
    std::optional<SyntaxNode> spec() const;
    std::optional<SyntaxNode> block() const;
    bool is_star() const { return token(syntax, SyntaxKind::STAR).has_value(); }
};

struct Cell {
    SyntaxNode syntax;
    static std::optional<Cell> cast(const SyntaxNode& node);
    std::optional<Name> name() const { return name_child(syntax); }
    // The PARAM_DECLs of the header's parameter list.
    std::vector<ParamDecl> header_params() const;
    std::vector<ParamDecl> section_params() const;
    std::vector<AttrDecl> attributes() const;
    // The MARKER_DECL nodes of the marker sections.
    std::vector<SyntaxNode> markers() const;
    std::vector<Stmt> statements() const { return ast::statements(syntax); }
};

// An `import` of a file: the path with its escapes resolved, and the range of the written
// string, quotes included.
struct Import {
    std::string path;
    source::TextRange range;
};
// The imports among the direct children of a SOURCE_FILE, in order; an import without its
// string is left out.
std::vector<Import> imports(const SyntaxNode& root);

} // namespace quorvane_dsl::syntax::ast
