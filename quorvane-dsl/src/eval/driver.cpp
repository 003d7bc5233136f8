#include <algorithm>
#include <cmath>
#include <unordered_set>
#include <utility>

#include "eval/eval.hpp"
#include "eval/evaluator.hpp"
#include "eval/finish.hpp"

namespace quorvane_dsl::eval {

namespace {

// By cell index, whether some `place` statement names the cell, directly or through member
// access and indexing.
std::vector<bool> placed_cells(const hir::Hir& hir) {
    std::vector<bool> placed(hir.cells.size(), false);
    for (const hir::Stmt& stmt : hir.stmts) {
        const auto* place = std::get_if<hir::Stmt::Place>(&stmt.kind);
        if (!place) {
            continue;
        }
        hir::ExprId target = place->target;
        for (;;) {
            const hir::Expr& e = hir.expr(target);
            if (const auto* field = std::get_if<hir::Expr::Field>(&e.kind)) {
                target = field->base;
            } else if (const auto* index = std::get_if<hir::Expr::Index>(&e.kind)) {
                target = index->base;
            } else {
                break;
            }
        }
        if (const auto* name = std::get_if<hir::Expr::Name>(&hir.expr(target).kind)) {
            if (const auto* cell = std::get_if<hir::Res::Cell>(&name->res.kind)) {
                placed[cell->id.raw] = true;
            }
        }
    }
    return placed;
}

bool in_root_file(const hir::CellDef& def) {
    return std::holds_alternative<hir::CellOrigin::Source>(def.origin.kind) &&
           def.src.file == source::FileId{};
}

} // namespace

struct Driver {
    Evaluator& ev;
    const hir::Hir& hir;

    void settle_dbu() {
        const auto global = hir.globals.find("dbu");
        if (global == hir.globals.end() || global->second.kind != hir::Global::Kind::Const) {
            return;
        }
        const hir::ConstId id{global->second.index};
        const auto value = ev.const_value(id);
        if (!value) {
            return;
        }
        const auto* q = std::get_if<Value::Quantity>(&value->kind);
        // An infinite unit would turn every length on the grid into NaN or 0.
        if (q && q->dim == Value::length_dim && q->value > 0 && std::isfinite(q->value)) {
            ev.dbu = q->value;
        } else {
            ev.fail(hir.consts[id].src, "`dbu` must be a positive size");
        }
    }

    void add_layers() {
        for (std::size_t i = 0; i < hir.layers.size(); ++i) {
            const hir::LayerDef& layer = hir.layers[hir::LayerId{static_cast<std::uint32_t>(i)}];
            if (!layer.gds) {
                continue;
            }
            ev.layer_map.emplace(hir::LayerId{static_cast<std::uint32_t>(i)}, ev.lib.layers.size());
            ev.lib.layers.push_back(ir::Layer{layer.name, layer.gds->first, layer.gds->second});
        }
    }

    std::vector<std::pair<hir::CellId, hir::Src>>
    named_tops(const std::vector<std::string>& names) {
        std::vector<std::pair<hir::CellId, hir::Src>> tops;
        for (const std::string& name : names) {
            if (const auto cell = hir.cell_by_name(name)) {
                tops.emplace_back(*cell, hir.cells[*cell].src);
            } else {
                ev.fail(hir::Src{}, "no cell named `" + name + "`");
            }
        }
        return tops;
    }

    // The root file's cells that nothing places. When the root file has cells but every one is
    // placed, building nothing would pass off an empty layout as the design: that is an error.
    std::vector<std::pair<hir::CellId, hir::Src>> default_tops() {
        std::vector<std::pair<hir::CellId, hir::Src>> tops;
        bool root_has_cells = false;
        for (std::size_t i = 0; i < hir.cells.size(); ++i) {
            const hir::CellId id{static_cast<std::uint32_t>(i)};
            const hir::CellDef& def = hir.cells[id];
            if (!in_root_file(def)) {
                continue;
            }
            root_has_cells = true;
            if (!ev.placed[id.raw]) {
                tops.emplace_back(id, def.src);
            }
        }
        if (root_has_cells && tops.empty()) {
            ev.fail(hir::Src{}, "no top cell: every cell of " + hir.files[source::FileId{}].name +
                                    " is placed by another; name one with --top");
        }
        return tops;
    }
};

EvalResult evaluate(const Analysis& analysis, const EvalOptions& options) {
    if (diag::has_error(analysis.hir.diagnostics)) {
        return {};
    }
    Evaluator ev(analysis);
    ev.max_steps = options.step_limit;
    ev.keep_library = options.keep_library;
    ev.placed = placed_cells(analysis.hir);
    Driver driver{ev, analysis.hir};
    driver.settle_dbu();
    ev.lib.dbu = ev.dbu;
    driver.add_layers();
    const auto tops =
        options.tops.empty() ? driver.default_tops() : driver.named_tops(options.tops);
    // A design of many unplaced cells has as many tops: no search through the list per top.
    std::unordered_set<std::uint64_t> listed(ev.lib.tops.begin(), ev.lib.tops.end());
    for (const auto& [cell, src] : tops) {
        // Past the evaluation limit nothing more can be built; stop before reporting more.
        if (ev.limit_reached) {
            break;
        }
        const auto index = ev.instantiate(cell, {}, src);
        if (index && options.keep_library && listed.insert(*index).second) {
            ev.lib.tops.push_back(*index);
        }
    }
    EvalResult result;
    // Connecting ports and settling names report nothing: without a library they have no reader.
    if (options.keep_library && !diag::has_error(ev.diagnostics)) {
        connect_ports(ev.lib);
        settle_names(ev.lib, ev.copied);
        result.library = std::move(ev.lib);
    }
    result.diagnostics = std::move(ev.diagnostics);
    return result;
}

} // namespace quorvane_dsl::eval
