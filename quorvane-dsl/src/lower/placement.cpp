// Placements: `place` statements and blocks, bare entries, and the `at` tail of shapes.
#include <algorithm>

#include "lower/lowerer.hpp"
#include "lower/walk.hpp"

namespace quorvane_dsl::lower {
namespace {

// The first expression node before the `at` keyword: the target of a placement, or the anchor
// of a shape placement.
std::uint32_t first_expr_before_at(const syntax::Tree& tree, std::uint32_t node) {
    walk::Children children(tree, node);
    for (std::uint32_t child = children.next(); child != syntax::no_index;
         child = children.next()) {
        if (tree.kind(child) == SyntaxKind::AT_KW) {
            break;
        }
        if (walk::is_expr(tree.kind(child))) {
            return child;
        }
    }
    return syntax::no_index;
}

} // namespace

void Lowerer::place_stmt(std::uint32_t node, Level level, std::vector<hir::StmtId>& out) {
    const syntax::Tree& tree = *tree_;
    const bool outer_star = place_star_;
    // An outer `place*` keeps everything inside it starred.
    place_star_ = place_star_ || walk::child_node(tree, node, SyntaxKind::STAR) != syntax::no_index;
    if (const std::uint32_t spec = walk::child_node(tree, node, SyntaxKind::PLACE_SPEC);
        spec != syntax::no_index) {
        out.push_back(append(hir::Stmt{place(spec, level)}, node));
    } else if (const std::uint32_t inner = walk::block_child(tree, node);
               inner != syntax::no_index) {
        const hir::Body body = hir_.add_body(block(inner, level));
        out.push_back(append(hir::Stmt{hir::Stmt::PlaceBlock{body}}, node));
    }
    place_star_ = outer_star;
}

hir::Stmt::Place Lowerer::place(std::uint32_t spec, Level level) {
    const syntax::Tree& tree = *tree_;
    hir::Stmt::Place result;
    result.target = expr_at(first_expr_before_at(tree, spec), spec);
    if (const std::uint32_t with = walk::child_node(tree, spec, SyntaxKind::WITH_CLAUSE);
        with != syntax::no_index) {
        result.args = args(with);
    }
    result.at = expr_at(walk::child_after(tree, spec, SyntaxKind::AT_KW), spec);
    const Modifiers mods = modifiers(spec);
    result.offset = mods.offset;
    result.rotate = mods.rotate;
    result.mirror = mods.mirror;
    // Bound after every expression of the placement, so they cannot see it.
    if (const std::uint32_t name = walk::as_name(tree, spec); name != syntax::no_index) {
        result.name = stmt_binding(name, hir::BindingKind::Instance, level);
        if (result.name && level == Level::Nested) {
            bind_local(*result.name);
        }
    }
    result.in_layer = current_layer_.has_value();
    result.star = place_star_;
    return result;
}

Modifiers Lowerer::modifiers(std::uint32_t node) {
    const syntax::Tree& tree = *tree_;
    Modifiers result;
    walk::Children children(tree, node);
    for (std::uint32_t child = children.next(); child != syntax::no_index;
         child = children.next()) {
        switch (tree.kind(child)) {
        case SyntaxKind::OFFSET_MOD:
            result.offset = expr_at(walk::first_expr(tree, child), child);
            break;
        case SyntaxKind::ROTATE_MOD:
            result.rotate = expr_at(walk::first_expr(tree, child), child);
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
void Lowerer::shape_place(std::uint32_t stmt, hir::BindingId binding,
                          std::vector<hir::StmtId>& out) {
    const syntax::Tree& tree = *tree_;
    const std::uint32_t tail = walk::child_node(tree, stmt, SyntaxKind::SHAPE_PLACE);
    const std::uint32_t name = walk::as_name(tree, stmt);
    if (tail == syntax::no_index || name == syntax::no_index) {
        return;
    }
    const source::TextRange name_range = tree.range(name);
    hir::ExprId target = hir_.add_expr(
        hir::Expr{hir::Expr::Name{hir::Res{hir::Res::Local{binding}}}}, src(name_range));
    const std::uint32_t anchor = first_expr_before_at(tree, tail);
    if (anchor != syntax::no_index && tree.kind(anchor) == SyntaxKind::NAME_REF) {
        const source::TextRange anchor_range = tree.range(anchor);
        const source::TextRange whole{std::min(name_range.start, anchor_range.start),
                                      std::max(name_range.end, anchor_range.end)};
        target = hir_.add_expr(
            hir::Expr{hir::Expr::Field{target, hir_.name_srcs.alloc(src(anchor_range)),
                                       hir_.texts.intern(walk::name_text(tree, anchor))}},
            src(whole));
    }
    hir::Stmt::Place place;
    place.target = target;
    place.at = expr_at(walk::child_after(tree, tail, SyntaxKind::AT_KW), tail);
    const Modifiers mods = modifiers(tail);
    place.offset = mods.offset;
    place.rotate = mods.rotate;
    place.mirror = mods.mirror;
    place.in_layer = current_layer_.has_value();
    place.star = place_star_;
    out.push_back(append(hir::Stmt{std::move(place)}, tail));
}

} // namespace quorvane_dsl::lower
