// A library that IR text reads is either refused by the GDSII writer or, written without a
// warning and read back, the same library up to what GDSII does not keep: the order of layers,
// layers without shapes, layer names that are not identifiers, the tops, the connections,
// markers without locations, instance names, and shapes regrouped by layer; polygons come back
// without a repeated closing point, rectangles as boxes and boxes with their corners in order.
// An array written in pieces comes back as several instances with the same placements.

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "base/utf8.hpp"
#include "fuzz.hpp"
#include "ir/ir.hpp"
#include "ir/transform.hpp"
#include "lib.hpp"
#include "read.hpp"
#include "read_metadata.hpp"

namespace ir = quorvane_dsl::ir;

namespace {

using Numbers = std::pair<std::int32_t, std::int32_t>;

Numbers numbers_of(const ir::Layer& layer) {
    return {layer.layer, layer.datatype};
}

// GDSII keeps a rectangle by its corners, whatever their order. The writer closes an open ring,
// the import drops one closing point and takes four corners of a rectangle for a box.
ir::Geometry as_read_back(ir::Geometry geometry) {
    if (auto* box = std::get_if<ir::Box>(&geometry.kind)) {
        return {ir::Box{std::min(box->left, box->right), std::min(box->bottom, box->top),
                        std::max(box->left, box->right), std::max(box->bottom, box->top)}};
    }
    auto* polygon = std::get_if<ir::Polygon>(&geometry.kind);
    if (!polygon) {
        return geometry;
    }
    std::vector<ir::Point> points = std::move(polygon->points);
    if (points.size() >= 2 && points.back() == points.front()) {
        points.pop_back();
    }
    return quorvane_dsl_gds::read::polygon_or_box(std::move(points));
}

// GDSII knows a layer only by its numbers; the import names it by the first identifier the
// metadata gives those numbers, else L<layer>_<datatype>.
std::map<Numbers, std::string> layer_names(const ir::Library& library) {
    std::map<Numbers, std::string> names;
    for (const ir::Layer& layer : library.layers) {
        if (quorvane_dsl_gds::read::is_identifier(layer.name)) {
            names.emplace(numbers_of(layer), layer.name);
        }
    }
    return names;
}

std::set<Numbers> used_layers(const ir::Library& library) {
    std::set<Numbers> used;
    for (const ir::Cell& cell : library.cells) {
        for (const ir::Shape& shape : cell.shapes) {
            used.insert(numbers_of(library.layers[shape.layer]));
        }
    }
    return used;
}

// The layers that come back: those holding shapes, and the one carrying the metadata texts
// unless it is the import's own 255/0.
std::vector<ir::Layer> layers_back(const ir::Library& library) {
    std::set<Numbers> kept = used_layers(library);
    if (!library.cells.empty()) {
        Numbers metadata{255, 0};
        const auto marker = std::ranges::find(library.layers, "marker", &ir::Layer::name);
        if (marker != library.layers.end()) {
            metadata = numbers_of(*marker);
        }
        if (metadata != Numbers{255, 0}) {
            kept.insert(metadata);
        }
    }
    const auto names = layer_names(library);
    std::vector<ir::Layer> layers;
    for (const auto& [layer, datatype] : kept) {
        const auto named = names.find({layer, datatype});
        layers.push_back({named != names.end()
                              ? named->second
                              : "L" + std::to_string(layer) + "_" + std::to_string(datatype),
                          layer, datatype});
    }
    return layers;
}

// GDSII metadata holds each value as its literal; the import leaves out, with a warning, one
// whose literal does not read back (a dimension comment inside a list hides its closing bracket).
void read_metadata_back(std::vector<ir::NamedValue>& values) {
    std::erase_if(values, [](ir::NamedValue& named) {
        auto again = ir::Value::parse_literal(named.second.to_literal());
        if (!again) {
            return true;
        }
        named.second = std::move(*again);
        return false;
    });
}

void expect_cell_back(ir::Cell& cell) {
    std::vector<ir::Shape> shapes;
    for (const ir::Shape& shape : cell.shapes) {
        for (ir::Geometry& piece : shape.geometry.gds_pieces()) {
            shapes.push_back({shape.layer, as_read_back(std::move(piece))});
        }
    }
    cell.shapes = std::move(shapes);
    for (ir::Instance& instance : cell.instances) {
        instance.rotation = ir::normalize_angle(instance.rotation);
    }
    std::erase_if(cell.markers, [](const ir::Marker& marker) { return marker.locations.empty(); });
    cell.connections.clear();
    read_metadata_back(cell.params);
    read_metadata_back(cell.attrs);
    for (ir::Marker& marker : cell.markers) {
        read_metadata_back(marker.attrs);
    }
}

// The library as the import should give it back.
ir::Library expected_back(ir::Library library) {
    std::vector<bool> placed(library.cells.size(), false);
    for (ir::Cell& cell : library.cells) {
        expect_cell_back(cell);
        for (const ir::Instance& instance : cell.instances) {
            placed[instance.cell] = true;
        }
    }
    library.tops.clear();
    for (std::size_t i = 0; i < library.cells.size(); ++i) {
        if (!placed[i]) {
            library.tops.push_back(i);
        }
    }
    std::map<Numbers, std::uint64_t> index;
    const std::vector<ir::Layer> layers = layers_back(library);
    for (std::size_t i = 0; i < layers.size(); ++i) {
        index.emplace(numbers_of(layers[i]), i);
    }
    for (ir::Cell& cell : library.cells) {
        for (ir::Shape& shape : cell.shapes) {
            shape.layer = index.at(numbers_of(library.layers[shape.layer]));
        }
    }
    library.layers = layers;
    return library;
}

// One form for both libraries: layers sorted, the shapes of a cell grouped by layer in their
// order, instances unnamed. Where the expected layer names repeat, the import suffixes them in
// its own order, and names are not compared.
ir::Library comparable(ir::Library library, bool names) {
    std::vector<std::uint64_t> order(library.layers.size());
    for (std::size_t i = 0; i < order.size(); ++i) {
        order[i] = i;
    }
    std::ranges::sort(order, {}, [&](std::uint64_t i) { return numbers_of(library.layers[i]); });
    std::vector<std::uint64_t> rank(order.size());
    std::vector<ir::Layer> layers;
    for (std::size_t i = 0; i < order.size(); ++i) {
        rank[order[i]] = i;
        layers.push_back(library.layers[order[i]]);
        if (!names) {
            layers.back().name.clear();
        }
    }
    library.layers = std::move(layers);
    for (ir::Cell& cell : library.cells) {
        for (ir::Shape& shape : cell.shapes) {
            shape.layer = rank[shape.layer];
        }
        std::ranges::stable_sort(cell.shapes, {}, &ir::Shape::layer);
        for (ir::Instance& instance : cell.instances) {
            instance.name.clear();
        }
    }
    return library;
}

bool distinct_names(const std::vector<ir::Layer>& layers) {
    std::set<std::string> names;
    for (const ir::Layer& layer : layers) {
        names.insert(layer.name);
    }
    return names.size() == layers.size();
}

// Where an instance places its cell: what it places, and the origin of every element.
using Placement = std::tuple<std::uint64_t, double, bool, std::int64_t, std::int64_t>;

// Beyond this many placements a split array is compared by their number alone.
constexpr std::uint64_t max_listed_placements = std::uint64_t{1} << 20;

std::uint64_t placement_count(const ir::Instance& instance) {
    return instance.array ? std::uint64_t{instance.array->columns} * instance.array->rows : 1;
}

void add_placements(const ir::Instance& instance, std::vector<Placement>& out) {
    const ir::Array a = instance.array.value_or(ir::Array{1, 1, {}, {}});
    for (std::int64_t c = 0; c < a.columns; ++c) {
        for (std::int64_t r = 0; r < a.rows; ++r) {
            // Every placement fits 32 bits once written; a single step times a count may not.
            const auto at = [&](std::int64_t origin, std::int64_t across, std::int64_t down) {
                return static_cast<std::int64_t>(__int128(origin) + __int128(across) * c +
                                                 __int128(down) * r);
            };
            out.emplace_back(instance.cell, instance.rotation, instance.mirror,
                             at(instance.x, a.column_step.x, a.row_step.x),
                             at(instance.y, a.column_step.y, a.row_step.y));
        }
    }
}

// An array GDSII cannot hold whole (counts beyond 16 bits, a corner point beyond 32) comes back
// as consecutive pieces that together have its placements; every other instance as it was.
bool same_instances(const std::vector<ir::Instance>& expected,
                    const std::vector<ir::Instance>& back) {
    std::size_t next = 0;
    for (const ir::Instance& instance : expected) {
        if (next < back.size() && back[next] == instance) {
            ++next;
            continue;
        }
        const std::size_t first = next;
        std::uint64_t placed = 0;
        while (placed < placement_count(instance) && next < back.size()) {
            placed += placement_count(back[next++]);
        }
        if (placed != placement_count(instance)) {
            return false;
        }
        if (placed > max_listed_placements) {
            continue;
        }
        std::vector<Placement> wanted;
        std::vector<Placement> pieces;
        add_placements(instance, wanted);
        for (std::size_t k = first; k < next; ++k) {
            add_placements(back[k], pieces);
        }
        std::ranges::sort(wanted);
        std::ranges::sort(pieces);
        if (wanted != pieces) {
            return false;
        }
    }
    return next == back.size();
}

std::vector<std::vector<ir::Instance>> take_instances(ir::Library& library) {
    std::vector<std::vector<ir::Instance>> instances;
    for (ir::Cell& cell : library.cells) {
        instances.push_back(std::exchange(cell.instances, {}));
    }
    return instances;
}

void show(const char* what, const ir::Library& library) {
    const auto printed = ir::print(library);
    std::fprintf(stderr, "%s:\n%s\n", what, printed ? printed->c_str() : printed.error().c_str());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // IR files are read as UTF-8 text before they are parsed.
    const std::string_view text = quorvane_fuzz::text_of(data, size);
    if (!quorvane_dsl::base::utf8::is_valid(text)) {
        return 0;
    }
    auto parsed = ir::parse(text);
    if (!parsed) {
        return 0;
    }
    const auto written = quorvane_dsl_gds::write_gds(*parsed);
    if (!written || !written->warnings.empty()) {
        return 0;
    }
    auto read = quorvane_dsl_gds::read::read_gds(written->bytes);
    QV_FUZZ_CHECK(read);
    ir::Library back = std::move(read->library);
    // The database unit passes through metres, which may change its last bits.
    QV_FUZZ_CHECK(std::abs(back.dbu - parsed->dbu) <= 1e-12 * std::abs(parsed->dbu));
    back.dbu = parsed->dbu;
    const ir::Library expected = expected_back(std::move(*parsed));
    const bool names = distinct_names(expected.layers);
    ir::Library wanted = comparable(expected, names);
    ir::Library got = comparable(back, names);
    const auto wanted_instances = take_instances(wanted);
    const auto got_instances = take_instances(got);
    const bool same =
        wanted == got && std::ranges::equal(wanted_instances, got_instances, same_instances);
    if (!same) {
        show("expected", expected);
        show("read back", back);
    }
    QV_FUZZ_CHECK(same);
    return 0;
}
