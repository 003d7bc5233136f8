// Placements: `place` statements and blocks, bare entries, and the `at` tail of shapes.
#include <algorithm>

#include "lower/lowerer.hpp"

namespace quorvane_dsl::lower {
namespace {

// The first expression node before the `at` keyword: the target of a placement, or the anchor
// of a shape placement.
std::optional<SyntaxNode> first_node_before_at(const SyntaxNode& node) {
    for (const syntax::SyntaxElement& element : node.children_with_tokens()) {
        if (element.kind() == SyntaxKind::AT_KW) {
            break;
        }
        if (const auto child = element.as_node(); child && ast::Expr::cast(*child)) {
            return child;
        }
    }
    return std::nullopt;
}

} // namespace

void Lowerer::place_stmt(const SyntaxNode& node, Level level, std::vector<hir::StmtId>& out) {
    const bool outer_star = place_star_;
    const ast::PlaceStmt view{node};
    // An outer `place*` keeps everything inside it starred.
    place_star_ = place_star_ || view.is_star();
    if (const auto spec = view.spec()) {
        out.push_back(append(hir::Stmt{place(*spec, level)}, node));
    } else if (const auto inner = block_child(node)) {
        const hir::Body body = hir_.add_body(block(*inner, level));
        out.push_back(append(hir::Stmt{hir::Stmt::PlaceBlock{body}}, node));
    }
    place_star_ = outer_star;
}

hir::Stmt::Place Lowerer::place(const SyntaxNode& spec, Level level) {
    hir::Stmt::Place result;
    const auto target = first_node_before_at(spec);
    result.target = expr(target ? ast::Expr::cast(*target) : std::nullopt, spec.text_range());
    if (const auto with = ast::child_node(spec, SyntaxKind::WITH_CLAUSE)) {
        result.args = args(*with);
    }
    result.at = expr(ast::child_after(spec, SyntaxKind::AT_KW), spec.text_range());
    const Modifiers mods = modifiers(spec.first_child());
    result.offset = mods.offset;
    result.rotate = mods.rotate;
    result.mirror = mods.mirror;
    // Bound after every expression of the placement, so they cannot see it.
    if (const auto name = as_name(spec)) {
        result.name = stmt_binding(*name, hir::BindingKind::Instance, level);
        if (result.name && level == Level::Nested) {
            bind_local(*result.name);
        }
    }
    result.in_layer = current_layer_.has_value();
    result.star = place_star_;
    return result;
}

Modifiers Lowerer::modifiers(std::optional<SyntaxNode> first) {
    Modifiers result;
    for (std::optional<SyntaxNode> node = std::move(first); node; node = node->next_sibling()) {
        switch (node->kind()) {
        case SyntaxKind::OFFSET_MOD:
            result.offset = expr(ast::first_expr(*node), node->text_range());
            break;
        case SyntaxKind::ROTATE_MOD:
            result.rotate = expr(ast::first_expr(*node), node->text_range());
            break;
        case SyntaxKind::MIRROR_MOD:
            result.mirror = true;
            break;
        default:
            break;
        }
    }
    return result;
}

// The target is the statement's own binding, not whatever its name finds in the scopes: an
// earlier `define` of the same name must not be placed in the shape's stead.
void Lowerer::shape_place(const SyntaxNode& stmt, hir::BindingId binding,
                          std::vector<hir::StmtId>& out) {
    const auto tail = ast::child_node(stmt, SyntaxKind::SHAPE_PLACE);
    const auto name = as_name(stmt);
    if (!tail || !name) {
        return;
    }
    const source::TextRange name_range = name->syntax.text_range();
    hir::ExprId target = hir_.add_expr(
        hir::Expr{hir::Expr::Name{hir::Res{hir::Res::Local{binding}}}}, src(name_range));
    const auto anchor = first_node_before_at(*tail);
    if (anchor && anchor->kind() == SyntaxKind::NAME_REF) {
        const source::TextRange anchor_range = anchor->text_range();
        const source::TextRange whole{std::min(name_range.start, anchor_range.start),
                                      std::max(name_range.end, anchor_range.end)};
        target = hir_.add_expr(
            hir::Expr{hir::Expr::Field{target, hir_.name_srcs.alloc(src(anchor_range)),
                                       hir_.texts.intern(ast::Name{*anchor}.text())}},
            src(whole));
    }
    hir::Stmt::Place place;
    place.target = target;
    place.at = expr(ast::child_after(*tail, SyntaxKind::AT_KW), tail->text_range());
    const Modifiers mods = modifiers(tail->first_child());
    place.offset = mods.offset;
    place.rotate = mods.rotate;
    place.mirror = mods.mirror;
    place.in_layer = current_layer_.has_value();
    place.star = place_star_;
    out.push_back(append(hir::Stmt{std::move(place)}, *tail));
}

} // namespace quorvane_dsl::lower
