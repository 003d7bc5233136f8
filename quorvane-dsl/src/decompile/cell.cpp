#include <algorithm>
#include <array>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>
#include <vector>

#include "base/pool.hpp"
#include "decompile/decompiler.hpp"
#include "ir/text.hpp"
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

// The type the checker gives the literal of a value, as far as lists need it: the innermost kind
// (a quantity with its dimension) and the depth of the list brackets around it.
struct LiteralType {
    enum class Kind { Unknown, Integer, Zero, Quantity, Bool, String, Point, Named };
    Kind kind = Kind::Unknown;
    units::Dim dim{};
    std::size_t lists = 0;

    bool operator==(const LiteralType&) const = default;
    bool unknown() const { return kind == Kind::Unknown && lists == 0; }
};

// Whether a literal of type `found` may stand in a list whose elements have type `expected`:
// the checker's rule, with the list depths of both stripped together (an empty list fits any).
bool fits(LiteralType found, LiteralType expected) {
    using Kind = LiteralType::Kind;
    const std::size_t common = std::min(found.lists, expected.lists);
    found.lists -= common;
    expected.lists -= common;
    if (found.unknown() || expected.unknown() || found == expected) {
        return true;
    }
    if (found.lists > 0 || expected.lists > 0) {
        return false;
    }
    if (found.kind == Kind::Zero) {
        return expected.kind == Kind::Integer || expected.kind == Kind::Quantity;
    }
    return found.kind == Kind::Integer && expected.kind == Kind::Quantity &&
           expected.dim == units::Dim{0, 0};
}

constexpr units::Dim length_dim{1, 0};
constexpr units::Dim angle_dim{0, 1};

// Lengths and angles are the numbers whose literals carry a unit.
bool has_unit(units::Dim dim) {
    return dim == length_dim || dim == angle_dim;
}

// A zero length or angle is written "0", which types as an integer and so cannot start a list of
// lengths ([0, 5um]). Written with a unit instead, a zero length or angle keeps its dimension and
// the integer 0 takes `list_dim`, that of its list's quantity; nothing for any other value.
std::optional<units::Dim> unit_zero(const Value& value, units::Dim list_dim) {
    if (const auto* integer = std::get_if<Value::Int>(&value.kind)) {
        return integer->value == 0 ? std::optional(list_dim) : std::nullopt;
    }
    if (const auto* number = std::get_if<Value::Number>(&value.kind)) {
        return has_unit(number->dim) && number->value == 0 ? std::optional(number->dim)
                                                           : std::nullopt;
    }
    return std::nullopt;
}

// The type of the literal a value is written as, its zeros with the unit of `zero_dim` when given,
// or none when one of its lists holds elements the language refuses to put in one list ("list
// elements must share a type"). The first element sets the type of a list (a plain 0 as an
// integer); every later one must fit it.
std::optional<LiteralType> literal_type(const Value& value, std::optional<units::Dim> zero_dim) {
    using Kind = LiteralType::Kind;
    if (const auto* list = std::get_if<Value::List>(&value.kind)) {
        LiteralType element;
        for (const Value& item : list->items) {
            const auto type = literal_type(item, zero_dim);
            if (!type) {
                return std::nullopt;
            }
            if (element.unknown()) {
                element = type->kind == Kind::Zero ? LiteralType{Kind::Integer} : *type;
            } else if (!fits(*type, element)) {
                return std::nullopt;
            }
        }
        ++element.lists;
        return element;
    }
    if (const auto dim = zero_dim ? unit_zero(value, *zero_dim) : std::nullopt) {
        return LiteralType{Kind::Quantity, *dim};
    }
    if (const auto* integer = std::get_if<Value::Int>(&value.kind)) {
        return LiteralType{integer->value == 0 ? Kind::Zero : Kind::Integer};
    }
    if (const auto* number = std::get_if<Value::Number>(&value.kind)) {
        // A zero length or angle is written "0"; a plain number always with its point.
        if (number->value == 0 && number->dim != units::Dim{0, 0}) {
            return LiteralType{Kind::Zero};
        }
        return LiteralType{Kind::Quantity, number->dim};
    }
    if (std::holds_alternative<Value::String>(value.kind)) {
        return LiteralType{Kind::String};
    }
    if (std::holds_alternative<Value::Bool>(value.kind)) {
        return LiteralType{Kind::Bool};
    }
    return LiteralType{std::holds_alternative<Value::Point>(value.kind) ? Kind::Point
                                                                        : Kind::Named};
}

// The dimension of the first length or angle other than zero inside a list, at any depth: the
// quantity its zeros stand for.
std::optional<units::Dim> list_quantity(const Value& value) {
    if (const auto* number = std::get_if<Value::Number>(&value.kind)) {
        return has_unit(number->dim) && number->value != 0 ? std::optional(number->dim)
                                                           : std::nullopt;
    }
    if (const auto* list = std::get_if<Value::List>(&value.kind)) {
        for (const Value& item : list->items) {
            if (const auto dim = list_quantity(item)) {
                return dim;
            }
        }
    }
    return std::nullopt;
}

// The literal of a value with its zeros written with a unit, as `unit_zero` gives it.
std::string unit_zeros_literal(const Value& value, units::Dim zero_dim) {
    if (const auto* list = std::get_if<Value::List>(&value.kind)) {
        std::string text = "[";
        for (std::size_t i = 0; i < list->items.size(); ++i) {
            text += i == 0 ? "" : ", ";
            text += unit_zeros_literal(list->items[i], zero_dim);
        }
        return text + "]";
    }
    if (const auto dim = unit_zero(value, zero_dim)) {
        return *dim == length_dim ? "0nm" : "0deg";
    }
    return value.to_literal();
}

// The literal of an attribute's value that checks, or none when one of its lists mixes element
// types. A list that types only with its zeros written with the unit of its quantity
// ([0nm, 5um]) is written so; every other value as its literal.
std::optional<std::string> checked_literal(const Value& value) {
    if (literal_type(value, std::nullopt)) {
        return value.to_literal();
    }
    const auto quantity = list_quantity(value);
    if (!quantity || !literal_type(value, quantity)) {
        return std::nullopt;
    }
    return unit_zeros_literal(value, *quantity);
}

// What the language requires of the marker attributes it knows, when `value` is not that: such
// an attribute would not check.
std::optional<std::string_view> unfit_marker_attribute(std::string_view name, const Value& value) {
    const auto quantity = [&](units::Dim dim) {
        if (const auto* number = std::get_if<Value::Number>(&value.kind)) {
            return number->dim == dim || number->value == 0;
        }
        const auto* integer = std::get_if<Value::Int>(&value.kind);
        return integer && integer->value == 0;
    };
    if (name == "angle" && !quantity(units::Dim{0, 1})) {
        return "an angle";
    }
    if (name == "width" && !quantity(units::Dim{1, 0})) {
        return "a size";
    }
    if ((name == "kind" || name == "type" || name == "direction") &&
        !std::holds_alternative<Value::String>(value.kind)) {
        return "a string";
    }
    if (name == "xsection") {
        return "a cross-section";
    }
    return std::nullopt;
}

// Why an attribute whose list the language would refuse is skipped.
constexpr char mixed_list_suffix[] = ", whose list elements do not share a type";

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

// Lengths and points are appended in place: a cell may hold millions of them.
void put_length(std::string& out, double dbu, double dbu_value) {
    units::append_length(out, dbu_value * dbu);
}

void put_point(std::string& out, double dbu, std::int64_t x, std::int64_t y) {
    out += '(';
    put_length(out, dbu, static_cast<double>(x));
    out += ", ";
    put_length(out, dbu, static_cast<double>(y));
    out += ')';
}

void put_points(std::string& out, double dbu, const std::vector<ir::Point>& list) {
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (i > 0) {
            out += ", ";
        }
        put_point(out, dbu, list[i].x, list[i].y);
    }
}

std::size_t distinct_run_count(const std::vector<ir::Point>& points) {
    std::size_t count = 0;
    for (std::size_t i = 0; i < points.size(); ++i) {
        count += i == 0 || points[i] != points[i - 1] ? 1 : 0;
    }
    return count;
}

// The warning a shape is skipped with, or none when it is written.
std::optional<std::string_view> skip_reason(const ir::Geometry& geometry) {
    if (const auto* b = std::get_if<ir::Box>(&geometry.kind)) {
        if (!(b->right > b->left && b->top > b->bottom)) {
            return "skipped an empty box";
        }
    } else if (const auto* polygon = std::get_if<ir::Polygon>(&geometry.kind)) {
        if (distinct_run_count(polygon->points) < 3) {
            return "skipped a polygon with fewer than 3 points";
        }
    } else if (const auto* path = std::get_if<ir::Path>(&geometry.kind)) {
        if (path->width <= 0 || path->points.size() < 2) {
            return "skipped a path without width or with fewer than 2 points";
        }
    }
    return std::nullopt;
}

// The text a shape's name is made from.
std::string_view name_base(const ir::Geometry& geometry) {
    if (std::holds_alternative<ir::Box>(geometry.kind)) {
        return "r";
    }
    return std::holds_alternative<ir::Polygon>(geometry.kind) ? "p" : "w";
}

// The two statements of a shape that is written, named already; one writer per thread.
struct ShapeText {
    std::string& out;
    double dbu;
    std::vector<ir::Point> kept; // reused by every polygon

    void length(double dbu_value) { put_length(out, dbu, dbu_value); }

    // "        place N at self.origin": polygons and paths are written where they stand.
    void in_place(std::string_view name) {
        out += "        place ";
        out += name;
        out += " at self.origin\n";
    }

    void box(const ir::Box& b, std::string_view name) {
        // Sizes and centres in floating point: exact for GDSII's 32-bit coordinates, and no
        // overflow for the widest boxes IR text can hold.
        const auto left = static_cast<double>(b.left);
        const auto bottom = static_cast<double>(b.bottom);
        const auto right = static_cast<double>(b.right);
        const auto top = static_cast<double>(b.top);
        out += "        shape rect with ";
        length(right - left);
        out += ", ";
        length(top - bottom);
        out += " as ";
        out += name;
        out += "\n        place ";
        out += name;
        out += " at (";
        length((left + right) * 0.5);
        out += ", ";
        length((bottom + top) * 0.5);
        out += ")\n";
    }

    void polygon(const ir::Polygon& polygon, std::string_view name) {
        kept.clear();
        for (const ir::Point& p : polygon.points) {
            if (kept.empty() || kept.back() != p) {
                kept.push_back(p);
            }
        }
        out += "        shape polygon with [";
        put_points(out, dbu, kept);
        out += "] as ";
        out += name;
        out += '\n';
        in_place(name);
    }

    void path(const ir::Path& path, std::string_view name) {
        out += "        shape path with [";
        put_points(out, dbu, path.points);
        out += "], ";
        length(static_cast<double>(path.width));
        out += " as ";
        out += name;
        out += '\n';
        in_place(name);
    }

    void shape(const ir::Geometry& geometry, std::string_view name) {
        std::visit(
            [&](const auto& g) {
                using G = std::decay_t<decltype(g)>;
                if constexpr (std::is_same_v<G, ir::Box>) {
                    box(g, name);
                } else if constexpr (std::is_same_v<G, ir::Polygon>) {
                    polygon(g, name);
                } else {
                    path(g, name);
                }
            },
            geometry.kind);
    }
};

// Shapes are named in blocks of this many, then written in chunks of this many on the pool.
constexpr std::size_t shape_block = 65536;
constexpr std::size_t shape_chunk = 4096;

struct CellWriter {
    Decompiler& d;
    const ir::Cell& cell;
    const std::string& cell_identifier;
    NameSet names;
    bool verbatim = false; // shape statements of the open layer block are running

    std::string& out() { return d.output.text(); }
    void put_length(double dbu_value) { decompile::put_length(out(), d.library.dbu, dbu_value); }
    void put_point(std::int64_t x, std::int64_t y) {
        decompile::put_point(out(), d.library.dbu, x, y);
    }

    void warn(std::string_view what) {
        d.warnings.push_back("cell " + ir::shown(cell.name) + ": " + std::string(what));
    }

    void header() {
        if (cell.source == cell.name && cell.params.empty()) {
            if (cell_identifier != cell.name) {
                out() += one_line("# `" + cell.name + "`") + "\n";
            }
            return;
        }
        std::string line = "# `" + cell.name + "` from cell `" + cell.source + "`";
        for (std::size_t i = 0; i < cell.params.size(); ++i) {
            line += i == 0 ? " with " : ", ";
            line += cell.params[i].first + " = " + cell.params[i].second.to_literal();
        }
        out() += one_line(line) + "\n";
    }

    void attributes() {
        std::string lines;
        for (const auto& [name, value] : cell.attrs) {
            if (!attribute_written(value)) {
                continue;
            }
            const auto literal = checked_literal(value);
            if (!literal) {
                warn("skipped the attribute " + ir::shown(name) + mixed_list_suffix);
                continue;
            }
            lines += "        " + identifier(name, names) + " " + *literal + "\n";
        }
        if (!lines.empty()) {
            out() += "    attribute {\n" + lines + "    }\n";
        }
    }

    void put_location(const ir::Frame& frame) {
        if (frame.angle == 0) {
            put_point(frame.x, frame.y);
            return;
        }
        out() += '(';
        put_length(static_cast<double>(frame.x));
        out() += ", ";
        put_length(static_cast<double>(frame.y));
        out() += ", " + units::format_number(frame.angle) + "deg)";
    }

    std::string marker_attributes(const ir::Marker& marker) {
        std::string text;
        for (const auto& [name, value] : marker.attrs) {
            if (holds_named(value)) {
                continue;
            }
            if (!is_plain_identifier(name)) {
                warn("skipped the attribute " + ir::shown(name) + " of marker " +
                     ir::shown(marker.name) + ", whose name is no identifier");
                continue;
            }
            if (const auto required = unfit_marker_attribute(name, value)) {
                warn("skipped the attribute " + ir::shown(name) + " of marker " +
                     ir::shown(marker.name) + ", which must hold " + std::string(*required));
                continue;
            }
            const auto literal = checked_literal(value);
            if (!literal) {
                warn("skipped the attribute " + ir::shown(name) + " of marker " +
                     ir::shown(marker.name) + mixed_list_suffix);
                continue;
            }
            text += text.empty() ? "with " : ", ";
            text += name + " = " + *literal;
        }
        return text;
    }

    void markers() {
        if (cell.markers.empty()) {
            return;
        }
        out() += "    marker {\n";
        for (const ir::Marker& marker : cell.markers) {
            out() += "        " + identifier(marker.name, names) + " {\n            at {\n";
            for (std::size_t i = 0; i < marker.locations.size(); ++i) {
                if (i > 0) {
                    out() += '\n';
                }
                out() += "            ";
                put_location(marker.locations[i]);
            }
            out() += "\n            }\n";
            if (const std::string with = marker_attributes(marker); !with.empty()) {
                out() += "            " + with + "\n";
            }
            out() += "        }\n";
        }
        out() += "    }\n";
    }

    // Shape statements are written in the formatter's layout, so they need not pass through
    // it; only the block around them does.
    void begin_verbatim() {
        if (!verbatim) {
            d.output.begin_verbatim("    }\n}\n");
            verbatim = true;
        }
    }

    void end_verbatim(const std::string& layer_name) {
        if (verbatim) {
            d.output.end_verbatim("cell " + cell_identifier + " {\n    layer " + layer_name +
                                  " {\n");
            verbatim = false;
        }
    }

    // One block of a layer's shapes: named in order, then written on the pool.
    struct Block {
        std::span<const std::size_t> members;
        std::vector<std::string> names;
        std::vector<std::string> texts; // by chunk
        std::size_t chunks = 0;
    };

    void name_block(Block& block) {
        block.names.assign(block.members.size(), {});
        for (std::size_t k = 0; k < block.members.size(); ++k) {
            const ir::Geometry& geometry = cell.shapes[block.members[k]].geometry;
            if (const std::optional<std::string_view> why = skip_reason(geometry)) {
                warn(*why);
            } else {
                // r, p and w are identifiers as they stand: taken without the rule.
                block.names[k] = names.take(std::string(name_base(geometry)));
            }
        }
    }

    // Names are taken in order, each depending on all before it; the text of a shape depends
    // only on its name. So each block is named while the one before is written in chunks on
    // the pool, and the chunks are joined in order.
    void layer_shapes(const std::vector<std::size_t>& members) {
        std::array<Block, 2> blocks;
        base::pool::Group writing;
        Block* written = nullptr;
        for (std::size_t first = 0; first < members.size(); first += shape_block) {
            Block& block = blocks[(first / shape_block) % 2];
            block.members =
                std::span(members).subspan(first, std::min(shape_block, members.size() - first));
            name_block(block);
            join_block(writing, written);
            if (std::ranges::any_of(block.names, [](const auto& name) { return !name.empty(); })) {
                begin_verbatim();
                writing.run([this, &block] { write_block(block); });
                written = &block;
            }
        }
        join_block(writing, written);
    }

    void join_block(base::pool::Group& writing, Block*& written) {
        if (written) {
            writing.wait();
            d.output.append_verbatim(std::span(written->texts).first(written->chunks));
            written = nullptr;
        }
        d.output.bound_verbatim();
    }

    void write_chunk(std::string& text, const Block& block, std::size_t begin, std::size_t end) {
        ShapeText writer{text, d.library.dbu, {}};
        for (std::size_t k = begin; k < end; ++k) {
            if (!block.names[k].empty()) {
                writer.shape(cell.shapes[block.members[k]].geometry, block.names[k]);
            }
        }
    }

    void write_block(Block& block) {
        const std::size_t size = block.members.size();
        block.chunks = (size + shape_chunk - 1) / shape_chunk;
        block.texts.resize(std::max(block.texts.size(), block.chunks));
        base::pool::for_each(block.chunks, [&](std::size_t c) {
            const std::size_t begin = c * shape_chunk;
            const std::size_t end = std::min(size, begin + shape_chunk);
            block.texts[c].clear();
            // A text the output took has no room left; it gets about a rectangle's per shape.
            block.texts[c].reserve((end - begin) * 128);
            write_chunk(block.texts[c], block, begin, end);
        });
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
            const std::string& layer_name = d.layer_names[layer];
            out() += "    layer " + layer_name + " {\n";
            layer_shapes(by_layer[layer]);
            end_verbatim(layer_name);
            out() += "    }\n";
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
            out() += " + i * ";
            put_length(static_cast<double>(column_step));
        }
        if (row_step != 0) {
            out() += " + j * ";
            put_length(static_cast<double>(row_step));
        }
    }

    void instance(const ir::Instance& instance) {
        const std::string& child = d.cell_names[instance.cell];
        if (!instance.array) {
            const std::string name = identifier(instance.name, names);
            out() += "    place " + child + ".origin at ";
            put_point(instance.x, instance.y);
            out() += suffix(instance) + " as " + name + "\n";
            return;
        }
        const ir::Array& a = *instance.array;
        out() += "    place {\n        for i in 0.." + std::to_string(a.columns) +
                 " {\n            for j in 0.." + std::to_string(a.rows) + " {\n" +
                 "                place " + child + ".origin at (";
        put_stepped(instance.x, a.column_step.x, a.row_step.x);
        out() += ", ";
        put_stepped(instance.y, a.column_step.y, a.row_step.y);
        out() += ")" + suffix(instance) + "\n            }\n        }\n    }\n";
    }

    void write() {
        header();
        if (cell.blackbox) {
            out() += one_line("# A blackbox: interface " + cell.blackbox->interface + ", content " +
                              cell.blackbox->content) +
                     "\n";
        }
        out() += "cell " + cell_identifier + " {\n";
        attributes();
        markers();
        shapes();
        // Named placements go first: the names the language makes up for the copies of an array
        // skip every name in use, while a chosen name may not repeat one made up before it.
        for (const ir::Instance& placed : cell.instances) {
            if (!placed.array) {
                instance(placed);
            }
        }
        for (const ir::Instance& placed : cell.instances) {
            if (placed.array) {
                instance(placed);
            }
        }
        out() += "}\n\n";
        d.output.end_item();
    }
};

} // namespace

void Decompiler::cell(std::size_t index) {
    CellWriter writer{*this, library.cells[index], cell_names[index], NameSet(&names)};
    writer.write();
}

} // namespace quorvane_dsl::decompile
