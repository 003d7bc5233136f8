// Cells: every cell-level name is declared before any expression of the cell is lowered.
#include <algorithm>

#include "base/fatal.hpp"
#include "lower/lowerer.hpp"
#include "lower/walk.hpp"

namespace quorvane_dsl::lower {
void Lowerer::declare_cell(const SyntaxNode& def) {
    const auto name = ast::name_child(def);
    if (!name) {
        return;
    }
    const hir::CellId id = hir_.cells.alloc(
        hir::CellDef{.name = name->text(), .span = def.text_range(), .src = src(name->syntax)});
    if (declare_global_at(name->text(), name->syntax.text_range(),
                          {hir::Global::Kind::Cell, id.raw})) {
        occurrence(hir::Res{hir::Res::Cell{id}}, src(name->syntax), true);
        cell_work_.push_back({file_, id.raw, def});
    }
}

bool Lowerer::declare_cell_name(hir::CellId cell, std::uint32_t name, hir::Res res) {
    const hir::Symbol symbol = hir_.texts.intern(walk::name_text(*tree_, name));
    if (symbol.raw >= cell_names_.size()) {
        cell_names_.resize(hir_.texts.size());
    }
    CellLevelName& existing = cell_names_[symbol.raw];
    if (existing.cell_plus_one == cell.raw + 1) {
        diag::Diagnostic diagnostic{.message = "`" + std::string(hir_.text(symbol)) +
                                               "` is already defined in cell `" +
                                               hir_.cells[cell].name + "`",
                                    .src = src_at(name)};
        if (const auto first = hir_.res_src(existing.res)) {
            diagnostic.notes.push_back({"first defined here", *first});
        }
        hir_.diagnostics.push_back(std::move(diagnostic));
        return false;
    }
    existing = {cell.raw + 1, res};
    hir_.cell_names.push_back({symbol, res});
    occurrence(std::move(res), src_at(name), true);
    return true;
}

void Lowerer::declare_param(hir::CellId cell, std::uint32_t decl,
                            std::vector<std::pair<std::uint32_t, std::uint32_t>>& pending) {
    const syntax::Tree& tree = *tree_;
    const std::uint32_t name = walk::child_node(tree, decl, SyntaxKind::NAME);
    if (name == syntax::no_index) {
        return;
    }
    const auto index = static_cast<std::uint32_t>(hir_.cells[cell].params.size());
    if (!declare_cell_name(cell, name, hir::Res{hir::Res::Param{cell, index}})) {
        return;
    }
    std::optional<hir::TypeAnn> ty;
    if (const std::uint32_t type = walk::type_child(tree, decl); type != syntax::no_index) {
        ty = type_ann(hir_.texts, file_, tree, type);
    }
    const std::string text(walk::name_text(tree, name));
    if (!ty && walk::child_after(tree, decl, SyntaxKind::EQ) == syntax::no_index) {
        error(src_at(decl), param_needs_type(text));
    }
    hir_.cells[cell].params.push_back(
        hir::ParamDef{.name = text, .ty = std::move(ty), .src = src_at(name)});
    pending.emplace_back(index, decl);
}

void Lowerer::prebind(hir::CellId cell, std::uint32_t name, hir::BindingKind kind) {
    if (name == syntax::no_index) {
        return;
    }
    const hir::BindingId binding = new_binding(name, kind, true);
    if (declare_cell_name(cell, name, hir::Res{hir::Res::Local{binding}})) {
        // Looked up by binary search: the prescan meets `as` names in preorder.
        if (!prebound_.empty() && prebound_.back().first >= name) {
            base::fatal("internal error: entered unreachable code: `as` names pre-bound out of "
                        "order");
        }
        prebound_.emplace_back(name, binding);
    }
}

void Lowerer::prescan(hir::CellId cell, std::uint32_t block) {
    walk::Children children(*tree_, block);
    for (std::uint32_t child = children.next(); child != syntax::no_index;
         child = children.next()) {
        prescan_stmt(cell, child);
    }
}

// Reaches the `as` names of the cell's level: its top, and the insides of `layer` and `place`
// blocks at any depth, never the bodies of loops and conditionals.
void Lowerer::prescan_stmt(hir::CellId cell, std::uint32_t node) {
    const syntax::Tree& tree = *tree_;
    switch (tree.kind(node)) {
    case SyntaxKind::LAYER_BLOCK:
        if (const std::uint32_t block = walk::block_child(tree, node); block != syntax::no_index) {
            prescan(cell, block);
        }
        break;
    case SyntaxKind::SHAPE_STMT:
    case SyntaxKind::CLONE_STMT:
        prebind(cell, walk::as_name(tree, node), hir::BindingKind::Shape);
        break;
    case SyntaxKind::PLACE_STMT:
        if (const std::uint32_t spec = walk::child_node(tree, node, SyntaxKind::PLACE_SPEC);
            spec != syntax::no_index) {
            prebind(cell, walk::as_name(tree, spec), hir::BindingKind::Instance);
        } else if (const std::uint32_t block = walk::block_child(tree, node);
                   block != syntax::no_index) {
            prescan(cell, block);
        }
        break;
    case SyntaxKind::PLACE_SPEC:
        prebind(cell, walk::as_name(tree, node), hir::BindingKind::Instance);
        break;
    default:
        break;
    }
}

void Lowerer::lower_cell(hir::CellId cell, const SyntaxNode& def_node) {
    tree_ = def_node.tree().get();
    const syntax::Tree& tree = *tree_;
    const std::uint32_t def = def_node.index();
    current_cell_ = cell;
    const auto first_name = static_cast<std::uint32_t>(hir_.cell_names.size());
    prebound_.clear();
    scopes_.clear();
    // Declarations by their index among the cell's own, and their node.
    std::vector<std::pair<std::uint32_t, std::uint32_t>> pending_params;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> pending_attrs;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> pending_markers;
    const auto each = [&tree](std::uint32_t node, SyntaxKind kind, auto&& visit) {
        walk::Children children(tree, node);
        for (std::uint32_t child = children.next(); child != syntax::no_index;
             child = children.next()) {
            if (tree.kind(child) == kind) {
                visit(child);
            }
        }
    };
    const auto param = [&](std::uint32_t decl) { declare_param(cell, decl, pending_params); };
    if (const std::uint32_t list = walk::child_node(tree, def, SyntaxKind::PARAM_LIST);
        list != syntax::no_index) {
        each(list, SyntaxKind::PARAM_DECL, param);
    }
    walk::Children sections(tree, def);
    for (std::uint32_t section = sections.next(); section != syntax::no_index;
         section = sections.next()) {
        const SyntaxKind kind = tree.kind(section);
        if (kind == SyntaxKind::PARAM_SECTION) {
            each(section, SyntaxKind::PARAM_DECL, param);
        } else if (kind == SyntaxKind::ATTR_SECTION) {
            each(section, SyntaxKind::ATTR_DECL, [&](std::uint32_t decl) {
                const std::uint32_t name = walk::child_node(tree, decl, SyntaxKind::NAME);
                const auto index = static_cast<std::uint32_t>(hir_.cells[cell].attrs.size());
                if (name == syntax::no_index ||
                    !declare_cell_name(cell, name, hir::Res{hir::Res::Attr{cell, index}})) {
                    return;
                }
                const hir::ExprId placeholder = missing(tree.range(decl));
                hir_.cells[cell].attrs.push_back({.name = std::string(walk::name_text(tree, name)),
                                                  .src = src_at(name),
                                                  .value = placeholder});
                pending_attrs.emplace_back(index, decl);
            });
        } else if (kind == SyntaxKind::MARKER_SECTION) {
            each(section, SyntaxKind::MARKER_DECL, [&](std::uint32_t decl) {
                const std::uint32_t name = walk::child_node(tree, decl, SyntaxKind::NAME);
                const auto index = static_cast<std::uint32_t>(hir_.cells[cell].markers.size());
                if (name == syntax::no_index ||
                    !declare_cell_name(cell, name, hir::Res{hir::Res::Marker{cell, index}})) {
                    return;
                }
                hir_.cells[cell].markers.push_back(
                    {.name = std::string(walk::name_text(tree, name)), .src = src_at(name)});
                pending_markers.emplace_back(index, decl);
            });
        }
    }
    prescan(cell, def);
    // Every name of the cell's level is declared by now, and no other cell's come between.
    hir_.cells[cell].names = {first_name,
                              static_cast<std::uint32_t>(hir_.cell_names.size()) - first_name};

    define_names_.clear();
    each(def, SyntaxKind::DEFINE_STMT, [&](std::uint32_t define) {
        if (const std::uint32_t name = walk::child_node(tree, define, SyntaxKind::NAME);
            name != syntax::no_index) {
            define_names_.push_back(walk::name_text(tree, name));
        }
    });
    std::ranges::sort(define_names_);
    for (const auto& [index, decl] : pending_params) {
        if (const std::uint32_t value = walk::child_after(tree, decl, SyntaxKind::EQ);
            value != syntax::no_index) {
            const hir::ExprId lowered = lower_at(value);
            hir_.cells[cell].params[index].default_value = lowered;
        }
    }
    for (const auto& [index, decl] : pending_attrs) {
        const hir::ExprId lowered = expr_at(walk::first_expr(tree, decl), decl);
        hir_.cells[cell].attrs[index].value = lowered;
    }
    for (const auto& [index, decl] : pending_markers) {
        std::vector<hir::ExprId> at;
        each(decl, SyntaxKind::MARKER_AT, [&](std::uint32_t clause) {
            // Either one location or an AT_LIST of them.
            const std::uint32_t list = walk::child_node(tree, clause, SyntaxKind::AT_LIST);
            std::uint32_t found = 0;
            walk::Children children(tree, list != syntax::no_index ? list : clause);
            for (std::uint32_t child = children.next(); child != syntax::no_index;
                 child = children.next()) {
                if (walk::is_expr(tree.kind(child))) {
                    at.push_back(lower_at(child));
                    ++found;
                    if (list == syntax::no_index) {
                        break;
                    }
                }
            }
            if (found == 0) {
                error(src_at(clause), "`at` needs a location");
            }
        });
        const std::size_t from = arg_stack_.size();
        each(decl, SyntaxKind::WITH_CLAUSE, [&](std::uint32_t clause) { push_args(clause); });
        const hir::ArgRun with = take_args(from);
        hir::MarkerDef& marker = hir_.cells[cell].markers[index];
        if (at.empty()) {
            error(src_at(decl), "marker `" + marker.name + "` needs a location (`at ...`)");
        }
        marker.at = std::move(at);
        marker.with = with;
    }
    define_names_.clear();

    scopes_.push();
    const hir::Body body = hir_.add_body(stmts(def, Level::Cell));
    scopes_.pop();
    hir_.cells[cell].body = body;
    current_cell_.reset();
}

} // namespace quorvane_dsl::lower
