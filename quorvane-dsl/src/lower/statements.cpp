// Statements of cell bodies and the local bindings they make.
#include "base/fatal.hpp"
#include "lower/lowerer.hpp"

namespace quorvane_dsl::lower {

hir::StmtId Lowerer::append(hir::Stmt stmt, const SyntaxNode& node) {
    return hir_.add_stmt(std::move(stmt), src(node));
}

hir::BindingId Lowerer::new_binding(const ast::Name& name, hir::BindingKind kind, bool recorded) {
    if (!current_cell_) {
        base::fatal("lower: bindings live in cells");
    }
    const hir::BindingId id =
        hir_.bindings.alloc(hir::Binding{.name = hir_.texts.intern(name.text()),
                                         .src = src(name.syntax),
                                         .cell = *current_cell_,
                                         .recorded = recorded,
                                         .kind = kind});
    if (!recorded) {
        occurrence(hir::Res{hir::Res::Local{id}}, src(name.syntax), true);
    }
    return id;
}

std::optional<hir::BindingId> Lowerer::stmt_binding(const ast::Name& name, hir::BindingKind kind,
                                                    Level level) {
    if (level == Level::Nested) {
        return new_binding(name, kind, false);
    }
    const auto found = prebound_.find(range_key(name.syntax.text_range()));
    if (found == prebound_.end()) {
        return std::nullopt;
    }
    return found->second;
}

void Lowerer::bind_local(hir::BindingId binding) {
    scopes_.bind(hir_.text(hir_.bindings[binding].name), binding);
}

std::vector<hir::StmtId> Lowerer::stmts(std::optional<SyntaxNode> first, Level level) {
    std::vector<hir::StmtId> out;
    for (std::optional<SyntaxNode> node = std::move(first); node; node = node->next_sibling()) {
        if (const auto stmt = ast::Stmt::cast(*node)) {
            this->stmt(*stmt, level, out);
        }
    }
    return out;
}

std::vector<hir::StmtId> Lowerer::block(const SyntaxNode& block, Level level) {
    scopes_.push();
    std::vector<hir::StmtId> body = stmts(block.first_child(), level);
    scopes_.pop();
    return body;
}

void Lowerer::stmt(const ast::Stmt& stmt, Level level, std::vector<hir::StmtId>& out) {
    const SyntaxNode& node = stmt.syntax();
    const auto add = [&](std::optional<hir::StmtId> id) {
        if (id) {
            out.push_back(*id);
        }
    };
    switch (stmt.kind()) {
    case ast::Stmt::Kind::LayerBlock:
        add(layer_block(node, level));
        break;
    case ast::Stmt::Kind::ShapeStmt:
        shape_stmt(node, level, out);
        break;
    case ast::Stmt::Kind::CloneStmt:
        clone_stmt(node, level, out);
        break;
    case ast::Stmt::Kind::PlaceStmt:
        place_stmt(node, level, out);
        break;
    case ast::Stmt::Kind::PlaceSpec:
        add(append(hir::Stmt{place(node, level)}, node));
        break;
    case ast::Stmt::Kind::DefineStmt:
        add(define_stmt(node));
        break;
    case ast::Stmt::Kind::ForStmt:
        add(for_stmt(node));
        break;
    case ast::Stmt::Kind::IfStmt:
        add(if_stmt(node));
        break;
    case ast::Stmt::Kind::AssignStmt: {
        const hir::ExprId target = expr(ast::first_expr(node), node.text_range());
        const hir::ExprId value = expr(ast::child_after(node, SyntaxKind::EQ), node.text_range());
        add(append(hir::Stmt{hir::Stmt::Assign{target, value}}, node));
        break;
    }
    case ast::Stmt::Kind::ExprStmt: {
        const hir::ExprId value = expr(ast::first_expr(node), node.text_range());
        add(append(hir::Stmt{hir::Stmt::Expr{value}}, node));
        break;
    }
    }
}

hir::StmtId Lowerer::layer_block(const SyntaxNode& node, Level level) {
    std::optional<hir::LayerId> layer;
    const auto name = ast::child_node(node, SyntaxKind::NAME_REF);
    if (name) {
        layer = layer_ref(*name);
    }
    if (current_layer_) {
        error(src(name ? *name : node), "`layer` blocks cannot be nested");
    }
    const auto outer = current_layer_;
    current_layer_ = layer;
    const auto inner = block_child(node);
    const hir::Body body = inner ? hir_.add_body(block(*inner, level)) : hir::Body{};
    current_layer_ = outer;
    return append(hir::Stmt{hir::Stmt::LayerBlock{body, layer}}, node);
}

namespace {

std::string unknown_shape(const std::string& name) {
    std::string message = "unknown shape `" + name + "`; expected one of ";
    for (std::size_t i = 0; i < hir::primitive_count; ++i) {
        message += i == 0 ? "" : ", ";
        message += hir::primitive_name(static_cast<hir::Primitive>(i));
    }
    return message;
}

} // namespace

void Lowerer::shape_stmt(const SyntaxNode& node, Level level, std::vector<hir::StmtId>& out) {
    const ast::ShapeStmt shape{node};
    const auto shape_expr = shape.shape_expr();
    const auto shape_name = shape.shape_name();
    const auto local_named = [&](const std::string& text) {
        const auto res = lookup(text);
        return res && res->local();
    };
    // `shape s as t` draws the local shape `s` unless `s` is a primitive's name.
    const bool expression_form = shape_expr || (shape_name && !shape.with_clause() &&
                                                !hir::primitive_by_name(shape_name->text()) &&
                                                local_named(shape_name->text()));
    const auto as = shape.as_name();
    if (!as) {
        return;
    }
    const auto binding = stmt_binding(*as, hir::BindingKind::Shape, level);
    if (!binding) {
        return;
    }
    const std::optional<hir::LayerId> layer = current_layer_ ? *current_layer_ : std::nullopt;
    hir::StmtId id;
    if (expression_form) {
        hir::ExprId value;
        std::optional<hir::ExprId> join;
        if (shape_expr) {
            const std::vector<ast::Expr> parts = ast::exprs(*shape_expr);
            value = expr(parts.empty() ? std::nullopt : std::optional(parts[0]), node.text_range());
            if (parts.size() > 1) {
                join = lower_expr(parts[1]);
            }
        } else {
            value = lower_expr(*ast::Expr::cast(shape_name->syntax));
        }
        if (!current_layer_) {
            error(src(node), "`shape` must be inside a `layer` block");
        }
        if (level == Level::Nested) {
            bind_local(*binding);
        }
        id = append(hir::Stmt{hir::Stmt::ShapeExpr{join, layer, *binding, value}}, node);
    } else {
        std::optional<hir::Primitive> primitive;
        if (shape_name) {
            const std::string text = shape_name->text();
            primitive = hir::primitive_by_name(text);
            if (!primitive) {
                error(src(shape_name->syntax),
                      local_named(text)
                          ? "`" + text +
                                "` is a shape, not a primitive, so `with` does not apply; " +
                                "write an expression such as `" + text + " + 1um`"
                          : unknown_shape(text));
            }
        }
        const auto with = shape.with_clause();
        const hir::ArgRun arguments = with ? args(*with) : hir::ArgRun{};
        if (level == Level::Nested) {
            bind_local(*binding);
        }
        id = append(hir::Stmt{hir::Stmt::Shape{arguments, layer, *binding,
                                               current_layer_.has_value(), primitive}},
                    node);
    }
    out.push_back(id);
    shape_place(node, *binding, out);
}

void Lowerer::clone_stmt(const SyntaxNode& node, Level level, std::vector<hir::StmtId>& out) {
    const auto as = as_name(node);
    if (!as) {
        return;
    }
    hir::Res source;
    if (const auto name = ast::child_node(node, SyntaxKind::NAME_REF)) {
        source = resolve(*name);
        const auto local = source.local();
        if (!source.is_unresolved() &&
            !(local && hir_.bindings[*local].kind == hir::BindingKind::Shape)) {
            error(src(*name), "`" + ast::Name{*name}.text() + "` is not a shape");
        }
    }
    const auto binding = stmt_binding(*as, hir::BindingKind::Shape, level);
    if (!binding) {
        return;
    }
    if (level == Level::Nested) {
        bind_local(*binding);
    }
    out.push_back(
        append(hir::Stmt{hir::Stmt::Clone{std::move(source), *binding, current_layer_.has_value()}},
               node));
    shape_place(node, *binding, out);
}

std::optional<hir::StmtId> Lowerer::define_stmt(const SyntaxNode& node) {
    // The value comes first, so `define x = x + 1` reads the outer `x`.
    const hir::ExprId value = expr(ast::child_after(node, SyntaxKind::EQ), node.text_range());
    std::optional<hir::TypeAnn> ty;
    if (const auto type = ast::type_child(node)) {
        ty = type_ann(hir_.texts, file_, *type);
    }
    const auto name = ast::name_child(node);
    if (!name) {
        return std::nullopt;
    }
    const hir::BindingId binding = new_binding(*name, hir::BindingKind::Define, false);
    bind_local(binding);
    return append(hir::Stmt{hir::Stmt::Define{std::move(ty), binding, value}}, node);
}

std::optional<hir::StmtId> Lowerer::for_stmt(const SyntaxNode& node) {
    const hir::ExprId iter = expr(ast::child_after(node, SyntaxKind::IN_KW), node.text_range());
    const auto name = ast::name_child(node);
    if (!name) {
        return std::nullopt;
    }
    scopes_.push();
    const hir::BindingId binding = new_binding(*name, hir::BindingKind::ForVar, false);
    bind_local(binding);
    const auto inner = block_child(node);
    std::vector<hir::StmtId> body =
        inner ? block(*inner, Level::Nested) : std::vector<hir::StmtId>{};
    scopes_.pop();
    return append(hir::Stmt{hir::Stmt::For{hir_.add_body(body), binding, iter}}, node);
}

// An `else if` chain nests one If per link; the parser bounds its length.
hir::StmtId Lowerer::if_stmt(const SyntaxNode& node) {
    const hir::ExprId cond = expr(ast::first_expr(node), node.text_range());
    const auto then_block = block_child(node);
    std::vector<hir::StmtId> then_body =
        then_block ? block(*then_block, Level::Nested) : std::vector<hir::StmtId>{};
    std::vector<hir::StmtId> else_body;
    bool after_else = false;
    for (const syntax::SyntaxElement& element : node.children_with_tokens()) {
        if (!after_else) {
            after_else = element.kind() == SyntaxKind::ELSE_KW;
            continue;
        }
        const auto child = element.as_node();
        if (!child) {
            continue;
        }
        if (child->kind() == SyntaxKind::BLOCK || child->kind() == SyntaxKind::PLACE_BLOCK) {
            else_body = block(*child, Level::Nested);
        } else if (child->kind() == SyntaxKind::IF_STMT) {
            else_body.push_back(if_stmt(*child));
        }
        break;
    }
    const hir::Body then_run = hir_.add_body(then_body);
    return append(hir::Stmt{hir::Stmt::If{then_run, hir_.add_body(else_body), cond}}, node);
}

} // namespace quorvane_dsl::lower
