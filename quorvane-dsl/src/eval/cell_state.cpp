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
        new_shape(display_name(shapes[source.index].name, shapes[source.index].src, hir) + "[" +
                      hir.layers[layer].name + "]",
                  src, layer);
    shape(id).view = View{source, layer};
    views.emplace(key, id);
    return id;
}

namespace {

std::string_view text_at(hir::Src src, const hir::Hir& hir) {
    return std::string_view(hir.files[src.file].text).substr(src.range.start, src.range.len());
}

} // namespace

std::string display_name(const std::string& name, hir::Src src, const hir::Hir& hir) {
    if (!name.empty()) {
        return name;
    }
    const std::string_view text = text_at(src, hir);
    std::string shown;
    shown.reserve(text.size() + 2);
    shown += '(';
    shown += text;
    shown += ')';
    return shown;
}

bool displays_as(const std::string& name, hir::Src src, const hir::Hir& hir,
                 std::string_view shown) {
    if (!name.empty()) {
        return name == shown;
    }
    return shown.size() >= 2 && shown.front() == '(' && shown.back() == ')' &&
           shown.substr(1, shown.size() - 2) == text_at(src, hir);
}

} // namespace quorvane_dsl::eval
