#include "eval/value.hpp"

#include <algorithm>
#include <utility>

#include "base/overload.hpp"

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
    return {List{std::make_shared<std::vector<Value>>(std::move(items)), nested}};
}

const std::vector<Value>& Value::List::elements() const {
    static const std::vector<Value> none;
    return items ? *items : none;
}

std::vector<Value>& Value::List::edit() {
    if (!items) {
        items = std::make_shared<std::vector<Value>>();
    } else if (items.use_count() > 1) {
        items = std::make_shared<std::vector<Value>>(*items);
    }
    return *items;
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
