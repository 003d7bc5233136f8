// Name resolution in a fixed order of scopes, and the "did you mean" suggestions.
#include <algorithm>

#include "lower/lowerer.hpp"
#include "lower/walk.hpp"
#include "units/units.hpp"

namespace quorvane_dsl::lower {

// A local or a cell-level name was interned when it was declared, so a text never interned is
// neither.
std::optional<hir::Res> Lowerer::lookup(std::string_view text) const {
    const std::optional<hir::Symbol> symbol = hir_.texts.find(text);
    if (symbol) {
        if (const auto binding = scopes_.find(*symbol)) {
            return hir::Res{hir::Res::Local{*binding}};
        }
    }
    if (current_xs_) {
        if (const auto param = hir_.xsections[*current_xs_].param(text)) {
            return hir::Res{hir::Res::XsParam{*current_xs_, param->first}};
        }
    }
    if (current_cell_ && symbol && symbol->raw < cell_names_.size() &&
        cell_names_[symbol->raw].cell_plus_one == current_cell_->raw + 1) {
        return cell_names_[symbol->raw].res;
    }
    if (const auto found = hir_.globals.find(text); found != hir_.globals.end()) {
        return found->second.res();
    }
    if (const auto builtin = hir::builtin_by_name(text)) {
        return hir::Res{hir::Res::Builtin{*builtin}};
    }
    return std::nullopt;
}

hir::Res Lowerer::resolve(std::uint32_t name_ref, source::TextRange range) {
    const std::string_view name = walk::name_text(*tree_, name_ref);
    const hir::Src at = src(range);
    if (auto res = lookup(name)) {
        occurrence(*res, at, false);
        return *res;
    }
    const std::string text(name);
    if (std::ranges::binary_search(define_names_, name)) {
        error(at, "`" + text +
                      "` is a variable of the cell body, which `param`, `attribute` and `marker` "
                      "cannot see; define it as an attribute to use it here");
        return hir::Res{};
    }
    diag::Nearest nearest(text);
    if (!hidden_errors_.hidden(hir_.diagnostics, at)) {
        std::vector<std::string_view> visible;
        for (const hir::Symbol symbol : scopes_.names()) {
            visible.push_back(hir_.text(symbol));
        }
        nearest.consider(diag::candidates(visible));
    }
    error(at, "unknown name `" + text + "`");
    pending_hints_.push_back({.diagnostic = hir_.diagnostics.size() - 1,
                              .nearest = std::move(nearest),
                              .cell = current_cell_,
                              .xs = current_xs_});
    return hir::Res{};
}

std::optional<hir::LayerId> Lowerer::layer_ref(const SyntaxNode& name_ref) {
    tree_ = name_ref.tree().get();
    return layer_ref(name_ref.index());
}

std::optional<hir::LayerId> Lowerer::layer_ref(std::uint32_t name_ref) {
    const std::string name(walk::name_text(*tree_, name_ref));
    const hir::Src at = src_at(name_ref);
    const auto found = hir_.globals.find(name);
    if (found == hir_.globals.end()) {
        error(at, "unknown layer `" + name + "`");
        pending_hints_.push_back({.diagnostic = hir_.diagnostics.size() - 1,
                                  .nearest = diag::Nearest(name),
                                  .among_layers = true});
        return std::nullopt;
    }
    if (found->second.kind != hir::Global::Kind::Layer) {
        error(at, "`" + name + "` is not a layer");
        return std::nullopt;
    }
    const hir::LayerId id{found->second.index};
    occurrence(hir::Res{hir::Res::Layer{id}}, at, false);
    return id;
}

hir::Hir Lowerer::finish() {
    if (pending_hints_.empty()) {
        return std::move(hir_);
    }
    std::vector<std::string_view> layers;
    for (const hir::LayerDef& layer : hir_.layers) {
        layers.push_back(layer.name);
    }
    std::vector<std::string_view> everywhere;
    for (const auto& [global, def] : hir_.globals) {
        everywhere.push_back(global);
    }
    for (std::size_t i = 0; i < hir::builtin_count; ++i) {
        everywhere.push_back(hir::builtin_name(static_cast<hir::Builtin>(i)));
    }
    const HintNames common{diag::candidates(everywhere), diag::candidates(layers)};
    const std::vector<bool> shown = diag::may_be_shown(hir_.diagnostics);
    for (PendingHint& pending : pending_hints_) {
        if (shown[pending.diagnostic]) {
            add_hint(pending, common);
        }
    }
    return std::move(hir_);
}

void Lowerer::add_hint(PendingHint& pending, const HintNames& common) {
    diag::Nearest& nearest = pending.nearest;
    if (pending.among_layers) {
        nearest.consider(common.layers);
    } else {
        std::vector<std::string_view> enclosing;
        if (pending.cell) {
            for (const hir::CellName& name : hir_.names_of(hir_.cells[*pending.cell].names)) {
                enclosing.push_back(hir_.text(name.name));
            }
        }
        if (pending.xs) {
            for (const hir::ParamDef& param : hir_.xsections[*pending.xs].params) {
                enclosing.push_back(param.name);
            }
        }
        nearest.consider(diag::candidates(enclosing));
        nearest.consider(common.everywhere);
    }
    hir_.diagnostics[pending.diagnostic].message += nearest.hint();
}

} // namespace quorvane_dsl::lower
