#include "read.hpp"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <unordered_map>
#include <unordered_set>

#include "base/fatal.hpp"
#include "base/utf8.hpp"
#include "io/gds/reader.hpp"
#include "ir/engine.hpp"
#include "ir/text.hpp"
#include "ir/transform.hpp"
#include "ir/walk.hpp"
#include "lib.hpp"
#include "read_metadata.hpp"
#include "units/units.hpp"

namespace quorvane_dsl_gds::read {

namespace ir = quorvane_dsl::ir;
namespace models = vork::models;
namespace shape = vork::models::shape;
using models::LayerId;
using models::top::LayoutDb;

std::string sanitize(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 1);
    for (std::size_t i = 0; i < text.size();) {
        // One "_" for a whole character beyond ASCII.
        const quorvane_dsl::base::utf8::Decoded decoded = quorvane_dsl::base::utf8::decode(text, i);
        const bool kept = decoded.ch < 0x80 && std::isalnum(static_cast<int>(decoded.ch));
        out += kept ? static_cast<char>(decoded.ch) : '_';
        i += decoded.len;
    }
    if (out.empty() || std::isdigit(static_cast<unsigned char>(out[0]))) {
        out.insert(out.begin(), '_');
    }
    return out;
}

ir::Geometry polygon_or_box(std::vector<ir::Point> points) {
    if (const std::optional<ir::Box> box = ir::as_box(points)) {
        return ir::Geometry{*box};
    }
    return ir::Geometry{ir::Polygon{std::move(points)}};
}

namespace {

std::vector<ir::Point> copy_points(std::span<const models::Point> points) {
    std::vector<ir::Point> out;
    out.reserve(points.size());
    for (const models::Point& p : points) {
        out.push_back({p.x, p.y});
    }
    return out;
}

// A ring without the closing repeat of its first point.
std::vector<ir::Point> open_ring(std::span<const models::Point> points) {
    if (points.size() >= 2 && points.back() == points.front()) {
        points = points.first(points.size() - 1);
    }
    return copy_points(points);
}

// Moves an end point outward (inward for a negative length) along its end segment, so that
// square and extended path ends keep their area as flush ends.
void extend_end(std::vector<ir::Point>& points, bool at_begin, double length) {
    if (length == 0 || points.size() < 2) {
        return;
    }
    const std::size_t end = at_begin ? 0 : points.size() - 1;
    const int inward = at_begin ? 1 : -1;
    std::size_t next = end;
    while (points[next] == points[end]) {
        const auto moved = static_cast<std::ptrdiff_t>(next) + inward;
        if (moved < 0 || moved >= static_cast<std::ptrdiff_t>(points.size())) {
            return;
        }
        next = static_cast<std::size_t>(moved);
    }
    const double dx = static_cast<double>(points[end].x - points[next].x);
    const double dy = static_cast<double>(points[end].y - points[next].y);
    const double scale = length / std::hypot(dx, dy);
    points[end].x = ir::round_to_i64(static_cast<double>(points[end].x) + dx * scale);
    points[end].y = ir::round_to_i64(static_cast<double>(points[end].y) + dy * scale);
}

class Import {
  public:
    explicit Import(const LayoutDb& layout) : layout_(layout) {}

    ReadResult run() {
        result_.library.dbu = layout_.dbu * 1000.0;
        make_layers();
        number_cells();
        result_.library.cells.reserve(layout_.cells.size());
        for (const auto& cell : layout_.cells) {
            if (is_context(cell)) {
                warn(cell_named(cell.name) + ": KLayout's context data (not layout) was not read");
                continue;
            }
            result_.library.cells.push_back(import_cell(cell));
        }
        if (texts_without_metadata_ > 0) {
            warn(std::to_string(texts_without_metadata_) +
                 " text label(s) without quorvane metadata were not read");
        }
        find_tops();
        return std::move(result_);
    }

  private:
    void warn(std::string text) { result_.warnings.push_back(std::move(text)); }

    // KLayout keeps PCell and library context in this structure, whose references carry it as
    // properties. It is no layout, and written back it would make KLayout refuse our file.
    static bool is_context(const models::top::Cell& cell) {
        return cell.name == "$$$CONTEXT_INFO$$$";
    }

    // The IR index of every database cell; the context structure has none.
    void number_cells() {
        ir_cells_.assign(layout_.cells.size(), no_cell);
        std::uint64_t next = 0;
        for (std::size_t id = 0; id < layout_.cells.size(); ++id) {
            if (!is_context(layout_.cells[id])) {
                ir_cells_[id] = next++;
            }
        }
    }

    std::vector<bool> used_layers() const {
        std::vector<bool> used(layout_.layers.size());
        for (const auto& cell : layout_.cells) {
            for (const auto& [layer, records] : cell.shapes) {
                const bool drawn = std::ranges::any_of(records, [](const shape::ShapeRecord& r) {
                    return shape::kind_of(r.shape) != shape::ShapeKind::Text;
                });
                if (drawn && layer.value < used.size()) {
                    used[layer.value] = true;
                }
            }
        }
        return used;
    }

    // A name no other layer has: repeated candidates get "_" and a count.
    std::string unique_layer_name(const std::string& candidate) {
        std::int32_t& count = name_counts_[candidate];
        std::string name = candidate;
        if (count == 0) {
            count = 1;
        }
        while (taken_names_.contains(name)) {
            name = candidate + "_" + std::to_string(count++);
        }
        taken_names_.insert(name);
        return name;
    }

    std::string candidate_name(const models::LayerInfo& info, const LayerNames& names) const {
        if (const auto named = names.find({info.layer, info.datatype}); named != names.end()) {
            return named->second;
        }
        if (info.name && is_identifier(*info.name)) {
            return *info.name;
        }
        std::string name = "L";
        name += std::to_string(info.layer);
        name += '_';
        name += std::to_string(info.datatype);
        return name;
    }

    void make_layers() {
        const LayerNames names = layer_names(layout_);
        const std::vector<bool> used = used_layers();
        ir_layers_.assign(layout_.layers.size(), no_layer);
        for (std::size_t id = 0; id < layout_.layers.size(); ++id) {
            const models::LayerInfo& info = layout_.layers[id];
            const bool metadata_only =
                (info.layer == 255 && info.datatype == 0) || info.name == "marker";
            if (!used[id] && metadata_only) {
                continue;
            }
            ir_layers_[id] = result_.library.layers.size();
            result_.library.layers.push_back(
                {unique_layer_name(candidate_name(info, names)), info.layer, info.datatype});
        }
    }

    void skipped(const std::string& cell, shape::ShapeKind kind) {
        warn(cell_named(cell) + ": skipped a " + std::string(shape::debug_name(kind)) + " element");
    }

    std::optional<ir::Geometry> path_geometry(const std::string& cell, const shape::Path& path,
                                              const shape::ShapeExtras& extras) {
        if (!path.width_present) {
            skipped(cell, shape::ShapeKind::Path);
            return std::nullopt;
        }
        std::vector<ir::Point> points = copy_points(layout_.points_of(path.points));
        switch (path.path_type.value_or(0)) {
        case 1:
            warn(cell_named(cell) + ": round path ends cannot be kept and were made flush");
            break;
        case 2:
            extend_end(points, true, static_cast<double>(path.width) / 2);
            extend_end(points, false, static_cast<double>(path.width) / 2);
            break;
        case 4:
            extend_end(points, true, static_cast<double>(extras.begin_extension.value_or(0)));
            extend_end(points, false, static_cast<double>(extras.end_extension.value_or(0)));
            break;
        default:
            break;
        }
        return ir::Geometry{ir::Path{path.width, std::move(points)}};
    }

    std::optional<ir::Geometry> geometry(const std::string& cell,
                                         const shape::ShapeRecord& record) {
        const shape::Shape& s = record.shape;
        switch (shape::kind_of(s)) {
        case shape::ShapeKind::Boundary:
            return polygon_or_box(
                open_ring(layout_.points_of(std::get<shape::Boundary>(s).points)));
        case shape::ShapeKind::SimplePolygon:
            return polygon_or_box(
                open_ring(layout_.points_of(std::get<shape::SimplePolygon>(s).points)));
        case shape::ShapeKind::Polygon: {
            const auto& polygon = std::get<shape::Polygon>(s);
            if (polygon.holes.count > 0) {
                break;
            }
            return polygon_or_box(open_ring(layout_.points_of(polygon.outer)));
        }
        case shape::ShapeKind::Box: {
            const auto& b = std::get<shape::Box>(s);
            return ir::Geometry{ir::Box{b.left, b.bottom, b.right, b.top}};
        }
        case shape::ShapeKind::Path:
            return path_geometry(cell, std::get<shape::Path>(s),
                                 layout_.shape_extras_of(layout_.meta_of(record.meta)));
        case shape::ShapeKind::Text:
        case shape::ShapeKind::Node:
        case shape::ShapeKind::Edge:
        case shape::ShapeKind::EdgePair:
            break;
        }
        skipped(cell, shape::kind_of(s));
        return std::nullopt;
    }

    void import_elements(const models::top::Cell& from, CellMetadata& metadata) {
        ir::Cell& cell = metadata.cell;
        std::size_t count = 0;
        for (const auto& [layer, records] : from.shapes) {
            count += records.size();
        }
        cell.shapes.reserve(count);
        for (const auto& [layer, records] : from.shapes) {
            const std::uint64_t ir_layer =
                layer.value < ir_layers_.size() ? ir_layers_[layer.value] : no_layer;
            for (const shape::ShapeRecord& record : records) {
                if (const auto* text = std::get_if<shape::Text>(&record.shape)) {
                    metadata.read_text(layout_.meta_of(record.meta), layout_.text_of(*text));
                    continue;
                }
                auto converted = geometry(from.name, record);
                if (converted && ir_layer != no_layer) {
                    const std::string& layer_name = result_.library.layers[ir_layer].name;
                    if (auto short_shape = too_short_warning(from.name, layer_name, *converted)) {
                        warn(std::move(*short_shape));
                        continue;
                    }
                    cell.shapes.push_back({ir_layer, std::move(*converted)});
                }
            }
        }
    }

    ir::Cell import_cell(const models::top::Cell& from) {
        ir::Cell cell;
        cell.name = from.name;
        cell.source = from.name;
        CellMetadata metadata{cell, {}, result_.warnings, texts_without_metadata_};
        import_elements(from, metadata);
        metadata.finish();
        import_instances(from, cell);
        return cell;
    }

    struct Orientation {
        double rotation = 0;
        bool mirror = false;
    };

    Orientation orientation(const std::string& cell, const shape::Transform& transform) {
        if (const auto* o = std::get_if<shape::Orthogonal>(&transform.orientation)) {
            return {90.0 * (o->code % 4), o->code >= 4};
        }
        const auto& g = std::get<shape::General>(transform.orientation);
        if (!(g.magnification == 1.0)) {
            // The shortest decimal without exponent; unlike value texts it keeps the sign of -0.
            const bool negative_zero = g.magnification == 0.0 && std::signbit(g.magnification);
            warn(cell_named(cell) + ": magnification " +
                 (negative_zero ? "-0" : quorvane_dsl::units::format_number(g.magnification)) +
                 " of an instance is not supported and was dropped");
        }
        return {ir::normalize_angle(g.angle), g.reflection};
    }

    std::string instance_name(std::unordered_map<std::string, std::uint64_t>& counts,
                              const std::string& base) {
        std::uint64_t& count = counts[base];
        return sanitize(base) + "_" + std::to_string(count++);
    }

    // An array whose counts no IR array can hold (a malformed COLROW) would become billions of
    // copies: it is left out with a warning.
    bool valid_counts(const std::string& cell, const std::string& child,
                      const models::top::RegularArray& array) {
        const auto fits = [](std::int64_t n) { return n > 0 && n <= UINT32_MAX; };
        if (fits(array.columns) && fits(array.rows)) {
            return true;
        }
        warn(cell_named(cell) + ": skipped an array of " + ir::shown(child) + " with " +
             std::to_string(array.columns) + " columns and " + std::to_string(array.rows) +
             " rows");
        return false;
    }

    void import_instances(const models::top::Cell& from, ir::Cell& cell) {
        std::unordered_map<std::string, std::uint64_t> counts;
        cell.instances.reserve(from.instances.size());
        for (const models::top::CellInstance& instance : from.instances) {
            if (instance.cell.value >= layout_.cells.size()) {
                quorvane_dsl::base::fatal("instance of a cell outside the layout database");
            }
            if (ir_cells_[instance.cell.value] == no_cell) {
                continue;
            }
            const std::string& child = layout_.cells[instance.cell.value].name;
            std::string name = instance_name(counts, child);
            const Orientation turn = orientation(from.name, instance.transform);
            const models::Point origin = instance.transform.origin;
            ir::Instance placed;
            placed.name = std::move(name);
            placed.cell = ir_cells_[instance.cell.value];
            placed.x = origin.x;
            placed.y = origin.y;
            placed.rotation = turn.rotation;
            placed.mirror = turn.mirror;
            if (!instance.repetition) {
                cell.instances.push_back(std::move(placed));
            } else if (const auto* array =
                           std::get_if<models::top::RegularArray>(&*instance.repetition)) {
                if (valid_counts(from.name, child, *array)) {
                    placed.array = ir::Array{static_cast<std::uint32_t>(array->columns),
                                             static_cast<std::uint32_t>(array->rows),
                                             {array->column_step.x, array->column_step.y},
                                             {array->row_step.x, array->row_step.y}};
                    cell.instances.push_back(std::move(placed));
                }
            } else {
                const auto& offsets = std::get<models::top::ExplicitOffsets>(*instance.repetition);
                for (std::size_t i = 0; i < offsets.offsets.size(); ++i) {
                    ir::Instance copy = placed;
                    copy.name = placed.name + "_" + std::to_string(i);
                    copy.x = origin.x + offsets.offsets[i].x;
                    copy.y = origin.y + offsets.offsets[i].y;
                    cell.instances.push_back(std::move(copy));
                }
            }
        }
    }

    // The context structure places the cells it describes; that makes none of them a child.
    void find_tops() {
        std::vector<bool> placed(layout_.cells.size());
        for (const auto& cell : layout_.cells) {
            if (is_context(cell)) {
                continue;
            }
            for (const auto& instance : cell.instances) {
                placed[instance.cell.value] = true;
            }
        }
        for (std::size_t i = 0; i < placed.size(); ++i) {
            if (!placed[i] && ir_cells_[i] != no_cell) {
                result_.library.tops.push_back(ir_cells_[i]);
            }
        }
    }

    const LayoutDb& layout_;
    ReadResult result_;
    // The IR layer of every database layer; left-out layers have none.
    static constexpr std::uint64_t no_layer = UINT64_MAX;
    std::vector<std::uint64_t> ir_layers_;
    static constexpr std::uint64_t no_cell = UINT64_MAX;
    std::vector<std::uint64_t> ir_cells_;
    std::unordered_map<std::string, std::int32_t> name_counts_;
    std::unordered_set<std::string> taken_names_;
    std::uint64_t texts_without_metadata_ = 0;
};

} // namespace

ReadResult from_layout(const LayoutDb& layout) {
    return Import(layout).run();
}

namespace {

// Takes the database over so that it is freed as soon as the IR stands.
ReadResult import_layout(LayoutDb layout) {
    return from_layout(layout);
}

} // namespace

std::expected<ReadResult, std::string> read_gds(quorvane_dsl::base::FileBytes bytes) {
    auto read = vork::io::gds::reader::read_layout_with_warnings(bytes.bytes());
    if (!read) {
        return std::unexpected(vork::io::gds::debug_text(read.error()));
    }
    bytes.release();
    ReadResult result = import_layout(std::move(read->layout));
    std::vector<std::string> warnings;
    warnings.reserve(read->warnings.size() + result.warnings.size());
    for (const auto& [cell, text] : read->warnings) {
        warnings.push_back(cell_named(cell) + ": " + text);
    }
    std::ranges::move(result.warnings, std::back_inserter(warnings));
    result.warnings = std::move(warnings);
    if (const auto looping = ir::cycle(result.library.cells)) {
        return std::unexpected(cell_named(result.library.cells[*looping].name) +
                               " contains itself");
    }
    return result;
}

std::expected<ReadResult, std::string> read_gds(std::vector<std::uint8_t> bytes) {
    return read_gds(quorvane_dsl::base::FileBytes(std::move(bytes)));
}

} // namespace quorvane_dsl_gds::read
