#include "signature/signature.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "ir/engine.hpp"
#include "ir/text.hpp"
#include "ir/transform.hpp"
#include "ir/walk.hpp"
#include "units/units.hpp"

namespace quorvane_dsl::signature {

namespace {

using ir::Value;

void append_int(std::string& text, std::int64_t value) {
    char buffer[24];
    text.append(buffer, std::to_chars(buffer, buffer + sizeof buffer, value).ptr);
}

// Signatures are compared across builds, so a string is escaped exactly as published: tab, line
// feed, double quote and backslash. The text is hashed, never lexed, so a carriage return stays
// raw here even though string literals escape it.
std::string canonical_string(std::string_view text) {
    std::string out = "\"";
    for (const char c : text) {
        switch (c) {
        case '\t':
            out += "\\t";
            break;
        case '\n':
            out += "\\n";
            break;
        case '"':
        case '\\':
            out += '\\';
            out += c;
            break;
        default:
            out += c;
        }
    }
    return out + '"';
}

struct CanonicalWriter {
    std::string& out;

    void operator()(const Value::Int& v) const {
        out += v.value == 0 ? "0" : "i" + std::to_string(v.value);
    }
    void operator()(const Value::Number& v) const {
        const std::string number = number_text(v.value);
        if (number == "0") {
            out += "0";
            return;
        }
        out +=
            "q" + number + "^" + std::to_string(v.dim.length) + "," + std::to_string(v.dim.angle);
    }
    void operator()(const Value::String& v) const { out += canonical_string(v.text); }
    void operator()(const Value::Bool& v) const { out += v.value ? "true" : "false"; }
    void operator()(const Value::Point& v) const {
        out += "p(" + number_text(v.x) + "," + number_text(v.y) + "," + number_text(v.angle) + ")";
    }
    void operator()(const Value::List& v) const {
        out += '[';
        for (std::size_t i = 0; i < v.items.size(); ++i) {
            out += i == 0 ? "" : ",";
            std::visit(*this, v.items[i].kind);
        }
        out += ']';
    }
    void operator()(const Value::Named& v) const {
        std::vector<std::string> args;
        args.reserve(v.args.size());
        for (const auto& [name, value] : v.args) {
            args.push_back(name + "=" + canonical(value));
        }
        std::stable_sort(args.begin(), args.end());
        out += "x" + v.name + "(";
        for (std::size_t i = 0; i < args.size(); ++i) {
            out += (i == 0 ? "" : ",") + args[i];
        }
        out += ")";
    }
};

void append_sorted(std::string& text, std::vector<std::string>& lines) {
    std::stable_sort(lines.begin(), lines.end());
    for (const std::string& line : lines) {
        text += line;
        text += '\n';
    }
}

std::vector<std::string> named_lines(std::string_view keyword,
                                     std::span<const ir::NamedValue> values) {
    std::vector<std::string> lines;
    lines.reserve(values.size());
    for (const auto& [name, value] : values) {
        lines.push_back(std::string(keyword) + " " + name + " " + canonical(value));
    }
    return lines;
}

std::string marker_line(const ir::Marker& marker) {
    std::string line = "marker " + marker.name;
    for (const ir::Frame& frame : marker.locations) {
        line += " " + std::to_string(frame.x) + "," + std::to_string(frame.y) + "," +
                angle_text(frame.angle);
    }
    std::vector<std::string> attrs;
    attrs.reserve(marker.attrs.size());
    for (const auto& [name, value] : marker.attrs) {
        attrs.push_back(name + "=" + canonical(value));
    }
    std::stable_sort(attrs.begin(), attrs.end());
    line += " {";
    for (std::size_t i = 0; i < attrs.size(); ++i) {
        line += (i == 0 ? "" : " ") + attrs[i];
    }
    return line + "}";
}

void append_box(std::string& line, const ir::Box& b) {
    line += "box ";
    append_int(line, b.left);
    line += ' ';
    append_int(line, b.bottom);
    line += ' ';
    append_int(line, b.right);
    line += ' ';
    append_int(line, b.top);
}

void append_points(std::string& line, std::span<const ir::Point> points) {
    for (std::size_t i = 0; i < points.size(); ++i) {
        if (i > 0) {
            line += ' ';
        }
        append_int(line, points[i].x);
        line += ',';
        append_int(line, points[i].y);
    }
}

// Appends the text of one GDSII piece to its line.
struct PieceWriter {
    std::string& line;

    void operator()(const ir::Box& b) const { append_box(line, b); }
    void operator()(const ir::Polygon& p) const {
        if (const auto box = ir::as_box(p.points)) {
            append_box(line, *box);
            return;
        }
        line += "polygon ";
        append_points(line, p.points);
    }
    void operator()(const ir::Path& p) const {
        line += "path ";
        append_int(line, p.width);
        line += ' ';
        append_points(line, p.points);
    }
};

std::string instance_line(const ir::Instance& inst, const sha256::Digest& child) {
    std::string line = "inst " + sha256::to_hex(child) + " " + std::to_string(inst.x) + " " +
                       std::to_string(inst.y) + " " + angle_text(inst.rotation) + " " +
                       (inst.mirror ? "true" : "false");
    if (const auto& a = inst.array) {
        line += " " + std::to_string(a->columns) + "x" + std::to_string(a->rows) + " " +
                std::to_string(a->column_step.x) + "," + std::to_string(a->column_step.y) + " " +
                std::to_string(a->row_step.x) + "," + std::to_string(a->row_step.y);
    }
    return line;
}

} // namespace

sha256::Digest sha(std::string_view data) {
    sha256::Sha256 state;
    state.update(data);
    return state.finish();
}

std::string number_text(double value) {
    const double r = std::round(value * 1000000.0) / 1000000.0;
    if (r == 0.0) {
        return "0";
    }
    return units::format_number(r);
}

std::string angle_text(double degrees) {
    return number_text(ir::normalize_angle(degrees));
}

std::string canonical(const Value& value) {
    std::string text;
    std::visit(CanonicalWriter{text}, value.kind);
    return text;
}

bool reads_back_alike(const Value& value, ir::Stored where) {
    const std::string signed_as = canonical(value);
    for (const std::string& literal : {value.stored_literal(where), value.to_literal()}) {
        const auto again = Value::parse_literal(literal);
        if (!again || canonical(*again) != signed_as) {
            return false;
        }
    }
    return true;
}

std::string geometry_text(std::span<const ir::Point> points) {
    std::string text;
    append_points(text, points);
    return text;
}

void header(std::string& text, const ir::Cell& cell) {
    text += "cell " + cell.name + "\n";
    text += "source " + cell.source + "\n";
    auto params = named_lines("param", cell.params);
    append_sorted(text, params);
    auto attrs = named_lines("attr", cell.attrs);
    append_sorted(text, attrs);
    std::vector<const ir::Marker*> markers;
    markers.reserve(cell.markers.size());
    for (const ir::Marker& marker : cell.markers) {
        markers.push_back(&marker);
    }
    std::stable_sort(markers.begin(), markers.end(),
                     [](const ir::Marker* a, const ir::Marker* b) { return a->name < b->name; });
    for (const ir::Marker* marker : markers) {
        text += marker_line(*marker) + "\n";
    }
}

Digests::Digests(const ir::Library& library)
    : library_(library), slots_(library.cells.size()), in_progress_(library.cells.size(), false) {}

std::string Digests::content_text(std::uint64_t index) const {
    const ir::Cell& cell = library_.cells.at(index);
    std::string text;
    header(text, cell);
    if (const auto& bb = cell.blackbox) {
        text += "blackbox " + std::to_string(bb->footprint.left) + " " +
                std::to_string(bb->footprint.bottom) + " " + std::to_string(bb->footprint.right) +
                " " + std::to_string(bb->footprint.top) + " " + bb->interface + " " + bb->content +
                "\n";
    }
    std::vector<std::string> geometry;
    geometry.reserve(cell.shapes.size());
    for (const ir::Shape& shape : cell.shapes) {
        const ir::Layer& layer = library_.layers.at(shape.layer);
        const std::string prefix =
            std::to_string(layer.layer) + "/" + std::to_string(layer.datatype) + " ";
        const auto add = [&](const ir::Geometry& piece) {
            std::string line = prefix;
            std::visit(PieceWriter{line}, piece.kind);
            geometry.push_back(std::move(line));
        };
        if (shape.geometry.fits_one_element()) {
            add(shape.geometry);
            continue;
        }
        for (const ir::Geometry& piece : shape.geometry.gds_pieces()) {
            add(piece);
        }
    }
    append_sorted(text, geometry);
    std::vector<std::string> instances;
    instances.reserve(cell.instances.size());
    for (const ir::Instance& inst : cell.instances) {
        // Every child is finished by now, except the cells of a cycle still being built.
        const auto& child = slots_.at(inst.cell);
        instances.push_back(instance_line(inst, child ? *child : sha256::Digest{}));
    }
    append_sorted(text, instances);
    return text;
}

sha256::Digest Digests::cell(std::uint64_t index) {
    // A cell of a cycle reached again while it is being built counts as empty.
    const auto enter = [&](std::uint64_t cell) {
        if (slots_.at(cell) || in_progress_[cell]) {
            return false;
        }
        in_progress_[cell] = true;
        return true;
    };
    const auto finish = [&](std::uint64_t cell) {
        slots_[cell] = sha(content_text(cell));
        in_progress_[cell] = false;
    };
    ir::walk_children_first(library_.cells, index, enter, finish);
    return slots_[index].value_or(sha256::Digest{});
}

std::string Digests::content(std::uint64_t index) {
    const std::string text = "quorvane.content 1\ndbu " + number_text(library_.dbu) + "\ncell " +
                             sha256::to_hex(cell(index)) + "\n";
    return "sha256:" + sha256::to_hex(sha(text));
}

std::string interface(const ir::Cell& cell, const ir::Box& footprint, double dbu) {
    std::string text = "quorvane.interface 1\ndbu " + number_text(dbu) + "\n";
    header(text, cell);
    text += "footprint " + std::to_string(footprint.left) + " " + std::to_string(footprint.bottom) +
            " " + std::to_string(footprint.right) + " " + std::to_string(footprint.top) + "\n";
    return "sha256:" + sha256::to_hex(sha(text));
}

std::optional<std::string> changed_blackbox(const ir::Cell& cell, double dbu) {
    if (!cell.blackbox ||
        interface(cell, cell.blackbox->footprint, dbu) == cell.blackbox->interface) {
        return std::nullopt;
    }
    return "blackbox " + ir::shown(cell.name) +
           " does not match its interface signature: it was changed after it was published";
}

} // namespace quorvane_dsl::signature
