// Placements: `place` statements and blocks, bare entries, and the `at` tail of shapes.
#include <algorithm>

#include "lower/lowerer.hpp"
#include "lower/walk.hpp"

namespace quorvane_dsl::lower {
namespace {

// The parts of a PLACE_SPEC or SHAPE_PLACE, each the first of its kind, found in one pass.
struct PlaceParts {
    std::uint32_t target = syntax::no_index; // the first expression before `at`: the target of a
                                             // placement, or the anchor of a shape placement
    std::uint32_t with = syntax::no_index;
    std::uint32_t at = syntax::no_index; // the first expression after `at`
    std::uint32_t as = syntax::no_index; // the NAME inside the AS_NAME
};

PlaceParts place_parts(const syntax::Tree& tree, std::uint32_t node) {
    PlaceParts parts;
    std::uint32_t as = syntax::no_index;
    bool after_at = false;
    walk::Children children(tree, node);
    for (std::uint32_t child = children.next(); child != syntax::no_index;
         child = children.next()) {
        const SyntaxKind kind = tree.kind(child);
        after_at = after_at || kind == SyntaxKind::AT_KW;
        if (walk::is_expr(kind)) {
            walk::keep_first(after_at ? parts.at : parts.target, child);
        } else if (kind == SyntaxKind::WITH_CLAUSE) {
            walk::keep_first(parts.with, child);
        } else if (kind == SyntaxKind::AS_NAME) {
            walk::keep_first(as, child);
        }
    }
    if (as != syntax::no_index) {
        parts.as = walk::child_node(tree, as, SyntaxKind::NAME);
    }
    return parts;
}

} // namespace

void Lowerer::place_stmt(std::uint32_t node, Level level, std::vector<hir::StmtId>& out) {
    const syntax::Tree& tree = *tree_;
    std::uint32_t star = syntax::no_index;
    std::uint32_t spec = syntax::no_index;
    std::uint32_t inner = syntax::no_index;
    walk::Children children(tree, node);
    for (std::uint32_t child = children.next(); child != syntax::no_index;
         child = children.next()) {
        switch (tree.kind(child)) {
        case SyntaxKind::STAR:
            walk::keep_first(star, child);
            break;
        case SyntaxKind::PLACE_SPEC:
            walk::keep_first(spec, child);
            break;
        case SyntaxKind::BLOCK:
        case SyntaxKind::PLACE_BLOCK:
            walk::keep_first(inner, child);
            break;
        default:
            break;
        }
    }
    const bool outer_star = place_star_;
    // An outer `place*` keeps everything inside it starred.
    place_star_ = place_star_ || star != syntax::no_index;
    if (spec != syntax::no_index) {
        out.push_back(append(hir::Stmt{place(spec, level)}, node));
    } else if (inner != syntax::no_index) {
        const hir::Body body = hir_.add_body(block(inner, level));
        out.push_back(append(hir::Stmt{hir::Stmt::PlaceBlock{body}}, node));
    }
    place_star_ = outer_star;
}

hir::Stmt::Place Lowerer::place(std::uint32_t spec, Level level) {
    const syntax::Tree& tree = *tree_;
    const PlaceParts parts = place_parts(tree, spec);
    hir::Stmt::Place result;
    result.target = expr_at(parts.target, spec);
    if (parts.with != syntax::no_index) {
        result.args = args(parts.with);
    }
    result.at = expr_at(parts.at, spec);
    const Modifiers mods = modifiers(spec);
    result.offset = mods.offset;
    result.rotate = mods.rotate;
    result.mirror = mods.mirror;
    // Bound after every expression of the placement, so they cannot see it.
    if (parts.as != syntax::no_index) {
        result.name = stmt_binding(parts.as, hir::BindingKind::Instance, level);
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
void Lowerer::shape_place(std::uint32_t tail, std::uint32_t name, hir::BindingId binding,
                          std::vector<hir::StmtId>& out) {
    const syntax::Tree& tree = *tree_;
    if (tail == syntax::no_index || name == syntax::no_index) {
        return;
    }
    const PlaceParts parts = place_parts(tree, tail);
    const source::TextRange name_range = tree.range(name);
    hir::ExprId target = hir_.add_expr(
        hir::Expr{hir::Expr::Name{hir::Res{hir::Res::Local{binding}}}}, src(name_range));
    const std::uint32_t anchor = parts.target;
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
    place.at = expr_at(parts.at, tail);
    const Modifiers mods = modifiers(tail);
    place.offset = mods.offset;
    place.rotate = mods.rotate;
    place.mirror = mods.mirror;
    place.in_layer = current_layer_.has_value();
    place.star = place_star_;
    out.push_back(append(hir::Stmt{std::move(place)}, tail));
}

} // namespace quorvane_dsl::lower
