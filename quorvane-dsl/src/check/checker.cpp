#include "check/check.hpp"

#include <algorithm>
#include <array>
#include <unordered_set>
#include <utility>

namespace quorvane_dsl::check {

using hir::CellId;
using hir::ConstId;
using hir::Expr;
using hir::ExprId;
using hir::Stmt;
using hir::XsId;

namespace {

struct NamedType {
    std::string_view name;
    Ty ty;
};

// The order is the one the unknown-property message lists.
const std::array<NamedType, 6> xs_properties = {{{"type", Ty::string()},
                                                 {"min_radius", Ty::size()},
                                                 {"radius", Ty::size()},
                                                 {"bend", Ty::string()},
                                                 {"p", Ty::number()},
                                                 {"pitch", Ty::size()}}};

const std::array<NamedType, 6> marker_attributes = {{{"angle", Ty::angle()},
                                                     {"width", Ty::size()},
                                                     {"kind", Ty::string()},
                                                     {"type", Ty::string()},
                                                     {"xsection", Ty::xsection()},
                                                     {"direction", Ty::string()}}};

const NamedType* find_named(std::span<const NamedType> table, std::string_view name) {
    const auto found = std::ranges::find(table, name, &NamedType::name);
    return found == table.end() ? nullptr : &*found;
}

// What parameters may hold, looking through lists.
bool parameter_element(const Ty& ty) {
    const Ty inner = ty.innermost();
    return inner.is(TyKind::Integer) || inner.is(TyKind::Bool) || inner.is(TyKind::String) ||
           inner.is(TyKind::Point) || inner.is(TyKind::XSection) || inner.is_quantity(dim_number) ||
           inner.is_quantity(dim_size) || inner.is_quantity(dim_angle);
}

bool is_string_literal(const hir::Hir& hir, ExprId id, std::string_view* text) {
    const auto* str = std::get_if<Expr::Str>(&hir.expr(id).kind);
    if (str == nullptr) {
        return false;
    }
    *text = hir.text(str->value);
    return true;
}

} // namespace

Checked check(const hir::Hir& hir, Options options) {
    Checker checker(hir, options);
    checker.run();
    return {std::move(checker.types), std::move(checker.diagnostics)};
}

Checker::Checker(const hir::Hir& hir, Options options) : hir(hir), options(options), members(hir) {
    if (options.expr_types) {
        types.exprs.assign(hir.exprs.size(), Ty::unknown());
    }
    types.bindings.assign(hir.bindings.size(), std::nullopt);
    types.params.resize(hir.cells.size());
}

void Checker::error(const hir::Src& src, std::string message) {
    diagnostics.push_back({std::move(message), {}, src, diag::Severity::Error});
}

void Checker::expr_error(ExprId expr, std::string message) {
    error(hir.expr_src(expr), std::move(message));
}

void Checker::too_deep(const hir::Src& src) {
    if (!too_deep_reported) {
        too_deep_reported = true;
        error(src, "checking nests too deeply (are brackets or blocks nested too far?)");
    }
}

Ty Checker::expect(ExprId expr, const Ty& wanted) {
    const Ty found = infer(expr);
    if (!assignable(found, wanted)) {
        expr_error(expr,
                   "expected " + show(wanted) + ", found " + show(found) + unit_hint(expr, wanted));
    }
    return found;
}

void Checker::run() {
    infer_params_and_bindings();
    check_xs_params();
    for (std::size_t c = 0; c < hir.cells.size(); ++c) {
        const CellId id{static_cast<std::uint32_t>(c)};
        cell = id;
        const auto& params = hir.cells[id].params;
        for (std::uint32_t i = 0; i < params.size(); ++i) {
            if (!params[i].ty && params[i].default_value) {
                types.params[id.raw][i] =
                    param_default_type(params[i].name, *params[i].default_value);
            }
        }
    }
    cell.reset();
    for (std::size_t k = 0; k < hir.consts.size(); ++k) {
        const_type(ConstId{static_cast<std::uint32_t>(k)});
    }
    for (std::size_t k = 0; k < hir.consts.size(); ++k) {
        const ConstId id{static_cast<std::uint32_t>(k)};
        if (hir.consts[id].name == "dbu" && !assignable(types.consts.at(id), Ty::size())) {
            error(hir.consts[id].src, "`dbu` must be a size, e.g. `1nm`");
        }
    }
    for (const hir::LayerDef& layer : hir.layers) {
        for (const auto& [name, value] : layer.props) {
            infer(value);
        }
    }
    check_xsections();
    for (std::size_t c = 0; c < hir.cells.size(); ++c) {
        check_cell(CellId{static_cast<std::uint32_t>(c)});
    }
}

// The written types of all parameters, then the types of the bindings that statements make
// before anything is placed, so that bodies can refer to names bound later.
void Checker::infer_params_and_bindings() {
    const auto written = [this](const hir::ParamDef& p) {
        return p.ty ? ann_type(hir, *p.ty) : Ty::unknown();
    };
    for (std::size_t c = 0; c < hir.cells.size(); ++c) {
        const CellId id{static_cast<std::uint32_t>(c)};
        const auto& params = hir.cells[id].params;
        types.params[id.raw].reserve(params.size());
        for (const hir::ParamDef& param : params) {
            types.params[id.raw].push_back(written(param));
        }
    }
    for (std::size_t x = 0; x < hir.xsections.size(); ++x) {
        const XsId id{static_cast<std::uint32_t>(x)};
        const auto& params = hir.xsections[id].params;
        for (std::uint32_t i = 0; i < params.size(); ++i) {
            types.xs_params[{id, i}] = written(params[i]);
        }
    }
    for (const Stmt& stmt : hir.stmts) {
        if (const auto* shape = std::get_if<Stmt::Shape>(&stmt.kind)) {
            types.bindings[shape->binding.raw] = Ty::shape(shape->primitive);
        } else if (const auto* shape_expr = std::get_if<Stmt::ShapeExpr>(&stmt.kind)) {
            types.bindings[shape_expr->binding.raw] = Ty::shape();
            combined.insert(shape_expr->binding);
        } else if (const auto* place = std::get_if<Stmt::Place>(&stmt.kind); place && place->name) {
            ExprId root = place->target;
            for (;;) {
                const auto& kind = hir.expr(root).kind;
                if (const auto* f = std::get_if<Expr::Field>(&kind)) {
                    root = f->base;
                } else if (const auto* i = std::get_if<Expr::Index>(&kind)) {
                    root = i->base;
                } else {
                    break;
                }
            }
            const auto* name = std::get_if<Expr::Name>(&hir.expr(root).kind);
            const auto* placed = name ? std::get_if<hir::Res::Cell>(&name->res.kind) : nullptr;
            types.bindings[(*place->name).raw] = placed ? Ty::instance(placed->id) : Ty::unknown();
        }
    }
    for (const Stmt& stmt : hir.stmts) {
        const auto* clone = std::get_if<Stmt::Clone>(&stmt.kind);
        const auto source = clone ? clone->source.local() : std::nullopt;
        if (!source) {
            continue;
        }
        Ty ty = types.bindings[source->raw].value_or(Ty::shape());
        // A copy of a derived shape is a plain shape that can be placed on its own.
        if (const auto primitive = ty.is_shape() ? ty.primitive() : std::nullopt;
            primitive && *primitive >= hir::Primitive::Union) {
            ty = Ty::shape();
        }
        types.bindings[clone->binding.raw] = ty;
    }
}

void Checker::check_xs_params() {
    for (std::size_t x = 0; x < hir.xsections.size(); ++x) {
        const XsId id{static_cast<std::uint32_t>(x)};
        const auto& params = hir.xsections[id].params;
        for (std::uint32_t i = 0; i < params.size(); ++i) {
            const hir::ParamDef& param = params[i];
            if (!param.ty && !param.default_value) {
                continue;
            }
            Ty ty = types.xs_params.at({id, i});
            if (!param.ty) {
                ty = param_default_type(param.name, *param.default_value);
                types.xs_params[{id, i}] = ty;
            } else if (param.default_value) {
                expect(*param.default_value, ty);
            }
            if (!ty.is_unknown() &&
                (!parameter_element(ty) || ty.innermost().is(TyKind::XSection))) {
                error(param.src, "cross-section parameters are integers, numbers, sizes, angles, "
                                 "strings, bools, points or lists of them, not " +
                                     show(ty));
            }
            if (param.ty && param.ty->lists == 0 && param.ty->name != hir::Symbol{} &&
                ty.is_unknown()) {
                error(param.ty->src, "unknown type `" + std::string(hir.text(param.ty->name)) +
                                         "`; expected integer, number, size, angle, string, bool "
                                         "or point");
            }
        }
    }
}

void Checker::check_xsections() {
    for (const hir::XsDef& xs : hir.xsections) {
        for (const hir::XsSection& section : xs.sections) {
            expect(section.width, Ty::size());
            if (section.offset) {
                const Ty offset = infer(*section.offset);
                if (!offset.is(TyKind::Zero) && !offset.is_quantity(dim_size) &&
                    !assignable(offset, Ty::list_of(Ty::size()))) {
                    expr_error(*section.offset,
                               "an offset is a size or a list of sizes, found " + show(offset));
                }
            }
        }
        std::unordered_set<std::string_view> seen;
        for (const hir::Arg& prop : hir.args_of(xs.props)) {
            const Ty value = infer(prop.value);
            if (!prop.name) {
                expr_error(prop.value,
                           "cross-section properties need a name: `with min_radius = 5um`");
                continue;
            }
            const std::string name(hir.text(prop.name->name));
            if (!seen.insert(hir.text(prop.name->name)).second) {
                error(prop.name->src, "`" + name + "` is given twice");
            }
            const NamedType* known = find_named(xs_properties, name);
            if (known == nullptr) {
                error(prop.name->src, "unknown cross-section property `" + name +
                                          "`; properties: type, min_radius, radius, bend, p, "
                                          "pitch");
                continue;
            }
            if (!assignable(value, known->ty)) {
                expr_error(prop.value,
                           "`" + name + "` must be " + show(known->ty) + ", found " + show(value));
            }
            std::string_view word;
            if (name == "bend" && is_string_literal(hir, prop.value, &word) && word != "arc" &&
                word != "euler" && word != "corner") {
                expr_error(prop.value, "`bend` must be \"arc\", \"euler\" or \"corner\"");
            }
        }
    }
}

void Checker::check_cell(CellId id) {
    cell = id;
    const hir::CellDef& def = hir.cells[id];
    for (std::uint32_t i = 0; i < def.params.size(); ++i) {
        const hir::ParamDef& param = def.params[i];
        if (!param.ty) {
            continue;
        }
        if (param.ty->lists == 0 && param.ty->name != hir::Symbol{}) {
            if (ann_type(hir, *param.ty).is_unknown()) {
                error(param.ty->src, "unknown type `" + std::string(hir.text(param.ty->name)) +
                                         "`; expected integer, number, size, angle, string, "
                                         "bool, point or xsection");
            } else if (hir.text(param.ty->name) == "shape") {
                error(param.ty->src, "cells cannot take shapes as parameters");
            }
        }
        if (param.default_value) {
            expect(*param.default_value, types.params[id.raw][i]);
        }
    }
    for (std::uint32_t i = 0; i < def.attrs.size(); ++i) {
        attr_type(id, i);
    }
    for (const hir::MarkerDef& marker : def.markers) {
        for (const ExprId at : marker.at) {
            expect(at, Ty::point());
        }
        for (const hir::Arg& arg : hir.args_of(marker.with)) {
            const Ty value = infer(arg.value);
            if (!arg.name) {
                expr_error(arg.value, "marker attributes need a name: `with key = value`");
                continue;
            }
            const std::string_view name = hir.text(arg.name->name);
            const NamedType* known = find_named(marker_attributes, name);
            if (known != nullptr && !assignable(value, known->ty)) {
                error(arg.name->src, "marker attribute `" + std::string(name) + "` must be " +
                                         show(known->ty) + ", found " + show(value));
            }
        }
    }
    stmts(def.body);
    cell.reset();
}

Ty Checker::param_default_type(std::string_view name, ExprId value) {
    const Ty ty = infer(value);
    const std::string n(name);
    if (ty.is_unknown()) {
        return ty;
    }
    if (ty.is(TyKind::Zero)) {
        expr_error(value, "the type of `" + n +
                              "` cannot be told from `0`; give a unit (`0um`) "
                              "or a type (`" +
                              n + " size = 0`)");
        return Ty::unknown();
    }
    if (ty.is_list() && ty.innermost().is_unknown()) {
        expr_error(value, "the type of `" + n +
                              "` cannot be told from an empty list; give a "
                              "type, e.g. `" +
                              n + " [size] = []`");
        return Ty::unknown();
    }
    if (parameter_element(ty)) {
        return ty;
    }
    expr_error(value, "`" + n + "` would be of type " + show(ty) +
                          ", which parameters cannot have; they are integers, numbers, sizes, "
                          "angles, strings, bools, points, cross-sections or lists of them");
    return Ty::unknown();
}

// Operator chains are as long as the source makes them: the operands wait on a list of their own.
bool Checker::has_offset(ExprId id) const {
    const auto recorded = [this](ExprId e) {
        const auto found = window.find(e);
        return found == window.end() ? Ty::unknown() : found->second;
    };
    std::vector<ExprId> pending{id};
    while (!pending.empty()) {
        const auto& kind = hir.expr(pending.back()).kind;
        pending.pop_back();
        if (const auto* bin = std::get_if<Expr::Binary>(&kind)) {
            const Ty lhs = recorded(bin->lhs);
            const Ty rhs = recorded(bin->rhs);
            const bool additive = bin->op == hir::BinOp::Add || bin->op == hir::BinOp::Sub;
            const bool distance = rhs.is_quantity(dim_size) || rhs.is(TyKind::Zero);
            const bool grown = lhs.is_unknown() || !lhs.is_numeric();
            if (additive && distance && grown) {
                return true;
            }
            pending.push_back(bin->rhs);
            pending.push_back(bin->lhs);
        } else if (const auto* list = std::get_if<Expr::List>(&kind)) {
            const auto elements = hir.elements(list->elements);
            pending.insert(pending.end(), elements.rbegin(), elements.rend());
        }
    }
    return false;
}

Ty Checker::const_type(ConstId id) {
    if (const auto found = types.consts.find(id); found != types.consts.end()) {
        return found->second;
    }
    if (!settling) {
        settle(Pending::constant(id));
        return types.consts.at(id);
    }
    return compute_const(id);
}

Ty Checker::attr_type(CellId owner, std::uint32_t index) {
    if (const auto found = types.attrs.find({owner, index}); found != types.attrs.end()) {
        return found->second;
    }
    if (!settling) {
        settle(Pending::attr(owner, index));
        return types.attrs.at({owner, index});
    }
    return compute_attr(owner, index);
}

Ty Checker::compute(const Pending& key) {
    if (key.kind == Pending::Kind::Const) {
        return compute_const(ConstId{key.owner});
    }
    return compute_attr(CellId{key.owner}, key.index);
}

Ty Checker::compute_const(ConstId id) {
    const hir::ConstDef& def = hir.consts[id];
    const Pending key = Pending::constant(id);
    if (!pending.insert(key).second) {
        error(def.src, "`" + def.name + "` is defined in terms of itself");
        return Ty::unknown();
    }
    const auto saved = std::exchange(cell, std::nullopt);
    const Ty inferred = infer(def.value);
    cell = saved;
    Ty ty = inferred;
    if (def.ty) {
        ty = ann_type(hir, *def.ty);
        if (!assignable(inferred, ty)) {
            expr_error(def.value, "`" + def.name + "` is declared " + show(ty) +
                                      " but its value is " + show(inferred));
        }
    }
    pending.erase(key);
    types.consts[id] = ty;
    return ty;
}

Ty Checker::compute_attr(CellId owner, std::uint32_t index) {
    const hir::AttrDef& def = hir.cells[owner].attrs[index];
    const Pending key = Pending::attr(owner, index);
    if (!pending.insert(key).second) {
        error(def.src, "attribute `" + def.name + "` is defined in terms of itself");
        return Ty::unknown();
    }
    const auto saved = std::exchange(cell, owner);
    const Ty ty = infer(def.value);
    cell = saved;
    pending.erase(key);
    types.attrs[{owner, index}] = ty;
    return ty;
}

} // namespace quorvane_dsl::check
