#include <charconv>
#include <type_traits>
#include <unordered_set>

#include "ir/scan.hpp"
#include "ir/text.hpp"
#include "ir/value.hpp"
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
                << marker.attrs[i].second.stored_literal(Stored::AmongText);
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
        out << "  param " << name << ' ' << value.stored_literal(Stored::ToTheEnd) << '\n';
    }
    for (const auto& [name, value] : cell.attrs) {
        out << "  attr " << name << ' ' << value.stored_literal(Stored::ToTheEnd) << '\n';
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

// Whether the reader gives this name back as it is: the fields of a line are split at white
// space, braces open and close blocks, and a line ends at a line feed.
bool writable_name(std::string_view name) {
    const auto fields = scan::fields(name);
    return fields.size() == 1 && fields[0].size() == name.size() && carries_name(name) &&
           name.find_first_of("{}") == std::string_view::npos;
}

// The value of a `key=value` field may be empty.
bool writable_field(std::string_view value) {
    return value.empty() || writable_name(value);
}

// A marker attribute is read back by the literal lexer, which wants one identifier.
bool writable_attribute_name(std::string_view name) {
    const auto tokens = literal_tokens(name, false);
    return tokens && tokens->size() == 1 && (*tokens)[0].kind == syntax::kind::SyntaxKind::IDENT &&
           (*tokens)[0].text == name;
}

// A port reads back as `instance.port[index]`, the cell itself as `self`.
bool writable_port(const PortRef& port) {
    if (port.instance && (!writable_name(*port.instance) || *port.instance == "self" ||
                          port.instance->find('.') != std::string::npos)) {
        return false;
    }
    return writable_name(port.port);
}

std::string cannot_write(const Cell& cell) {
    return "cannot write cell " + shown(cell.name) + " as IR text: ";
}

std::optional<std::string> name_refusal(const Cell& cell, std::string_view what,
                                        std::string_view name, bool writable) {
    if (writable) {
        return std::nullopt;
    }
    return cannot_write(cell) + std::string(what) + " " + shown(name) + " would not read back";
}

std::optional<std::string> first_of(std::initializer_list<std::optional<std::string>> refusals) {
    for (const auto& message : refusals) {
        if (message) {
            return message;
        }
    }
    return std::nullopt;
}

std::optional<std::string> unwritable_names(const Cell& cell, std::string_view kind,
                                            const std::vector<NamedValue>& values) {
    for (const auto& [name, value] : values) {
        if (auto message = name_refusal(cell, kind, name, writable_name(name))) {
            return message;
        }
    }
    return std::nullopt;
}

// `what` names the value; it is built only for a refusal, since nearly every value is written.
template <class What>
std::optional<std::string> value_refusal(const What& what, const Value& value) {
    if (auto number = unwritable_number(value)) {
        return what() + " holds " + *number + ", which has no literal";
    }
    return std::nullopt;
}

std::optional<std::string> unwritable_values(std::string_view kind,
                                             const std::vector<NamedValue>& values) {
    for (const auto& [name, value] : values) {
        const auto what = [&] { return std::string(kind) + " " + shown(name); };
        if (auto message = value_refusal(what, value)) {
            return message;
        }
    }
    return std::nullopt;
}

std::optional<std::string> unwritable_marker(const Cell& cell, const Marker& marker) {
    if (auto message = name_refusal(cell, "marker", marker.name, writable_name(marker.name))) {
        return message;
    }
    for (const auto& [name, value] : marker.attrs) {
        if (!writable_attribute_name(name)) {
            return cannot_write(cell) + "attribute " + shown(name) + " of marker " +
                   shown(marker.name) + " would not read back";
        }
    }
    return std::nullopt;
}

std::optional<std::string> unwritable_cell(const Cell& cell) {
    if (auto name = uncarried_name(cell, carries_name)) {
        return cannot_write(cell) + *name + " would not read back";
    }
    if (auto message =
            first_of({name_refusal(cell, "cell name", cell.name, writable_name(cell.name)),
                      name_refusal(cell, "source", cell.source, writable_field(cell.source)),
                      unwritable_names(cell, "param", cell.params),
                      unwritable_names(cell, "attr", cell.attrs)})) {
        return message;
    }
    if (auto message = unwritable_value(cell)) {
        return cannot_write(cell) + *message;
    }
    if (const auto& bb = cell.blackbox) {
        if (auto message = first_of({name_refusal(cell, "blackbox interface", bb->interface,
                                                  writable_field(bb->interface)),
                                     name_refusal(cell, "blackbox content", bb->content,
                                                  writable_field(bb->content))})) {
            return message;
        }
    }
    for (const Instance& inst : cell.instances) {
        if (auto message = name_refusal(cell, "instance", inst.name, writable_name(inst.name))) {
            return message;
        }
    }
    for (const Marker& marker : cell.markers) {
        if (auto message = unwritable_marker(cell, marker)) {
            return message;
        }
    }
    for (const Connection& c : cell.connections) {
        for (const PortRef* port : {&c.a, &c.b}) {
            if (auto message = name_refusal(cell, "port", port->text(), writable_port(*port))) {
                return message;
            }
        }
    }
    return std::nullopt;
}

// Layer and cell names are looked up by name, so each must also be unique.
std::optional<std::string> unwritable_library_names(const Library& library) {
    std::unordered_set<std::string_view> layers;
    for (const Layer& layer : library.layers) {
        if (!writable_name(layer.name) || !layers.insert(layer.name).second) {
            return "cannot write layer " + shown(layer.name) +
                   " as IR text: its name would not read back as this layer";
        }
    }
    std::unordered_set<std::string_view> cells;
    for (const Cell& cell : library.cells) {
        if (!cells.insert(cell.name).second) {
            return cannot_write(cell) + "another cell has the same name";
        }
    }
    return std::nullopt;
}

// The first name of the list that the writer does not carry, described with its kind.
std::optional<std::string> uncarried_names(std::string_view kind,
                                           const std::vector<NamedValue>& values, Carries carries) {
    for (const auto& [name, value] : values) {
        if (!carries(name)) {
            return std::string(kind) + " " + shown(name);
        }
    }
    return std::nullopt;
}

std::optional<std::string> uncarried_marker_name(const Marker& marker, Carries carries) {
    if (!carries(marker.name)) {
        return "marker " + shown(marker.name);
    }
    for (const auto& [name, value] : marker.attrs) {
        if (!carries(name)) {
            return "attribute " + shown(name) + " of marker " + shown(marker.name);
        }
    }
    return std::nullopt;
}

std::optional<std::string> uncarried_text(std::string_view kind, std::string_view text,
                                          Carries carries) {
    if (carries(text)) {
        return std::nullopt;
    }
    return std::string(kind) + " " + shown(text);
}

// The bytes of the control character that `text` starts with, 0 for none: the C0 controls,
// DEL and the C1 controls U+0080..U+009F (encoded C2 80..C2 9F, NEL among them), each of which
// may end or split a line.
std::size_t control_length(std::string_view text) {
    if (text.empty()) {
        return 0;
    }
    const auto byte = static_cast<unsigned char>(text[0]);
    if (byte < 0x20 || byte == 0x7f) {
        return 1;
    }
    const bool c1 = byte == 0xc2 && text.size() > 1 &&
                    static_cast<unsigned char>(text[1]) >= 0x80 &&
                    static_cast<unsigned char>(text[1]) < 0xa0;
    return c1 ? 2 : 0;
}

} // namespace

std::string spelled_out(std::string_view name) {
    std::string out;
    for (std::size_t i = 0; i < name.size();) {
        const std::size_t control = control_length(name.substr(i));
        if (control == 0) {
            out += name[i++];
            continue;
        }
        for (const char c : name.substr(i, control)) {
            constexpr char digits[] = "0123456789abcdef";
            const auto byte = static_cast<unsigned char>(c);
            out += "\\x";
            out += digits[byte >> 4];
            out += digits[byte & 15];
        }
        i += control;
    }
    return out;
}

std::string shown(std::string_view name) {
    return "`" + spelled_out(name) + "`";
}

bool carries_name(std::string_view name) {
    for (std::size_t i = 0; i < name.size(); ++i) {
        if (control_length(name.substr(i)) > 0) {
            return false;
        }
    }
    return true;
}

std::optional<std::string> uncarried_name(const Cell& cell, Carries carries) {
    if (auto message = first_of({uncarried_text("cell name", cell.name, carries),
                                 uncarried_text("source", cell.source, carries),
                                 uncarried_names("param", cell.params, carries),
                                 uncarried_names("attr", cell.attrs, carries)})) {
        return message;
    }
    if (const auto& bb = cell.blackbox) {
        if (auto message = first_of({uncarried_text("blackbox interface", bb->interface, carries),
                                     uncarried_text("blackbox content", bb->content, carries)})) {
            return message;
        }
    }
    for (const Marker& marker : cell.markers) {
        if (auto message = uncarried_marker_name(marker, carries)) {
            return message;
        }
    }
    return std::nullopt;
}

std::optional<std::string> unwritable_value(const Cell& cell) {
    if (auto message = first_of(
            {unwritable_values("param", cell.params), unwritable_values("attr", cell.attrs)})) {
        return message;
    }
    for (const Marker& marker : cell.markers) {
        for (const auto& [name, value] : marker.attrs) {
            const auto what = [&] {
                return "attribute " + shown(name) + " of marker " + shown(marker.name);
            };
            if (auto message = value_refusal(what, value)) {
                return message;
            }
        }
        // An angle that is not finite ("NaNdeg") would read back as nothing at all.
        for (std::size_t i = 0; i < marker.locations.size(); ++i) {
            const auto what = [&] {
                return "location " + std::to_string(i) + " of marker " + shown(marker.name);
            };
            const Value angle{Value::Number{marker.locations[i].angle, {0, 1}}};
            if (auto message = value_refusal(what, angle)) {
                return message;
            }
        }
    }
    return std::nullopt;
}

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
    if (auto message = unwritable_library_names(library)) {
        return std::unexpected(std::move(*message));
    }
    for (const Layer& layer : library.layers) {
        out << "layer " << layer.name << ' ' << layer.layer << '/' << layer.datatype << '\n';
    }
    for (const Cell& cell : library.cells) {
        if (auto message = unwritable_cell(cell)) {
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
