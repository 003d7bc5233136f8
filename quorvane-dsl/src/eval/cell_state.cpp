#include "eval/cell_state.hpp"

#include "eval/xs_value.hpp"

namespace quorvane_dsl::eval {

CellState::CellState(const hir::Hir& hir, hir::CellId cell) : cell(cell) {
    const hir::CellDef& def = hir.cells[cell];
    params.resize(def.params.size());
    attrs.resize(def.attrs.size());
    markers.resize(def.markers.size());
    marker_xs.resize(def.markers.size());
}

ShapeId CellState::new_shape(std::string name, hir::Src src, std::optional<hir::LayerId> layer) {
    // Made in place: a shape record is large, and a cell may make a million of them.
    RtShape& shape = shapes.emplace_back();
    shape.name = std::move(name);
    shape.src = src;
    shape.layer = layer;
    return ShapeId{static_cast<std::uint32_t>(shapes.size() - 1)};
}

ShapeId CellState::view(ShapeId source, hir::LayerId layer, const hir::Hir& hir, hir::Src src) {
    const std::uint64_t key = (std::uint64_t{source.index} << 32) | layer.raw;
    if (const auto found = views.find(key); found != views.end()) {
        return found->second;
    }
    const ShapeId id =
        new_shape(shapes[source.index].name + "[" + hir.layers[layer].name + "]", src, layer);
    shape(id).view = View{source, layer};
    views.emplace(key, id);
    return id;
}

} // namespace quorvane_dsl::eval
