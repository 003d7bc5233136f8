#include <utility>

#include "eval/evaluator.hpp"
#include "eval/xs_value.hpp"

namespace quorvane_dsl::eval {

// One access to a lazy slot: a value is copied, a failure stays silent, a slot met while it is
// being evaluated is a self-reference, and an unevaluated slot is computed now.
Result<Value> Evaluator::lazy(Lazy& slot, std::string_view what, const std::string& name,
                              hir::Src src, auto&& compute) {
    switch (slot.state) {
    case Lazy::State::Done:
        return slot.value;
    case Lazy::State::Failed:
        return std::unexpected(Stop{});
    case Lazy::State::Evaluating:
        // The evaluation under way ends with Stop and marks the slot failed.
        return fail(src, std::string(what) + " `" + name + "` is defined in terms of itself");
    case Lazy::State::NotEvaluated:
        break;
    }
    slot.state = Lazy::State::Evaluating;
    Result<Value> result = compute();
    // The slot stays valid: attribute and marker lists keep their size for the state's life.
    if (!result) {
        slot.state = Lazy::State::Failed;
        return result;
    }
    slot.state = Lazy::State::Done;
    slot.value = *result;
    return result;
}

Result<Value> Evaluator::attr(std::uint32_t index, CellState& cell) {
    const hir::AttrDef& def = hir.cells[cell.cell].attrs[index];
    return lazy(cell.attrs[index], "attribute", def.name, def.src, [&]() -> Result<Value> {
        Env env;
        return eval(def.value, env, &cell);
    });
}

Result<Value> Evaluator::marker(std::uint32_t index, CellState& cell) {
    const hir::MarkerDef& def = hir.cells[cell.cell].markers[index];
    return lazy(cell.markers[index], "marker", def.name, def.src,
                [&] { return marker_value(index, cell); });
}

namespace {

const XsValue* source_xsection(const Value& point) {
    const auto& source = std::get<Value::Point>(point.kind).source;
    return source ? source->xsection.get() : nullptr;
}

// The cross-section every location came from, when they all share one.
std::shared_ptr<const XsValue> common_xsection(const std::vector<Value>& points) {
    if (points.empty()) {
        return nullptr;
    }
    const auto& first = std::get<Value::Point>(points[0].kind).source;
    if (!first || !first->xsection) {
        return nullptr;
    }
    for (const Value& p : points) {
        const XsValue* xs = source_xsection(p);
        if (!xs || xs->key != first->xsection->key) {
            return nullptr;
        }
    }
    return first->xsection;
}

} // namespace

Result<Value> Evaluator::marker_value(std::uint32_t index, CellState& cell) {
    const hir::MarkerDef& def = hir.cells[cell.cell].markers[index];
    Env env;
    std::shared_ptr<const XsValue> xsection;
    std::optional<double> angle;
    for (const hir::Arg& arg : hir.args_of(def.with)) {
        const std::string_view name = arg.name ? hir.text(arg.name->name) : std::string_view{};
        if (!arg.name || (name != "xsection" && name != "angle")) {
            continue;
        }
        auto v = eval(arg.value, env, &cell);
        if (!v) {
            return v;
        }
        if (name == "xsection") {
            const auto* xs = std::get_if<Value::XSection>(&v->kind);
            if (!xs) {
                return fail_expr(arg.value, "`xsection` must be a cross-section, found " +
                                                std::string(v->describe()));
            }
            xsection = xs->value;
            continue;
        }
        const auto* q = std::get_if<Value::Quantity>(&v->kind);
        const auto* i = std::get_if<Value::Int>(&v->kind);
        if (q && q->dim == Value::angle_dim) {
            angle = q->value;
        } else if (i && i->value == 0) {
            angle = 0.0;
        } else {
            return fail_expr(arg.value,
                             "`angle` must be an angle, found " + std::string(v->describe()));
        }
    }
    std::vector<Value> points;
    points.reserve(def.at.size());
    for (hir::ExprId at : def.at) {
        auto v = eval(at, env, &cell);
        if (!v) {
            return v;
        }
        if (!std::holds_alternative<Value::Point>(v->kind)) {
            return fail_expr(at, "a marker location must be a point, found " +
                                     std::string(v->describe()));
        }
        points.push_back(std::move(*v));
    }
    if (!xsection) {
        xsection = common_xsection(points);
    }
    cell.marker_xs[index] = xsection;
    std::vector<Value> result;
    result.reserve(points.size());
    for (std::size_t k = 0; k < points.size(); ++k) {
        const auto& p = std::get<Value::Point>(points[k].kind);
        auto source = std::make_shared<const PointSource>(
            PointSource{PointSource::MarkerPart{def.name, std::nullopt, k}, xsection});
        result.push_back(Value{Value::Point{p.x, p.y, angle.value_or(p.angle), source}});
    }
    return Value::list(std::move(result));
}

} // namespace quorvane_dsl::eval
