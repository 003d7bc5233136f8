// The layout database: libraries of cells, their shape records and instances.
#pragma once

#include <array>
#include <cstdint>
#include <expected>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <variant>
#include <vector>

#include "models/id.hpp"
#include "models/layer.hpp"
#include "models/layout_error.hpp"
#include "models/shape.hpp"

namespace vork::models::top {

using shape::GdsElementMeta;
using shape::PointRange;
using shape::ShapeRecord;
using shape::Transform;

struct RegularArray {
    std::int64_t columns = 0;
    std::int64_t rows = 0;
    Point column_step;
    Point row_step;
};

struct ExplicitOffsets {
    std::vector<Point> offsets; // one per copy
};

using Repetition = std::variant<RegularArray, ExplicitOffsets>;

// An SREF, or an AREF when it has a repetition.
struct CellInstance {
    std::optional<std::array<Point, 3>> aref_points{}; // origin, column and row corner as read
    std::optional<Repetition> repetition{};
    GdsElementMeta meta{};
    Transform transform{};
    CellId cell{};
};

struct Cell {
    std::string name;
    std::vector<CellInstance> instances;
    CellId id;
    // Walked in ascending layer order; within a layer in insertion order.
    std::map<LayerId, std::vector<ShapeRecord>> shapes;
};

struct StringHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const noexcept {
        return std::hash<std::string_view>{}(text);
    }
};

// One GDSII library in memory. Layers and cells are only ever appended, so an id once issued
// stays valid; bulk data (points, texts) lives in flat pools that the records index.
struct LayoutDb {
    LayoutMeta meta;
    std::vector<LayerInfo> layers;
    std::vector<Cell> cells;
    std::optional<std::string> name;
    std::unordered_map<LayerInfo, LayerId, LayerInfoHash> layer_index;
    std::unordered_map<std::string, CellId, StringHash, std::equal_to<>> cell_index;
    double dbu = 0.001; // micrometres per database unit
    std::vector<Point> points;
    std::vector<PointRange> holes; // the rings of polygon holes, in runs
    std::vector<shape::TextBody> texts;
    std::vector<GdsElementMeta> metas;
    std::vector<shape::ShapeExtras> shape_extras;

    // Finds or creates the layer of this exact key (name included).
    LayerId layer(LayerInfo info);
    std::expected<CellId, LayoutError> add_cell(std::string cell_name);
    std::optional<CellId> find_cell(std::string_view cell_name) const;
    std::expected<void, LayoutError> insert_shape_record(CellId cell, LayerId layer,
                                                         ShapeRecord record);
    std::expected<void, LayoutError> insert_instance(CellId parent, CellInstance instance);
    // Refuses a unit that is not a finite number above zero.
    std::expected<void, LayoutError> set_dbu(double micrometres);

    PointRange store_points(std::span<const Point> run);
    std::span<const Point> points_of(PointRange range) const {
        return std::span<const Point>(points).subspan(range.first, range.count);
    }
    shape::Text store_text(shape::TextBody body);
    // An empty meta takes no room: it is the reference 0.
    shape::MetaRef store_meta(GdsElementMeta meta);
    const GdsElementMeta& meta_of(shape::MetaRef ref) const;
    // The value for `GdsElementMeta::shape_extras`.
    std::uint32_t store_shape_extras(shape::ShapeExtras extras);
    const shape::ShapeExtras& shape_extras_of(const GdsElementMeta& meta) const;
    const shape::TextBody& text_of(shape::Text text) const { return texts[text.body]; }
};

} // namespace vork::models::top
