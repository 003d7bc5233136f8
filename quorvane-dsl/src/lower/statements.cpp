// Statements of cell bodies and the local bindings they make.
#include <algorithm>

#include "base/fatal.hpp"
#include "base/stack.hpp"
#include "lower/lowerer.hpp"
#include "lower/walk.hpp"

namespace quorvane_dsl::lower {

hir::StmtId Lowerer::append(hir::Stmt stmt, std::uint32_t node) {
    return hir_.add_stmt(std::move(stmt), src_at(node));
}

hir::BindingId Lowerer::new_binding(std::uint32_t name, hir::BindingKind kind, bool recorded) {
    if (!current_cell_) {
        base::fatal("lower: bindings live in cells");
    }
    const hir::BindingId id =
        hir_.bindings.alloc(hir::Binding{.name = hir_.texts.intern(walk::name_text(*tree_, name)),
                                         .src = src_at(name),
                                         .cell = *current_cell_,
                                         .recorded = recorded,
                                         .kind = kind});
    if (!recorded) {
        occurrence(hir::Res{hir::Res::Local{id}}, src_at(name), true);
    }
    return id;
}

std::optional<hir::BindingId> Lowerer::stmt_binding(std::uint32_t name, hir::BindingKind kind,
                                                    Level level) {
    if (level == Level::Nested) {
        return new_binding(name, kind, false);
    }
    const auto found = std::ranges::lower_bound(prebound_, name, {}, &Prebound::first);
    if (found == prebound_.end() || found->first != name) {
        return std::nullopt;
    }
    return found->second;
}

void Lowerer::bind_local(hir::BindingId binding) {
    scopes_.bind(hir_.bindings[binding].name, binding);
}

std::vector<hir::StmtId> Lowerer::stmts(std::uint32_t parent, Level level) {
    std::vector<hir::StmtId> out;
    walk::Children children(*tree_, parent);
    for (std::uint32_t child = children.next(); child != syntax::no_index;
         child = children.next()) {
        stmt(child, level, out);
    }
    return out;
}

std::vector<hir::StmtId> Lowerer::block(std::uint32_t block, Level level) {
    if (!base::stack_room()) [[unlikely]] {
        too_deep(tree_->range(block));
        return {};
    }
    scopes_.push();
    std::vector<hir::StmtId> body = stmts(block, level);
    scopes_.pop();
    return body;
}

// Children that are no statement are passed over.
void Lowerer::stmt(std::uint32_t node, Level level, std::vector<hir::StmtId>& out) {
    const syntax::Tree& tree = *tree_;
    const auto add = [&](std::optional<hir::StmtId> id) {
        if (id) {
            out.push_back(*id);
        }
    };
    switch (tree.kind(node)) {
    case SyntaxKind::LAYER_BLOCK:
        add(layer_block(node, level));
        break;
    case SyntaxKind::SHAPE_STMT:
        shape_stmt(node, level, out);
        break;
    case SyntaxKind::CLONE_STMT:
        clone_stmt(node, level, out);
        break;
    case SyntaxKind::PLACE_STMT:
        place_stmt(node, level, out);
        break;
    case SyntaxKind::PLACE_SPEC:
        add(append(hir::Stmt{place(node, level)}, node));
        break;
    case SyntaxKind::DEFINE_STMT:
        add(define_stmt(node));
        break;
    case SyntaxKind::FOR_STMT:
        add(for_stmt(node));
        break;
    case SyntaxKind::IF_STMT:
        add(if_stmt(node));
        break;
    case SyntaxKind::ASSIGN_STMT: {
        const walk::ExprParts parts = walk::expr_parts(tree, node, SyntaxKind::EQ);
        const hir::ExprId target = expr_at(parts.first, node);
        const hir::ExprId value = expr_at(parts.after, node);
        add(append(hir::Stmt{hir::Stmt::Assign{target, value}}, node));
        break;
    }
    case SyntaxKind::EXPR_STMT: {
        const hir::ExprId value = expr_at(walk::first_expr(tree, node), node);
        add(append(hir::Stmt{hir::Stmt::Expr{value}}, node));
        break;
    }
    default:
        break;
    }
}

hir::StmtId Lowerer::layer_block(std::uint32_t node, Level level) {
    std::optional<hir::LayerId> layer;
    const std::uint32_t name = walk::child_node(*tree_, node, SyntaxKind::NAME_REF);
    if (name != syntax::no_index) {
        layer = layer_ref(name);
    }
    if (current_layer_) {
        error(src_at(name != syntax::no_index ? name : node), "`layer` blocks cannot be nested");
    }
    const auto outer = current_layer_;
    current_layer_ = layer;
    const std::uint32_t inner = walk::block_child(*tree_, node);
    const hir::Body body =
        inner != syntax::no_index ? hir_.add_body(block(inner, level)) : hir::Body{};
    current_layer_ = outer;
    return append(hir::Stmt{hir::Stmt::LayerBlock{body, layer}}, node);
}

namespace {

// The parts of a `define`, `for` or `if`, each the first of its kind, found in one pass.
struct StmtParts {
    std::uint32_t name = syntax::no_index;       // NAME
    std::uint32_t type = syntax::no_index;       // NAME_TYPE or LIST_TYPE
    std::uint32_t block = syntax::no_index;      // BLOCK or PLACE_BLOCK
    std::uint32_t first = syntax::no_index;      // the first expression
    std::uint32_t value = syntax::no_index;      // the first expression at or after a `mark`
    std::uint32_t after_else = syntax::no_index; // the first node after `else`
};

StmtParts stmt_parts(const syntax::Tree& tree, std::uint32_t node, SyntaxKind mark) {
    StmtParts parts;
    bool marked = false;
    bool after_else = false;
    walk::Children children(tree, node);
    for (std::uint32_t child = children.next(); child != syntax::no_index;
         child = children.next()) {
        const SyntaxKind kind = tree.kind(child);
        marked = marked || kind == mark;
        if (walk::is_expr(kind)) {
            walk::keep_first(parts.first, child);
            if (marked) {
                walk::keep_first(parts.value, child);
            }
        }
        if (kind == SyntaxKind::NAME) {
            walk::keep_first(parts.name, child);
        } else if (kind == SyntaxKind::NAME_TYPE || kind == SyntaxKind::LIST_TYPE) {
            walk::keep_first(parts.type, child);
        } else if (kind == SyntaxKind::BLOCK || kind == SyntaxKind::PLACE_BLOCK) {
            walk::keep_first(parts.block, child);
        }
        if (!after_else) {
            after_else = kind == SyntaxKind::ELSE_KW;
        } else if (tree.is_node(child)) {
            walk::keep_first(parts.after_else, child);
        }
    }
    return parts;
}

std::string unknown_shape(const std::string& name) {
    std::string message = "unknown shape `" + name + "`; expected one of ";
    for (std::size_t i = 0; i < hir::primitive_count; ++i) {
        message += i == 0 ? "" : ", ";
        message += hir::primitive_name(static_cast<hir::Primitive>(i));
    }
    return message;
}

} // namespace

void Lowerer::shape_stmt(std::uint32_t node, Level level, std::vector<hir::StmtId>& out) {
    const syntax::Tree& tree = *tree_;
    // The parts of the statement, each its first child of its kind.
    std::uint32_t shape_expr = syntax::no_index;
    std::uint32_t shape_name = syntax::no_index;
    std::uint32_t with = syntax::no_index;
    std::uint32_t as = syntax::no_index;
    std::uint32_t tail = syntax::no_index;
    walk::Children children(tree, node);
    for (std::uint32_t child = children.next(); child != syntax::no_index;
         child = children.next()) {
        switch (tree.kind(child)) {
        case SyntaxKind::SHAPE_EXPR:
            walk::keep_first(shape_expr, child);
            break;
        case SyntaxKind::NAME_REF:
            walk::keep_first(shape_name, child);
            break;
        case SyntaxKind::WITH_CLAUSE:
            walk::keep_first(with, child);
            break;
        case SyntaxKind::AS_NAME:
            walk::keep_first(as, child);
            break;
        case SyntaxKind::SHAPE_PLACE:
            walk::keep_first(tail, child);
            break;
        default:
            break;
        }
    }
    const bool has_name = shape_name != syntax::no_index;
    const std::string_view name_text = has_name ? walk::name_text(tree, shape_name) : "";
    const auto local_named = [&](std::string_view text) {
        const auto res = lookup(text);
        return res && res->local();
    };
    const std::optional<hir::Primitive> primitive =
        has_name ? hir::primitive_by_name(name_text) : std::nullopt;
    // `shape s as t` draws the local shape `s` unless `s` is a primitive's name.
    const bool expression_form =
        shape_expr != syntax::no_index ||
        (has_name && with == syntax::no_index && !primitive && local_named(name_text));
    const std::uint32_t as_name =
        as != syntax::no_index ? walk::child_node(tree, as, SyntaxKind::NAME) : syntax::no_index;
    if (as_name == syntax::no_index) {
        return;
    }
    const auto binding = stmt_binding(as_name, hir::BindingKind::Shape, level);
    if (!binding) {
        return;
    }
    const std::optional<hir::LayerId> layer = current_layer_ ? *current_layer_ : std::nullopt;
    hir::StmtId id;
    if (expression_form) {
        hir::ExprId value;
        std::optional<hir::ExprId> join;
        if (shape_expr != syntax::no_index) {
            const auto parts = walk::leading_exprs<2>(tree, shape_expr);
            value = expr_at(parts[0], node);
            if (parts[1] != syntax::no_index) {
                join = lower_at(parts[1]);
            }
        } else {
            value = lower_at(shape_name);
        }
        if (!current_layer_) {
            error(src_at(node), "`shape` must be inside a `layer` block");
        }
        if (level == Level::Nested) {
            bind_local(*binding);
        }
        id = append(hir::Stmt{hir::Stmt::ShapeExpr{join, layer, *binding, value}}, node);
    } else {
        if (has_name && !primitive) {
            const std::string text(name_text);
            error(src_at(shape_name), local_named(text)
                                          ? "`" + text +
                                                "` is a shape, not a primitive, so `with` does not "
                                                "apply; write an expression such as `" +
                                                text + " + 1um`"
                                          : unknown_shape(text));
        }
        const hir::ArgRun arguments = with != syntax::no_index ? args(with) : hir::ArgRun{};
        if (level == Level::Nested) {
            bind_local(*binding);
        }
        id = append(hir::Stmt{hir::Stmt::Shape{arguments, layer, *binding,
                                               current_layer_.has_value(), primitive}},
                    node);
    }
    out.push_back(id);
    shape_place(tail, as_name, *binding, out);
}

void Lowerer::clone_stmt(std::uint32_t node, Level level, std::vector<hir::StmtId>& out) {
    const syntax::Tree& tree = *tree_;
    const std::uint32_t as = walk::as_name(tree, node);
    if (as == syntax::no_index) {
        return;
    }
    hir::Res source;
    if (const std::uint32_t name = walk::child_node(tree, node, SyntaxKind::NAME_REF);
        name != syntax::no_index) {
        source = resolve(name, tree_->range(name));
        const auto local = source.local();
        if (!source.is_unresolved() &&
            !(local && hir_.bindings[*local].kind == hir::BindingKind::Shape)) {
            error(src_at(name),
                  "`" + std::string(walk::name_text(tree, name)) + "` is not a shape");
        }
    }
    const auto binding = stmt_binding(as, hir::BindingKind::Shape, level);
    if (!binding) {
        return;
    }
    if (level == Level::Nested) {
        bind_local(*binding);
    }
    out.push_back(
        append(hir::Stmt{hir::Stmt::Clone{std::move(source), *binding, current_layer_.has_value()}},
               node));
    shape_place(walk::child_node(tree, node, SyntaxKind::SHAPE_PLACE), as, *binding, out);
}

std::optional<hir::StmtId> Lowerer::define_stmt(std::uint32_t node) {
    const syntax::Tree& tree = *tree_;
    const StmtParts parts = stmt_parts(tree, node, SyntaxKind::EQ);
    // The value comes first, so `define x = x + 1` reads the outer `x`.
    const hir::ExprId value = expr_at(parts.value, node);
    std::optional<hir::TypeAnn> ty;
    if (parts.type != syntax::no_index) {
        ty = type_ann(hir_.texts, file_, tree, parts.type);
    }
    const std::uint32_t name = parts.name;
    if (name == syntax::no_index) {
        return std::nullopt;
    }
    const hir::BindingId binding = new_binding(name, hir::BindingKind::Define, false);
    bind_local(binding);
    return append(hir::Stmt{hir::Stmt::Define{std::move(ty), binding, value}}, node);
}

std::optional<hir::StmtId> Lowerer::for_stmt(std::uint32_t node) {
    const syntax::Tree& tree = *tree_;
    const StmtParts parts = stmt_parts(tree, node, SyntaxKind::IN_KW);
    const hir::ExprId iter = expr_at(parts.value, node);
    if (parts.name == syntax::no_index) {
        return std::nullopt;
    }
    scopes_.push();
    const hir::BindingId binding = new_binding(parts.name, hir::BindingKind::ForVar, false);
    bind_local(binding);
    const std::uint32_t inner = parts.block;
    std::vector<hir::StmtId> body =
        inner != syntax::no_index ? block(inner, Level::Nested) : std::vector<hir::StmtId>{};
    scopes_.pop();
    return append(hir::Stmt{hir::Stmt::For{hir_.add_body(body), binding, iter}}, node);
}

// An `else if` chain nests one If per link, followed by recursion; the parser bounds its length.
std::optional<hir::StmtId> Lowerer::if_stmt(std::uint32_t node) {
    const syntax::Tree& tree = *tree_;
    if (!base::stack_room()) [[unlikely]] {
        too_deep(tree.range(node));
        return std::nullopt;
    }
    const StmtParts parts = stmt_parts(tree, node, SyntaxKind::IF_KW);
    const hir::ExprId cond = expr_at(parts.first, node);
    std::vector<hir::StmtId> then_body = parts.block != syntax::no_index
                                             ? block(parts.block, Level::Nested)
                                             : std::vector<hir::StmtId>{};
    std::vector<hir::StmtId> else_body;
    if (const std::uint32_t other = parts.after_else; other != syntax::no_index) {
        const SyntaxKind kind = tree.kind(other);
        if (kind == SyntaxKind::BLOCK || kind == SyntaxKind::PLACE_BLOCK) {
            else_body = block(other, Level::Nested);
        } else if (kind == SyntaxKind::IF_STMT) {
            if (const std::optional<hir::StmtId> chained = if_stmt(other)) {
                else_body.push_back(*chained);
            }
        }
    }
    const hir::Body then_run = hir_.add_body(then_body);
    return append(hir::Stmt{hir::Stmt::If{then_run, hir_.add_body(else_body), cond}}, node);
}

} // namespace quorvane_dsl::lower
