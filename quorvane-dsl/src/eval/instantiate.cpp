#include <algorithm>
#include <cstdint>
#include <utility>

#include "base/fatal.hpp"
#include "eval/evaluator.hpp"
#include "eval/variant_name.hpp"
#include "units/units.hpp"

namespace quorvane_dsl::eval {

namespace {

std::optional<std::uint64_t> as_optional(const Result<std::uint64_t>& r) {
    return r ? std::optional(*r) : std::nullopt;
}

// What no parent reads of a child it places: its shapes, instances and connections.
void drop_layout(ir::Cell& cell) {
    cell.shapes = {};
    cell.instances = {};
    cell.connections = {};
}

Result<std::uint64_t> from_optional(const std::optional<std::uint64_t>& cell) {
    if (!cell) {
        return std::unexpected(Stop{});
    }
    return *cell;
}

} // namespace

Result<std::uint64_t> Evaluator::copy_imported(const hir::CellDef& def, std::size_t file,
                                               std::size_t cell, const std::vector<ArgValue>& args,
                                               hir::Src use) {
    if (!args.empty()) {
        return fail(args[0].src, "`" + def.name + "` has no parameter `" + args[0].name + "`");
    }
    const load::IrFile& ir_file = hir.ir_files[file];
    std::string reason;
    if (ir_file.library.dbu != dbu) {
        reason = "it uses a database unit of " + units::format_number(ir_file.library.dbu) +
                 "nm, this layout " + units::format_number(dbu) + "nm";
    } else {
        const std::size_t before = lib.cells.size();
        link::CopyPath path;
        auto copied_cell = linker.copy_cell(lib, file, ir_file.library, cell, path);
        if (copied_cell) {
            for (std::size_t i = before; i < lib.cells.size(); ++i) {
                copied.insert(i);
                if (!keep_library) {
                    drop_layout(lib.cells[i]);
                }
            }
            return *copied_cell;
        }
        reason = std::move(copied_cell.error());
    }
    return fail(use, "cannot use `" + def.name + "` from `" + hir.files[ir_file.file].name +
                         "`: " + reason);
}

Result<std::uint64_t> Evaluator::instantiate(hir::CellId cell, const std::vector<ArgValue>& args,
                                             hir::Src use) {
    const hir::CellDef& def = hir.cells[cell];
    if (const auto* imported = std::get_if<hir::CellOrigin::Imported>(&def.origin.kind)) {
        return copy_imported(def, imported->file, imported->cell, args, use);
    }
    if (on_stack[cell.raw]) {
        std::string chain;
        for (auto it = std::ranges::find(stack, cell); it != stack.end(); ++it) {
            chain += hir.cells[*it].name + " \u2192 ";
        }
        return fail(use, "cell `" + def.name + "` contains itself: " + chain + def.name);
    }
    if (args.empty() && plain_instances[cell.raw]) {
        return from_optional(*plain_instances[cell.raw]);
    }
    CellState state(hir, cell);
    if (!params(state, args)) {
        return std::unexpected(Stop{});
    }
    std::optional<std::string> key = param_key(state);
    if (!key) {
        return std::unexpected(Stop{});
    }
    const std::pair<std::uint32_t, std::string> variant{cell.raw, *key};
    if (const auto found = instances.find(variant); found != instances.end()) {
        return from_optional(found->second);
    }
    const std::optional<std::string> defaults = default_key(cell);
    std::string name = defaults == key ? def.name : variant_name(def.name, *key);
    stack.push_back(cell);
    on_stack[cell.raw] = true;
    const Result<std::uint64_t> built = build(std::move(state), std::move(name));
    on_stack[cell.raw] = false;
    stack.pop_back();
    if (placed[cell.raw]) {
        instances.emplace(variant, as_optional(built));
    }
    if (args.empty() && !plain_instances[cell.raw]) {
        plain_instances[cell.raw] = as_optional(built);
    }
    return built;
}

Result<void> Evaluator::params(CellState& cell, const std::vector<ArgValue>& args) {
    const hir::CellDef& def = hir.cells[cell.cell];
    for (std::size_t i = 0; i < def.params.size(); ++i) {
        const hir::ParamDef& param = def.params[i];
        const auto given = std::ranges::find(args, param.name, &ArgValue::name);
        if (given != args.end()) {
            cell.params[i] = given->value;
            continue;
        }
        if (!param.default_value) {
            return fail(args.empty() ? def.src : args[0].src,
                        "missing parameter `" + param.name + "` of `" + def.name + "`");
        }
        Env env;
        auto v = eval(*param.default_value, env, &cell);
        if (!v) {
            return std::unexpected(v.error());
        }
        cell.params[i] = std::move(*v);
    }
    return {};
}

std::optional<std::string> Evaluator::param_key(CellState& cell) {
    const hir::CellDef& def = hir.cells[cell.cell];
    std::vector<std::pair<std::string, std::string>> entries;
    entries.reserve(def.params.size());
    for (std::size_t i = 0; i < def.params.size(); ++i) {
        if (!cell.params[i]) {
            base::fatal("params evaluated: parameter `" + def.params[i].name + "` has no value");
        }
        auto stored = store_value(*cell.params[i], def.src);
        if (!stored) {
            return std::nullopt;
        }
        entries.emplace_back(def.params[i].name, stored->to_literal());
    }
    std::ranges::sort(entries);
    std::string key;
    for (const auto& [name, literal] : entries) {
        if (!key.empty()) {
            key += ';';
        }
        key += name + "=" + literal;
    }
    return key;
}

std::optional<std::string> Evaluator::default_key(hir::CellId cell) {
    if (default_keys[cell.raw]) {
        return *default_keys[cell.raw];
    }
    const hir::CellDef& def = hir.cells[cell];
    const bool all_defaults = std::ranges::all_of(
        def.params, [](const hir::ParamDef& p) { return p.default_value.has_value(); });
    std::optional<std::string> key;
    if (all_defaults) {
        // Only the key is wanted here; the defaults' own faults are reported where a variant
        // really uses them.
        key = quietly([&]() -> std::optional<std::string> {
            CellState state(hir, cell);
            if (!params(state, {})) {
                return std::nullopt;
            }
            return param_key(state);
        });
    }
    // The first key settled stays, should computing this one have settled it already. A cell
    // no `place` names asks for it once.
    if (!default_keys[cell.raw] && placed[cell.raw]) {
        default_keys[cell.raw] = key;
    }
    return key;
}

} // namespace quorvane_dsl::eval
