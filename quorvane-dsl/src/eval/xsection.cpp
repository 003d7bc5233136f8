// Cross-section values: parameters bound from defaults, a base value and call arguments; the
// sections swept as bands; the bend properties; and the members source code reads.
#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "eval/evaluator.hpp"
#include "eval/xs_value.hpp"
#include "geom/euler.hpp"

namespace quorvane_dsl::eval {

namespace {

// Puts the cross-section parameter list back when a construction step ends, failing or not.
struct XsArgsScope {
    std::optional<std::vector<Value>>& slot;
    std::optional<std::vector<Value>> saved;
    XsArgsScope(std::optional<std::vector<Value>>& s, std::vector<Value> now)
        : slot(s), saved(std::exchange(s, std::move(now))) {}
    ~XsArgsScope() { slot = std::move(saved); }
    XsArgsScope(const XsArgsScope&) = delete;
    XsArgsScope& operator=(const XsArgsScope&) = delete;
};

std::string literal_of(const std::string& name, std::vector<ir::NamedValue> pairs) {
    std::ranges::stable_sort(pairs, {}, &ir::NamedValue::first);
    return ir::Value{ir::Value::Named{name, std::move(pairs)}}.to_literal();
}

std::optional<double> offset_of(const Value& v) {
    if (const auto* q = std::get_if<Value::Quantity>(&v.kind); q && q->dim == Value::length_dim) {
        return q->value;
    }
    if (const auto* i = std::get_if<Value::Int>(&v.kind); i && i->value == 0) {
        return 0.0;
    }
    return std::nullopt;
}

std::optional<double> positive_size(const Value& v) {
    const auto* q = std::get_if<Value::Quantity>(&v.kind);
    if (q && q->dim == Value::length_dim && q->value > 0) {
        return q->value;
    }
    return std::nullopt;
}

std::optional<double> fraction(const Value& v) {
    double p = NAN;
    if (const auto* i = std::get_if<Value::Int>(&v.kind)) {
        p = static_cast<double>(i->value);
    } else if (const auto* q = std::get_if<Value::Quantity>(&v.kind); q && q->dim == units::Dim{}) {
        p = q->value;
    }
    if (p >= 0 && p <= 1) {
        return p;
    }
    return std::nullopt;
}

} // namespace

Result<Value> Evaluator::xs_default(const hir::ParamDef& param, std::vector<Value> earlier) {
    const XsArgsScope scope(xs_args, std::move(earlier));
    Env env;
    return eval(*param.default_value, env, nullptr);
}

std::optional<std::string> Evaluator::xs_default_key(hir::XsId id) {
    if (const auto found = xs_default_keys.find(id); found != xs_default_keys.end()) {
        return found->second;
    }
    const hir::XsDef& def = hir.xsections[id];
    // Only the text is wanted; a default's own fault is reported where a use needs it.
    std::optional<std::string> key = quietly([&]() -> std::optional<std::string> {
        std::vector<Value> values;
        std::vector<ir::NamedValue> pairs;
        for (const hir::ParamDef& param : def.params) {
            if (!param.default_value) {
                return std::nullopt;
            }
            auto v = xs_default(param, values);
            if (!v) {
                return std::nullopt;
            }
            auto stored = store_value(*v, param.src);
            if (!stored) {
                return std::nullopt;
            }
            pairs.emplace_back(param.name, std::move(*stored));
            values.push_back(std::move(*v));
        }
        return literal_of(def.name, std::move(pairs));
    });
    xs_default_keys.emplace(id, key);
    return key;
}

std::shared_ptr<const XsValue> Evaluator::xsection(hir::XsId id, const XsValue* base,
                                                   std::vector<XsArg> args, hir::Src use) {
    const hir::XsDef& def = hir.xsections[id];
    std::vector<std::optional<Value>> slots(def.params.size());
    if (base) {
        std::ranges::copy(base->args, slots.begin());
    }
    std::size_t positional = 0;
    for (XsArg& arg : args) {
        std::size_t index = positional;
        if (arg.name) {
            const auto param = def.param(*arg.name);
            if (!param) {
                fail(arg.name_src, "cross-section `" + def.name + "` has no parameter `" +
                                       std::string(*arg.name) + "`");
                return nullptr;
            }
            index = param->first;
        } else if (++positional > slots.size()) {
            fail(use, "cross-section `" + def.name + "` takes " +
                          std::to_string(def.params.size()) + " parameter(s)");
            return nullptr;
        }
        slots[index] = std::move(arg.value);
    }
    auto xs = std::make_shared<XsValue>();
    xs->def = id;
    xs->args.reserve(slots.size());
    std::vector<ir::NamedValue> pairs;
    for (std::size_t i = 0; i < slots.size(); ++i) {
        const hir::ParamDef& param = def.params[i];
        if (!slots[i] && !param.default_value) {
            fail(use, "missing parameter `" + param.name + "` of cross-section `" + def.name + "`");
            return nullptr;
        }
        auto v = slots[i] ? Result<Value>(std::move(*slots[i])) : xs_default(param, xs->args);
        if (!v) {
            return nullptr;
        }
        auto stored = store_value(*v, use);
        if (!stored) {
            return nullptr;
        }
        pairs.emplace_back(param.name, std::move(*stored));
        xs->args.push_back(std::move(*v));
    }
    xs->key = literal_of(def.name, pairs);
    if (const auto found = xsections.find(xs->key); found != xsections.end()) {
        return found->second;
    }
    std::ranges::stable_sort(pairs, {}, &ir::NamedValue::first);
    const bool plain = xs_default_key(id) == xs->key;
    xs->stored = ir::Value{
        ir::Value::Named{def.name, plain ? std::vector<ir::NamedValue>{} : std::move(pairs)}};
    const XsArgsScope scope(xs_args, xs->args);
    for (std::size_t i = 0; i < def.sections.size(); ++i) {
        const hir::XsSection& section = def.sections[i];
        if (!section.layer) {
            return nullptr;
        }
        Env env;
        const auto width = length(section.width, env, nullptr);
        if (!width) {
            return nullptr;
        }
        if (!(*width >= 0) || std::isinf(*width)) {
            fail_expr(section.width, "a section width must not be negative");
            return nullptr;
        }
        if (i == 0 && *width == 0) {
            fail_expr(section.width,
                      "the first section is the main one; its width must be positive");
            return nullptr;
        }
        auto offsets = xs_offsets(section);
        if (!offsets) {
            return nullptr;
        }
        if (i == 0 && offsets->empty()) {
            fail_expr(section.width, "the first section is the main one; it needs an offset");
            return nullptr;
        }
        if (*width > 0) {
            for (const double offset : *offsets) {
                xs->bands.emplace_back(*section.layer, geom::Band{offset, *width});
            }
        }
    }
    if (!xs_properties(def, *xs)) {
        return nullptr;
    }
    std::shared_ptr<const XsValue> built = std::move(xs);
    xsections.emplace(built->key, built);
    return built;
}

Result<std::vector<double>> Evaluator::xs_offsets(const hir::XsSection& section) {
    if (!section.offset) {
        return std::vector<double>{0.0};
    }
    Env env;
    auto v = eval(*section.offset, env, nullptr);
    if (!v) {
        return std::unexpected(v.error());
    }
    if (const auto one = offset_of(*v)) {
        return std::vector<double>{*one};
    }
    const auto* list = std::get_if<Value::List>(&v->kind);
    if (!list) {
        return fail_expr(*section.offset, "an offset is a size or a list of sizes, found " +
                                              std::string(v->describe()));
    }
    std::vector<double> offsets;
    offsets.reserve(list->elements().size());
    for (const Value& element : list->elements()) {
        const auto offset = offset_of(element);
        if (!offset) {
            return fail_expr(*section.offset,
                             "expected sizes, found " + std::string(element.describe()));
        }
        offsets.push_back(*offset);
    }
    return offsets;
}

bool Evaluator::xs_properties(const hir::XsDef& def, XsValue& xs) {
    static const auto waveguide = std::make_shared<const std::string>("waveguide");
    static const auto arc = std::make_shared<const std::string>("arc");
    xs.type = waveguide;
    xs.bend = arc;
    for (const hir::Arg& prop : hir.args_of(def.props)) {
        if (!prop.name) {
            return false;
        }
        Env env;
        auto v = eval(prop.value, env, nullptr);
        if (!v) {
            return false;
        }
        const std::string name(hir.text(prop.name->name));
        if (name == "min_radius" || name == "radius" || name == "pitch") {
            const auto size = positive_size(*v);
            if (!size) {
                fail_expr(prop.value, "`" + name + "` must be a positive size, found " +
                                          std::string(v->describe()));
                return false;
            }
            (name == "min_radius" ? xs.min_radius
             : name == "radius"   ? xs.radius
                                  : xs.pitch) = *size;
        } else if (name == "p") {
            const auto p = fraction(*v);
            if (!p) {
                fail_expr(prop.value, "`p` must be a number between 0 and 1");
                return false;
            }
            xs.p = *p;
        } else if (name == "type" || name == "bend") {
            const auto* str = std::get_if<Value::Str>(&v->kind);
            if (name == "type") {
                if (!str) {
                    return false;
                }
                xs.type = str->text;
                continue;
            }
            if (!str || (*str->text != "arc" && *str->text != "euler" && *str->text != "corner")) {
                fail_expr(prop.value, "`bend` must be \"arc\", \"euler\" or \"corner\"");
                return false;
            }
            xs.bend = str->text;
        } else {
            return false;
        }
    }
    return true;
}

Result<Value> Evaluator::xsection_call(hir::XsId def, const XsValue* base,
                                       std::span<const hir::Arg> args, Env& env, CellState* cell,
                                       hir::Src src) {
    std::vector<XsArg> values;
    values.reserve(args.size());
    for (const hir::Arg& arg : args) {
        auto v = eval(arg.value, env, cell);
        if (!v) {
            return std::unexpected(v.error());
        }
        values.push_back(arg.name ? XsArg{hir.text(arg.name->name), arg.name->src, std::move(*v)}
                                  : XsArg{std::nullopt, {}, std::move(*v)});
    }
    auto xs = xsection(def, base, std::move(values), src);
    if (!xs) {
        return std::unexpected(Stop{});
    }
    return Value{Value::XSection{std::move(xs)}};
}

std::optional<double> Evaluator::xs_radius(const XsValue& xs, double tol) {
    if (xs.radius) {
        return xs.radius;
    }
    if (*xs.bend == "corner") {
        return 0.0;
    }
    if (*xs.bend != "euler") {
        return xs.min_radius;
    }
    if (!xs.min_radius) {
        return std::nullopt;
    }
    const auto bend =
        geom::euler(true, *xs.min_radius, *xs.min_radius, 90, xs.p, std::nullopt, tol);
    if (!bend) {
        return std::nullopt;
    }
    const auto end = bend->anchor("end");
    return end ? std::optional<double>(end->x) : std::nullopt;
}

Result<Value> Evaluator::xsection_field(hir::ExprId expr, const XsValue& xs,
                                        const std::string& name) {
    const hir::XsDef& def = hir.xsections[xs.def];
    if (name == "p") {
        return Value::number(xs.p);
    }
    if (name == "type" || name == "bend") {
        return Value{Value::Str{name == "type" ? xs.type : xs.bend}};
    }
    if (name == "width") {
        return Value::size(main_width(xs));
    }
    if (name == "pitch") {
        double reach = 0;
        for (const auto& [layer, band] : xs.bands) {
            reach = std::max(reach, std::abs(band.offset) + band.width / 2);
        }
        return Value::size(xs.pitch.value_or(2 * reach));
    }
    if (name == "radius") {
        const auto radius = xs_radius(xs, dbu);
        if (!radius) {
            return fail_expr(expr, "cross-section `" + def.name +
                                       "` has neither `radius` nor `min_radius`");
        }
        return Value::size(*radius);
    }
    if (name == "min_radius") {
        if (!xs.min_radius) {
            return fail_expr(expr, "cross-section `" + def.name + "` has no `min_radius`");
        }
        return Value::size(*xs.min_radius);
    }
    if (const auto param = def.param(name)) {
        return xs.args[param->first];
    }
    return fail_expr(expr, "cross-section `" + def.name + "` has no member `" + name + "`");
}

} // namespace quorvane_dsl::eval
