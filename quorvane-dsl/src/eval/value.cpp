#include "eval/value.hpp"

#include <algorithm>
#include <unordered_set>
#include <utility>

#include "base/overload.hpp"
#include "eval/xs_value.hpp"

namespace quorvane_dsl::eval {

using base::Overload;

std::shared_ptr<const PointSource> PointSource::of_xsection(std::shared_ptr<const XsValue> xs) {
    if (!xs) {
        return nullptr;
    }
    return std::make_shared<const PointSource>(PointSource{std::nullopt, std::move(xs)});
}

Value Value::string(std::string text) {
    return {Str{std::make_shared<const std::string>(std::move(text))}};
}

Value Value::list(std::vector<Value> items) {
    std::uint32_t nested = 0;
    for (const Value& item : items) {
        nested = std::max(nested, list_depth(item));
    }
    const std::size_t size = items.size();
    return {List{std::make_shared<std::vector<Value>>(std::move(items)), size, nested}};
}

std::span<const Value> Value::List::elements() const {
    return items ? std::span<const Value>(items->data(), size) : std::span<const Value>();
}

namespace {

// The cross-section a value carries, whose parameters may hold lists.
const XsValue* xsection_in(const Value& value) {
    if (const auto* x = std::get_if<Value::XSection>(&value.kind)) {
        return x->value.get();
    }
    const auto* point = std::get_if<Value::Point>(&value.kind);
    return point && point->source ? point->source->xsection.get() : nullptr;
}

// Whether `value` holds `buffer`, directly or through lists and cross-sections inside it.
bool holds_buffer(const Value& value, const std::vector<Value>* buffer) {
    if (!std::holds_alternative<Value::List>(value.kind) && !xsection_in(value)) {
        return false;
    }
    std::vector<const Value*> todo{&value};
    std::unordered_set<const void*> seen;
    const auto visit_all = [&](const std::vector<Value>& values) {
        for (const Value& v : values) {
            todo.push_back(&v);
        }
    };
    while (!todo.empty()) {
        const Value& v = *todo.back();
        todo.pop_back();
        if (const auto* list = std::get_if<Value::List>(&v.kind)) {
            if (list->items.get() == buffer) {
                return true;
            }
            if (list->items && seen.insert(list->items.get()).second) {
                visit_all(*list->items);
            }
        } else if (const XsValue* xs = xsection_in(v); xs && seen.insert(xs).second) {
            visit_all(xs->args);
        }
    }
    return false;
}

} // namespace

void Value::List::push(Value value) {
    // Lists sharing a buffer share `nested`, which bounds the depth of everything the buffer
    // holds, so that freeing a list never recurses deeper than that. A value nesting deeper takes
    // a buffer of its own while the buffer is shared, as does one that holds the buffer (it
    // would hold itself).
    const std::uint32_t depth = list_depth(value);
    const bool in_place =
        items && items->size() == size &&
        (items.use_count() == 1 || (depth <= nested && !holds_buffer(value, items.get())));
    if (!items) {
        items = std::make_shared<std::vector<Value>>();
    } else if (!in_place) {
        items = std::make_shared<std::vector<Value>>(items->begin(),
                                                     items->begin() + static_cast<long>(size));
    }
    items->push_back(std::move(value));
    ++size;
    nested = std::max(nested, depth);
}

std::uint32_t list_depth(const Value& value) {
    const auto* list = std::get_if<Value::List>(&value.kind);
    return list ? list->nested + 1 : 0;
}

std::string_view Value::describe() const {
    return std::visit(Overload{
                          [](const Int&) { return "an integer"; },
                          [](const Quantity& q) {
                              if (q.dim == length_dim) {
                                  return "a size";
                              }
                              return q.dim == angle_dim ? "an angle" : "a number";
                          },
                          [](const Bool&) { return "a bool"; },
                          [](const Str&) { return "a string"; },
                          [](const Point&) { return "a point"; },
                          [](const List&) { return "a list"; },
                          [](const Range&) { return "a range"; },
                          [](const Shape&) { return "a shape"; },
                          [](const Instance&) { return "an instance"; },
                          [](const Cell&) { return "a cell"; },
                          [](const SelfCell&) { return "a cell"; },
                          [](const Layer&) { return "a layer"; },
                          [](const Markers&) { return "a marker set"; },
                          [](const Function&) { return "a function"; },
                          [](const XSection&) { return "a cross-section"; },
                          [](const Nothing&) { return "nothing"; },
                      },
                      kind);
}

} // namespace quorvane_dsl::eval
