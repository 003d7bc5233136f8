#include "eval/stored.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "base/angle.hpp"
#include "base/round.hpp"
#include "eval/evaluator.hpp"
#include "eval/xs_value.hpp"

namespace quorvane_dsl::eval {

namespace {

using Stored = std::expected<ir::Value, std::string>;

// Lists are stored element by element with an explicit stack, so nesting depth is no concern.
struct Frame {
    std::span<const Value> items;
    std::size_t next = 0;
    ir::Value::List out;
};

Stored plain(const Value& value, double dbu) {
    if (const auto* i = std::get_if<Value::Int>(&value.kind)) {
        return ir::Value{ir::Value::Int{i->value}};
    }
    if (const auto* q = std::get_if<Value::Quantity>(&value.kind)) {
        const double v = q->dim == Value::length_dim ? snap(q->value, dbu) : q->value;
        return ir::Value{ir::Value::Number{v, q->dim}};
    }
    if (const auto* b = std::get_if<Value::Bool>(&value.kind)) {
        return ir::Value{ir::Value::Bool{b->value}};
    }
    if (const auto* s = std::get_if<Value::Str>(&value.kind)) {
        return ir::Value{ir::Value::String{*s->text}};
    }
    if (const auto* p = std::get_if<Value::Point>(&value.kind)) {
        return ir::Value{ir::Value::Point{snap(p->x, dbu), snap(p->y, dbu), p->angle}};
    }
    if (const auto* xs = std::get_if<Value::XSection>(&value.kind)) {
        return xs->value->stored;
    }
    return std::unexpected(std::string(value.describe()) + " cannot be stored as a value");
}

} // namespace

double snap(double v, double dbu) {
    return dbu * static_cast<double>(base::round_to_i64(v / dbu));
}

std::expected<ir::Value, std::string> to_stored(const Value& value, double dbu) {
    const auto* top = std::get_if<Value::List>(&value.kind);
    if (!top) {
        return plain(value, dbu);
    }
    std::vector<Frame> stack;
    stack.push_back(Frame{top->elements()});
    // Copies share elements, so a list may stand for far more values than memory holds;
    // storing writes every one of them out.
    std::size_t stored_count = 0;
    for (;;) {
        Frame& frame = stack.back();
        if (frame.next == frame.items.size()) {
            ir::Value done{std::move(frame.out)};
            stack.pop_back();
            if (stack.empty()) {
                return done;
            }
            stack.back().out.items.push_back(std::move(done));
            continue;
        }
        const Value& item = frame.items[frame.next++];
        if (++stored_count > max_stored_values) {
            return std::unexpected("a list of more than " + std::to_string(max_stored_values) +
                                   " values cannot be stored as a value");
        }
        if (const auto* list = std::get_if<Value::List>(&item.kind)) {
            stack.push_back(Frame{list->elements()});
            continue;
        }
        auto stored = plain(item, dbu);
        if (!stored) {
            return stored;
        }
        frame.out.items.push_back(std::move(*stored));
    }
}

Result<ir::Value> Evaluator::store_value(const Value& value, hir::Src src) {
    auto stored = to_stored(value, dbu);
    if (!stored) {
        return fail(src, std::move(stored.error()));
    }
    return std::move(*stored);
}

Result<Value> Evaluator::load_xsection(const ir::Value::Named& named, hir::Src src) {
    const auto def = hir.xsection_by_name(named.name);
    if (!def) {
        return fail(src, "unknown cross-section `" + named.name + "`");
    }
    std::vector<XsArg> args;
    args.reserve(named.args.size());
    for (const auto& [name, stored] : named.args) {
        // A stored argument may itself hold a cross-section; literals bound how deep that goes.
        auto v = deeper(src, [&] { return load_value(stored, src); });
        if (!v) {
            return v;
        }
        args.push_back(XsArg{name, src, std::move(*v)});
    }
    auto xs = xsection(*def, nullptr, std::move(args), src);
    if (!xs) {
        return std::unexpected(Stop{});
    }
    return Value{Value::XSection{std::move(xs)}};
}

Result<Value> Evaluator::load_value(const ir::Value& value, hir::Src src) {
    struct Load {
        const std::vector<ir::Value>* items;
        std::size_t next = 0;
        std::vector<Value> out;
    };
    const auto scalar = [&](const ir::Value& v) -> Result<Value> {
        return std::visit(
            [&](const auto& k) -> Result<Value> {
                using K = std::decay_t<decltype(k)>;
                if constexpr (std::is_same_v<K, ir::Value::Int>) {
                    return Value::integer(k.value);
                } else if constexpr (std::is_same_v<K, ir::Value::Number>) {
                    return Value::quantity(k.value, k.dim);
                } else if constexpr (std::is_same_v<K, ir::Value::String>) {
                    return Value::string(k.text);
                } else if constexpr (std::is_same_v<K, ir::Value::Bool>) {
                    return Value::boolean(k.value);
                } else if constexpr (std::is_same_v<K, ir::Value::Point>) {
                    return Value{Value::Point{k.x, k.y, k.angle, nullptr}};
                } else if constexpr (std::is_same_v<K, ir::Value::Named>) {
                    return load_xsection(k, src);
                } else {
                    return Value::list({}); // lists are walked below
                }
            },
            v.kind);
    };
    const auto* top = std::get_if<ir::Value::List>(&value.kind);
    if (!top) {
        return scalar(value);
    }
    std::vector<Load> stack;
    stack.push_back(Load{&top->items});
    for (;;) {
        Load& frame = stack.back();
        if (frame.next == frame.items->size()) {
            Value done = Value::list(std::move(frame.out));
            stack.pop_back();
            if (stack.empty()) {
                return done;
            }
            stack.back().out.push_back(std::move(done));
            continue;
        }
        const ir::Value& item = (*frame.items)[frame.next++];
        if (const auto* list = std::get_if<ir::Value::List>(&item.kind)) {
            stack.push_back(Load{&list->items});
            continue;
        }
        auto loaded = scalar(item);
        if (!loaded) {
            return loaded;
        }
        frame.out.push_back(std::move(*loaded));
    }
}

namespace {

// The factor that stands for dividing by `dbu`: its reciprocal where that is exact (a power of
// two, as 1 nm is), since then the product is the same real number as the quotient and rounds
// to the same double; none otherwise.
std::optional<double> exact_inverse(double dbu) {
    int exponent = 0;
    if (!std::isfinite(dbu) || std::frexp(dbu, &exponent) != 0.5) {
        return std::nullopt;
    }
    const double inverse = 1.0 / dbu;
    return std::isfinite(inverse) ? std::optional(inverse) : std::nullopt;
}

struct Placer {
    const geom::Transform& t;
    base::Turn turn;
    double dbu;
    // Every point of every shape is scaled to the grid, and a product costs less than a quotient.
    std::optional<double> inverse = exact_inverse(dbu);

    geom::Point apply(double x, double y) const {
        if (t.mirror) {
            return {t.offset_x + (turn.cos * x + turn.sin * y),
                    t.offset_y + (turn.sin * x - turn.cos * y)};
        }
        return {t.offset_x + (turn.cos * x - turn.sin * y),
                t.offset_y + (turn.sin * x + turn.cos * y)};
    }

    ir::Point grid(geom::Point p) const {
        if (inverse) {
            return {base::round_to_i64(p.x * *inverse), base::round_to_i64(p.y * *inverse)};
        }
        return {base::round_to_i64(p.x / dbu), base::round_to_i64(p.y / dbu)};
    }

    // Rounded, with repeats of the previous point and closing repeats of the first dropped.
    std::vector<ir::Point> snapped(std::span<const geom::Point> points) const {
        std::vector<ir::Point> out;
        out.reserve(points.size());
        for (const geom::Point& p : points) {
            const ir::Point q = grid(apply(p.x, p.y));
            if (out.empty() || out.back() != q) {
                out.push_back(q);
            }
        }
        while (out.size() > 1 && out.back() == out.front()) {
            out.pop_back();
        }
        return out;
    }
};

// One geometry that is not a group.
void place_leaf(const geom::LocalGeometry& g, const Placer& placer, double rotation,
                std::vector<ir::Geometry>& out) {
    if (const auto* box = std::get_if<geom::BBox>(&g.kind)) {
        const std::array<geom::Point, 4> corners{{{box->left, box->bottom},
                                                  {box->right, box->bottom},
                                                  {box->right, box->top},
                                                  {box->left, box->top}}};
        if (std::fmod(rotation, 90.0) != 0) {
            out.push_back(ir::Geometry{ir::Polygon{placer.snapped(corners)}});
            return;
        }
        geom::Point lo = placer.apply(box->left, box->bottom);
        geom::Point hi = lo;
        for (const geom::Point& c : corners) {
            const geom::Point p = placer.apply(c.x, c.y);
            lo = {std::min(lo.x, p.x), std::min(lo.y, p.y)};
            hi = {std::max(hi.x, p.x), std::max(hi.y, p.y)};
        }
        const ir::Point a = placer.grid(lo);
        const ir::Point b = placer.grid(hi);
        out.push_back(ir::Geometry{ir::Box{a.x, a.y, b.x, b.y}});
    } else if (const auto* polygon = std::get_if<geom::Polygon>(&g.kind)) {
        out.push_back(ir::Geometry{ir::Polygon{placer.snapped(polygon->points)}});
    } else if (const auto* path = std::get_if<geom::Path>(&g.kind)) {
        out.push_back(ir::Geometry{
            ir::Path{base::round_to_i64(path->width / placer.dbu), placer.snapped(path->points)}});
    }
}

} // namespace

void Evaluator::shape_geometry(const geom::LocalGeometry& geometry,
                               const geom::Transform& transform,
                               std::vector<ir::Geometry>& out) const {
    const double rotation = base::normalize_angle(transform.rotation);
    const Placer placer{transform, base::turn_of(rotation), dbu};
    if (!std::holds_alternative<geom::Group>(geometry.kind)) {
        place_leaf(geometry, placer, rotation, out);
        return;
    }
    // Groups nest; an explicit stack walks them in member order.
    std::vector<const geom::LocalGeometry*> work{&geometry};
    while (!work.empty()) {
        const geom::LocalGeometry* g = work.back();
        work.pop_back();
        if (const auto* group = std::get_if<geom::Group>(&g->kind)) {
            for (auto it = group->members.rbegin(); it != group->members.rend(); ++it) {
                work.push_back(&*it);
            }
        } else {
            place_leaf(*g, placer, rotation, out);
        }
    }
}

} // namespace quorvane_dsl::eval
