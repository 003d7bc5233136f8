// Layer tables: names and GDS numbers in the declaration pass, other properties later.
#include <charconv>

#include "lower/lowerer.hpp"
#include "syntax/lexer.hpp"

namespace quorvane_dsl::lower {
namespace {

// A whole decimal i32 without unit; anything else (1um, 1.5, 1e3, out of range) is none.
std::optional<std::int32_t> gds_number(const std::optional<std::string>& text) {
    if (!text) {
        return std::nullopt;
    }
    const auto parts = syntax::lexer::split_number(*text);
    std::string_view digits = parts.numeral;
    if (!parts.unit.empty() || digits.empty()) {
        return std::nullopt;
    }
    // from_chars takes a minus sign but no plus sign.
    if (digits.front() == '+') {
        digits.remove_prefix(1);
        if (digits.empty() || digits.front() == '-') {
            return std::nullopt;
        }
    }
    std::int32_t value = 0;
    const auto [end, fault] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (fault != std::errc{} || end != digits.data() + digits.size()) {
        return std::nullopt;
    }
    return value;
}

} // namespace

void Lowerer::declare_layer(const SyntaxNode& def) {
    const auto name = ast::name_child(def);
    if (!name) {
        return;
    }
    bool gds_seen = false;
    std::optional<std::pair<std::int32_t, std::int32_t>> gds;
    for (const SyntaxNode& prop : ast::child_nodes(def, SyntaxKind::LAYER_PROP)) {
        const auto spec = ast::LayerProp{prop}.gds();
        if (!spec) {
            continue;
        }
        gds_seen = true;
        // With their signs: layers read back from GDSII may be negative.
        const auto layer = gds_number(spec->signed_layer());
        const auto datatype = gds_number(spec->signed_datatype());
        if (layer && datatype) {
            gds = std::pair{*layer, *datatype};
        } else {
            error(src(spec->syntax), "expected `<layer>/<datatype>` with integer numbers");
        }
    }
    const hir::LayerId id = hir_.layers.alloc(
        hir::LayerDef{.name = name->text(), .gds = gds, .src = src(name->syntax)});
    if (!declare_global_at(name->text(), name->syntax.text_range(),
                           {hir::Global::Kind::Layer, id.raw})) {
        return;
    }
    if (!gds_seen) {
        error(src(name->syntax),
              "layer `" + name->text() + "` needs a `gds <layer>/<datatype>` property");
    }
    occurrence(hir::Res{hir::Res::Layer{id}}, src(name->syntax), true);
    layer_work_.push_back({file_, id.raw, def});
}

void Lowerer::layer_props(hir::LayerId layer, const SyntaxNode& def) {
    for (const SyntaxNode& prop : ast::child_nodes(def, SyntaxKind::LAYER_PROP)) {
        const ast::LayerProp view{prop};
        if (view.gds()) {
            continue;
        }
        std::string name;
        // A `gds` keyword without a well-formed spec still names the property.
        if (const auto keyword = ast::token(prop, SyntaxKind::GDS_KW)) {
            name = std::string(keyword->text());
        } else if (const auto written = view.name()) {
            name = written->text();
        } else {
            continue;
        }
        const auto value = view.value();
        const hir::ExprId expr = value ? lower_expr(*value) : missing(prop.text_range());
        hir_.layers[layer].props.emplace_back(std::move(name), expr);
    }
}

} // namespace quorvane_dsl::lower
