#include "lvs/ports.hpp"

#include <stdexcept>

#include "ir/transform.hpp"

namespace quorvane_dsl::lvs {

PortAttrs attrs_of(std::span<const ir::NamedValue> attrs) {
    PortAttrs out;
    for (const auto& [name, value] : attrs) {
        if (name == "type") {
            if (const auto* text = std::get_if<ir::Value::String>(&value.kind)) {
                out.type = text->text;
            }
        } else if (name == "width") {
            if (const auto* number = std::get_if<ir::Value::Number>(&value.kind)) {
                out.width = number->value;
            }
        } else if (name == "xsection") {
            if (std::holds_alternative<ir::Value::Named>(value.kind)) {
                out.xsection = value.to_literal();
            }
        }
    }
    return out;
}

namespace {

Port port_of(const ir::Marker& marker, const PortAttrs& attrs, std::uint64_t index) {
    Port port;
    port.marker = marker.name;
    port.index = index;
    port.kind = std::string(ir::marker_kind(marker));
    port.type = attrs.type;
    port.width = attrs.width;
    port.xsection = attrs.xsection;
    return port;
}

void add_placed(std::vector<Port>& out, const ir::Instance& inst, const ir::Cell& child) {
    const ir::Turn turn = ir::turn_of(ir::normalize_angle(inst.rotation));
    for (const ir::Marker& marker : child.markers) {
        const PortAttrs attrs = attrs_of(marker.attrs);
        for (std::size_t k = 0; k < marker.locations.size(); ++k) {
            const ir::Frame& frame = marker.locations[k];
            const auto [x, y] =
                ir::place(inst, turn, static_cast<double>(frame.x), static_cast<double>(frame.y));
            const double pa = inst.mirror ? -frame.angle : frame.angle;
            Port port = port_of(marker, attrs, k);
            port.instance = inst.name;
            port.x = ir::round_to_i64(x);
            port.y = ir::round_to_i64(y);
            port.angle = ir::normalize_angle(inst.rotation + pa);
            out.push_back(std::move(port));
        }
    }
}

} // namespace

std::vector<Port> ports(std::span<const ir::Cell> cells, const ir::Cell& cell) {
    std::vector<Port> out;
    for (const ir::Marker& marker : cell.markers) {
        const PortAttrs attrs = attrs_of(marker.attrs);
        for (std::size_t k = 0; k < marker.locations.size(); ++k) {
            Port port = port_of(marker, attrs, k);
            port.x = marker.locations[k].x;
            port.y = marker.locations[k].y;
            port.angle = marker.locations[k].angle;
            out.push_back(std::move(port));
        }
    }
    for (const ir::Instance& inst : cell.instances) {
        if (inst.cell >= cells.size()) {
            throw std::out_of_range("an instance places a cell outside the library");
        }
        if (!inst.array) {
            add_placed(out, inst, cells[inst.cell]);
        }
    }
    return out;
}

} // namespace quorvane_dsl::lvs
