// Cross-sections: parameters with their defaults, sections, and `with` properties.
#include "lower/lowerer.hpp"

namespace quorvane_dsl::lower {

void Lowerer::declare_xsection(const SyntaxNode& def) {
    const auto name = ast::name_child(def);
    if (!name) {
        return;
    }
    const hir::XsId id =
        hir_.xsections.alloc(hir::XsDef{.name = name->text(), .src = src(name->syntax)});
    if (declare_global_at(name->text(), name->syntax.text_range(),
                          {hir::Global::Kind::XSection, id.raw})) {
        occurrence(hir::Res{hir::Res::XSection{id}}, src(name->syntax), true);
        xs_work_.push_back({file_, id.raw, def});
    }
}

std::string param_needs_type(const std::string& name) {
    return "parameter `" + name + "` needs a type or a default value, e.g. `" + name +
           " size` or `" + name + " = 1um`";
}

void Lowerer::lower_xsection(hir::XsId xs, const SyntaxNode& def) {
    current_xs_ = xs;
    std::vector<std::pair<std::uint32_t, ast::ParamDecl>> pending;
    if (const auto list = ast::child_node(def, SyntaxKind::PARAM_LIST)) {
        for (const SyntaxNode& node : ast::child_nodes(*list, SyntaxKind::PARAM_DECL)) {
            const ast::ParamDecl decl{node};
            const auto name = decl.name();
            if (!name) {
                continue;
            }
            const std::string text = name->text();
            auto& params = hir_.xsections[xs].params;
            if (const auto earlier = hir_.xsections[xs].param(text)) {
                hir_.diagnostics.push_back(
                    diag::Diagnostic{.message = "`" + text + "` is already a parameter",
                                     .notes = {{"first defined here", earlier->second->src}},
                                     .src = src(name->syntax)});
                continue;
            }
            std::optional<hir::TypeAnn> ty;
            if (const auto type = decl.type()) {
                ty = type_ann(hir_.texts, file_, *type);
            }
            if (!ty && !decl.default_value()) {
                error(src(node), param_needs_type(text));
            }
            const auto position = static_cast<std::uint32_t>(params.size());
            params.push_back(
                hir::ParamDef{.name = text, .ty = std::move(ty), .src = src(name->syntax)});
            occurrence(hir::Res{hir::Res::XsParam{xs, position}}, src(name->syntax), true);
            pending.emplace_back(position, decl);
        }
    }
    // Every parameter is declared before any default, so defaults may name each other.
    for (const auto& [position, decl] : pending) {
        if (const auto value = decl.default_value()) {
            const hir::ExprId lowered = lower_expr(*value);
            hir_.xsections[xs].params[position].default_value = lowered;
        }
    }
    std::vector<hir::XsSection> sections;
    for (const SyntaxNode& node : ast::child_nodes(def, SyntaxKind::XS_SECTION)) {
        hir::XsSection section{.src = src(node)};
        if (const auto layer = ast::child_node(node, SyntaxKind::NAME_REF)) {
            section.layer = layer_ref(*layer);
        }
        // The first expression child is the layer's name.
        const std::vector<ast::Expr> parts = ast::exprs(node);
        section.width =
            expr(parts.size() > 1 ? std::optional(parts[1]) : std::nullopt, node.text_range());
        if (const auto offset = ast::child_node(node, SyntaxKind::OFFSET_MOD)) {
            section.offset = expr(ast::first_expr(*offset), offset->text_range());
        }
        sections.push_back(std::move(section));
    }
    if (sections.empty()) {
        error(hir_.xsections[xs].src,
              "a cross-section needs at least one section, e.g. `si 500nm`");
    }
    const std::size_t from = arg_stack_.size();
    for (const SyntaxNode& clause : ast::child_nodes(def, SyntaxKind::WITH_CLAUSE)) {
        push_args(clause);
    }
    hir_.xsections[xs].sections = std::move(sections);
    hir_.xsections[xs].props = take_args(from);
    current_xs_.reset();
}

} // namespace quorvane_dsl::lower
