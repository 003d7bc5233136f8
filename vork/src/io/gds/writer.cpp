#include "io/gds/writer.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <optional>

#include "io/gds/record.hpp"

namespace vork::io::gds::writer {

using models::LayerInfo;
using models::top::CellInstance;
using models::top::LayoutDb;
namespace shape = models::shape;

namespace {

constexpr std::size_t max_payload = 65531;

std::uint8_t* grow(Bytes& out, std::size_t n) {
    const std::size_t at = out.size();
    out.resize(at + n);
    return out.data() + at;
}

// GDSII is big-endian. Written as whole words, not byte by byte: the coordinates of a large
// layout pass here by the tens of millions, and whole words let the compiler swap many at once.
template <class Word> void put(std::uint8_t* p, Word v) {
    if constexpr (std::endian::native == std::endian::little) {
        v = std::byteswap(v);
    }
    std::memcpy(p, &v, sizeof v);
}

void put16(std::uint8_t* p, std::uint16_t v) {
    put(p, v);
}

void put32(std::uint8_t* p, std::uint32_t v) {
    put(p, v);
}

// The header of a record whose payload length is known to fit.
std::uint8_t* begin_record(Bytes& out, std::uint8_t type, std::uint8_t data_type,
                           std::size_t payload) {
    std::uint8_t* p = grow(out, payload + 4);
    put16(p, static_cast<std::uint16_t>(payload + 4));
    p[2] = type;
    p[3] = data_type;
    return p + 4;
}

GdsError too_long() {
    return FormatError{"record exceeds GDS maximum length"};
}

void empty_record(Bytes& out, std::uint8_t type) {
    begin_record(out, type, data::NONE, 0);
}

void i16_record(Bytes& out, std::uint8_t type, std::int16_t value) {
    put16(begin_record(out, type, data::I16, 2), static_cast<std::uint16_t>(value));
}

void i32_record(Bytes& out, std::uint8_t type, std::int32_t value) {
    put32(begin_record(out, type, data::I32, 4), static_cast<std::uint32_t>(value));
}

void bits_record(Bytes& out, std::uint8_t type, std::uint16_t value) {
    put16(begin_record(out, type, data::BITS, 2), value);
}

void zero_dates(Bytes& out, std::uint8_t type) {
    begin_record(out, type, data::I16, 24);
}

bool fits32(__int128 v) {
    return v >= std::numeric_limits<std::int32_t>::min() &&
           v <= std::numeric_limits<std::int32_t>::max();
}

bool fits16(std::int64_t v) {
    return v >= std::numeric_limits<std::int16_t>::min() &&
           v <= std::numeric_limits<std::int16_t>::max();
}

// XY of the points, plus the closing point when given; the coordinates must already fit.
Status xy_record(Bytes& out, std::span<const Point> points, const Point* closing) {
    const std::size_t count = points.size() + (closing ? 1 : 0);
    if (count > max_payload / 8) {
        return std::unexpected(too_long());
    }
    std::uint8_t* p = begin_record(out, rec::XY, data::I32, count * 8);
    for (const Point& point : points) {
        put32(p, static_cast<std::uint32_t>(point.x));
        put32(p + 4, static_cast<std::uint32_t>(point.y));
        p += 8;
    }
    if (closing) {
        put32(p, static_cast<std::uint32_t>(closing->x));
        put32(p + 4, static_cast<std::uint32_t>(closing->y));
    }
    return {};
}

const Point* outside32(std::span<const Point> points) {
    for (const Point& point : points) {
        if (!fits32(point.x) || !fits32(point.y)) {
            return &point;
        }
    }
    return nullptr;
}

// A point computed wide, so that stepping along an array cannot wrap.
struct WidePoint {
    __int128 x = 0;
    __int128 y = 0;
};

WidePoint moved(WidePoint from, Point step, std::int64_t count) {
    return {from.x + static_cast<__int128>(step.x) * count,
            from.y + static_cast<__int128>(step.y) * count};
}

WidePoint wide(Point p) {
    return {p.x, p.y};
}

bool fits32(WidePoint p) {
    return fits32(p.x) && fits32(p.y);
}

// The placement of one column and row of an array.
WidePoint placement(Point origin, const models::top::RegularArray& array, std::int64_t column,
                    std::int64_t row) {
    return moved(moved(wide(origin), array.column_step, column), array.row_step, row);
}

// Whether every placement of the array fits GDSII's 32 bits: a lattice reaches farthest at its
// outer placements.
bool placements_fit(Point origin, const models::top::RegularArray& array) {
    for (const std::int64_t column : {std::int64_t{0}, array.columns - 1}) {
        for (const std::int64_t row : {std::int64_t{0}, array.rows - 1}) {
            if (!fits32(placement(origin, array, column, row))) {
                return false;
            }
        }
    }
    return true;
}

// Whether the corner points past the array's last column and past its last row fit, on every
// row and column: along a line they reach farthest at its ends.
bool far_corners_fit(Point origin, const models::top::RegularArray& array) {
    const std::int64_t columns = array.columns;
    const std::int64_t rows = array.rows;
    for (const WidePoint corner :
         {placement(origin, array, columns, 0), placement(origin, array, columns, rows - 1),
          placement(origin, array, 0, rows), placement(origin, array, columns - 1, rows)}) {
        if (!fits32(corner)) {
            return false;
        }
    }
    return true;
}

// GDSII counts an AREF's columns and rows in signed 16 bits. A larger array is written as
// blocks of at most this many columns and rows, each an AREF at its first placement: the same
// placements. Beyond `max_aref_blocks` blocks (arrays of about a billion columns) it is refused
// as before, rather than writing a file of that many AREFs.
constexpr std::int64_t max_aref_count = std::numeric_limits<std::int16_t>::max();
constexpr std::int64_t max_aref_blocks = max_aref_count;

std::int64_t blocks_of(std::int64_t count) {
    return count / max_aref_count + (count % max_aref_count != 0 ? 1 : 0);
}

// The array the writer may cut into pieces: regular, with counts it can write and corners
// not kept as read.
const models::top::RegularArray* divisible(const CellInstance& instance) {
    const auto* array = instance.repetition
                            ? std::get_if<models::top::RegularArray>(&*instance.repetition)
                            : nullptr;
    if (!array || instance.aref_points || array->columns <= 0 || array->rows <= 0) {
        return nullptr;
    }
    return array;
}

// At most the AREFs an array is written as: 1 when it is written whole (also for counts that
// are refused). A corner past the last column or row that leaves 32 bits while every placement
// fits puts that column or row into pieces of its own, one more per block.
std::int64_t aref_pieces(const CellInstance& instance) {
    const models::top::RegularArray* array = divisible(instance);
    if (!array) {
        return 1;
    }
    std::int64_t columns = 1;
    std::int64_t rows = 1;
    if (array->columns > max_aref_count || array->rows > max_aref_count) {
        columns = blocks_of(array->columns);
        rows = blocks_of(array->rows);
        if (columns > max_aref_blocks / rows) {
            return 1;
        }
    }
    const Point origin = instance.transform.origin;
    if (!far_corners_fit(origin, *array) && placements_fit(origin, *array)) {
        return (columns + 1) * (rows + 1);
    }
    return columns * rows;
}

// Columns or rows of an array: the first and how many.
struct Span {
    std::int64_t first = 0;
    std::int64_t count = 0;
};

// A piece of an array: its columns and rows.
struct Block {
    Span columns;
    Span rows;
};

std::string not_fitting(std::string_view what, std::int64_t value, int bits) {
    return std::string(what) + " " + std::to_string(value) + " does not fit in GDSII's " +
           std::to_string(bits) + " bits";
}

} // namespace

Status write_record(Bytes& out, std::uint8_t type, std::uint8_t data_type,
                    std::span<const std::uint8_t> payload) {
    if (payload.size() > std::numeric_limits<std::uint64_t>::max() - 4) {
        return std::unexpected(GdsError{FormatError{"record length overflow"}});
    }
    if (payload.size() > max_payload) {
        return std::unexpected(too_long());
    }
    std::uint8_t* p = begin_record(out, type, data_type, payload.size());
    if (!payload.empty()) {
        std::memcpy(p, payload.data(), payload.size());
    }
    return {};
}

Status write_xy_record(Bytes& out, std::span<const Point> points) {
    if (const Point* bad = outside32(points)) {
        const std::int64_t v = fits32(bad->x) ? bad->y : bad->x;
        return std::unexpected(GdsError{FormatError{not_fitting("coordinate", v, 32)}});
    }
    return xy_record(out, points, nullptr);
}

Status write_i16_record(Bytes& out, std::uint8_t type, std::span<const std::int16_t> values) {
    if (values.size() > max_payload / 2) {
        return std::unexpected(too_long());
    }
    std::uint8_t* p = begin_record(out, type, data::I16, values.size() * 2);
    for (std::int16_t v : values) {
        put16(p, static_cast<std::uint16_t>(v));
        p += 2;
    }
    return {};
}

Status write_ascii_record(Bytes& out, std::uint8_t type, std::string_view text) {
    const std::size_t padded = text.size() + (text.size() % 2);
    if (padded > max_payload) {
        return std::unexpected(too_long());
    }
    std::uint8_t* p = begin_record(out, type, data::ASCII, padded);
    std::memcpy(p, text.data(), text.size());
    return {};
}

std::expected<std::array<std::uint8_t, 8>, GdsError> encode_real8(double value) {
    std::array<std::uint8_t, 8> bytes{};
    if (value == 0.0) {
        return bytes;
    }
    if (std::isnan(value)) {
        bytes[0] = 0x40;
        return bytes;
    }
    // 16^63 and 16^-65 bound what an excess-64 exponent can hold.
    double m = std::fabs(value);
    if (!(m < 0x1p252) || m < 0x1p-260) {
        return std::unexpected(GdsError{
            FormatError{"real " + models::debug_f64(value) + " has no GDSII 8-byte form"}});
    }
    int e = 0;
    while (m >= 1.0) {
        m *= 1.0 / 16.0;
        ++e;
    }
    while (m < 1.0 / 16.0) {
        m *= 16.0;
        --e;
    }
    auto q = static_cast<std::uint64_t>(std::ldexp(m, 56));
    bytes[0] = static_cast<std::uint8_t>((value < 0 ? 0x80 : 0) | (e + 64));
    for (int i = 7; i >= 1; --i) {
        bytes[i] = static_cast<std::uint8_t>(q);
        q >>= 8;
    }
    return bytes;
}

Status write_real8_record(Bytes& out, std::uint8_t type, std::span<const double> values) {
    if (values.size() > max_payload / 8) {
        return std::unexpected(too_long());
    }
    // Encoded in place; a value without a GDSII form takes the whole record back out.
    const std::size_t at = out.size();
    std::uint8_t* p = begin_record(out, type, data::REAL8, values.size() * 8);
    for (double v : values) {
        auto bytes = encode_real8(v);
        if (!bytes) {
            out.resize(at);
            return std::unexpected(bytes.error());
        }
        std::memcpy(p, bytes->data(), bytes->size());
        p += bytes->size();
    }
    return {};
}

Status write_gds_properties(Bytes& out, std::span<const shape::GdsProperty> properties) {
    for (const shape::GdsProperty& property : properties) {
        i16_record(out, rec::PROPATTR, static_cast<std::int16_t>(property.attribute));
        if (auto s = write_ascii_record(out, rec::PROPVALUE, property.value); !s) {
            return s;
        }
    }
    return {};
}

namespace {

Status real_record(Bytes& out, std::uint8_t type, double value) {
    return write_real8_record(out, type, std::span<const double>(&value, 1));
}

// The stream grammar has MAG and ANGLE only inside the STRANS group, so STRANS comes whenever
// either does, even with no flag set; strict readers refuse them alone.
Status strans_group(Bytes& out, std::uint16_t word, std::optional<double> magnification,
                    std::optional<double> angle) {
    if (word == 0 && !magnification && !angle) {
        return {};
    }
    bits_record(out, rec::STRANS, word);
    if (magnification) {
        if (auto s = real_record(out, rec::MAG, *magnification); !s) {
            return s;
        }
    }
    if (angle) {
        return real_record(out, rec::ANGLE, *angle);
    }
    return {};
}

Status orthogonal_records(Bytes& out, std::uint8_t code) {
    const int quarter = code % 4;
    return strans_group(out, code >= 4 ? strans_reflection : 0, std::nullopt,
                        quarter == 0 ? std::nullopt : std::optional<double>(90.0 * quarter));
}

Status general_records(Bytes& out, const shape::General& g) {
    const std::uint16_t word = (g.reflection ? strans_reflection : 0) |
                               (g.absolute_magnification ? strans_absolute_magnification : 0) |
                               (g.absolute_angle ? strans_absolute_angle : 0);
    const bool magnified = g.magnification != 1.0 || g.absolute_magnification;
    const bool turned = g.angle != 0.0 || g.absolute_angle;
    return strans_group(out, word,
                        magnified ? std::optional<double>(g.magnification) : std::nullopt,
                        turned ? std::optional<double>(g.angle) : std::nullopt);
}

} // namespace

Status write_transform_records(Bytes& out, const shape::Transform& transform) {
    if (const auto* o = std::get_if<shape::Orthogonal>(&transform.orientation)) {
        return orthogonal_records(out, o->code);
    }
    return general_records(out, std::get<shape::General>(transform.orientation));
}

namespace {

// Writes the elements and references of one structure, refusing values that GDSII's fixed-width
// fields would silently wrap.
struct StructureWriter {
    Bytes& out;
    const LayoutDb& db;
    std::string_view cell;
    const shape::GdsElementMeta* meta = nullptr; // of the element being written

    // The element record, then ELFLAGS and PLEX when the element has them.
    void open(std::uint8_t element) const {
        empty_record(out, element);
        if (meta->elflags) {
            bits_record(out, rec::ELFLAGS, *meta->elflags);
        }
        if (meta->plex) {
            i32_record(out, rec::PLEX, *meta->plex);
        }
    }

    std::unexpected<GdsError> refuse(std::string_view what, std::int64_t value, int bits) const {
        return std::unexpected(
            GdsError{FormatError{not_fitting(what, value, bits), std::string(cell)}});
    }

    // The transform's reals, with a refusal naming the cell like every other value that does
    // not fit.
    Status transform_records(const shape::Transform& transform) const {
        auto written = write_transform_records(out, transform);
        if (const auto* refused = written ? nullptr : std::get_if<FormatError>(&written.error())) {
            return std::unexpected(GdsError{FormatError{refused->message, std::string(cell)}});
        }
        return written;
    }

    Status check32(std::string_view what, std::int64_t value) const {
        if (!fits32(value)) {
            return refuse(what, value, 32);
        }
        return {};
    }

    Status check_points(std::span<const Point> points) const {
        if (const Point* bad = outside32(points)) {
            return refuse("coordinate", fits32(bad->x) ? bad->y : bad->x, 32);
        }
        return {};
    }

    Status layer_records(const LayerInfo& layer, std::uint8_t type_record) const {
        if (!fits16(layer.layer)) {
            return refuse("layer", layer.layer, 16);
        }
        if (!fits16(layer.datatype)) {
            return refuse("datatype", layer.datatype, 16);
        }
        i16_record(out, rec::LAYER, static_cast<std::int16_t>(layer.layer));
        i16_record(out, type_record, static_cast<std::int16_t>(layer.datatype));
        return {};
    }

    Status points_element(std::uint8_t element, std::uint8_t type_record, const LayerInfo& layer,
                          std::span<const Point> points, bool close) const {
        if (auto s = check_points(points); !s) {
            return s;
        }
        open(element);
        if (auto s = layer_records(layer, type_record); !s) {
            return s;
        }
        const bool add_closing = close && !points.empty() && points.back() != points.front();
        return xy_record(out, points, add_closing ? &points.front() : nullptr);
    }

    Status box(const LayerInfo& layer, const shape::Box& b) const {
        if (const auto& xy = db.shape_extras_of(*meta).box_xy) {
            return points_element(rec::BOX, rec::BOXTYPE, layer, db.points_of(*xy), false);
        }
        return points_element(rec::BOX, rec::BOXTYPE, layer, shape::closed_corners(b), false);
    }

    Status width_record(std::int64_t width, bool absolute) const {
        const std::int64_t written = absolute ? -width : width;
        if (auto s = check32("width", written); !s) {
            return s;
        }
        i32_record(out, rec::WIDTH, static_cast<std::int32_t>(written));
        return {};
    }

    Status extension_record(std::uint8_t type, std::int64_t extension) const {
        if (auto s = check32("path extension", extension); !s) {
            return s;
        }
        i32_record(out, type, static_cast<std::int32_t>(extension));
        return {};
    }

    Status path(const LayerInfo& layer, const shape::Path& p) const {
        const auto points = db.points_of(p.points);
        if (auto s = check_points(points); !s) {
            return s;
        }
        open(rec::PATH);
        if (auto s = layer_records(layer, rec::DATATYPE); !s) {
            return s;
        }
        if (p.path_type) {
            i16_record(out, rec::PATHTYPE, static_cast<std::int16_t>(*p.path_type));
        }
        if (p.width_present) {
            if (auto s = width_record(p.width, p.width_absolute); !s) {
                return s;
            }
        }
        const shape::ShapeExtras& extras = db.shape_extras_of(*meta);
        if (extras.begin_extension) {
            if (auto s = extension_record(rec::BGNEXTN, *extras.begin_extension); !s) {
                return s;
            }
        }
        if (extras.end_extension) {
            if (auto s = extension_record(rec::ENDEXTN, *extras.end_extension); !s) {
                return s;
            }
        }
        return xy_record(out, points, nullptr);
    }

    Status text(const LayerInfo& layer, const shape::TextBody& t) const {
        const Point origin = t.transform.origin;
        if (auto s = check_points(std::span<const Point>(&origin, 1)); !s) {
            return s;
        }
        open(rec::TEXT);
        if (auto s = layer_records(layer, rec::TEXTTYPE); !s) {
            return s;
        }
        if (t.presentation) {
            bits_record(out, rec::PRESENTATION, *t.presentation);
        }
        if (t.path_type) {
            i16_record(out, rec::PATHTYPE, static_cast<std::int16_t>(*t.path_type));
        }
        if (t.width) {
            if (auto s = width_record(*t.width, t.width_absolute); !s) {
                return s;
            }
        }
        if (auto s = transform_records(t.transform); !s) {
            return s;
        }
        if (auto s = xy_record(out, std::span<const Point>(&origin, 1), nullptr); !s) {
            return s;
        }
        return write_ascii_record(out, rec::STRING, t.text);
    }

    Status element_body(const LayerInfo& layer, const shape::Shape& s) const {
        switch (shape::kind_of(s)) {
        case shape::ShapeKind::Boundary:
            return points_element(rec::BOUNDARY, rec::DATATYPE, layer,
                                  db.points_of(std::get<shape::Boundary>(s).points), false);
        case shape::ShapeKind::Box:
            return box(layer, std::get<shape::Box>(s));
        case shape::ShapeKind::SimplePolygon:
            return points_element(rec::BOUNDARY, rec::DATATYPE, layer,
                                  db.points_of(std::get<shape::SimplePolygon>(s).points), true);
        case shape::ShapeKind::Polygon: {
            const auto& polygon = std::get<shape::Polygon>(s);
            if (polygon.holes.count > 0) {
                return std::unexpected(
                    GdsError{UnsupportedError{"GDS BOUNDARY cannot natively store polygon holes"}});
            }
            return points_element(rec::BOUNDARY, rec::DATATYPE, layer, db.points_of(polygon.outer),
                                  true);
        }
        case shape::ShapeKind::Path:
            return path(layer, std::get<shape::Path>(s));
        case shape::ShapeKind::Text:
            return text(layer, db.text_of(std::get<shape::Text>(s)));
        case shape::ShapeKind::Node:
            return points_element(rec::NODE, rec::NODETYPE, layer,
                                  db.points_of(std::get<shape::Node>(s).points), false);
        case shape::ShapeKind::Edge:
        case shape::ShapeKind::EdgePair:
            break;
        }
        return std::unexpected(
            GdsError{UnsupportedError{"GDS has no native EDGE or EdgePair element"}});
    }

    Status close() const {
        if (auto s = write_gds_properties(out, meta->properties); !s) {
            return s;
        }
        empty_record(out, rec::ENDEL);
        return {};
    }

    Status element(const LayerInfo& layer, const shape::ShapeRecord& record) {
        meta = &db.meta_of(record.meta);
        if (auto s = element_body(layer, record.shape); !s) {
            return s;
        }
        return close();
    }

    // An AREF's corner: origin + step * count.
    std::expected<Point, GdsError> corner(Point origin, Point step, std::int64_t count) const {
        const WidePoint p = moved(wide(origin), step, count);
        for (__int128 v : {p.x, p.y}) {
            if (!fits32(v)) {
                const __int128 shown =
                    std::clamp<__int128>(v, std::numeric_limits<std::int64_t>::min(),
                                         std::numeric_limits<std::int64_t>::max());
                return refuse("array corner coordinate", static_cast<std::int64_t>(shown), 32);
            }
        }
        return Point{static_cast<std::int64_t>(p.x), static_cast<std::int64_t>(p.y)};
    }

    Status aref(const CellInstance& instance, const models::top::RegularArray& array) const {
        if (!fits16(array.columns)) {
            return refuse("array column count", array.columns, 16);
        }
        if (!fits16(array.rows)) {
            return refuse("array row count", array.rows, 16);
        }
        std::array<Point, 3> corners;
        if (instance.aref_points) {
            corners = *instance.aref_points;
        } else {
            const Point origin = instance.transform.origin;
            auto column = corner(origin, array.column_step, array.columns);
            if (!column) {
                return std::unexpected(column.error());
            }
            auto row = corner(origin, array.row_step, array.rows);
            if (!row) {
                return std::unexpected(row.error());
            }
            corners = {origin, *column, *row};
        }
        if (auto s = check_points(corners); !s) {
            return s;
        }
        const std::array<std::int16_t, 2> colrow = {static_cast<std::int16_t>(array.columns),
                                                    static_cast<std::int16_t>(array.rows)};
        if (auto s = write_i16_record(out, rec::COLROW, colrow); !s) {
            return s;
        }
        return xy_record(out, corners, nullptr);
    }

    Status instance(const CellInstance& instance) {
        if (aref_pieces(instance) > 1) {
            return array_blocks(instance,
                                std::get<models::top::RegularArray>(*instance.repetition));
        }
        return reference(instance);
    }

    Status array_blocks(const CellInstance& instance, const models::top::RegularArray& array) {
        // Only an array whose every placement fits is cut at a corner; any other keeps the
        // corners it always had, and their refusal.
        const bool cut_corners = placements_fit(instance.transform.origin, array);
        // One copy for all pieces: only the origin, the counts and the steps differ between them.
        CellInstance piece = instance;
        for (std::int64_t column = 0; column < array.columns; column += max_aref_count) {
            for (std::int64_t row = 0; row < array.rows; row += max_aref_count) {
                const Block block{{column, std::min(max_aref_count, array.columns - column)},
                                  {row, std::min(max_aref_count, array.rows - row)}};
                if (auto s =
                        array_piece(piece, instance.transform.origin, array, block, cut_corners);
                    !s) {
                    return s;
                }
            }
        }
        return {};
    }

    // One block of the array, an AREF at its first placement with the instance's transform.
    // Only a block that ends at the array's last column has a column corner that is no
    // placement; when that corner leaves 32 bits, the last column becomes a piece of its own.
    // A single column needs no step: written as zero, its corner is its origin, and it places
    // the same. Rows alike.
    Status array_piece(CellInstance& piece, Point origin, const models::top::RegularArray& array,
                       Block block, bool cut_corners) {
        const auto [columns, rows] = block;
        auto across = corner(origin, array.column_step, columns.first);
        if (!across) {
            return std::unexpected(across.error());
        }
        auto first = corner(*across, array.row_step, rows.first);
        if (!first) {
            return std::unexpected(first.error());
        }
        Point column_step = array.column_step;
        if (cut_corners && !fits32(moved(wide(*first), column_step, columns.count))) {
            if (columns.count > 1) {
                const Span last{columns.first + columns.count - 1, 1};
                return two_pieces(piece, origin, array, {{columns.first, columns.count - 1}, rows},
                                  {last, rows}, cut_corners);
            }
            column_step = {};
        }
        Point row_step = array.row_step;
        if (cut_corners && !fits32(moved(wide(*first), row_step, rows.count))) {
            if (rows.count > 1) {
                const Span last{rows.first + rows.count - 1, 1};
                return two_pieces(piece, origin, array, {columns, {rows.first, rows.count - 1}},
                                  {columns, last}, cut_corners);
            }
            row_step = {};
        }
        piece.transform.origin = *first;
        piece.repetition =
            models::top::RegularArray{columns.count, rows.count, column_step, row_step};
        return reference(piece);
    }

    Status two_pieces(CellInstance& piece, Point origin, const models::top::RegularArray& array,
                      Block first, Block second, bool cut_corners) {
        if (auto s = array_piece(piece, origin, array, first, cut_corners); !s) {
            return s;
        }
        return array_piece(piece, origin, array, second, cut_corners);
    }

    // One SREF or AREF.
    Status reference(const CellInstance& instance) {
        if (instance.cell.value >= db.cells.size()) {
            return std::unexpected(
                GdsError{models::LayoutError{models::UnknownCell{instance.cell}}});
        }
        const models::top::RegularArray* array = nullptr;
        if (instance.repetition) {
            array = std::get_if<models::top::RegularArray>(&*instance.repetition);
            if (!array) {
                return std::unexpected(GdsError{
                    UnsupportedError{"GDS AREF cannot natively store explicit offset arrays"}});
            }
        }
        meta = &instance.meta;
        open(array ? rec::AREF : rec::SREF);
        if (auto s = write_ascii_record(out, rec::SNAME, db.cells[instance.cell.value].name); !s) {
            return s;
        }
        if (auto s = transform_records(instance.transform); !s) {
            return s;
        }
        if (array) {
            if (auto s = aref(instance, *array); !s) {
                return s;
            }
        } else {
            const Point origin = instance.transform.origin;
            if (auto s = check_points(std::span<const Point>(&origin, 1)); !s) {
                return s;
            }
            if (auto s = xy_record(out, std::span<const Point>(&origin, 1), nullptr); !s) {
                return s;
            }
        }
        return close();
    }
};

// Hands what is written so far to the sink once it fills a piece; without a sink the stream
// stays whole in `out`.
struct Pieces {
    Bytes& out;
    const Sink* sink = nullptr;

    void element_done() const {
        if (sink && out.size() >= piece_bytes) {
            (*sink)(out);
            out.clear();
        }
    }

    void finish() const {
        if (sink && !out.empty()) {
            (*sink)(out);
            out.clear();
        }
    }
};

Status write_structure(const Pieces& pieces, const LayoutDb& db, const models::top::Cell& cell) {
    Bytes& out = pieces.out;
    zero_dates(out, rec::BGNSTR);
    if (auto s = write_ascii_record(out, rec::STRNAME, cell.name); !s) {
        return s;
    }
    StructureWriter writer{out, db, cell.name};
    for (const auto& [layer_id, records] : cell.shapes) {
        if (layer_id.value >= db.layers.size()) {
            return std::unexpected(GdsError{models::LayoutError{models::UnknownLayer{layer_id}}});
        }
        const LayerInfo& layer = db.layers[layer_id.value];
        for (const shape::ShapeRecord& record : records) {
            if (auto s = writer.element(layer, record); !s) {
                return s;
            }
            pieces.element_done();
        }
    }
    for (const CellInstance& instance : cell.instances) {
        if (auto s = writer.instance(instance); !s) {
            return s;
        }
        pieces.element_done();
    }
    empty_record(out, rec::ENDSTR);
    return {};
}

// An upper bound of the stream's size, so that the buffer never moves while it grows; pages
// reserved but never written cost no memory.
std::size_t size_bound(const LayoutDb& db) {
    std::size_t bound = 256 + (db.name ? db.name->size() : 0);
    for (const auto& cell : db.cells) {
        bound += 64 + cell.name.size();
        for (const auto& [layer, records] : cell.shapes) {
            bound += records.size() * 96;
        }
        for (const auto& instance : cell.instances) {
            std::size_t element = 160 + db.cells[instance.cell.value % db.cells.size()].name.size();
            for (const auto& property : instance.meta.properties) {
                element += 12 + property.value.size();
            }
            bound += element * static_cast<std::size_t>(aref_pieces(instance));
        }
    }
    bound += db.points.size() * 8;
    for (const auto& meta : db.metas) {
        for (const auto& property : meta.properties) {
            bound += 12 + property.value.size();
        }
    }
    for (const auto& text : db.texts) {
        bound += text.text.size() + 1;
    }
    return bound;
}

} // namespace

Status write_shape_record(Bytes& out, const LayoutDb& db, const LayerInfo& layer,
                          const shape::ShapeRecord& record, std::string_view cell) {
    StructureWriter writer{out, db, cell};
    return writer.element(layer, record);
}

namespace {

Status write_head(Bytes& out, const LayoutDb& db) {
    i16_record(out, rec::HEADER, 600);
    zero_dates(out, rec::BGNLIB);
    if (auto s = write_ascii_record(out, rec::LIBNAME, db.name ? *db.name : "VORK"); !s) {
        return s;
    }
    const std::array<double, 2> units = {db.meta.scale ? *db.meta.scale / 1e6 : 1e-6, db.dbu / 1e6};
    return write_real8_record(out, rec::UNITS, units);
}

Status write_library(const Pieces& pieces, const LayoutDb& db) {
    if (auto s = write_head(pieces.out, db); !s) {
        return s;
    }
    for (const auto& cell : db.cells) {
        if (auto s = write_structure(pieces, db, cell); !s) {
            return s;
        }
    }
    empty_record(pieces.out, rec::ENDLIB);
    pieces.finish();
    return {};
}

} // namespace

std::expected<Bytes, GdsError> write_gds(const LayoutDb& db) {
    Bytes out;
    out.reserve(size_bound(db));
    if (auto s = write_library(Pieces{out}, db); !s) {
        return std::unexpected(s.error());
    }
    return out;
}

std::expected<void, GdsError> write_gds(const LayoutDb& db, const Sink& sink) {
    StructureStream stream{sink};
    // A piece overshoots by at most one element, which is rarely large.
    stream.out.reserve(2 * piece_bytes);
    return write_library(Pieces{stream.out, &sink}, db);
}

std::expected<void, GdsError> begin_library(StructureStream& stream, const LayoutDb& db) {
    stream.out.reserve(2 * piece_bytes);
    return write_head(stream.out, db);
}

std::expected<void, GdsError> write_structure(StructureStream& stream, const LayoutDb& db,
                                              const models::top::Cell& cell) {
    return write_structure(Pieces{stream.out, &stream.sink}, db, cell);
}

void end_library(StructureStream& stream) {
    empty_record(stream.out, rec::ENDLIB);
    Pieces{stream.out, &stream.sink}.finish();
}

} // namespace vork::io::gds::writer
