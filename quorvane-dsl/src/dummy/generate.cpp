#include <algorithm>
#include <string>

#include "base/round.hpp"
#include "boolean/boolean.hpp"
#include "boolean/offset.hpp"
#include "dummy/dummy.hpp"
#include "dummy/flatten.hpp"
#include "dummy/grid.hpp"
#include "ir/text.hpp"
#include "ir/walk.hpp"
#include "signature/signature.hpp"

namespace quorvane_dsl::dummy {

namespace {

// A rule with its layers resolved and its lengths in database units.
struct Resolved {
    Targets targets;
    std::string fill_name;
    Pitch pitch;
    std::int64_t margin = 0;
    std::uint64_t tile_cell = 0;
};

std::expected<std::int64_t, std::string> units_of(std::string_view key, double nanometres,
                                                  double dbu) {
    const std::int64_t units = base::round_to_i64(nanometres / dbu);
    // Tile arithmetic stays exact only within the engine's coordinate range.
    if (units > boolean::coordinate_limit) {
        return std::unexpected("the dummy `" + std::string(key) + "` is " + std::to_string(units) +
                               " database units, beyond the coordinate limit of 2^40 (" +
                               std::to_string(boolean::coordinate_limit) + ")");
    }
    return units;
}

std::expected<Resolved, std::string> resolve(ir::Library& library, const Rule& rule) {
    Resolved out;
    auto fill = find_layer(library.layers, rule.layer);
    if (!fill) {
        return std::unexpected(std::move(fill.error()));
    }
    out.targets.fill = *fill;
    for (const LayerRef& ref : rule.exclude) {
        auto layer = find_layer(library.layers, ref);
        if (!layer) {
            return std::unexpected(std::move(layer.error()));
        }
        out.targets.exclude.push_back(*layer);
    }
    if (rule.area) {
        auto layer = find_layer(library.layers, *rule.area);
        if (!layer) {
            return std::unexpected(std::move(layer.error()));
        }
        out.targets.area = *layer;
    }
    const double dbu = library.dbu;
    auto size = units_of("size", rule.size, dbu);
    auto space = units_of("space", rule.space, dbu);
    auto keepout = units_of("keepout", rule.keepout, dbu);
    auto margin = units_of("margin", rule.margin, dbu);
    for (const auto* checked : {&size, &space, &keepout, &margin}) {
        if (!*checked) {
            return std::unexpected(checked->error());
        }
    }
    // Size and space within the limit keep the pitch below 2^41, still exact everywhere.
    const std::int64_t pitch = base::round_to_i64((rule.size + rule.space) / dbu);
    out.pitch = {.size = std::max<std::int64_t>(1, *size),
                 .pitch = std::max<std::int64_t>(1, pitch),
                 .keepout = *keepout,
                 .stagger = rule.stagger};
    out.margin = *margin;
    const ir::Layer fill_layer = library.layers[*fill];
    out.fill_name = fill_layer.name;
    std::uint64_t tile_layer = *fill;
    if (rule.datatype && *rule.datatype != fill_layer.datatype) {
        tile_layer =
            gds_layer(library.layers, fill_layer.layer, *rule.datatype, fill_layer.name + "_dummy");
    }
    const std::int64_t s = out.pitch.size;
    out.tile_cell = add_cell(library, "DUMMY_" + out.fill_name,
                             {ir::Shape{tile_layer, ir::Geometry{ir::Box{0, 0, s, s}}}});
    return out;
}

std::string out_of_range(const ir::Cell& top, const boolean::RangeError& error) {
    return "dummy fill of cell " + ir::shown(top.name) + ": " + error.message;
}

// The fill region of a top cell and its area; none when there is nothing to fill.
struct Filled {
    Region region;
    boolean::Box frame;
    double area = 0;
};

std::expected<std::optional<Filled>, std::string> fill_region(const ir::Library& library,
                                                              std::uint64_t top,
                                                              const Resolved& rule,
                                                              const Flattened& flat) {
    if (!rule.targets.area) {
        const auto footprint = signature::footprint(library, top);
        if (!footprint) {
            return std::nullopt;
        }
        // Checked before the margin moves it, so that the shrinking cannot overflow.
        const boolean::Ring corners{{footprint->left, footprint->bottom},
                                    {footprint->right, footprint->top}};
        if (auto error = boolean::check_range(std::span<const boolean::Point>(corners))) {
            return std::unexpected(out_of_range(library.cells[top], *error));
        }
        const std::int64_t m = rule.margin;
        const boolean::Box box{footprint->left + m, footprint->bottom + m, footprint->right - m,
                               footprint->top - m};
        if (box.x0 >= box.x1 || box.y0 >= box.y1) {
            return std::nullopt;
        }
        return Filled{box, box, double(box.x1 - box.x0) * double(box.y1 - box.y0)};
    }
    if (flat.area.empty()) {
        return std::nullopt;
    }
    auto rings = rule.margin > 0 ? boolean::erode(flat.area, boolean::Join::Miter, std::nullopt,
                                                  static_cast<double>(rule.margin))
                                 : boolean::boolean(flat.area, {}, boolean::Op::Union);
    if (!rings) {
        return std::unexpected(out_of_range(library.cells[top], rings.error()));
    }
    if (rings->empty()) {
        return std::nullopt;
    }
    boolean::Box frame = boolean::empty_box;
    __int128 twice = 0;
    for (const boolean::Ring& ring : *rings) {
        frame = boolean::box_union(frame, boolean::bounds(ring));
        twice += boolean::twice_area(ring);
    }
    return Filled{std::move(*rings), frame, static_cast<double>(twice) / 2};
}

std::optional<std::string> blockers_out_of_range(const ir::Cell& top, const Flattened& flat) {
    for (const Blocker& blocker : flat.blocking) {
        std::optional<boolean::RangeError> error;
        if (const auto* box = std::get_if<boolean::Box>(&blocker)) {
            const boolean::Ring corners{{box->x0, box->y0}, {box->x1, box->y1}};
            error = boolean::check_range(std::span<const boolean::Point>(corners));
        } else {
            error = boolean::check_range(
                std::span<const boolean::Point>(std::get<boolean::Ring>(blocker)));
        }
        if (error) {
            return out_of_range(top, *error);
        }
    }
    return std::nullopt;
}

// Marks the positions the shapes block, every shape shifted by `by`; arrays are stepped over
// the grid one element at a time.
void block_all(Grid& grid, const Flattened& flat, boolean::Point by, boolean::Ring& scratch) {
    for (const Blocker& blocker : flat.blocking) {
        if (const auto* box = std::get_if<boolean::Box>(&blocker)) {
            block_box(grid, {box->x0 + by.x, box->y0 + by.y, box->x1 + by.x, box->y1 + by.y});
            continue;
        }
        const boolean::Ring& ring = std::get<boolean::Ring>(blocker);
        if (by.x == 0 && by.y == 0) {
            block_polygon(grid, ring);
            continue;
        }
        scratch.resize(ring.size());
        std::transform(ring.begin(), ring.end(), scratch.begin(), [&](boolean::Point p) {
            return boolean::Point{p.x + by.x, p.y + by.y};
        });
        block_polygon(grid, scratch);
    }
    for (const Stepped& s : flat.stepped) {
        for (std::uint64_t u = 0; u < s.columns; ++u) {
            for (std::uint64_t v = 0; v < s.rows; ++v) {
                const auto iu = static_cast<std::int64_t>(u);
                const auto iv = static_cast<std::int64_t>(v);
                block_all(
                    grid, s.element,
                    {by.x + iu * s.column.x + iv * s.row.x, by.y + iu * s.column.y + iv * s.row.y},
                    scratch);
            }
        }
    }
}

std::string free_instance_name(const ir::Cell& cell, const std::string& name) {
    const auto taken = [&](const std::string& candidate) {
        return std::any_of(cell.instances.begin(), cell.instances.end(),
                           [&](const ir::Instance& i) { return i.name == candidate; });
    };
    std::string candidate = name;
    for (std::uint64_t n = 1; taken(candidate); ++n) {
        candidate = name + "_" + std::to_string(n);
    }
    return candidate;
}

// One arrayed tile instance per block, in a new cell placed once at the top cell's origin.
void place_blocks(ir::Library& library, std::uint64_t top, const Resolved& rule,
                  const std::vector<Block>& blocks) {
    const Pitch& p = rule.pitch;
    const std::uint64_t holder =
        add_cell(library, library.cells[top].name + "$DUMMY_" + rule.fill_name, {});
    std::vector<ir::Instance>& tiles = library.cells[holder].instances;
    tiles.reserve(blocks.size());
    for (std::size_t k = 0; k < blocks.size(); ++k) {
        const Block& b = blocks[k];
        ir::Instance instance{.name = "tile_" + std::to_string(k),
                              .cell = rule.tile_cell,
                              .x = b.start * p.pitch + p.offset(b.first_row),
                              .y = b.first_row * p.pitch};
        if (b.length >= 2 || b.rows >= 2) {
            // The leftmost grid column never holds a tile, so a run stays below 2^32 columns.
            instance.array = ir::Array{static_cast<std::uint32_t>(b.length),
                                       static_cast<std::uint32_t>(b.rows),
                                       {p.pitch, 0},
                                       {0, p.pitch * p.row_step()}};
        }
        tiles.push_back(std::move(instance));
    }
    ir::Cell& cell = library.cells[top];
    cell.instances.push_back(
        ir::Instance{.name = free_instance_name(cell, "dummy_" + rule.fill_name), .cell = holder});
}

std::expected<Report, std::string> fill_top(ir::Library& library, std::uint64_t top,
                                            const Resolved& rule) {
    Report report{.cell = library.cells[top].name, .layer = rule.fill_name};
    auto flat = flatten(library, top, rule.targets);
    if (!flat) {
        return std::unexpected(std::move(flat.error()));
    }
    auto filled = fill_region(library, top, rule, *flat);
    if (!filled) {
        return std::unexpected(std::move(filled.error()));
    }
    if (!*filled) {
        return report;
    }
    auto grid = make_grid(rule.pitch, (*filled)->frame);
    if (!grid) {
        return std::unexpected(std::move(grid.error()));
    }
    const double area = (*filled)->area;
    if (*grid) {
        if (auto error = blockers_out_of_range(library.cells[top], *flat)) {
            return std::unexpected(std::move(*error));
        }
        Grid& g = **grid;
        boolean::Ring scratch;
        block_all(g, *flat, {0, 0}, scratch);
        if (const auto* rings = std::get_if<boolean::Polygons>(&(*filled)->region)) {
            mark_region(g, *rings);
        }
        const Blocks blocks = free_blocks(g, (*filled)->region);
        report.tiles = blocks.tiles;
        report.instances = blocks.blocks.size();
        if (!blocks.blocks.empty()) {
            place_blocks(library, top, rule, blocks.blocks);
        }
    }
    const double tile_area = double(rule.pitch.size) * double(rule.pitch.size);
    report.fill = area > 0 ? tile_area * double(report.tiles) / area : 0;
    return report;
}

bool is_placed(const ir::Library& library, std::uint64_t cell) {
    return std::any_of(library.cells.begin(), library.cells.end(), [&](const ir::Cell& c) {
        return std::any_of(c.instances.begin(), c.instances.end(),
                           [&](const ir::Instance& i) { return i.cell == cell; });
    });
}

} // namespace

std::expected<std::uint64_t, std::string> find_layer(std::vector<ir::Layer>& layers,
                                                     const LayerRef& ref) {
    if (const auto* pair = std::get_if<GdsPair>(&ref)) {
        return gds_layer(layers, pair->layer, pair->datatype,
                         "L" + std::to_string(pair->layer) + "_" + std::to_string(pair->datatype));
    }
    const std::string& name = std::get<std::string>(ref);
    std::string names;
    for (std::size_t i = 0; i < layers.size(); ++i) {
        if (layers[i].name == name) {
            return i;
        }
        names += (i == 0 ? "" : ", ") + layers[i].name;
    }
    return std::unexpected("no layer `" + name + "`; the layers are " + names +
                           " (or give `<layer>/<datatype>`)");
}

std::uint64_t gds_layer(std::vector<ir::Layer>& layers, std::int32_t layer, std::int32_t datatype,
                        const std::string& name) {
    for (std::size_t i = 0; i < layers.size(); ++i) {
        if (layers[i].layer == layer && layers[i].datatype == datatype) {
            return i;
        }
    }
    const auto taken = [&](const std::string& candidate) {
        return std::any_of(layers.begin(), layers.end(),
                           [&](const ir::Layer& l) { return l.name == candidate; });
    };
    std::string candidate = name;
    for (std::uint64_t n = 1; taken(candidate); ++n) {
        candidate = name + "_" + std::to_string(n);
    }
    layers.push_back({candidate, layer, datatype});
    return layers.size() - 1;
}

std::uint64_t add_cell(ir::Library& library, const std::string& name,
                       std::vector<ir::Shape> shapes) {
    const auto taken = [&](const std::string& candidate) {
        return std::any_of(library.cells.begin(), library.cells.end(),
                           [&](const ir::Cell& c) { return c.name == candidate; });
    };
    std::string candidate = name;
    for (std::uint64_t n = 1; taken(candidate); ++n) {
        candidate = name + "$" + std::to_string(n);
    }
    library.cells.push_back(
        ir::Cell{.name = candidate, .source = candidate, .shapes = std::move(shapes)});
    return library.cells.size() - 1;
}

std::expected<std::vector<Report>, std::string> generate(ir::Library& library,
                                                         const std::vector<Rule>& rules) {
    // Flattening follows every placement; a cell that contains itself would never end it.
    if (const auto looped = ir::cycle(library.cells)) {
        return std::unexpected("cell " + ir::shown(library.cells[*looped].name) +
                               " contains itself");
    }
    const std::vector<std::uint64_t> tops = library.tops;
    std::vector<Report> reports;
    for (const Rule& rule : rules) {
        auto resolved = resolve(library, rule);
        if (!resolved) {
            return std::unexpected(std::move(resolved.error()));
        }
        for (std::uint64_t top : tops) {
            auto report = fill_top(library, top, *resolved);
            if (!report) {
                return std::unexpected(std::move(report.error()));
            }
            reports.push_back(std::move(*report));
        }
        if (resolved->tile_cell + 1 == library.cells.size() &&
            !is_placed(library, resolved->tile_cell)) {
            library.cells.pop_back();
        }
    }
    return reports;
}

} // namespace quorvane_dsl::dummy
