#include "syntax/ast.hpp"

#include "units/units.hpp"

namespace quorvane_dsl::syntax::ast {
namespace {

using enum SyntaxKind;

std::optional<Stmt::Kind> stmt_kind(SyntaxKind kind) {
    switch (kind) {
    case LAYER_BLOCK:
        return Stmt::Kind::LayerBlock;
    case SHAPE_STMT:
        return Stmt::Kind::ShapeStmt;
    case CLONE_STMT:
        return Stmt::Kind::CloneStmt;
    case PLACE_STMT:
        return Stmt::Kind::PlaceStmt;
    case PLACE_SPEC:
        return Stmt::Kind::PlaceSpec;
    case DEFINE_STMT:
        return Stmt::Kind::DefineStmt;
    case FOR_STMT:
        return Stmt::Kind::ForStmt;
    case IF_STMT:
        return Stmt::Kind::IfStmt;
    case ASSIGN_STMT:
        return Stmt::Kind::AssignStmt;
    case EXPR_STMT:
        return Stmt::Kind::ExprStmt;
    default:
        return std::nullopt;
    }
}

template <class View> std::optional<View> cast_kind(const SyntaxNode& node, SyntaxKind kind) {
    if (node.kind() != kind) {
        return std::nullopt;
    }
    return View{node};
}

template <class View> std::vector<View> cast_all(const std::vector<SyntaxNode>& nodes) {
    std::vector<View> views;
    views.reserve(nodes.size());
    for (const SyntaxNode& node : nodes) {
        views.push_back(View{node});
    }
    return views;
}

// The child nodes of `kind` inside each child section node of `section_kind`.
std::vector<SyntaxNode> section_entries(const SyntaxNode& node, SyntaxKind section_kind,
                                        SyntaxKind kind) {
    std::vector<SyntaxNode> entries;
    for (const SyntaxNode& section : child_nodes(node, section_kind)) {
        for (SyntaxNode& entry : child_nodes(section, kind)) {
            entries.push_back(std::move(entry));
        }
    }
    return entries;
}

// The first child (by `step`, of nodes or of elements) whose index `matches`, walked by index:
// only the child returned is made a handle, so the walk does not count references to the tree
// at every child.
template <Step step, class Matches>
std::uint32_t find_child(const SyntaxNode& node, Matches matches) {
    const Tree& tree = *node.tree();
    for (std::uint32_t child = detail::first_index(tree, step, node.index()); child != no_index;
         child = detail::next_index(tree, step, node.index(), child)) {
        if (matches(tree, child)) {
            return child;
        }
    }
    return no_index;
}

template <class Handle>
std::optional<Handle> handle_at(const SyntaxNode& node, std::uint32_t index) {
    return index == no_index ? std::nullopt : std::optional<Handle>(Handle(node.tree(), index));
}

std::optional<Expr> expr_at(const SyntaxNode& node, std::uint32_t index) {
    return index == no_index ? std::nullopt : Expr::cast(SyntaxNode(node.tree(), index));
}

} // namespace

std::optional<SyntaxToken> token(const SyntaxNode& node, SyntaxKind kind) {
    return handle_at<SyntaxToken>(
        node, find_child<Step::ChildElements>(node, [kind](const Tree& tree, std::uint32_t child) {
            return !tree.is_node(child) && tree.kind(child) == kind;
        }));
}

std::optional<SyntaxNode> child_node(const SyntaxNode& node, SyntaxKind kind) {
    return handle_at<SyntaxNode>(
        node, find_child<Step::ChildNodes>(node, [kind](const Tree& tree, std::uint32_t child) {
            return tree.kind(child) == kind;
        }));
}

std::vector<SyntaxNode> child_nodes(const SyntaxNode& node, SyntaxKind kind) {
    std::vector<SyntaxNode> nodes;
    for (const SyntaxNode& child : node.children()) {
        if (child.kind() == kind) {
            nodes.push_back(child);
        }
    }
    return nodes;
}

std::optional<Expr> Expr::cast(const SyntaxNode& node) {
    const std::optional<Kind> kind = expr_kind(node.kind());
    if (!kind) {
        return std::nullopt;
    }
    return Expr(*kind, node);
}

std::vector<Expr> Expr::operands() const {
    return exprs(node_);
}

std::optional<SyntaxToken> Expr::op() const {
    return handle_at<SyntaxToken>(
        node_, find_child<Step::ChildElements>(node_, [](const Tree& tree, std::uint32_t child) {
            return !tree.is_node(child) && !kind::is_trivia(tree.kind(child));
        }));
}

std::optional<SyntaxToken> Expr::leaf() const {
    switch (kind_) {
    case Kind::Literal:
    case Kind::NameRef:
    case Kind::SelfExpr:
        return op();
    default:
        return std::nullopt;
    }
}

std::optional<SyntaxNode> Expr::field() const {
    if (kind_ != Kind::FieldExpr) {
        return std::nullopt;
    }
    // The base may itself be a NAME_REF; the field's is the one after the dot.
    const std::optional<Expr> field = child_after(node_, DOT);
    if (!field || field->kind() != Kind::NameRef) {
        return std::nullopt;
    }
    return field->syntax();
}

std::optional<SyntaxNode> Expr::arg_list() const {
    return kind_ == Kind::CallExpr ? child_node(node_, ARG_LIST) : std::nullopt;
}

std::optional<Expr> child_after(const SyntaxNode& node, SyntaxKind kind) {
    bool found = false;
    return expr_at(node, find_child<Step::ChildElements>(
                             node, [kind, &found](const Tree& tree, std::uint32_t child) {
                                 found = found || tree.kind(child) == kind;
                                 return found && tree.is_node(child) && is_expr(tree.kind(child));
                             }));
}

std::optional<Expr> first_expr(const SyntaxNode& node) {
    return expr_at(node,
                   find_child<Step::ChildNodes>(node, [](const Tree& tree, std::uint32_t child) {
                       return is_expr(tree.kind(child));
                   }));
}

std::vector<Expr> exprs(const SyntaxNode& node) {
    std::vector<Expr> result;
    for (const SyntaxNode& child : node.children()) {
        if (std::optional<Expr> expr = Expr::cast(child)) {
            result.push_back(std::move(*expr));
        }
    }
    return result;
}

std::vector<Argument> arguments(const SyntaxNode& list) {
    std::vector<Argument> result;
    for (const SyntaxNode& child : list.children()) {
        if (child.kind() == ARG) {
            result.push_back({child_node(child, NAME), first_expr(child)});
        } else if (std::optional<Expr> expr = Expr::cast(child)) {
            result.push_back({std::nullopt, std::move(expr)});
        }
    }
    return result;
}

std::optional<Name> Name::cast(const SyntaxNode& node) {
    if (node.kind() != NAME && node.kind() != NAME_REF) {
        return std::nullopt;
    }
    return Name{node};
}

std::string Name::text() const {
    const std::optional<SyntaxToken> ident = token(syntax, IDENT);
    return ident ? std::string(ident->text()) : std::string();
}

std::optional<Name> name_child(const SyntaxNode& node) {
    const std::optional<SyntaxNode> child = child_node(node, NAME);
    return child ? std::optional<Name>(Name{*child}) : std::nullopt;
}

std::optional<Name> name_ref_child(const SyntaxNode& node) {
    const std::optional<SyntaxNode> child = child_node(node, NAME_REF);
    return child ? std::optional<Name>(Name{*child}) : std::nullopt;
}

std::optional<Type> Type::cast(const SyntaxNode& node) {
    if (node.kind() != NAME_TYPE && node.kind() != LIST_TYPE) {
        return std::nullopt;
    }
    return Type{node};
}

std::string Type::name() const {
    const std::optional<SyntaxToken> ident = token(syntax, IDENT);
    return ident ? std::string(ident->text()) : std::string();
}

std::optional<Type> Type::element() const {
    return is_list() ? type_child(syntax) : std::nullopt;
}

std::optional<Type> type_child(const SyntaxNode& node) {
    for (const SyntaxNode& child : node.children()) {
        if (std::optional<Type> type = Type::cast(child)) {
            return type;
        }
    }
    return std::nullopt;
}

std::optional<GdsSpec> GdsSpec::cast(const SyntaxNode& node) {
    return cast_kind<GdsSpec>(node, GDS_SPEC);
}

std::optional<SyntaxToken> GdsSpec::layer() const {
    return token(syntax, NUMBER);
}

std::optional<SyntaxToken> GdsSpec::datatype() const {
    bool seen_layer = false;
    for (const SyntaxElement& element : syntax.children_with_tokens()) {
        if (element.is_token() && element.kind() == NUMBER) {
            if (seen_layer) {
                return element.as_token();
            }
            seen_layer = true;
        }
    }
    return std::nullopt;
}

namespace {

// The `index`th NUMBER of a GDS spec (0 the layer, 1 the datatype), after its minus sign.
std::optional<std::string> signed_number(const SyntaxNode& spec, std::size_t index) {
    bool minus = false;
    for (const SyntaxElement& element : spec.children_with_tokens()) {
        if (!element.is_token() || kind::is_trivia(element.kind())) {
            continue;
        }
        if (element.kind() == NUMBER) {
            if (index == 0) {
                const std::string digits(element.as_token()->text());
                return minus ? "-" + digits : digits;
            }
            --index;
        }
        minus = element.kind() == MINUS;
    }
    return std::nullopt;
}

} // namespace

std::optional<std::string> GdsSpec::signed_layer() const {
    return signed_number(syntax, 0);
}

std::optional<std::string> GdsSpec::signed_datatype() const {
    return signed_number(syntax, 1);
}

std::optional<LayerProp> LayerProp::cast(const SyntaxNode& node) {
    return cast_kind<LayerProp>(node, LAYER_PROP);
}

std::optional<GdsSpec> LayerProp::gds() const {
    const std::optional<SyntaxNode> spec = child_node(syntax, GDS_SPEC);
    return spec ? std::optional<GdsSpec>(GdsSpec{*spec}) : std::nullopt;
}

std::optional<ParamDecl> ParamDecl::cast(const SyntaxNode& node) {
    return cast_kind<ParamDecl>(node, PARAM_DECL);
}

std::optional<AttrDecl> AttrDecl::cast(const SyntaxNode& node) {
    return cast_kind<AttrDecl>(node, ATTR_DECL);
}

std::optional<MarkerAt> MarkerAt::cast(const SyntaxNode& node) {
    return cast_kind<MarkerAt>(node, MARKER_AT);
}

std::vector<Expr> MarkerAt::locations() const {
    if (const std::optional<SyntaxNode> list = child_node(syntax, AT_LIST)) {
        return exprs(*list);
    }
    std::vector<Expr> result;
    if (std::optional<Expr> location = first_expr(syntax)) {
        result.push_back(std::move(*location));
    }
    return result;
}

std::optional<Stmt> Stmt::cast(const SyntaxNode& node) {
    const std::optional<Kind> kind = stmt_kind(node.kind());
    if (!kind) {
        return std::nullopt;
    }
    return Stmt(*kind, node);
}

std::vector<Stmt> statements(const SyntaxNode& node) {
    std::vector<Stmt> result;
    for (const SyntaxNode& child : node.children()) {
        if (std::optional<Stmt> stmt = Stmt::cast(child)) {
            result.push_back(std::move(*stmt));
        }
    }
    return result;
}

std::optional<ShapeStmt> ShapeStmt::cast(const SyntaxNode& node) {
    return cast_kind<ShapeStmt>(node, SHAPE_STMT);
}

std::optional<SyntaxNode> ShapeStmt::shape_expr() const {
    return child_node(syntax, SHAPE_EXPR);
}

std::optional<SyntaxNode> ShapeStmt::with_clause() const {
    return child_node(syntax, WITH_CLAUSE);
}

std::optional<Name> ShapeStmt::as_name() const {
    const std::optional<SyntaxNode> as = child_node(syntax, AS_NAME);
    return as ? name_child(*as) : std::nullopt;
}

std::optional<SyntaxNode> ShapeStmt::place() const {
    return child_node(syntax, SHAPE_PLACE);
}

std::optional<PlaceStmt> PlaceStmt::cast(const SyntaxNode& node) {
    return cast_kind<PlaceStmt>(node, PLACE_STMT);
}

std::optional<SyntaxNode> PlaceStmt::spec() const {
    return child_node(syntax, PLACE_SPEC);
}

std::optional<SyntaxNode> PlaceStmt::block() const {
    return child_node(syntax, PLACE_BLOCK);
}

std::optional<Cell> Cell::cast(const SyntaxNode& node) {
    return cast_kind<Cell>(node, CELL);
}

std::vector<ParamDecl> Cell::header_params() const {
    return cast_all<ParamDecl>(section_entries(syntax, PARAM_LIST, PARAM_DECL));
}

std::vector<ParamDecl> Cell::section_params() const {
    return cast_all<ParamDecl>(section_entries(syntax, PARAM_SECTION, PARAM_DECL));
}

std::vector<AttrDecl> Cell::attributes() const {
    return cast_all<AttrDecl>(section_entries(syntax, ATTR_SECTION, ATTR_DECL));
}

std::vector<SyntaxNode> Cell::markers() const {
    return section_entries(syntax, MARKER_SECTION, MARKER_DECL);
}

std::vector<Import> imports(const SyntaxNode& root) {
    std::vector<Import> result;
    for (const SyntaxNode& child : root.children()) {
        if (child.kind() != IMPORT) {
            continue;
        }
        if (const std::optional<SyntaxToken> path = token(child, STRING)) {
            result.push_back({units::unescape_string(path->text()), path->text_range()});
        }
    }
    return result;
}

} // namespace quorvane_dsl::syntax::ast
