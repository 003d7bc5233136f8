#include "models/top.hpp"

#include <cmath>
#include <cstdint>
#include <new>

namespace vork::models {

std::size_t LayerInfoHash::operator()(const LayerInfo& info) const noexcept {
    std::size_t h = std::hash<std::int64_t>{}((std::int64_t{info.layer} << 32) ^
                                              static_cast<std::uint32_t>(info.datatype));
    if (info.name) {
        h ^= std::hash<std::string>{}(*info.name) + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2);
    }
    return h;
}

} // namespace vork::models

namespace vork::models::top {

LayerId LayoutDb::layer(LayerInfo info) {
    if (const auto found = layer_index.find(info); found != layer_index.end()) {
        return found->second;
    }
    const LayerId id{layers.size()};
    layers.push_back(info);
    layer_index.emplace(std::move(info), id);
    return id;
}

std::expected<CellId, LayoutError> LayoutDb::add_cell(std::string cell_name) {
    if (cell_index.contains(cell_name)) {
        return std::unexpected(LayoutError{DuplicateCellName{std::move(cell_name)}});
    }
    const CellId id{cells.size()};
    cell_index.emplace(cell_name, id);
    cells.push_back(Cell{.name = std::move(cell_name), .instances = {}, .id = id, .shapes = {}});
    return id;
}

std::optional<CellId> LayoutDb::find_cell(std::string_view cell_name) const {
    if (const auto found = cell_index.find(cell_name); found != cell_index.end()) {
        return found->second;
    }
    return std::nullopt;
}

std::expected<void, LayoutError> LayoutDb::insert_shape_record(CellId cell, LayerId layer,
                                                               ShapeRecord record) {
    if (layer.value >= layers.size()) {
        return std::unexpected(LayoutError{UnknownLayer{layer}});
    }
    if (cell.value >= cells.size()) {
        return std::unexpected(LayoutError{UnknownCell{cell}});
    }
    cells[cell.value].shapes[layer].push_back(std::move(record));
    return {};
}

std::expected<void, LayoutError> LayoutDb::insert_instance(CellId parent, CellInstance instance) {
    if (instance.cell.value >= cells.size()) {
        return std::unexpected(LayoutError{UnknownCell{instance.cell}});
    }
    if (parent.value >= cells.size()) {
        return std::unexpected(LayoutError{UnknownCell{parent}});
    }
    cells[parent.value].instances.push_back(std::move(instance));
    return {};
}

std::expected<void, LayoutError> LayoutDb::set_dbu(double micrometres) {
    if (!(micrometres > 0.0) || !std::isfinite(micrometres)) {
        return std::unexpected(LayoutError{InvalidDbu{micrometres}});
    }
    dbu = micrometres;
    return {};
}

PointRange LayoutDb::store_points(std::span<const Point> run) {
    const PointRange range{points.size(), run.size()};
    points.insert(points.end(), run.begin(), run.end());
    return range;
}

shape::MetaRef LayoutDb::store_meta(GdsElementMeta meta) {
    if (meta.properties.empty() && !meta.plex && !meta.elflags && meta.shape_extras == 0) {
        return {};
    }
    metas.push_back(std::move(meta));
    return {metas.size()};
}

const GdsElementMeta& LayoutDb::meta_of(shape::MetaRef ref) const {
    static const GdsElementMeta none;
    return ref.index == 0 ? none : metas[ref.index - 1];
}

std::uint32_t LayoutDb::store_shape_extras(shape::ShapeExtras extras) {
    // Four billion of them would take hundreds of gigabytes first; past that, the reference
    // could not hold the position.
    if (shape_extras.size() >= UINT32_MAX) {
        throw std::bad_alloc();
    }
    shape_extras.push_back(extras);
    return static_cast<std::uint32_t>(shape_extras.size());
}

const shape::ShapeExtras& LayoutDb::shape_extras_of(const GdsElementMeta& meta) const {
    static const shape::ShapeExtras none;
    return meta.shape_extras == 0 ? none : shape_extras[meta.shape_extras - 1];
}

shape::Text LayoutDb::store_text(shape::TextBody body) {
    texts.push_back(std::move(body));
    return shape::Text{texts.size() - 1};
}

} // namespace vork::models::top
