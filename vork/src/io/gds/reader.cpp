#include "io/gds/reader.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <unordered_map>

#include "io/gds/record.hpp"

namespace vork::io::gds::reader {

using models::CellId;
using models::LayerInfo;
using models::top::LayoutDb;
namespace shape = models::shape;
namespace top = models::top;

namespace {

std::unexpected<GdsError> format(std::string message) {
    return std::unexpected(GdsError{FormatError{std::move(message)}});
}

std::uint16_t get16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>((p[0] << 8) | p[1]);
}

std::uint32_t get32(const std::uint8_t* p) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
           std::uint32_t{p[3]};
}

// The hardware prefetcher stops at page boundaries, and walking the records from length to
// length then waits on memory for a third of the reader's time: a page ahead is asked for.
void prefetch_ahead(std::span<const std::uint8_t> bytes, std::size_t at) {
    constexpr std::size_t ahead = 4096;
    if (bytes.size() - at > ahead) {
        __builtin_prefetch(bytes.data() + at + ahead);
    }
}

bool continuation(std::uint8_t b) {
    return (b & 0xC0) == 0x80;
}

// The length of the invalid sequence at `i` (0 when the text ends inside it), following the
// standard UTF-8 validation so the messages match the usual ones.
struct Utf8Fault {
    bool found = false;
    std::size_t index = 0;
    std::size_t length = 0; // 0: incomplete
};

Utf8Fault check_utf8(std::span<const std::uint8_t> text) {
    std::size_t i = 0;
    const std::size_t n = text.size();
    while (i < n) {
        const std::uint8_t first = text[i];
        if (first < 0x80) {
            ++i;
            continue;
        }
        std::size_t width = 0;
        std::uint8_t low = 0x80;
        std::uint8_t high = 0xBF;
        if (first >= 0xC2 && first <= 0xDF) {
            width = 2;
        } else if (first >= 0xE0 && first <= 0xEF) {
            width = 3;
            low = first == 0xE0 ? 0xA0 : 0x80;
            high = first == 0xED ? 0x9F : 0xBF;
        } else if (first >= 0xF0 && first <= 0xF4) {
            width = 4;
            low = first == 0xF0 ? 0x90 : 0x80;
            high = first == 0xF4 ? 0x8F : 0xBF;
        } else {
            return {true, i, 1};
        }
        for (std::size_t k = 1; k < width; ++k) {
            if (i + k >= n) {
                return {true, i, 0};
            }
            const std::uint8_t b = text[i + k];
            const bool ok = k == 1 ? (b >= low && b <= high) : continuation(b);
            if (!ok) {
                return {true, i, k};
            }
        }
        i += width;
    }
    return {};
}

} // namespace

std::expected<std::string, GdsError> parse_ascii(Payload payload) {
    std::size_t end = 0;
    while (end < payload.size() && payload[end] != 0) {
        ++end;
    }
    const Payload text = payload.first(end);
    const Utf8Fault fault = check_utf8(text);
    if (fault.found) {
        if (fault.length == 0) {
            return format("incomplete utf-8 byte sequence from index " +
                          std::to_string(fault.index));
        }
        return format("invalid utf-8 sequence of " + std::to_string(fault.length) +
                      " bytes from index " + std::to_string(fault.index));
    }
    return std::string(reinterpret_cast<const char*>(text.data()), text.size());
}

std::expected<std::vector<std::int16_t>, GdsError> parse_i16s(Payload payload) {
    if (payload.size() % 2 != 0) {
        return format("i16 record has odd byte length");
    }
    std::vector<std::int16_t> values(payload.size() / 2);
    for (std::size_t i = 0; i < values.size(); ++i) {
        values[i] = static_cast<std::int16_t>(get16(payload.data() + 2 * i));
    }
    return values;
}

std::expected<std::int16_t, GdsError> parse_i16_one(Payload payload) {
    if (payload.size() % 2 != 0) {
        return format("i16 record has odd byte length");
    }
    if (payload.empty()) {
        return format("expected one i16 value");
    }
    return static_cast<std::int16_t>(get16(payload.data()));
}

std::expected<std::uint16_t, GdsError> parse_u16_one(Payload payload) {
    if (payload.size() != 2) {
        return format("expected one u16 value");
    }
    return get16(payload.data());
}

std::expected<std::int32_t, GdsError> parse_i32_one(Payload payload) {
    if (payload.size() != 4) {
        return format("expected one i32 value");
    }
    return static_cast<std::int32_t>(get32(payload.data()));
}

namespace {

std::expected<void, GdsError> check_xy_length(Payload payload) {
    if (payload.size() % 8 != 0) {
        return format("XY record length must be a multiple of 8");
    }
    return {};
}

void decode_points(Payload payload, Point* out) {
    for (std::size_t i = 0; i < payload.size() / 8; ++i) {
        const std::uint8_t* p = payload.data() + 8 * i;
        out[i] =
            Point{static_cast<std::int32_t>(get32(p)), static_cast<std::int32_t>(get32(p + 4))};
    }
}

} // namespace

std::expected<std::vector<Point>, GdsError> parse_points(Payload payload) {
    if (auto s = check_xy_length(payload); !s) {
        return std::unexpected(s.error());
    }
    std::vector<Point> points(payload.size() / 8);
    decode_points(payload, points.data());
    return points;
}

double decode_real8(const std::uint8_t* bytes) {
    std::uint64_t mantissa = 0;
    for (int i = 1; i < 8; ++i) {
        mantissa = (mantissa << 8) | bytes[i];
    }
    if (bytes[0] == 0 && mantissa == 0) {
        return 0.0;
    }
    double value = std::ldexp(static_cast<double>(mantissa), -56);
    if (bytes[0] & 0x80) {
        value = -value;
    }
    const int exponent = (bytes[0] & 0x7F) - 64;
    return value * std::pow(16.0, exponent);
}

std::expected<std::vector<double>, GdsError> parse_real8s(Payload payload) {
    if (payload.size() % 8 != 0) {
        return format("real8 record length must be a multiple of 8");
    }
    std::vector<double> values(payload.size() / 8);
    for (std::size_t i = 0; i < values.size(); ++i) {
        values[i] = decode_real8(payload.data() + 8 * i);
    }
    return values;
}

std::expected<double, GdsError> parse_real8_one(Payload payload) {
    if (payload.size() % 8 != 0) {
        return format("real8 record length must be a multiple of 8");
    }
    if (payload.empty()) {
        return format("expected one real8 value");
    }
    return decode_real8(payload.data());
}

std::expected<CellId, GdsError> find_or_create_cell(LayoutDb& db, std::string_view name) {
    if (const auto found = db.find_cell(name)) {
        return *found;
    }
    auto added = db.add_cell(std::string(name));
    if (!added) {
        return std::unexpected(GdsError{added.error()});
    }
    return *added;
}

std::expected<std::array<Point, 3>, GdsError> aref_raw_points(std::span<const Point> points) {
    if (points.size() < 3) {
        return format("AREF XY must contain three points");
    }
    return std::array<Point, 3>{points[0], points[1], points[2]};
}

std::expected<Point, GdsError> divide_vector(Point corner, Point origin, std::int64_t count) {
    if (count == 0) {
        return format("AREF COLROW entries must be non-zero");
    }
    return Point{(corner.x - origin.x) / count, (corner.y - origin.y) / count};
}

namespace {

// One element between its opening record and ENDEL.
struct ElementBuilder {
    std::uint8_t kind = 0; // the opening record type; 0 while no element is open
    std::optional<std::int32_t> layer;
    std::optional<std::int32_t> type_number;
    std::optional<std::int64_t> width; // magnitude
    bool width_absolute = false;
    std::optional<std::int64_t> begin_extension;
    std::optional<std::int64_t> end_extension;
    std::optional<std::uint16_t> path_type;
    // The points sit at the end of the database's point pool until the element completes.
    bool has_points = false;
    std::uint64_t points_first = 0;
    std::optional<std::string> reference;
    std::optional<std::string> text;
    std::optional<std::array<std::int64_t, 2>> colrow;
    std::optional<std::uint16_t> presentation;
    bool strans_present = false;
    bool reflection = false;
    bool absolute_magnification = false;
    bool absolute_angle = false;
    std::optional<double> magnification;
    std::optional<double> angle;
    shape::GdsElementMeta meta;

    // Ready for the element `opening` starts. Assigning a fresh builder would make and move a
    // whole one for each of a million elements; this clears what the last one set.
    void start(std::uint8_t opening) {
        kind = opening;
        layer.reset();
        type_number.reset();
        width.reset();
        width_absolute = false;
        begin_extension.reset();
        end_extension.reset();
        path_type.reset();
        has_points = false;
        points_first = 0;
        reference.reset();
        text.reset();
        colrow.reset();
        presentation.reset();
        strans_present = false;
        reflection = false;
        absolute_magnification = false;
        absolute_angle = false;
        magnification.reset();
        angle.reset();
        meta.properties.clear();
        meta.plex.reset();
        meta.elflags.reset();
        meta.shape_extras = 0;
    }
};

using Status = std::expected<void, GdsError>;

// The elements of one cell on one layer, as the pre-pass counts them.
struct GroupKey {
    std::string_view cell;
    std::int32_t layer = 0;
    std::int32_t type = 0;
    friend bool operator==(const GroupKey&, const GroupKey&) = default;
};

struct GroupKeyHash {
    std::size_t operator()(const GroupKey& key) const noexcept {
        return std::hash<std::string_view>{}(key.cell) ^
               std::hash<std::int64_t>{}((std::int64_t{key.layer} << 32) ^
                                         static_cast<std::uint32_t>(key.type));
    }
};

class Reader {
  public:
    explicit Reader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

    std::expected<Read, GdsError> run() {
        if (auto s = check_start(); !s) {
            return std::unexpected(s.error());
        }
        reserve_pools();
        std::size_t at = 0;
        for (;;) {
            // Peers always close the library with ENDLIB: a stream without it was cut short,
            // and reading it as a smaller design would lose the rest silently.
            if (bytes_.size() - at < 4) {
                return format("the stream ends at byte " + std::to_string(bytes_.size()) +
                              " before ENDLIB: the file is truncated");
            }
            prefetch_ahead(bytes_, at);
            const std::uint16_t length = get16(bytes_.data() + at);
            if (length < 4) {
                return format("invalid record length " + std::to_string(length));
            }
            if (length > bytes_.size() - at) {
                return std::unexpected(GdsError{IoError{"UnexpectedEof"}});
            }
            const std::uint8_t type = bytes_[at + 2];
            const Payload payload = bytes_.subspan(at + 4, length - 4u);
            record_at_ = at;
            at += length;
            if (type == rec::ENDLIB) {
                break;
            }
            if (auto s = record(type, payload); !s) {
                return std::unexpected(s.error());
            }
        }
        discard_element();
        note_undefined_cells();
        return Read{std::move(db_), std::move(warnings_)};
    }

  private:
    // Every GDSII stream opens with HEADER; anything else (an empty file, text) is not one.
    Status check_start() const {
        if (bytes_.empty()) {
            return format("the stream is empty: not a GDSII file");
        }
        if (bytes_.size() < 4 || bytes_[2] != rec::HEADER) {
            return format("the stream does not start with a HEADER record: not a GDSII file");
        }
        return {};
    }

    // One cheap pass over the headers sizes the point pool and every cell's layer groups, so
    // that none of them moves while a large file is read.
    void reserve_pools() {
        std::size_t at = 0;
        std::size_t points = 0;
        std::uint8_t element = 0;
        GroupKey key;
        GroupKey run;
        std::size_t run_length = 0;
        while (bytes_.size() - at >= 4) {
            prefetch_ahead(bytes_, at);
            const std::uint16_t length = get16(bytes_.data() + at);
            const std::uint8_t type = bytes_[at + 2];
            if (length < 4 || length > bytes_.size() - at || type == rec::ENDLIB) {
                break;
            }
            const Payload payload = bytes_.subspan(at + 4, length - 4u);
            at += length;
            if (is_element_record(type)) {
                element = type;
                key.layer = 0;
                key.type = 0;
                continue;
            }
            const bool shape = element != rec::SREF && element != rec::AREF;
            switch (type) {
            case rec::STRNAME:
                key.cell = text_before_zero(payload);
                break;
            case rec::LAYER:
                key.layer = first_i16(payload);
                break;
            case rec::DATATYPE:
            case rec::TEXTTYPE:
            case rec::NODETYPE:
            case rec::BOXTYPE:
                key.type = first_i16(payload);
                break;
            case rec::XY:
                if (shape && element != rec::BOX && element != rec::TEXT) {
                    points += payload.size() / 8;
                }
                break;
            case rec::ENDEL:
                if (element != 0 && shape) {
                    if (run_length > 0 && !(key == run)) {
                        group_sizes_[run] += run_length;
                        run_length = 0;
                    }
                    run = key;
                    ++run_length;
                }
                element = 0;
                break;
            default:
                break;
            }
        }
        if (run_length > 0) {
            group_sizes_[run] += run_length;
        }
        db_.points.reserve(points + 8);
    }

    static std::string_view text_before_zero(Payload payload) {
        const auto* text = reinterpret_cast<const char*>(payload.data());
        return std::string_view(text, strnlen(text, payload.size()));
    }

    static std::int32_t first_i16(Payload payload) {
        return payload.size() >= 2 ? static_cast<std::int16_t>(get16(payload.data())) : 0;
    }

    static bool is_element_record(std::uint8_t type) {
        switch (type) {
        case rec::BOUNDARY:
        case rec::PATH:
        case rec::SREF:
        case rec::AREF:
        case rec::TEXT:
        case rec::NODE:
        case rec::BOX:
            return true;
        default:
            return false;
        }
    }

    bool active() const { return element_.kind != 0; }

    Status record(std::uint8_t type, Payload payload) {
        switch (type) {
        case rec::HEADER:
        case rec::BGNLIB:
            return {};
        case rec::ENDSTR:
            return end_structure();
        case rec::LIBNAME:
            return library_name(payload);
        case rec::UNITS:
            return units(payload);
        case rec::BGNSTR:
            in_structure_ = false;
            return {};
        case rec::STRNAME:
            return structure_name(payload);
        case rec::ENDEL:
            return end_element();
        default:
            break;
        }
        if (is_element_record(type)) {
            discard_element();
            element_.start(type);
            return {};
        }
        if (!active()) {
            return {};
        }
        return element_record(type, payload);
    }

    // An element still open when its structure ends lost its ENDEL: the structure was cut
    // short, and dropping the element would lose it silently.
    Status end_structure() const {
        if (!active()) {
            return {};
        }
        return format("ENDSTR at byte " + std::to_string(record_at_) +
                      " comes before the ENDEL of " + element_name(element_.kind) +
                      ": the structure is truncated");
    }

    static std::string element_name(std::uint8_t type) {
        switch (type) {
        case rec::BOUNDARY:
            return "a BOUNDARY";
        case rec::PATH:
            return "a PATH";
        case rec::SREF:
            return "an SREF";
        case rec::AREF:
            return "an AREF";
        case rec::TEXT:
            return "a TEXT";
        case rec::NODE:
            return "a NODE";
        default:
            return "a BOX";
        }
    }

    Status library_name(Payload payload) {
        auto text = parse_ascii(payload);
        if (!text) {
            return std::unexpected(text.error());
        }
        db_.name = std::move(*text);
        return {};
    }

    Status units(Payload payload) {
        auto values = parse_real8s(payload);
        if (!values) {
            return std::unexpected(values.error());
        }
        if (values->size() != 2) {
            return format("UNITS must contain two real8 values");
        }
        db_.meta.scale = (*values)[0] * 1e6;
        if (auto s = db_.set_dbu((*values)[1] * 1e6); !s) {
            return std::unexpected(GdsError{s.error()});
        }
        return {};
    }

    Status structure_name(Payload payload) {
        auto text = parse_ascii(payload);
        if (!text) {
            return std::unexpected(text.error());
        }
        auto cell = find_or_create_cell(db_, *text);
        if (!cell) {
            return std::unexpected(cell.error());
        }
        current_cell_ = *cell;
        in_structure_ = true;
        defined_.resize(db_.cells.size());
        if (defined_[cell->value]) {
            warn("two structures of this name are merged into one cell");
        }
        defined_[cell->value] = true;
        return {};
    }

    void warn(std::string text) {
        // Elements outside any structure are refused elsewhere; their warning names no cell.
        const std::string cell =
            current_cell_.value < db_.cells.size() ? db_.cells[current_cell_.value].name : "";
        warnings_.push_back({cell, std::move(text)});
    }

    // A reference to a structure the stream never defines is read as an empty cell.
    void note_undefined_cells() {
        defined_.resize(db_.cells.size());
        for (std::size_t i = 0; i < db_.cells.size(); ++i) {
            if (!defined_[i]) {
                warnings_.push_back(
                    {db_.cells[i].name, "referenced but never defined; read as an empty cell"});
            }
        }
    }

    template <typename T> static Status store(std::expected<T, GdsError> parsed, auto& field) {
        if (!parsed) {
            return std::unexpected(parsed.error());
        }
        field = std::move(*parsed);
        return {};
    }

    Status element_record(std::uint8_t type, Payload payload) {
        ElementBuilder& e = element_;
        switch (type) {
        case rec::LAYER:
            return store(parse_i16_one(payload), e.layer);
        case rec::DATATYPE:
        case rec::TEXTTYPE:
        case rec::NODETYPE:
        case rec::BOXTYPE:
            return store(parse_i16_one(payload), e.type_number);
        case rec::WIDTH:
            return width(payload);
        case rec::XY:
            return points(payload);
        case rec::SNAME:
            return store(parse_ascii(payload), e.reference);
        case rec::COLROW:
            return colrow(payload);
        case rec::PRESENTATION:
            return store(parse_i16_one(payload), e.presentation);
        case rec::STRING:
            return store(parse_ascii(payload), e.text);
        case rec::STRANS:
            return strans(payload);
        case rec::MAG:
            return store(parse_real8_one(payload), e.magnification);
        case rec::ANGLE:
            return store(parse_real8_one(payload), e.angle);
        case rec::PATHTYPE:
            return store(parse_i16_one(payload), e.path_type);
        case rec::ELFLAGS:
            return store(parse_u16_one(payload), e.meta.elflags);
        case rec::PROPATTR:
            return property_attribute(payload);
        case rec::PROPVALUE:
            return property_value(payload);
        case rec::PLEX:
            return store(parse_i32_one(payload), e.meta.plex);
        case rec::BGNEXTN:
            return store(parse_i32_one(payload), e.begin_extension);
        case rec::ENDEXTN:
            return store(parse_i32_one(payload), e.end_extension);
        default:
            return {};
        }
    }

    Status width(Payload payload) {
        auto value = parse_i32_one(payload);
        if (!value) {
            return std::unexpected(value.error());
        }
        const std::int64_t wide = *value;
        element_.width = wide < 0 ? -wide : wide;
        element_.width_absolute = wide < 0;
        return {};
    }

    // Every XY replaces the element's points, which live at the end of the pool.
    Status points(Payload payload) {
        if (auto s = check_xy_length(payload); !s) {
            return s;
        }
        ElementBuilder& e = element_;
        if (e.has_points) {
            warn("an element has two XY records; only the last is kept");
        } else {
            e.has_points = true;
            e.points_first = db_.points.size();
        }
        db_.points.resize(e.points_first + payload.size() / 8);
        decode_points(payload, db_.points.data() + e.points_first);
        return {};
    }

    Status colrow(Payload payload) {
        auto values = parse_i16s(payload);
        if (!values) {
            return std::unexpected(values.error());
        }
        if (values->size() != 2) {
            return format("COLROW must contain two i16 values");
        }
        element_.colrow = std::array<std::int64_t, 2>{(*values)[0], (*values)[1]};
        return {};
    }

    Status strans(Payload payload) {
        auto word = parse_u16_one(payload);
        if (!word) {
            return std::unexpected(word.error());
        }
        ElementBuilder& e = element_;
        e.strans_present = true;
        e.reflection = (*word & strans_reflection) != 0;
        e.absolute_magnification = (*word & strans_absolute_magnification) != 0;
        e.absolute_angle = (*word & strans_absolute_angle) != 0;
        return {};
    }

    Status property_attribute(Payload payload) {
        auto value = parse_i16_one(payload);
        if (!value) {
            return std::unexpected(value.error());
        }
        pending_attribute_ = static_cast<std::uint16_t>(*value);
        return {};
    }

    Status property_value(Payload payload) {
        if (!pending_attribute_) {
            return format("PROPVALUE appears before PROPATTR");
        }
        auto text = parse_ascii(payload);
        if (!text) {
            return std::unexpected(text.error());
        }
        element_.meta.properties.push_back({std::move(*text), *pending_attribute_});
        return {};
    }

    std::span<const Point> element_points() const {
        if (!element_.has_points) {
            return {};
        }
        return std::span<const Point>(db_.points).subspan(element_.points_first);
    }

    // Drops an element that never completed, with the points it left in the pool.
    void discard_element() {
        if (active()) {
            release_points();
        }
        element_.kind = 0;
    }

    shape::Transform transform(Point origin) const {
        const ElementBuilder& e = element_;
        if (!e.strans_present && !e.magnification && !e.angle) {
            return {origin, shape::Orthogonal{0}};
        }
        return {origin, shape::General{.magnification = e.magnification.value_or(1.0),
                                       .angle = e.angle.value_or(0.0),
                                       .reflection = e.reflection,
                                       .absolute_magnification = e.absolute_magnification,
                                       .absolute_angle = e.absolute_angle}};
    }

    Point first_point() const {
        const auto pts = element_points();
        return pts.empty() ? Point{} : pts.front();
    }

    shape::PointRange taken_points() const {
        return {element_.points_first, element_.has_points ? element_points().size() : 0};
    }

    void release_points() {
        if (element_.has_points) {
            db_.points.resize(element_.points_first);
        }
    }

    Status end_element() {
        if (!in_structure_) {
            return format("ENDEL outside of a structure");
        }
        if (!active()) {
            return format("ENDEL without active element");
        }
        const Status done = element_.kind == rec::SREF || element_.kind == rec::AREF
                                ? complete_instance()
                                : complete_shape();
        element_.kind = 0;
        pending_attribute_.reset();
        return done;
    }

    // Consecutive elements mostly share their layer: the last lookup is kept.
    models::LayerId layer_of(std::int32_t number, std::int32_t type) {
        if (!last_layer_ || last_layer_->number != number || last_layer_->type != type) {
            last_layer_ = LastLayer{number, type, db_.layer(LayerInfo{std::nullopt, number, type})};
        }
        return last_layer_->id;
    }

    Status complete_shape() {
        ElementBuilder& e = element_;
        const models::LayerId layer = layer_of(e.layer.value_or(0), e.type_number.value_or(0));
        auto built = build_shape();
        if (!built) {
            return std::unexpected(built.error());
        }
        // The ids are valid by construction, so the record goes straight into its group.
        top::Cell& cell = db_.cells[current_cell_.value];
        std::vector<shape::ShapeRecord>& group = cell.shapes[layer];
        if (group.capacity() == 0) {
            const auto expected = group_sizes_.find(
                GroupKey{cell.name, e.layer.value_or(0), e.type_number.value_or(0)});
            if (expected != group_sizes_.end()) {
                group.reserve(expected->second);
            }
        }
        group.push_back({db_.store_meta(std::move(e.meta)), std::move(*built)});
        return {};
    }

    std::expected<shape::Shape, GdsError> build_shape() {
        ElementBuilder& e = element_;
        switch (e.kind) {
        case rec::BOUNDARY:
            return shape::Boundary{taken_points()};
        case rec::NODE:
            return shape::Node{taken_points()};
        case rec::PATH:
            if (e.begin_extension || e.end_extension) {
                e.meta.shape_extras = db_.store_shape_extras(
                    {.begin_extension = e.begin_extension, .end_extension = e.end_extension});
            }
            return shape::Path{.points = taken_points(),
                               .width = e.width.value_or(0),
                               .width_present = e.width.has_value(),
                               .width_absolute = e.width_absolute,
                               .path_type = e.path_type};
        case rec::BOX:
            return box();
        default:
            return text();
        }
    }

    std::expected<shape::Shape, GdsError> box() {
        ElementBuilder& e = element_;
        const auto pts = element_points();
        if (pts.empty()) {
            return format("BOX is missing XY points");
        }
        shape::Box b{.left = pts[0].x, .bottom = pts[0].y, .right = pts[0].x, .top = pts[0].y};
        for (const Point& p : pts) {
            b.left = std::min(b.left, p.x);
            b.bottom = std::min(b.bottom, p.y);
            b.right = std::max(b.right, p.x);
            b.top = std::max(b.top, p.y);
        }
        // The usual five corners are what the writer derives anyway: keep no copy of them.
        if (std::ranges::equal(pts, shape::closed_corners(b))) {
            release_points();
        } else {
            e.meta.shape_extras = db_.store_shape_extras({.box_xy = taken_points()});
        }
        return b;
    }

    shape::Shape text() {
        ElementBuilder& e = element_;
        const Point origin = first_point();
        release_points();
        return db_.store_text(shape::TextBody{.text = e.text ? std::move(*e.text) : std::string(),
                                              .width = e.width,
                                              .width_absolute = e.width_absolute,
                                              .transform = transform(origin),
                                              .presentation = e.presentation,
                                              .path_type = e.path_type});
    }

    Status complete_instance() {
        ElementBuilder& e = element_;
        if (!e.reference) {
            return format("SREF/AREF is missing SNAME");
        }
        auto child = find_or_create_cell(db_, *e.reference);
        if (!child) {
            return std::unexpected(child.error());
        }
        top::CellInstance instance{.aref_points = std::nullopt,
                                   .repetition = std::nullopt,
                                   .meta = std::move(e.meta),
                                   .transform = transform(first_point()),
                                   .cell = *child};
        if (e.kind == rec::AREF) {
            if (auto s = array(instance); !s) {
                return s;
            }
        }
        release_points();
        auto inserted = db_.insert_instance(current_cell_, std::move(instance));
        if (!inserted) {
            return std::unexpected(GdsError{inserted.error()});
        }
        return {};
    }

    Status array(top::CellInstance& instance) {
        const ElementBuilder& e = element_;
        if (!e.colrow) {
            return format("AREF is missing COLROW");
        }
        auto corners = aref_raw_points(element_points());
        if (!corners) {
            return std::unexpected(corners.error());
        }
        const auto [columns, rows] = *e.colrow;
        auto column_step = divide_vector((*corners)[1], (*corners)[0], columns);
        if (!column_step) {
            return std::unexpected(column_step.error());
        }
        auto row_step = divide_vector((*corners)[2], (*corners)[0], rows);
        if (!row_step) {
            return std::unexpected(row_step.error());
        }
        const auto uneven = [](Point corner, Point origin, std::int64_t count) {
            return (corner.x - origin.x) % count != 0 || (corner.y - origin.y) % count != 0;
        };
        if (uneven((*corners)[1], (*corners)[0], columns) ||
            uneven((*corners)[2], (*corners)[0], rows)) {
            warn("an AREF span does not divide evenly by its count; the step is truncated");
        }
        instance.repetition = top::RegularArray{columns, rows, *column_step, *row_step};
        instance.aref_points = *corners;
        return {};
    }

    struct LastLayer {
        std::int32_t number = 0;
        std::int32_t type = 0;
        models::LayerId id;
    };

    std::span<const std::uint8_t> bytes_;
    std::unordered_map<GroupKey, std::size_t, GroupKeyHash> group_sizes_;
    std::optional<LastLayer> last_layer_;
    LayoutDb db_;
    CellId current_cell_;
    bool in_structure_ = false;
    ElementBuilder element_; // inactive while its kind is 0
    std::optional<std::uint16_t> pending_attribute_;
    std::vector<bool> defined_; // by cell id: its structure has been read
    std::vector<ReadWarning> warnings_;
    std::size_t record_at_ = 0; // the byte offset of the record being read
};

} // namespace

std::expected<Read, GdsError> read_layout_with_warnings(std::span<const std::uint8_t> bytes) {
    return Reader(bytes).run();
}

std::expected<LayoutDb, GdsError> read_layout(std::span<const std::uint8_t> bytes) {
    auto read = read_layout_with_warnings(bytes);
    if (!read) {
        return std::unexpected(std::move(read.error()));
    }
    return std::move(read->layout);
}

} // namespace vork::io::gds::reader
