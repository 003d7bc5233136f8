#include <string>
#include <string_view>
#include <type_traits>
#include <variant>
#include <vector>

#include "decompile/decompiler.hpp"
#include "syntax/kind.hpp"
#include "units/units.hpp"

namespace quorvane_dsl::decompile {

namespace {

using ir::Value;

// A comment ends at a line break, so one inside a name would spill the rest into code.
std::string one_line(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else {
            out += c;
        }
    }
    return out;
}

// Whether a list holds a named value at any depth; walks with a stack of its own.
bool holds_named(const Value& value) {
    std::vector<const Value*> pending{&value};
    while (!pending.empty()) {
        const Value* next = pending.back();
        pending.pop_back();
        if (std::holds_alternative<Value::Named>(next->kind)) {
            return true;
        }
        if (const auto* list = std::get_if<Value::List>(&next->kind)) {
            for (const Value& item : list->items) {
                pending.push_back(&item);
            }
        }
    }
    return false;
}

// Cell attributes keep what the language can state: no areas, no cross-sections.
bool attribute_written(const Value& value) {
    if (const auto* number = std::get_if<Value::Number>(&value.kind)) {
        const units::Dim dim = number->dim;
        return dim == units::Dim{0, 0} || dim == units::Dim{1, 0} || dim == units::Dim{0, 1};
    }
    return !holds_named(value);
}

// The name of a `with` argument is written as it is, so it must lex as one identifier.
bool is_plain_identifier(std::string_view name) {
    if (name.empty() || (name[0] >= '0' && name[0] <= '9')) {
        return false;
    }
    for (const char c : name) {
        if (!is_ascii_alnum(static_cast<unsigned char>(c)) && c != '_') {
            return false;
        }
    }
    return !syntax::kind::from_keyword(name).has_value();
}

struct CellWriter {
    Decompiler& d;
    const ir::Cell& cell;
    NameSet names;
    std::string& out;
    std::vector<ir::Point> kept_points; // reused by every polygon of the cell

    // Lengths and points are appended in place: a cell may hold millions of them.
    void put_length(double dbu_value) { out += units::format_length(dbu_value * d.library.dbu); }

    void put_point(std::int64_t x, std::int64_t y) {
        out += '(';
        put_length(static_cast<double>(x));
        out += ", ";
        put_length(static_cast<double>(y));
        out += ')';
    }

    void put_points(const std::vector<ir::Point>& list) {
        for (std::size_t i = 0; i < list.size(); ++i) {
            if (i > 0) {
                out += ", ";
            }
            put_point(list[i].x, list[i].y);
        }
    }

    // "        place N at self.origin": polygons and paths are written where they stand.
    void put_in_place(const std::string& name) {
        out += "        place ";
        out += name;
        out += " at self.origin\n";
    }

    void warn(std::string_view what) {
        d.warnings.push_back("cell `" + cell.name + "`: " + std::string(what));
    }

    void header(const std::string& identifier) {
        if (cell.source == cell.name && cell.params.empty()) {
            if (identifier != cell.name) {
                out += one_line("# `" + cell.name + "`") + "\n";
            }
            return;
        }
        std::string line = "# `" + cell.name + "` from cell `" + cell.source + "`";
        for (std::size_t i = 0; i < cell.params.size(); ++i) {
            line += i == 0 ? " with " : ", ";
            line += cell.params[i].first + " = " + cell.params[i].second.to_literal();
        }
        out += one_line(line) + "\n";
    }

    void attributes() {
        std::string lines;
        for (const auto& [name, value] : cell.attrs) {
            if (attribute_written(value)) {
                lines += "        " + identifier(name, names) + " " + value.to_literal() + "\n";
            }
        }
        if (!lines.empty()) {
            out += "    attribute {\n" + lines + "    }\n";
        }
    }

    void put_location(const ir::Frame& frame) {
        if (frame.angle == 0) {
            put_point(frame.x, frame.y);
            return;
        }
        out += '(';
        put_length(static_cast<double>(frame.x));
        out += ", ";
        put_length(static_cast<double>(frame.y));
        out += ", " + units::format_number(frame.angle) + "deg)";
    }

    std::string marker_attributes(const ir::Marker& marker) {
        std::string text;
        for (const auto& [name, value] : marker.attrs) {
            if (holds_named(value)) {
                continue;
            }
            if (!is_plain_identifier(name)) {
                warn("skipped the attribute `" + name + "` of marker `" + marker.name +
                     "`, whose name is no identifier");
                continue;
            }
            text += text.empty() ? "with " : ", ";
            text += name + " = " + value.to_literal();
        }
        return text;
    }

    void markers() {
        if (cell.markers.empty()) {
            return;
        }
        out += "    marker {\n";
        for (const ir::Marker& marker : cell.markers) {
            out += "        " + identifier(marker.name, names) + " {\n            at {\n";
            for (std::size_t i = 0; i < marker.locations.size(); ++i) {
                if (i > 0) {
                    out += '\n';
                }
                out += "            ";
                put_location(marker.locations[i]);
            }
            out += "\n            }\n";
            if (const std::string with = marker_attributes(marker); !with.empty()) {
                out += "            " + with + "\n";
            }
            out += "        }\n";
        }
        out += "    }\n";
    }

    void box(const ir::Box& b) {
        if (!(b.right > b.left && b.top > b.bottom)) {
            warn("skipped an empty box");
            return;
        }
        const std::string name = identifier("r", names);
        // Sizes and centres in floating point: exact for GDSII's 32-bit coordinates, and no
        // overflow for the widest boxes IR text can hold.
        const auto left = static_cast<double>(b.left);
        const auto bottom = static_cast<double>(b.bottom);
        const auto right = static_cast<double>(b.right);
        const auto top = static_cast<double>(b.top);
        out += "        shape rect with ";
        put_length(right - left);
        out += ", ";
        put_length(top - bottom);
        out += " as ";
        out += name;
        out += "\n        place ";
        out += name;
        out += " at (";
        put_length((left + right) * 0.5);
        out += ", ";
        put_length((bottom + top) * 0.5);
        out += ")\n";
    }

    void polygon(const ir::Polygon& polygon) {
        std::vector<ir::Point>& kept = kept_points;
        kept.clear();
        for (const ir::Point& p : polygon.points) {
            if (kept.empty() || kept.back() != p) {
                kept.push_back(p);
            }
        }
        if (kept.size() < 3) {
            warn("skipped a polygon with fewer than 3 points");
            return;
        }
        const std::string name = identifier("p", names);
        out += "        shape polygon with [";
        put_points(kept);
        out += "] as ";
        out += name;
        out += '\n';
        put_in_place(name);
    }

    void path(const ir::Path& path) {
        if (path.width <= 0 || path.points.size() < 2) {
            warn("skipped a path without width or with fewer than 2 points");
            return;
        }
        const std::string name = identifier("w", names);
        out += "        shape path with [";
        put_points(path.points);
        out += "], ";
        put_length(static_cast<double>(path.width));
        out += " as ";
        out += name;
        out += '\n';
        put_in_place(name);
    }

    void shape(const ir::Geometry& geometry) {
        std::visit(
            [&](const auto& g) {
                using G = std::decay_t<decltype(g)>;
                if constexpr (std::is_same_v<G, ir::Box>) {
                    box(g);
                } else if constexpr (std::is_same_v<G, ir::Polygon>) {
                    polygon(g);
                } else {
                    path(g);
                }
            },
            geometry.kind);
    }

    void shapes() {
        // Layers in the order of their first shape; each layer's shapes in cell order.
        std::vector<std::uint64_t> order;
        std::vector<std::vector<std::size_t>> by_layer(d.library.layers.size());
        for (std::size_t i = 0; i < cell.shapes.size(); ++i) {
            std::vector<std::size_t>& group = by_layer[cell.shapes[i].layer];
            if (group.empty()) {
                order.push_back(cell.shapes[i].layer);
            }
            group.push_back(i);
        }
        for (const std::uint64_t layer : order) {
            out += "    layer " + d.layer_names[layer] + " {\n";
            for (const std::size_t i : by_layer[layer]) {
                shape(cell.shapes[i].geometry);
            }
            out += "    }\n";
        }
    }

    std::string suffix(const ir::Instance& instance) const {
        std::string text;
        if (instance.rotation != 0) {
            text += " rotate " + units::format_angle(instance.rotation);
        }
        if (instance.mirror) {
            text += " mirror";
        }
        return text;
    }

    // The origin's coordinate, then a term per loop variable whose step moves along this axis.
    void put_stepped(std::int64_t origin, std::int64_t column_step, std::int64_t row_step) {
        put_length(static_cast<double>(origin));
        if (column_step != 0) {
            out += " + i * ";
            put_length(static_cast<double>(column_step));
        }
        if (row_step != 0) {
            out += " + j * ";
            put_length(static_cast<double>(row_step));
        }
    }

    void instance(const ir::Instance& instance) {
        const std::string& child = d.cell_names[instance.cell];
        if (!instance.array) {
            const std::string name = identifier(instance.name, names);
            out += "    place " + child + ".origin at ";
            put_point(instance.x, instance.y);
            out += suffix(instance) + " as " + name + "\n";
            return;
        }
        const ir::Array& a = *instance.array;
        out += "    place {\n        for i in 0.." + std::to_string(a.columns) +
               " {\n            for j in 0.." + std::to_string(a.rows) + " {\n" +
               "                place " + child + ".origin at (";
        put_stepped(instance.x, a.column_step.x, a.row_step.x);
        out += ", ";
        put_stepped(instance.y, a.column_step.y, a.row_step.y);
        out += ")" + suffix(instance) + "\n            }\n        }\n    }\n";
    }

    void write(const std::string& identifier) {
        header(identifier);
        if (cell.blackbox) {
            out += one_line("# A blackbox: interface " + cell.blackbox->interface + ", content " +
                            cell.blackbox->content) +
                   "\n";
        }
        out += "cell " + identifier + " {\n";
        attributes();
        markers();
        shapes();
        for (const ir::Instance& placed : cell.instances) {
            instance(placed);
        }
        out += "}\n\n";
    }
};

} // namespace

void Decompiler::cell(std::size_t index) {
    CellWriter writer{*this, library.cells[index], NameSet(&names), out};
    writer.write(cell_names[index]);
}

} // namespace quorvane_dsl::decompile
