#include "check/check.hpp"

#include <unordered_set>

#include "diag/suggestion.hpp"

namespace quorvane_dsl::check {

using hir::Expr;
using hir::ExprId;

namespace {

// The expression a placed anchor or section is taken from.
ExprId placed_root(const hir::Hir& hir, ExprId id) {
    for (;;) {
        const auto& kind = hir.expr(id).kind;
        if (const auto* field = std::get_if<Expr::Field>(&kind)) {
            id = field->base;
        } else if (const auto* index = std::get_if<Expr::Index>(&kind)) {
            id = index->base;
        } else {
            return id;
        }
    }
}

const hir::Res* name_res(const hir::Hir& hir, ExprId id) {
    const auto* name = std::get_if<Expr::Name>(&hir.expr(id).kind);
    return name ? &name->res : nullptr;
}

// Pointers rather than optional ids: g++ 12 misreads optionals of ids here as uninitialised.
const hir::Res::Local* local_of(const hir::Res* res) {
    return res ? std::get_if<hir::Res::Local>(&res->kind) : nullptr;
}

std::optional<hir::CellId> cell_of(const hir::Res* res) {
    const auto* cell = res ? std::get_if<hir::Res::Cell>(&res->kind) : nullptr;
    return cell ? std::optional(cell->id) : std::nullopt;
}

} // namespace

void Checker::place(hir::StmtId id, const hir::Stmt::Place& stmt) {
    const hir::Src& at = hir.stmt_src(id);
    const Ty target = infer(stmt.target);
    const hir::Res* root = name_res(hir, placed_root(hir, stmt.target));
    const hir::Res::Local* root_local = local_of(root);
    const auto placed_cell = cell_of(root);

    if (root_local) {
        const hir::Binding& binding = hir.bindings[root_local->binding];
        const std::optional<Ty>& found = types.bindings[root_local->binding.raw];
        const auto primitive = found && found->is_shape() ? found->primitive() : std::nullopt;
        if (primitive && *primitive >= hir::Primitive::Union) {
            expr_error(stmt.target, "`" + std::string(hir.text(binding.name)) +
                                        "` is the result of `" +
                                        std::string(hir::primitive_name(*primitive)) +
                                        "` and lies where its operands are placed; it cannot "
                                        "be placed");
        }
        if (combined.contains(root_local->binding)) {
            expr_error(stmt.target, "`" + std::string(hir.text(binding.name)) +
                                        "` combines other shapes and lies where they are placed; "
                                        "it cannot be placed");
        }
    }

    // An anchor is placed through the shape or the cell it is taken from.
    const bool shape_root =
        root_local && hir.bindings[root_local->binding].kind == hir::BindingKind::Shape;
    const hir::Res* target_res = name_res(hir, stmt.target);
    const hir::Res::Local* target_local = local_of(target_res);
    bool accepted = false;
    if (target.is_unknown()) {
        accepted = true;
    } else if (target.is(TyKind::Point)) {
        accepted = placed_cell || shape_root;
    } else if (target.is_shape()) {
        accepted = target_local != nullptr;
    } else if (target.is(TyKind::Instance) && target_local) {
        expr_error(stmt.target,
                   "instance `" + std::string(hir.text(hir.bindings[target_local->binding].name)) +
                       "` is already placed; `place` a cell to create a new "
                       "instance");
        accepted = true;
    } else if (target.is(TyKind::Cell)) {
        accepted = cell_of(target_res).has_value();
    }
    if (!accepted) {
        expr_error(stmt.target, "`place` needs a shape, a shape anchor, a cell or a cell anchor");
    }

    if (!placed_cell) {
        if (stmt.args.count != 0) {
            for (const hir::Arg& arg : hir.args_of(stmt.args)) {
                infer(arg.value);
            }
            error(at, "`with` on `place` gives cell parameters; only cells take them");
        }
        if (stmt.name) {
            error(hir.bindings[*stmt.name].src,
                  "`as` names a new instance; shapes are named by `shape ... as`");
        }
    } else {
        with_arguments(at, stmt, *placed_cell);
    }

    expect(stmt.at, Ty::point());
    if (stmt.offset) {
        expect(*stmt.offset, Ty::point());
    }
    if (stmt.rotate) {
        expect(*stmt.rotate, Ty::angle());
    }
}

void Checker::with_arguments(const hir::Src& at, const hir::Stmt::Place& stmt, hir::CellId placed) {
    const hir::CellDef& def = hir.cells[placed];
    if (stmt.star) {
        expr_error(stmt.target,
                   "`place*` positions auxiliary shapes; cells are placed with `place`");
    }
    if (stmt.in_layer) {
        expr_error(stmt.target, "cells are placed outside `layer` blocks");
    }
    if (cell == placed) {
        expr_error(stmt.target, "a cell cannot contain itself");
    }
    std::unordered_set<std::uint32_t> given;
    for (const hir::Arg& arg : hir.args_of(stmt.args)) {
        const Ty value = infer(arg.value);
        if (!arg.name) {
            expr_error(arg.value, "cell parameters are passed by name: `with name = value`");
            continue;
        }
        const std::string name(hir.text(arg.name->name));
        std::optional<std::uint32_t> found;
        for (std::uint32_t i = 0; i < def.params.size() && !found; ++i) {
            if (def.params[i].name == name) {
                found = i;
            }
        }
        if (!found) {
            std::vector<std::string_view> names;
            for (const hir::ParamDef& param : def.params) {
                names.push_back(param.name);
            }
            error(arg.name->src, "`" + def.name + "` has no parameter `" + name + "`" +
                                     diag::suggestion(name, names));
            continue;
        }
        if (!given.insert(*found).second) {
            error(arg.name->src, "parameter `" + name + "` is given twice");
        }
        const Ty& declared = types.params[placed.raw][*found];
        if (!assignable(value, declared)) {
            expr_error(arg.value, "parameter `" + name + "` of `" + def.name + "` is " +
                                      show(declared) + ", found " + show(value) +
                                      unit_hint(arg.value, declared));
        }
    }
    std::string missing;
    for (std::uint32_t i = 0; i < def.params.size(); ++i) {
        if (!def.params[i].default_value && !given.contains(i)) {
            missing += (missing.empty() ? "`" : ", `") + def.params[i].name + "`";
        }
    }
    if (!missing.empty()) {
        error(at, "missing parameter " + missing + " of `" + def.name + "`");
    }
}

} // namespace quorvane_dsl::check
