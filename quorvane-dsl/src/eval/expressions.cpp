#include <array>
#include <cmath>
#include <utility>

#include "base/angle.hpp"
#include "base/round.hpp"
#include "eval/builtins.hpp"
#include "eval/evaluator.hpp"
#include "eval/operators.hpp"
#include "eval/xs_value.hpp"

namespace quorvane_dsl::eval {

namespace {

constexpr double pi = 3.141592653589793;

// Made in the result's place, not moved there: literals are a good part of all expressions
// evaluated, and moving a value dispatches on its kind.
Result<Value> number_literal(const hir::Expr::Number& n) {
    if (n.unit) {
        const double v = n.value() * units::scale_factor(*n.unit);
        const bool angle = units::unit_kind(*n.unit) == units::UnitKind::Angle;
        return Result<Value>(std::in_place,
                             Value::Quantity{v, angle ? Value::angle_dim : Value::length_dim});
    }
    if (n.integer) {
        // Analysis keeps the exact integer; the f64 beside it may have lost digits.
        return Result<Value>(std::in_place,
                             Value::Int{n.exact() ? *n.exact() : base::round_to_i64(n.value())});
    }
    return Result<Value>(std::in_place, Value::Quantity{n.value(), {}});
}

} // namespace

Result<Value> Evaluator::eval(hir::ExprId expr, Env& env, CellState* cell) {
    if (auto counted = count_step(expr); !counted) {
        return std::unexpected(counted.error());
    }
    return deeper(expr, [&] { return eval_kind(expr, env, cell); });
}

Result<Value> Evaluator::eval_kind(hir::ExprId expr, Env& env, CellState* cell) {
    const hir::Expr& e = hir.expr(expr);
    if (const auto* n = std::get_if<hir::Expr::Number>(&e.kind)) {
        return number_literal(*n);
    }
    if (const auto* s = std::get_if<hir::Expr::Str>(&e.kind)) {
        return Value::string(std::string(hir.text(s->value)));
    }
    if (const auto* b = std::get_if<hir::Expr::Bool>(&e.kind)) {
        return Value::boolean(b->value);
    }
    if (const auto* name = std::get_if<hir::Expr::Name>(&e.kind)) {
        return eval_name(expr, name->res, env, cell);
    }
    if (std::holds_alternative<hir::Expr::SelfRef>(e.kind)) {
        return Value{Value::SelfCell{}};
    }
    if (const auto* point = std::get_if<hir::Expr::Point>(&e.kind)) {
        return eval_point(*point, env, cell);
    }
    if (const auto* list = std::get_if<hir::Expr::List>(&e.kind)) {
        std::vector<Value> items;
        const auto elements = hir.elements(list->elements);
        items.reserve(elements.size());
        for (hir::ExprId element : elements) {
            auto v = eval(element, env, cell);
            if (!v) {
                return v;
            }
            items.push_back(std::move(*v));
        }
        return make_list(expr, std::move(items));
    }
    if (const auto* binary = std::get_if<hir::Expr::Binary>(&e.kind)) {
        return eval_binary(expr, *binary, env, cell);
    }
    if (const auto* prefix = std::get_if<hir::Expr::Prefix>(&e.kind)) {
        auto v = eval(prefix->operand, env, cell);
        if (!v) {
            return v;
        }
        auto result = apply_prefix(prefix->op, std::move(*v));
        if (!result) {
            return fail_expr(expr, std::move(result.error()));
        }
        return std::move(*result);
    }
    if (const auto* field = std::get_if<hir::Expr::Field>(&e.kind)) {
        auto base = eval(field->base, env, cell);
        if (!base) {
            return base;
        }
        return this->field(expr, std::move(*base), field->name, cell);
    }
    if (const auto* index = std::get_if<hir::Expr::Index>(&e.kind)) {
        return eval_index(expr, *index, env, cell);
    }
    if (const auto* call = std::get_if<hir::Expr::Call>(&e.kind)) {
        return eval_call(expr, *call, env, cell);
    }
    // Only input that analysis already reported leaves a missing expression.
    return std::unexpected(Stop{});
}

Result<Value> Evaluator::eval_name(hir::ExprId expr, const hir::Res& res, Env& env,
                                   CellState* cell) {
    // Every name evaluated comes here; its place is looked up only where it is reported.
    if (const auto* local = std::get_if<hir::Res::Local>(&res.kind)) {
        if (cell) {
            if (const Value* found = bound(local->binding, env, *cell)) {
                return *found;
            }
            return unbound(local->binding, hir.expr_src(expr));
        }
        const Value* found = env.find(local->binding);
        if (!found) {
            return std::unexpected(Stop{});
        }
        return *found;
    }
    if (const auto* param = std::get_if<hir::Res::Param>(&res.kind)) {
        if (!cell) {
            return std::unexpected(Stop{});
        }
        const auto& slot = cell->params[param->index];
        if (!slot) {
            return fail(hir.expr_src(expr),
                        "parameter `" + hir.cells[param->cell].params[param->index].name +
                            "` is not available yet; defaults may only use earlier "
                            "parameters");
        }
        return *slot;
    }
    if (const auto* a = std::get_if<hir::Res::Attr>(&res.kind)) {
        if (!cell) {
            return std::unexpected(Stop{});
        }
        return attr(a->index, *cell);
    }
    if (const auto* m = std::get_if<hir::Res::Marker>(&res.kind)) {
        if (!cell) {
            return std::unexpected(Stop{});
        }
        return marker(m->index, *cell);
    }
    if (const auto* c = std::get_if<hir::Res::Const>(&res.kind)) {
        return const_value(c->id);
    }
    if (const auto* c = std::get_if<hir::Res::Cell>(&res.kind)) {
        return Value{Value::Cell{c->id}};
    }
    if (const auto* x = std::get_if<hir::Res::XSection>(&res.kind)) {
        auto xs = xsection(x->id, nullptr, {}, hir.expr_src(expr));
        if (!xs) {
            return std::unexpected(Stop{});
        }
        return Value{Value::XSection{std::move(xs)}};
    }
    if (const auto* p = std::get_if<hir::Res::XsParam>(&res.kind)) {
        if (!xs_args || p->index >= xs_args->size()) {
            return std::unexpected(Stop{});
        }
        return (*xs_args)[p->index];
    }
    if (const auto* layer = std::get_if<hir::Res::Layer>(&res.kind)) {
        return Value{Value::Layer{layer->id}};
    }
    if (const auto* builtin = std::get_if<hir::Res::Builtin>(&res.kind)) {
        if (builtin->builtin == hir::Builtin::Pi) {
            return Value::number(pi);
        }
        return Value{Value::Function{builtin->builtin}};
    }
    return std::unexpected(Stop{});
}

Result<Value> Evaluator::eval_point(const hir::Expr::Point& point, Env& env, CellState* cell) {
    const auto x = length(point.x, env, cell);
    if (!x) {
        return std::unexpected(x.error());
    }
    const auto y = length(point.y, env, cell);
    if (!y) {
        return std::unexpected(y.error());
    }
    double angle = 0;
    if (point.angle) {
        auto a = eval(*point.angle, env, cell);
        if (!a) {
            return a;
        }
        const auto* q = std::get_if<Value::Quantity>(&a->kind);
        const auto* i = std::get_if<Value::Int>(&a->kind);
        if (q && q->dim == Value::angle_dim) {
            angle = q->value;
        } else if (!(i && i->value == 0)) {
            return fail_expr(*point.angle,
                             "expected an angle, found " + std::string(a->describe()));
        }
    }
    return Value{Value::Point{*x, *y, base::normalize_angle(angle), nullptr}};
}

// A chain of operators is as long as the source makes it, so its left operands are followed in
// a loop; steps are counted and operands taken in the order recursion would take them.
Result<Value> Evaluator::eval_binary(hir::ExprId expr, const hir::Expr::Binary& binary, Env& env,
                                     CellState* cell) {
    // The links, outermost first. Nearly every chain is short and stays on the stack: this runs
    // for every operator evaluated.
    std::array<hir::ExprId, 8> near{expr};
    std::vector<hir::ExprId> far;
    std::size_t links = 1;
    hir::ExprId leftmost = binary.lhs;
    while (const auto* inner = std::get_if<hir::Expr::Binary>(&hir.expr(leftmost).kind)) {
        if (auto counted = count_step(leftmost); !counted) {
            return std::unexpected(counted.error());
        }
        if (links < near.size()) {
            near[links] = leftmost;
        } else {
            far.push_back(leftmost);
        }
        ++links;
        leftmost = inner->lhs;
    }
    auto value = eval(leftmost, env, cell);
    for (std::size_t k = links; k-- > 0 && value;) {
        const hir::ExprId link = k < near.size() ? near[k] : far[k - near.size()];
        value =
            binary_link(link, std::get<hir::Expr::Binary>(hir.expr(link).kind), *value, env, cell);
    }
    return value;
}

Result<Value> Evaluator::binary_link(hir::ExprId expr, const hir::Expr::Binary& binary,
                                     const Value& lhs, Env& env, CellState* cell) {
    if (binary.op == hir::BinOp::And || binary.op == hir::BinOp::Or) {
        const auto left = as_boolean(binary.lhs, lhs);
        if (!left) {
            return std::unexpected(left.error());
        }
        // A false left side decides `&&`, a true one `||`; the right side is never evaluated.
        if (*left == (binary.op == hir::BinOp::Or)) {
            return Value::boolean(*left);
        }
        const auto right = boolean(binary.rhs, env, cell);
        if (!right) {
            return std::unexpected(right.error());
        }
        return Value::boolean(*right);
    }
    auto rhs = eval(binary.rhs, env, cell);
    if (!rhs) {
        return rhs;
    }
    auto shapes = shape_binary(expr, binary.op, lhs, *rhs, cell);
    if (!shapes) {
        return std::unexpected(shapes.error());
    }
    if (*shapes) {
        return std::move(**shapes);
    }
    auto result = apply_binary(binary.op, lhs, *rhs);
    if (!result) {
        return fail_expr(expr, std::move(result.error()));
    }
    return std::move(*result);
}

Result<Value> Evaluator::eval_index(hir::ExprId expr, const hir::Expr::Index& index, Env& env,
                                    CellState* cell) {
    auto base = eval(index.base, env, cell);
    if (!base) {
        return base;
    }
    auto i = eval(index.index, env, cell);
    if (!i) {
        return i;
    }
    const auto* shape = std::get_if<Value::Shape>(&base->kind);
    const auto* layer = std::get_if<Value::Layer>(&i->kind);
    if (shape && layer) {
        if (!cell) {
            return std::unexpected(Stop{});
        }
        return Value{
            Value::Shape{cell->view(shape->id, layer->def, hir, hir.expr_src(index.index))}};
    }
    const auto* position = std::get_if<Value::Int>(&i->kind);
    if (!position) {
        return fail_expr(index.index,
                         "an index must be an integer, found " + std::string(i->describe()));
    }
    const auto* list = std::get_if<Value::List>(&base->kind);
    if (!list) {
        return fail_expr(index.base, "cannot index " + std::string(base->describe()));
    }
    const std::span<const Value> items = list->elements();
    if (position->value < 0 || static_cast<std::uint64_t>(position->value) >= items.size()) {
        return fail_expr(expr, "index " + std::to_string(position->value) +
                                   " is out of range for a list of " +
                                   std::to_string(items.size()));
    }
    return items[static_cast<std::size_t>(position->value)];
}

Result<Value> Evaluator::eval_call(hir::ExprId expr, const hir::Expr::Call& call, Env& env,
                                   CellState* cell) {
    const hir::Expr& callee = hir.expr(call.callee);
    if (const auto* field = std::get_if<hir::Expr::Field>(&callee.kind)) {
        if (hir.text(field->name) == "append") {
            return append(call, field->base, env, cell);
        }
    }
    if (const auto* name = std::get_if<hir::Expr::Name>(&callee.kind)) {
        if (const auto* x = std::get_if<hir::Res::XSection>(&name->res.kind)) {
            return xsection_call(x->id, nullptr, hir.args_of(call.args), env, cell,
                                 hir.expr_src(expr));
        }
    }
    auto f = eval(call.callee, env, cell);
    if (!f) {
        return f;
    }
    if (const auto* function = std::get_if<Value::Function>(&f->kind)) {
        std::vector<Value> args;
        const auto arguments = hir.args_of(call.args);
        args.reserve(arguments.size());
        for (const hir::Arg& arg : arguments) {
            auto v = eval(arg.value, env, cell);
            if (!v) {
                return v;
            }
            args.push_back(std::move(*v));
        }
        auto result = call_builtin(function->builtin, std::move(args));
        if (!result) {
            return fail_expr(expr, std::move(result.error()));
        }
        return std::move(*result);
    }
    if (const auto* xs = std::get_if<Value::XSection>(&f->kind)) {
        // The base stays alive through the call: `f` holds it.
        return xsection_call(xs->value->def, xs->value.get(), hir.args_of(call.args), env, cell,
                             hir.expr_src(expr));
    }
    return fail_expr(call.callee, std::string(f->describe()) + " is not a function");
}

Result<Value> Evaluator::append(const hir::Expr::Call& call, hir::ExprId target, Env& env,
                                CellState* cell) {
    const auto* name = std::get_if<hir::Expr::Name>(&hir.expr(target).kind);
    const auto binding = name ? name->res.local() : std::nullopt;
    if (!binding) {
        return fail_expr(target, "`append` needs a variable declared with `define`");
    }
    std::vector<Value> values;
    const auto arguments = hir.args_of(call.args);
    values.reserve(arguments.size());
    for (const hir::Arg& arg : arguments) {
        auto v = eval(arg.value, env, cell);
        if (!v) {
            return v;
        }
        values.push_back(std::move(*v));
    }
    const Value* found = env.find(*binding);
    if (!found || !std::holds_alternative<Value::List>(found->kind)) {
        return fail_expr(target, "`append` needs a list variable");
    }
    auto* list = std::get_if<Value::List>(&env.edit(*binding)->kind);
    std::uint32_t nested = list->nested;
    for (const Value& v : values) {
        nested = std::max(nested, list_depth(v));
    }
    if (nested + 1 > max_list_depth) {
        return list_too_deep(target);
    }
    for (Value& v : values) {
        list->push(std::move(v));
    }
    return Value::nothing();
}

Result<Value> Evaluator::make_list(hir::ExprId expr, std::vector<Value> items) {
    Value list = Value::list(std::move(items));
    if (list_depth(list) > max_list_depth) {
        return list_too_deep(expr);
    }
    return list;
}

std::unexpected<Stop> Evaluator::list_too_deep(hir::ExprId expr) {
    // A report discarded by a quiet computation does not count.
    if (quiet_depth == 0 && !deep_lists.insert(expr).second) {
        ++unreported_refusals;
        return std::unexpected(Stop{});
    }
    return fail_expr(expr,
                     "lists nest more than " + std::to_string(max_list_depth) + " levels deep");
}

Result<double> Evaluator::length(hir::ExprId expr, Env& env, CellState* cell) {
    auto v = eval(expr, env, cell);
    if (!v) {
        return std::unexpected(v.error());
    }
    if (const auto* q = std::get_if<Value::Quantity>(&v->kind)) {
        if (q->dim == Value::length_dim) {
            return q->value;
        }
        if (q->dim == units::Dim{} && q->value == 0) {
            return 0.0;
        }
    }
    if (const auto* i = std::get_if<Value::Int>(&v->kind); i && i->value == 0) {
        return 0.0;
    }
    return fail_expr(expr, "expected a size, found " + std::string(v->describe()));
}

Result<bool> Evaluator::boolean(hir::ExprId expr, Env& env, CellState* cell) {
    auto v = eval(expr, env, cell);
    if (!v) {
        return std::unexpected(v.error());
    }
    return as_boolean(expr, *v);
}

Result<bool> Evaluator::as_boolean(hir::ExprId expr, const Value& v) {
    if (const auto* b = std::get_if<Value::Bool>(&v.kind)) {
        return b->value;
    }
    return fail_expr(expr, "expected a bool, found " + std::string(v.describe()));
}

const Value* Evaluator::bound(hir::BindingId binding, const Env& env, const CellState& cell) const {
    if (const Value* found = env.find(binding)) {
        return found;
    }
    const auto found = cell.bindings.find(binding);
    return found != cell.bindings.end() ? &found->second : nullptr;
}

std::unexpected<Stop> Evaluator::unbound(hir::BindingId binding, hir::Src src) {
    return fail(src, "`" + std::string(hir.text(hir.bindings[binding].name)) +
                         "` is not available yet: it is defined by a statement that has not run");
}

Result<Value> Evaluator::binding_value(hir::BindingId binding, Env& env, CellState& cell,
                                       hir::Src src) {
    if (const Value* found = bound(binding, env, cell)) {
        return *found;
    }
    return unbound(binding, src);
}

Result<Value> Evaluator::const_value(hir::ConstId c) {
    if (const auto found = consts.find(c); found != consts.end()) {
        return found->second;
    }
    const hir::ConstDef& def = hir.consts[c];
    if (consts_pending.contains(c)) {
        return fail(def.src, "`" + def.name + "` is defined in terms of itself");
    }
    consts_pending.insert(c);
    Env env;
    Result<Value> result = eval(def.value, env, nullptr);
    consts_pending.erase(c);
    // A failure whose diagnostics are about to be discarded must be reported again on the next
    // use, so it is not remembered.
    if (result || quiet_depth == 0) {
        consts.emplace(c, result);
    }
    return result;
}

} // namespace quorvane_dsl::eval
