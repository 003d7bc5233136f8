#include "ir/text.hpp"

#include "units.hpp"

namespace quorvane_dsl::ir {

namespace {

std::string point_text(Point p) {
    return "(" + std::to_string(p.x) + "," + std::to_string(p.y) + ")";
}

std::string frame_text(const Frame& frame) {
    return "(" + std::to_string(frame.x) + "," + std::to_string(frame.y) + "," +
           units::format_number(frame.angle) + "deg)";
}

struct ShapeWriter {
    std::string& out;
    const std::string& layer;

    void operator()(const Box& b) const {
        out += "  box " + layer + " " + std::to_string(b.left) + " " + std::to_string(b.bottom) +
               " " + std::to_string(b.right) + " " + std::to_string(b.top) + "\n";
    }
    void operator()(const Polygon& p) const {
        out += "  polygon " + layer + " " + points_text(p.points) + "\n";
    }
    void operator()(const Path& p) const {
        out += "  path " + layer + " width=" + std::to_string(p.width) + " " +
               points_text(p.points) + "\n";
    }
};

void write_instance(std::string& out, const Library& library, const Instance& inst) {
    out += "  inst " + inst.name + " " + library.cells.at(inst.cell).name + " at (" +
           std::to_string(inst.x) + "," + std::to_string(inst.y) + ")";
    if (inst.rotation != 0.0) {
        out += " rot=" + units::format_number(inst.rotation);
    }
    if (inst.mirror) {
        out += " mirror";
    }
    if (inst.array) {
        out += " array=" + std::to_string(inst.array->columns) + "x" +
               std::to_string(inst.array->rows) + " step=" + point_text(inst.array->column_step) +
               " " + point_text(inst.array->row_step);
    }
    out += "\n";
}

void write_marker(std::string& out, const Marker& marker) {
    out += "  marker " + marker.name + " ";
    for (std::size_t i = 0; i < marker.locations.size(); ++i) {
        out += (i == 0 ? "" : " ") + frame_text(marker.locations[i]);
    }
    if (!marker.attrs.empty()) {
        out += " {";
        for (std::size_t i = 0; i < marker.attrs.size(); ++i) {
            out += (i == 0 ? "" : ", ") + marker.attrs[i].first + "=" +
                   marker.attrs[i].second.to_literal();
        }
        out += "}";
    }
    out += "\n";
}

void write_cell(std::string& out, const Library& library, const Cell& cell) {
    out += "cell " + cell.name + " source=" + cell.source + " {\n";
    if (const auto& bb = cell.blackbox) {
        out += "  blackbox footprint=(" + std::to_string(bb->footprint.left) + "," +
               std::to_string(bb->footprint.bottom) + "," + std::to_string(bb->footprint.right) +
               "," + std::to_string(bb->footprint.top) + ") interface=" + bb->interface +
               " content=" + bb->content + "\n";
    }
    for (const auto& [name, value] : cell.params) {
        out += "  param " + name + " " + value.to_literal() + "\n";
    }
    for (const auto& [name, value] : cell.attrs) {
        out += "  attr " + name + " " + value.to_literal() + "\n";
    }
    for (const Shape& shape : cell.shapes) {
        std::visit(ShapeWriter{out, library.layers.at(shape.layer).name}, shape.geometry.kind);
    }
    for (const Instance& inst : cell.instances) {
        write_instance(out, library, inst);
    }
    for (const Marker& marker : cell.markers) {
        write_marker(out, marker);
    }
    for (const Connection& c : cell.connections) {
        out +=
            "  connect " + c.a.text() + " " + c.b.text() + (c.geometric ? " geometric" : "") + "\n";
    }
    out += "}\n";
}

std::optional<std::string> unwritable_value(const Cell& cell) {
    const auto refuse = [&](const std::string& what,
                            const Value& value) -> std::optional<std::string> {
        if (auto dim = unwritable_dimension(value)) {
            return "cannot write cell `" + cell.name + "` as IR text: " + what +
                   " holds a number of dimension " + *dim + ", which has no literal";
        }
        return std::nullopt;
    };
    for (const auto& [name, value] : cell.params) {
        if (auto message = refuse("param `" + name + "`", value)) {
            return message;
        }
    }
    for (const auto& [name, value] : cell.attrs) {
        if (auto message = refuse("attr `" + name + "`", value)) {
            return message;
        }
    }
    for (const Marker& marker : cell.markers) {
        for (const auto& [name, value] : marker.attrs) {
            if (auto message =
                    refuse("attribute `" + name + "` of marker `" + marker.name + "`", value)) {
                return message;
            }
        }
    }
    return std::nullopt;
}

} // namespace

std::string points_text(std::span<const Point> points) {
    std::string text;
    for (std::size_t i = 0; i < points.size(); ++i) {
        text += (i == 0 ? "" : " ") + point_text(points[i]);
    }
    return text;
}

std::expected<std::string, std::string> print(const Library& library) {
    std::string out = "quorvane-ir 1\ndbu " + units::format_number(library.dbu) + "nm\n";
    for (const Layer& layer : library.layers) {
        out += "layer " + layer.name + " " + std::to_string(layer.layer) + "/" +
               std::to_string(layer.datatype) + "\n";
    }
    for (const Cell& cell : library.cells) {
        if (auto message = unwritable_value(cell)) {
            return std::unexpected(std::move(*message));
        }
        write_cell(out, library, cell);
    }
    for (std::uint64_t top : library.tops) {
        out += "top " + library.cells.at(top).name + "\n";
    }
    return out;
}

} // namespace quorvane_dsl::ir
