#include "ir/model.hpp"

#include "ir/scan.hpp"

namespace quorvane_dsl::ir {

std::string PortRef::text() const {
    return (instance ? *instance : std::string("self")) + "." + port + "[" + std::to_string(index) +
           "]";
}

std::optional<PortRef> parse_port(std::string_view text) {
    if (!text.ends_with(']')) {
        return std::nullopt;
    }
    const std::string_view head = text.substr(0, text.size() - 1);
    const std::size_t open = head.rfind('[');
    if (open == std::string_view::npos) {
        return std::nullopt;
    }
    const std::size_t dot = head.substr(0, open).find('.');
    if (dot == std::string_view::npos) {
        return std::nullopt;
    }
    const std::string_view digits = head.substr(open + 1);
    const auto index = scan::read_u64(digits);
    if (!index) {
        return std::nullopt;
    }
    const std::string_view instance = head.substr(0, dot);
    PortRef port{std::string(head.substr(dot + 1, open - dot - 1)), std::nullopt, *index};
    if (instance != "self") {
        port.instance = std::string(instance);
    }
    return port;
}

const Marker* Cell::marker(std::string_view name) const {
    for (const Marker& m : markers) {
        if (m.name == name) {
            return &m;
        }
    }
    return nullptr;
}

std::string_view marker_kind(const Marker& marker) {
    for (const auto& [name, value] : marker.attrs) {
        if (name == "kind") {
            const auto* text = std::get_if<Value::String>(&value.kind);
            return text ? std::string_view(text->text) : "port";
        }
    }
    return "port";
}

} // namespace quorvane_dsl::ir
