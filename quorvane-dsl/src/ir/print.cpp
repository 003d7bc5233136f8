#include <charconv>
#include <type_traits>

#include "ir/text.hpp"
#include "units/units.hpp"

namespace quorvane_dsl::ir {

namespace {

// Appends in place: a library of millions of shapes prints without a temporary per field.
class Out {
  public:
    explicit Out(std::string& text) : text_(text) {}

    Out& operator<<(std::string_view s) {
        text_.append(s);
        return *this;
    }
    Out& operator<<(char c) {
        text_.push_back(c);
        return *this;
    }
    template <typename Int>
    requires std::is_integral_v<Int> Out& operator<<(Int value) {
        char buffer[24];
        const auto end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
        text_.append(buffer, end);
        return *this;
    }

  private:
    std::string& text_;
};

void point(Out& out, Point p) {
    out << '(' << p.x << ',' << p.y << ')';
}

void points(Out& out, std::span<const Point> list) {
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (i > 0) {
            out << ' ';
        }
        point(out, list[i]);
    }
}

struct ShapeWriter {
    Out& out;
    std::string_view layer;

    void operator()(const Box& b) const {
        out << "  box " << layer << ' ' << b.left << ' ' << b.bottom << ' ' << b.right << ' '
            << b.top << '\n';
    }
    void operator()(const Polygon& p) const {
        out << "  polygon " << layer << ' ';
        points(out, p.points);
        out << '\n';
    }
    void operator()(const Path& p) const {
        out << "  path " << layer << " width=" << p.width << ' ';
        points(out, p.points);
        out << '\n';
    }
};

void write_instance(Out& out, const Library& library, const Instance& inst) {
    out << "  inst " << inst.name << ' ' << library.cells.at(inst.cell).name << " at ";
    point(out, {inst.x, inst.y});
    if (inst.rotation != 0.0) {
        out << " rot=" << units::format_number(inst.rotation);
    }
    if (inst.mirror) {
        out << " mirror";
    }
    if (const auto& a = inst.array) {
        out << " array=" << a->columns << 'x' << a->rows << " step=";
        point(out, a->column_step);
        out << ' ';
        point(out, a->row_step);
    }
    out << '\n';
}

void write_marker(Out& out, const Marker& marker) {
    out << "  marker " << marker.name << ' ';
    for (std::size_t i = 0; i < marker.locations.size(); ++i) {
        const Frame& frame = marker.locations[i];
        out << (i == 0 ? "" : " ") << '(' << frame.x << ',' << frame.y << ','
            << units::format_number(frame.angle) << "deg)";
    }
    if (!marker.attrs.empty()) {
        out << " {";
        for (std::size_t i = 0; i < marker.attrs.size(); ++i) {
            out << (i == 0 ? "" : ", ") << marker.attrs[i].first << '='
                << marker.attrs[i].second.to_literal();
        }
        out << '}';
    }
    out << '\n';
}

void write_cell(Out& out, const Library& library, const Cell& cell) {
    out << "cell " << cell.name << " source=" << cell.source << " {\n";
    if (const auto& bb = cell.blackbox) {
        out << "  blackbox footprint=(" << bb->footprint.left << ',' << bb->footprint.bottom << ','
            << bb->footprint.right << ',' << bb->footprint.top
            << ") interface=" << bb->interface << " content=" << bb->content << '\n';
    }
    for (const auto& [name, value] : cell.params) {
        out << "  param " << name << ' ' << value.to_literal() << '\n';
    }
    for (const auto& [name, value] : cell.attrs) {
        out << "  attr " << name << ' ' << value.to_literal() << '\n';
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
        out << "  connect " << c.a.text() << ' ' << c.b.text() << (c.geometric ? " geometric" : "")
            << '\n';
    }
    out << "}\n";
}

std::optional<std::string> refusal(const Cell& cell, const std::string& what, const Value& value) {
    if (auto number = unwritable_number(value)) {
        return "cannot write cell `" + cell.name + "` as IR text: " + what + " holds " + *number +
               ", which has no literal";
    }
    return std::nullopt;
}

std::optional<std::string> unwritable_value(const Cell& cell) {
    for (const auto& [name, value] : cell.params) {
        if (auto message = refusal(cell, "param `" + name + "`", value)) {
            return message;
        }
    }
    for (const auto& [name, value] : cell.attrs) {
        if (auto message = refusal(cell, "attr `" + name + "`", value)) {
            return message;
        }
    }
    for (const Marker& marker : cell.markers) {
        for (const auto& [name, value] : marker.attrs) {
            const std::string what = "attribute `" + name + "` of marker `" + marker.name + "`";
            if (auto message = refusal(cell, what, value)) {
                return message;
            }
        }
    }
    return std::nullopt;
}

} // namespace

std::string points_text(std::span<const Point> list) {
    std::string text;
    Out out(text);
    points(out, list);
    return text;
}

std::expected<std::string, std::string> print(const Library& library) {
    std::string text;
    Out out(text);
    out << "quorvane-ir 1\ndbu " << units::format_number(library.dbu) << "nm\n";
    for (const Layer& layer : library.layers) {
        out << "layer " << layer.name << ' ' << layer.layer << '/' << layer.datatype << '\n';
    }
    for (const Cell& cell : library.cells) {
        if (auto message = unwritable_value(cell)) {
            return std::unexpected(std::move(*message));
        }
        write_cell(out, library, cell);
    }
    for (std::uint64_t top : library.tops) {
        out << "top " << library.cells.at(top).name << '\n';
    }
    return text;
}

} // namespace quorvane_dsl::ir
