// Cells: every cell-level name is declared before any expression of the cell is lowered.
#include "lower/lowerer.hpp"

namespace quorvane_dsl::lower {
std::optional<SyntaxNode> block_child(const SyntaxNode& node) {
    for (const SyntaxNode& child : node.children()) {
        if (child.kind() == SyntaxKind::BLOCK || child.kind() == SyntaxKind::PLACE_BLOCK) {
            return child;
        }
    }
    return std::nullopt;
}

std::optional<ast::Name> as_name(const SyntaxNode& node) {
    const auto as = ast::child_node(node, SyntaxKind::AS_NAME);
    return as ? ast::name_child(*as) : std::nullopt;
}

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

bool Lowerer::declare_cell_name(hir::CellId cell, const ast::Name& name, hir::Res res) {
    const auto [existing, inserted] = cell_names_.try_emplace(name.text(), res);
    if (!inserted) {
        diag::Diagnostic diagnostic{.message = "`" + existing->first +
                                               "` is already defined in cell `" +
                                               hir_.cells[cell].name + "`",
                                    .src = src(name.syntax)};
        if (const auto first = hir_.res_src(existing->second)) {
            diagnostic.notes.push_back({"first defined here", *first});
        }
        hir_.diagnostics.push_back(std::move(diagnostic));
        return false;
    }
    hir_.cell_names.push_back({hir_.texts.intern(existing->first), res});
    occurrence(std::move(res), src(name.syntax), true);
    return true;
}

void Lowerer::declare_param(hir::CellId cell, const ast::ParamDecl& decl,
                            std::vector<std::pair<std::uint32_t, ast::ParamDecl>>& pending) {
    const auto name = decl.name();
    if (!name) {
        return;
    }
    const auto index = static_cast<std::uint32_t>(hir_.cells[cell].params.size());
    if (!declare_cell_name(cell, *name, hir::Res{hir::Res::Param{cell, index}})) {
        return;
    }
    std::optional<hir::TypeAnn> ty;
    if (const auto type = decl.type()) {
        ty = type_ann(hir_.texts, file_, *type);
    }
    if (!ty && !decl.default_value()) {
        error(src(decl.syntax), param_needs_type(name->text()));
    }
    hir_.cells[cell].params.push_back(
        hir::ParamDef{.name = name->text(), .ty = std::move(ty), .src = src(name->syntax)});
    pending.emplace_back(index, decl);
}

void Lowerer::prebind(hir::CellId cell, const std::optional<ast::Name>& name,
                      hir::BindingKind kind) {
    if (!name) {
        return;
    }
    const hir::BindingId binding = new_binding(*name, kind, true);
    if (declare_cell_name(cell, *name, hir::Res{hir::Res::Local{binding}})) {
        prebound_[range_key(name->syntax.text_range())] = binding;
    }
}

void Lowerer::prescan(hir::CellId cell, const SyntaxNode& block) {
    for (const ast::Stmt& stmt : ast::statements(block)) {
        prescan_stmt(cell, stmt);
    }
}

// Reaches the `as` names of the cell's level: its top, and the insides of `layer` and `place`
// blocks at any depth, never the bodies of loops and conditionals.
void Lowerer::prescan_stmt(hir::CellId cell, const ast::Stmt& stmt) {
    const SyntaxNode& node = stmt.syntax();
    switch (stmt.kind()) {
    case ast::Stmt::Kind::LayerBlock:
        if (const auto block = block_child(node)) {
            prescan(cell, *block);
        }
        break;
    case ast::Stmt::Kind::ShapeStmt:
    case ast::Stmt::Kind::CloneStmt:
        prebind(cell, as_name(node), hir::BindingKind::Shape);
        break;
    case ast::Stmt::Kind::PlaceStmt:
        if (const auto spec = ast::PlaceStmt{node}.spec()) {
            prebind(cell, as_name(*spec), hir::BindingKind::Instance);
        } else if (const auto block = block_child(node)) {
            prescan(cell, *block);
        }
        break;
    case ast::Stmt::Kind::PlaceSpec:
        prebind(cell, as_name(node), hir::BindingKind::Instance);
        break;
    default:
        break;
    }
}

void Lowerer::lower_cell(hir::CellId cell, const SyntaxNode& def) {
    current_cell_ = cell;
    cell_names_.clear();
    const auto first_name = static_cast<std::uint32_t>(hir_.cell_names.size());
    prebound_.clear();
    scopes_.clear();
    std::vector<std::pair<std::uint32_t, ast::ParamDecl>> pending_params;
    std::vector<std::pair<std::uint32_t, SyntaxNode>> pending_attrs;
    std::vector<std::pair<std::uint32_t, SyntaxNode>> pending_markers;
    if (const auto list = ast::child_node(def, SyntaxKind::PARAM_LIST)) {
        for (const SyntaxNode& decl : ast::child_nodes(*list, SyntaxKind::PARAM_DECL)) {
            declare_param(cell, ast::ParamDecl{decl}, pending_params);
        }
    }
    for (const SyntaxNode& section : def.children()) {
        const SyntaxKind kind = section.kind();
        if (kind == SyntaxKind::PARAM_SECTION) {
            for (const SyntaxNode& decl : ast::child_nodes(section, SyntaxKind::PARAM_DECL)) {
                declare_param(cell, ast::ParamDecl{decl}, pending_params);
            }
        } else if (kind == SyntaxKind::ATTR_SECTION) {
            for (const SyntaxNode& decl : ast::child_nodes(section, SyntaxKind::ATTR_DECL)) {
                const auto name = ast::name_child(decl);
                const auto index = static_cast<std::uint32_t>(hir_.cells[cell].attrs.size());
                if (!name ||
                    !declare_cell_name(cell, *name, hir::Res{hir::Res::Attr{cell, index}})) {
                    continue;
                }
                const hir::ExprId placeholder = missing(decl.text_range());
                hir_.cells[cell].attrs.push_back(
                    {.name = name->text(), .src = src(name->syntax), .value = placeholder});
                pending_attrs.emplace_back(index, decl);
            }
        } else if (kind == SyntaxKind::MARKER_SECTION) {
            for (const SyntaxNode& decl : ast::child_nodes(section, SyntaxKind::MARKER_DECL)) {
                const auto name = ast::name_child(decl);
                const auto index = static_cast<std::uint32_t>(hir_.cells[cell].markers.size());
                if (!name ||
                    !declare_cell_name(cell, *name, hir::Res{hir::Res::Marker{cell, index}})) {
                    continue;
                }
                hir_.cells[cell].markers.push_back(
                    {.name = name->text(), .src = src(name->syntax)});
                pending_markers.emplace_back(index, decl);
            }
        }
    }
    prescan(cell, def);
    // Every name of the cell's level is declared by now, and no other cell's come between.
    hir_.cells[cell].names = {first_name,
                              static_cast<std::uint32_t>(hir_.cell_names.size()) - first_name};

    define_names_.clear();
    for (const SyntaxNode& define : ast::child_nodes(def, SyntaxKind::DEFINE_STMT)) {
        if (const auto name = ast::name_child(define)) {
            define_names_.insert(name->text());
        }
    }
    for (const auto& [index, decl] : pending_params) {
        if (const auto value = decl.default_value()) {
            const hir::ExprId lowered = expr(value, decl.syntax.text_range());
            hir_.cells[cell].params[index].default_value = lowered;
        }
    }
    for (const auto& [index, decl] : pending_attrs) {
        const hir::ExprId lowered = expr(ast::first_expr(decl), decl.text_range());
        hir_.cells[cell].attrs[index].value = lowered;
    }
    for (const auto& [index, decl] : pending_markers) {
        std::vector<hir::ExprId> at;
        for (const SyntaxNode& clause : ast::child_nodes(decl, SyntaxKind::MARKER_AT)) {
            const std::vector<ast::Expr> locations = ast::MarkerAt{clause}.locations();
            if (locations.empty()) {
                error(src(clause), "`at` needs a location");
            }
            for (const ast::Expr& location : locations) {
                at.push_back(lower_expr(location));
            }
        }
        const std::size_t from = arg_stack_.size();
        for (const SyntaxNode& clause : ast::child_nodes(decl, SyntaxKind::WITH_CLAUSE)) {
            push_args(clause);
        }
        const hir::ArgRun with = take_args(from);
        hir::MarkerDef& marker = hir_.cells[cell].markers[index];
        if (at.empty()) {
            error(src(decl), "marker `" + marker.name + "` needs a location (`at ...`)");
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
