#include <cmath>
#include <unordered_map>

#include "base/utf8.hpp"
#include "ir/scan.hpp"
#include "ir/text.hpp"
#include "ir/walk.hpp"

namespace quorvane_dsl::ir {

namespace {

struct Line {
    std::uint64_t number = 0;
    std::uint64_t offset = 0;
    std::string_view text;
};

std::vector<Line> significant_lines(std::string_view text) {
    std::vector<Line> lines;
    std::uint64_t number = 0;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        ++number;
        const std::string_view piece = text.substr(start, end - start);
        const std::string_view trimmed = base::utf8::trim(piece);
        if (!trimmed.empty()) {
            lines.push_back({number,
                             start + static_cast<std::uint64_t>(trimmed.data() - piece.data()),
                             trimmed});
        }
        start = end + 1;
    }
    return lines;
}

std::string quoted(std::string_view text) {
    return "`" + std::string(text) + "`";
}

std::string too_deep_suffix(std::string_view literal, bool stop_at_comment) {
    const auto tokens = literal_tokens(literal, stop_at_comment);
    if (tokens && nests_too_deep(*tokens)) {
        return ": it nests deeper than " + std::to_string(max_literal_depth) + " levels";
    }
    return "";
}

// A tuple of exactly two integers, read without building the element list: polygons and
// paths hold many of them.
std::optional<Point> parse_point(std::string_view field) {
    if (field.size() < 2 || !field.starts_with('(') || !field.ends_with(')')) {
        return std::nullopt;
    }
    const std::string_view inner = field.substr(1, field.size() - 2);
    const std::size_t comma = inner.find(',');
    if (comma == std::string_view::npos || inner.find(',', comma + 1) != std::string_view::npos) {
        return std::nullopt;
    }
    const auto x = scan::read_i64(base::utf8::trim(inner.substr(0, comma)));
    const auto y = scan::read_i64(base::utf8::trim(inner.substr(comma + 1)));
    if (!x || !y) {
        return std::nullopt;
    }
    return Point{*x, *y};
}

std::optional<Frame> parse_frame(std::string_view field) {
    if (!field.starts_with('(') || !field.ends_with(')') || field.size() < 2) {
        return std::nullopt;
    }
    const std::string_view inner = field.substr(1, field.size() - 2);
    const std::size_t first = inner.find(',');
    const std::size_t second = first == std::string_view::npos ? first : inner.find(',', first + 1);
    if (second == std::string_view::npos || inner.find(',', second + 1) != std::string_view::npos) {
        return std::nullopt;
    }
    const auto x = scan::read_i64(inner.substr(0, first));
    const auto y = scan::read_i64(inner.substr(first + 1, second - first - 1));
    const std::string_view angle_text = inner.substr(second + 1);
    if (!x || !y || angle_text.size() < 3 || !angle_text.ends_with("deg")) {
        return std::nullopt;
    }
    const auto angle = scan::read_f64(angle_text.substr(0, angle_text.size() - 3));
    // Like a placement's rotation: a marker frame that is not finite has no direction, and the
    // netlist would write it as a JSON number that is not one.
    if (!angle || !std::isfinite(*angle)) {
        return std::nullopt;
    }
    return Frame{*x, *y, *angle};
}

std::optional<std::vector<NamedValue>> parse_marker_attrs(std::string_view text) {
    const auto tokens = literal_tokens(text, false);
    if (!tokens) {
        return std::nullopt;
    }
    std::vector<NamedValue> attrs;
    std::size_t pos = 0;
    while (pos < tokens->size()) {
        if ((*tokens)[pos].kind != syntax::kind::SyntaxKind::IDENT || pos + 1 >= tokens->size() ||
            (*tokens)[pos + 1].kind != syntax::kind::SyntaxKind::EQ) {
            return std::nullopt;
        }
        std::string name((*tokens)[pos].text);
        pos += 2;
        auto value = parse_value(*tokens, pos);
        if (!value) {
            return std::nullopt;
        }
        attrs.emplace_back(std::move(name), std::move(*value));
        if (pos < tokens->size() && (*tokens)[pos].kind == syntax::kind::SyntaxKind::COMMA) {
            ++pos;
        }
    }
    return attrs;
}

// The second pass: one line at a time, outside or inside a cell block.
class Reader {
  public:
    explicit Reader(const CellNames& names) : names_(names) { library_.dbu = 0; }

    std::optional<std::string> line(const Line& line) {
        const std::size_t space = line.text.find(' ');
        const std::string_view keyword = line.text.substr(0, space);
        const std::string_view rest = space == std::string_view::npos
                                          ? std::string_view{}
                                          : base::utf8::trim(line.text.substr(space + 1));
        return open_ ? cell_line(keyword, rest) : outer_line(line, keyword, rest);
    }

    bool cell_open() const { return open_; }
    Library& library() { return library_; }
    const std::vector<std::uint64_t>& cell_lines() const { return cell_lines_; }

    ParsedLibrary take() { return ParsedLibrary{std::move(library_), std::move(spans_)}; }

  private:
    std::optional<std::string> outer_line(const Line& line, std::string_view keyword,
                                          std::string_view rest) {
        if (keyword == "dbu") {
            return dbu(line.text, rest);
        }
        if (keyword == "top") {
            const auto found = names_.find(rest);
            if (found == names_.end()) {
                return "unknown cell " + quoted(rest);
            }
            library_.tops.push_back(found->second);
            return std::nullopt;
        }
        if (keyword == "cell") {
            return open_cell(line, rest);
        }
        if (keyword == "layer") {
            return layer(rest);
        }
        return "unexpected " + quoted(keyword);
    }

    std::optional<std::string> dbu(std::string_view whole, std::string_view rest) {
        const auto value = rest.size() >= 2 && rest.ends_with("nm")
                               ? scan::read_f64(rest.substr(0, rest.size() - 2))
                               : std::nullopt;
        // An infinite unit would make every size infinite; like NaN it is refused.
        if (!value || !(*value > 0) || !std::isfinite(*value)) {
            return "expected `dbu <size>nm`, found " + quoted(whole);
        }
        library_.dbu = *value;
        return std::nullopt;
    }

    std::optional<std::string> open_cell(const Line& line, std::string_view rest) {
        const auto fields = scan::fields(rest);
        if (fields.size() < 3 || !fields[1].starts_with("source=") || fields[2] != "{") {
            return "expected `cell <name> source=<cell> {`";
        }
        const std::uint64_t start =
            line.offset + static_cast<std::uint64_t>(fields[0].data() - line.text.data());
        spans_.push_back({start, start + fields[0].size()});
        cell_lines_.push_back(line.number);
        cell_ = Cell{};
        cell_.name = std::string(fields[0]);
        cell_.source = std::string(fields[1].substr(7));
        open_ = true;
        return std::nullopt;
    }

    std::optional<std::string> layer(std::string_view rest) {
        const auto fields = scan::fields(rest);
        if (fields.size() != 2 || fields[1].find('/') == std::string_view::npos) {
            return "expected `layer <name> <layer>/<datatype>`";
        }
        const std::size_t slash = fields[1].find('/');
        const std::string_view number = fields[1].substr(0, slash);
        const std::string_view datatype = fields[1].substr(slash + 1);
        const auto layer_number = scan::read_i32(number);
        const auto datatype_number = scan::read_i32(datatype);
        if (!layer_number || !datatype_number) {
            return "expected `<layer>/<datatype>`, found `" + std::string(number) + "/" +
                   std::string(datatype) + "`";
        }
        if (!layer_index_.emplace(fields[0], library_.layers.size()).second) {
            return "layer " + quoted(fields[0]) + " is defined twice";
        }
        library_.layers.push_back({std::string(fields[0]), *layer_number, *datatype_number});
        return std::nullopt;
    }

    std::optional<std::uint64_t> find_layer(std::string_view name) const {
        const auto found = layer_index_.find(name);
        if (found == layer_index_.end()) {
            return std::nullopt;
        }
        return found->second;
    }

    std::optional<std::string> add_shape(std::string_view layer_name, Geometry geometry) {
        const auto layer = find_layer(layer_name);
        if (!layer) {
            return "unknown layer " + quoted(layer_name);
        }
        cell_.shapes.push_back({*layer, std::move(geometry)});
        return std::nullopt;
    }

    std::optional<std::string> cell_line(std::string_view keyword, std::string_view rest) {
        if (keyword == "}") {
            library_.cells.push_back(std::move(cell_));
            open_ = false;
            return std::nullopt;
        }
        if (keyword == "box") {
            return box(rest);
        }
        if (keyword == "polygon" || keyword == "path") {
            return polygon_or_path(keyword == "path", rest);
        }
        if (keyword == "inst") {
            auto inst = parse_instance(rest, names_);
            if (!inst) {
                return std::move(inst.error());
            }
            cell_.instances.push_back(std::move(*inst));
            return std::nullopt;
        }
        if (keyword == "connect") {
            return connect(rest);
        }
        if (keyword == "param" || keyword == "attr") {
            return named_value(keyword == "param" ? cell_.params : cell_.attrs, rest);
        }
        if (keyword == "marker") {
            auto marker = parse_marker(rest);
            if (!marker) {
                const std::size_t open = rest.find('{');
                const std::string_view attrs =
                    open == std::string_view::npos ? std::string_view{} : rest.substr(open + 1);
                return "cannot read the marker " + quoted(rest) + too_deep_suffix(attrs, false);
            }
            cell_.markers.push_back(std::move(*marker));
            return std::nullopt;
        }
        if (keyword == "blackbox") {
            return blackbox(rest);
        }
        return "unexpected " + quoted(keyword) + " in a cell";
    }

    std::optional<std::string> box(std::string_view rest) {
        const auto fields = scan::fields(rest);
        std::vector<std::int64_t> numbers;
        bool all_read = !fields.empty();
        for (std::size_t i = 1; i < fields.size() && all_read; ++i) {
            const auto number = scan::read_i64(fields[i]);
            all_read = number.has_value();
            numbers.push_back(number.value_or(0));
        }
        if (!all_read || numbers.size() != 4) {
            return "expected `box <layer> <left> <bottom> <right> <top>`";
        }
        return add_shape(fields[0], Geometry{Box{numbers[0], numbers[1], numbers[2], numbers[3]}});
    }

    std::optional<std::string> polygon_or_path(bool is_path, std::string_view rest) {
        const auto fields = scan::fields(rest);
        const std::string_view layer = fields.empty() ? std::string_view{} : fields[0];
        std::optional<std::int64_t> width;
        std::vector<Point> points;
        points.reserve(fields.empty() ? 0 : fields.size() - 1);
        for (std::size_t i = 1; i < fields.size(); ++i) {
            if (fields[i].size() > 5 && fields[i].starts_with("width=")) {
                width = scan::read_i64(fields[i].substr(6));
                continue;
            }
            const auto point = parse_point(fields[i]);
            if (!point) {
                return "expected a point `(x,y)`, found " + quoted(fields[i]);
            }
            points.push_back(*point);
        }
        if (!is_path) {
            return add_shape(layer, Geometry{Polygon{std::move(points)}});
        }
        if (!width) {
            return "a path needs `width=<dbu>`";
        }
        return add_shape(layer, Geometry{Path{*width, std::move(points)}});
    }

    std::optional<std::string> connect(std::string_view rest) {
        const auto fields = scan::fields(rest);
        if (fields.size() >= 3 && fields[2] != "geometric") {
            return "unexpected " + quoted(fields[2]);
        }
        const auto a = fields.size() >= 1 ? parse_port(fields[0]) : std::nullopt;
        const auto b = fields.size() >= 2 ? parse_port(fields[1]) : std::nullopt;
        if (!a || !b) {
            return "expected `connect <port> <port>`";
        }
        cell_.connections.push_back({*a, *b, fields.size() >= 3});
        return std::nullopt;
    }

    std::optional<std::string> named_value(std::vector<NamedValue>& into, std::string_view rest) {
        const std::size_t space = rest.find(' ');
        const std::string_view name = rest.substr(0, space);
        const std::string_view literal =
            space == std::string_view::npos ? std::string_view{} : rest.substr(space + 1);
        auto value = Value::parse_literal(literal);
        if (!value) {
            return "cannot read the value " + quoted(literal) + too_deep_suffix(literal, true);
        }
        into.emplace_back(std::string(name), std::move(*value));
        return std::nullopt;
    }

    std::optional<std::string> blackbox(std::string_view rest) {
        std::optional<std::vector<std::int64_t>> footprint;
        std::optional<std::string_view> interface;
        std::optional<std::string_view> content;
        for (std::string_view field : scan::fields(rest)) {
            const std::size_t eq = field.find('=');
            if (eq == std::string_view::npos) {
                return "unexpected " + quoted(field);
            }
            const std::string_view key = field.substr(0, eq);
            const std::string_view value = field.substr(eq + 1);
            if (key == "content") {
                content = value;
            } else if (key == "interface") {
                interface = value;
            } else if (key == "footprint") {
                footprint = parse_tuple(value);
            } else {
                return "unexpected " + quoted(field);
            }
        }
        if (!footprint || footprint->size() != 4 || !interface || !content) {
            return "expected `blackbox footprint=(l,b,r,t) interface=... content=...`";
        }
        const auto& f = *footprint;
        cell_.blackbox =
            Blackbox{Box{f[0], f[1], f[2], f[3]}, std::string(*interface), std::string(*content)};
        return std::nullopt;
    }

    const CellNames& names_;
    // Layers by name, viewing the text being read: a scan per shape made reading quadratic.
    std::unordered_map<std::string_view, std::uint64_t> layer_index_;
    Library library_;
    std::vector<Span> spans_;
    std::vector<std::uint64_t> cell_lines_;
    Cell cell_;
    bool open_ = false;
};

std::expected<CellNames, ParseError> cell_names(std::span<const Line> lines) {
    CellNames names;
    std::uint64_t counter = 0;
    for (const Line& line : lines) {
        if (line.text.size() > 4 && line.text.starts_with("cell ")) {
            const auto fields = scan::fields(line.text.substr(5));
            const std::string_view name = fields.empty() ? std::string_view{} : fields[0];
            if (!names.emplace(name, counter).second) {
                return std::unexpected(
                    ParseError{"cell " + quoted(name) + " is defined twice", line.number});
            }
            ++counter;
        }
    }
    return names;
}

} // namespace

std::string ParseError::text() const {
    return "line " + std::to_string(line) + ": " + message;
}

std::expected<ParsedLibrary, ParseError> parse_with_spans(std::string_view text) {
    const std::vector<Line> lines = significant_lines(text);
    if (lines.empty()) {
        return std::unexpected(ParseError{"empty IR text", 1});
    }
    if (lines[0].text != "quorvane-ir 1") {
        return std::unexpected(ParseError{"expected the header `quorvane-ir 1`", lines[0].number});
    }
    const auto names = cell_names(lines);
    if (!names) {
        return std::unexpected(names.error());
    }
    Reader reader(*names);
    for (std::size_t i = 1; i < lines.size(); ++i) {
        if (auto message = reader.line(lines[i])) {
            return std::unexpected(ParseError{std::move(*message), lines[i].number});
        }
    }
    if (reader.cell_open()) {
        return std::unexpected(ParseError{"a cell is not closed with `}`", lines.back().number});
    }
    if (reader.library().dbu == 0) {
        return std::unexpected(ParseError{"missing `dbu`", lines[0].number});
    }
    if (const auto looped = cycle(reader.library().cells)) {
        return std::unexpected(
            ParseError{"cell " + quoted(reader.library().cells[*looped].name) + " contains itself",
                       reader.cell_lines()[*looped]});
    }
    return reader.take();
}

std::expected<Library, ParseError> parse(std::string_view text) {
    auto parsed = parse_with_spans(text);
    if (!parsed) {
        return std::unexpected(std::move(parsed.error()));
    }
    return std::move(parsed->library);
}

std::expected<Instance, std::string> parse_instance(std::string_view rest, const CellNames& names) {
    const auto fields = scan::fields(rest);
    if (fields.size() < 4 || fields[2] != "at") {
        return std::unexpected("expected `inst <name> <cell> at (x,y)`");
    }
    const auto cell = names.find(fields[1]);
    if (cell == names.end()) {
        return std::unexpected("unknown cell " + quoted(fields[1]));
    }
    const auto origin = parse_point(fields[3]);
    if (!origin) {
        return std::unexpected("expected `(x,y)`, found " + quoted(fields[3]));
    }
    Instance inst{
        std::string(fields[0]), cell->second, origin->x, origin->y, 0, false, std::nullopt};
    for (std::size_t i = 4; i < fields.size(); ++i) {
        const std::string_view field = fields[i];
        if (field.starts_with("rot=")) {
            const auto rotation = scan::read_f64(field.substr(4));
            // A rotation that is not finite has no placement; later passes could not order it.
            if (!rotation || !std::isfinite(*rotation)) {
                return std::unexpected("bad rotation " + quoted(field.substr(4)));
            }
            inst.rotation = *rotation;
        } else if (field == "mirror") {
            inst.mirror = true;
        } else if (field.starts_with("array=")) {
            const std::string_view counts = field.substr(6);
            if (counts.find('x') == std::string_view::npos || i + 2 >= fields.size() ||
                !fields[i + 1].starts_with("step=")) {
                return std::unexpected("expected `array=<c>x<r> step=(x,y) (x,y)`");
            }
            const auto column_step = parse_point(fields[i + 1].substr(5));
            const auto row_step = parse_point(fields[i + 2]);
            if (!column_step || !row_step) {
                return std::unexpected("expected `step=(x,y) (x,y)`");
            }
            const std::size_t x = counts.find('x');
            // A zero count is an empty array that GDSII cannot hold.
            const auto columns = scan::read_u32(counts.substr(0, x));
            if (!columns || *columns == 0) {
                return std::unexpected("bad column count " + quoted(counts.substr(0, x)));
            }
            const auto rows = scan::read_u32(counts.substr(x + 1));
            if (!rows || *rows == 0) {
                return std::unexpected("bad row count " + quoted(counts.substr(x + 1)));
            }
            inst.array = Array{*columns, *rows, *column_step, *row_step};
            i += 2;
        } else {
            return std::unexpected("unexpected " + quoted(field));
        }
    }
    return inst;
}

std::optional<Marker> parse_marker(std::string_view rest) {
    std::string_view location = rest;
    std::optional<std::vector<NamedValue>> attrs;
    if (const std::size_t open = rest.find('{'); open != std::string_view::npos) {
        const std::string_view after = base::utf8::trim_end(rest.substr(open + 1));
        if (after.empty() || !after.ends_with('}')) {
            return std::nullopt;
        }
        attrs = parse_marker_attrs(after.substr(0, after.size() - 1));
        if (!attrs) {
            return std::nullopt;
        }
        location = rest.substr(0, open);
    }
    const auto fields = scan::fields(location);
    if (fields.empty()) {
        return std::nullopt;
    }
    Marker marker{
        std::string(fields[0]), {}, attrs ? std::move(*attrs) : std::vector<NamedValue>{}};
    for (std::size_t i = 1; i < fields.size(); ++i) {
        const auto frame = parse_frame(fields[i]);
        if (!frame) {
            return std::nullopt;
        }
        marker.locations.push_back(*frame);
    }
    return marker;
}

std::optional<std::vector<std::int64_t>> parse_tuple(std::string_view field) {
    if (field.size() < 2 || !field.starts_with('(') || !field.ends_with(')')) {
        return std::nullopt;
    }
    std::vector<std::int64_t> numbers;
    std::string_view inner = field.substr(1, field.size() - 2);
    while (true) {
        const std::size_t comma = inner.find(',');
        const auto number = scan::read_i64(base::utf8::trim(inner.substr(0, comma)));
        if (!number) {
            return std::nullopt;
        }
        numbers.push_back(*number);
        if (comma == std::string_view::npos) {
            return numbers;
        }
        inner.remove_prefix(comma + 1);
    }
}

} // namespace quorvane_dsl::ir
