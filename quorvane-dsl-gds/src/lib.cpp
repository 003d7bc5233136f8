#include "lib.hpp"

#include <algorithm>
#include <span>
#include <unordered_map>

#include "base/fatal.hpp"
#include "base/utf8.hpp"
#include "io/gds/writer.hpp"
#include "ir/text.hpp"
#include "units/units.hpp"

namespace quorvane_dsl_gds {

namespace ir = quorvane_dsl::ir;
namespace models = vork::models;
namespace shape = vork::models::shape;
using models::CellId;
using models::LayerId;
using models::top::LayoutDb;

namespace {

// Numbered entries of one metadata text, from 10 on; over-long texts are left out, and so is
// whatever comes after the last number a reader takes as an entry (32767), rather than wrapping
// into the numbers of the key and the name.
// A NUL would end the PROPVALUE where a reader takes it, so such a text is left out too.
enum class Added { Written, HoldsNul, TooLong, TooMany };

struct Entries {
    std::vector<shape::GdsProperty>& properties;
    std::uint16_t next = first_entry_attribute;

    Added add(std::string text) {
        if (text.find('\0') != std::string::npos) {
            return Added::HoldsNul;
        }
        if (text.size() > max_entry_bytes) {
            return Added::TooLong;
        }
        if (next > last_entry_attribute) {
            return Added::TooMany;
        }
        properties.push_back({std::move(text), next++});
        return Added::Written;
    }
};

std::string text_start(std::string_view text) {
    return ir::shown(std::string(quorvane_dsl::base::utf8::char_prefix(text, 40)) + "…");
}

std::string too_many_text(std::string_view text) {
    return ": " + text_start(text) + " is past the " +
           std::to_string(last_entry_attribute - first_entry_attribute + 1) +
           " metadata entries GDS can number and is not written to GDS";
}

std::string holds_nul_suffix() {
    return " holds a NUL byte and is not written to GDS";
}

// The reader ends an entry's key at its first `=`, so a name holding one would come back cut,
// with the rest of itself taken for the value.
bool holds_equals(std::string_view name) {
    return name.find('=') != std::string_view::npos;
}

std::string holds_equals_suffix() {
    return " holds a `=` and is not written to GDS";
}

// A NUL ends every GDSII string, so a name holding one would come back cut; any other byte
// comes back as it was written.
bool carried(std::string_view name) {
    return name.find('\0') == std::string_view::npos;
}

std::string cannot_write(const ir::Cell& cell) {
    return "cannot write cell " + ir::shown(cell.name) + " as GDS: ";
}

std::string too_long_suffix() {
    return " is longer than " + std::to_string(max_entry_bytes) +
           " bytes and is not written to GDS";
}

class Export {
  public:
    explicit Export(const ir::Library& library) : library_(library) {}

    std::expected<Output, std::string> run() {
        if (auto prepared = prepare(); !prepared) {
            return std::unexpected(prepared.error());
        }
        out_.layout.points.reserve(point_count(library_.cells));
        for (std::size_t i = 0; i < library_.cells.size(); ++i) {
            if (auto filled = fill_cell(i); !filled) {
                return std::unexpected(filled.error());
            }
        }
        return std::move(out_);
    }

    // The database with every layer and every cell, all cells empty; nothing is refused later
    // but values the stream cannot hold.
    std::expected<void, std::string> prepare() {
        if (auto dbu = out_.layout.set_dbu(library_.dbu / 1000.0); !dbu) {
            return std::unexpected(models::debug_text(dbu.error()));
        }
        out_.layout.name = "QUORVANE";
        enter_layers();
        if (auto cells = enter_cells(); !cells) {
            return std::unexpected(cells.error());
        }
        return unwritable_names();
    }

    std::expected<void, std::string> fill_cell(std::size_t index) {
        const ir::Cell& cell = library_.cells[index];
        const CellId id = cell_ids_[index];
        add_shapes(cell, id);
        if (auto r = add_instances(cell, id); !r) {
            return r;
        }
        return add_metadata(cell, id);
    }

    // Room for one cell's points, where the pools hold one cell at a time.
    void reserve_points(std::size_t index) {
        out_.layout.points.reserve(point_count(std::span(&library_.cells[index], 1)));
    }

    // Empties the cell and the pools, keeping their room for the next cell.
    void empty_cell(std::size_t index) {
        LayoutDb& db = out_.layout;
        models::top::Cell& cell = db.cells[cell_ids_[index].value];
        cell.shapes.clear();
        cell.instances = {};
        db.points.clear();
        db.texts.clear();
        db.metas.clear();
    }

    const LayoutDb& layout() const { return out_.layout; }
    std::vector<std::string>& warnings() { return out_.warnings; }

  private:
    // A name that would come back as another, or a number that would come back from the
    // metadata as a name.
    std::expected<void, std::string> unwritable_names() const {
        for (const ir::Layer& layer : library_.layers) {
            if (!carried(layer.name)) {
                return std::unexpected("cannot write layer " + ir::shown(layer.name) +
                                       " as GDS: its name would not read back");
            }
        }
        for (const ir::Cell& cell : library_.cells) {
            if (auto name = ir::uncarried_name(cell, carried)) {
                return std::unexpected(cannot_write(cell) + *name + " would not read back");
            }
            if (auto message = ir::unwritable_value(cell)) {
                return std::unexpected(cannot_write(cell) + *message);
            }
        }
        return {};
    }

    void enter_layers() {
        LayoutDb& db = out_.layout;
        layer_ids_.reserve(library_.layers.size());
        std::optional<LayerId> marker;
        for (const ir::Layer& layer : library_.layers) {
            layer_ids_.push_back(db.layer({layer.name, layer.layer, layer.datatype}));
            if (!marker && layer.name == "marker") {
                marker = layer_ids_.back();
            }
        }
        metadata_layer_ = marker ? *marker : db.layer({"marker", 255, 0});
    }

    std::expected<void, std::string> enter_cells() {
        cell_ids_.reserve(library_.cells.size());
        out_.layout.cells.reserve(library_.cells.size());
        for (const ir::Cell& cell : library_.cells) {
            auto id = out_.layout.add_cell(cell.name);
            if (!id) {
                return std::unexpected(models::debug_text(id.error()));
            }
            cell_ids_.push_back(*id);
        }
        return {};
    }

    static std::size_t point_count(std::span<const ir::Cell> cells) {
        std::size_t count = 0;
        for (const ir::Cell& cell : cells) {
            for (const ir::Shape& s : cell.shapes) {
                if (const auto* polygon = std::get_if<ir::Polygon>(&s.geometry.kind)) {
                    count += polygon->points.size();
                } else if (const auto* path = std::get_if<ir::Path>(&s.geometry.kind)) {
                    count += path->points.size();
                }
            }
        }
        return count;
    }

    LayerId layer_of(const ir::Shape& s) const {
        if (s.layer >= layer_ids_.size()) {
            quorvane_dsl::base::fatal("shape layer index out of range");
        }
        return layer_ids_[s.layer];
    }

    // Every point written passes here: sized once and copied in one pass, not pushed one by one.
    shape::PointRange store(const std::vector<ir::Point>& points) {
        auto& pool = out_.layout.points;
        const shape::PointRange range{pool.size(), points.size()};
        pool.resize(pool.size() + points.size());
        std::ranges::transform(points, pool.begin() + static_cast<std::ptrdiff_t>(range.first),
                               [](const ir::Point& p) {
                                   return models::Point{p.x, p.y};
                               });
        return range;
    }

    // One GDSII element for a geometry that needs no cutting.
    shape::Shape element(const ir::Geometry& geometry) {
        if (const auto* box = std::get_if<ir::Box>(&geometry.kind)) {
            return shape::Box{box->left, box->bottom, box->right, box->top};
        }
        if (const auto* polygon = std::get_if<ir::Polygon>(&geometry.kind)) {
            return shape::Polygon{store(polygon->points), {}};
        }
        const auto& path = std::get<ir::Path>(geometry.kind);
        return shape::Path{.points = store(path.points),
                           .width = path.width,
                           .width_present = true,
                           .path_type = 0};
    }

    // The cell's group of every layer it draws on: found once, since a million shapes of one
    // cell should not each search the cell's layers. The ids are valid by construction, and
    // the groups (nodes of a map) never move.
    void reserve_groups(const ir::Cell& cell, CellId id) {
        std::vector<std::size_t> per_layer(out_.layout.layers.size());
        for (const ir::Shape& s : cell.shapes) {
            ++per_layer[layer_of(s).value];
        }
        auto& groups = out_.layout.cells[id.value].shapes;
        groups_.assign(per_layer.size(), nullptr);
        for (std::size_t layer = 0; layer < per_layer.size(); ++layer) {
            if (per_layer[layer] > 0) {
                groups_[layer] = &groups[LayerId{layer}];
                groups_[layer]->reserve(per_layer[layer]);
            }
        }
    }

    void insert(LayerId layer, shape::Shape s) {
        groups_[layer.value]->push_back({{}, std::move(s)});
    }

    // A shape too short for its record is left out with a warning rather than written as a
    // record that readers refuse.
    bool too_short(const ir::Cell& cell, const ir::Shape& s) {
        auto warning = too_short_warning(cell.name, library_.layers.at(s.layer).name, s.geometry);
        if (warning) {
            out_.warnings.push_back(std::move(*warning));
        }
        return warning.has_value();
    }

    void add_shapes(const ir::Cell& cell, CellId id) {
        reserve_groups(cell, id);
        for (const ir::Shape& s : cell.shapes) {
            const LayerId layer = layer_of(s);
            if (too_short(cell, s)) {
                continue;
            }
            if (s.geometry.fits_one_element()) {
                insert(layer, element(s.geometry));
                continue;
            }
            for (const ir::Geometry& piece : s.geometry.gds_pieces()) {
                insert(layer, element(piece));
            }
        }
    }

    CellId cell_of(std::uint64_t index) const {
        if (index >= cell_ids_.size()) {
            quorvane_dsl::base::fatal("instance cell index out of range");
        }
        return cell_ids_[index];
    }

    static shape::Transform placement(const ir::Instance& instance) {
        const models::Point origin{instance.x, instance.y};
        if (!instance.mirror) {
            for (std::uint8_t quarter = 0; quarter < 4; ++quarter) {
                if (instance.rotation == 90.0 * quarter) {
                    return {origin, shape::Orthogonal{quarter}};
                }
            }
        }
        return {origin, shape::General{.magnification = 1.0,
                                       .angle = instance.rotation,
                                       .reflection = instance.mirror}};
    }

    static std::optional<models::top::Repetition> repetition(const ir::Instance& instance) {
        if (!instance.array) {
            return std::nullopt;
        }
        const ir::Array& a = *instance.array;
        return models::top::RegularArray{
            a.columns, a.rows, {a.column_step.x, a.column_step.y}, {a.row_step.x, a.row_step.y}};
    }

    std::expected<void, std::string> add_instances(const ir::Cell& cell, CellId id) {
        out_.layout.cells[id.value].instances.reserve(cell.instances.size());
        for (const ir::Instance& instance : cell.instances) {
            models::top::CellInstance placed{.repetition = repetition(instance),
                                             .transform = placement(instance),
                                             .cell = cell_of(instance.cell)};
            if (auto inserted = out_.layout.insert_instance(id, std::move(placed)); !inserted) {
                return std::unexpected(models::debug_text(inserted.error()));
            }
        }
        return {};
    }

    // The cell record: key, source, then the layers, parameters, attributes and blackbox.
    shape::TextBody cell_record_text() const {
        return {.text = std::string(cell_key), .transform = {{0, 0}, shape::Orthogonal{0}}};
    }

    shape::GdsElementMeta cell_record(const ir::Cell& cell) {
        shape::GdsElementMeta meta;
        meta.properties.push_back({std::string(cell_key), key_attribute});
        meta.properties.push_back({cell.source, name_attribute});
        Entries entries{meta.properties};
        const auto entry = [&](std::string text) {
            const Added added = entries.add(text);
            if (added == Added::HoldsNul) {
                out_.warnings.push_back(cell_named(cell.name) + ": " +
                                        ir::shown(text.substr(0, text.find('='))) +
                                        holds_nul_suffix());
            } else if (added == Added::TooLong) {
                out_.warnings.push_back(cell_named(cell.name) + ": " + text_start(text) +
                                        too_long_suffix());
            } else if (added == Added::TooMany) {
                out_.warnings.push_back(cell_named(cell.name) + too_many_text(text));
            }
        };
        for (const ir::Layer& layer : library_.layers) {
            entry("layer:" + layer.name + "=" + std::to_string(layer.layer) + "/" +
                  std::to_string(layer.datatype));
        }
        // Each value is a property of its own and is written as its literal, dimension comments
        // included (also inside lists); the import warns about an entry it cannot read back.
        const auto value_entry = [&](std::string key, const ir::Value& value) {
            if (holds_equals(key)) {
                out_.warnings.push_back(cell_named(cell.name) + ": " + ir::shown(key) +
                                        holds_equals_suffix());
                return;
            }
            entry(key + "=" + value.to_literal());
        };
        for (const auto& [name, value] : cell.params) {
            value_entry("param:" + name, value);
        }
        for (const auto& [name, value] : cell.attrs) {
            value_entry("attr:" + name, value);
        }
        if (cell.blackbox) {
            const ir::Box& f = cell.blackbox->footprint;
            entry("blackbox:footprint=" + std::to_string(f.left) + "," + std::to_string(f.bottom) +
                  "," + std::to_string(f.right) + "," + std::to_string(f.top));
            entry("blackbox:interface=" + cell.blackbox->interface);
            entry("blackbox:content=" + cell.blackbox->content);
        }
        return meta;
    }

    shape::GdsElementMeta marker_record(const ir::Cell& cell, const ir::Marker& marker,
                                        std::size_t index, double angle) {
        shape::GdsElementMeta meta;
        meta.properties.push_back({std::string(marker_key), key_attribute});
        meta.properties.push_back({marker.name, name_attribute});
        meta.properties.push_back({std::to_string(index), index_attribute});
        meta.properties.push_back({quorvane_dsl::units::format_number(angle), angle_attribute});
        Entries entries{meta.properties};
        for (const auto& [name, value] : marker.attrs) {
            const auto left_out = [&](const std::string& why) {
                out_.warnings.push_back(marker_named(cell.name, marker.name) + ": attribute " +
                                        ir::shown(name) + why);
            };
            if (holds_equals(name)) {
                left_out(holds_equals_suffix());
                continue;
            }
            std::string text = name + "=" + value.to_literal();
            const Added added = entries.add(text);
            if (added == Added::HoldsNul) {
                left_out(holds_nul_suffix());
            } else if (added == Added::TooLong) {
                left_out(too_long_suffix());
            } else if (added == Added::TooMany) {
                out_.warnings.push_back(marker_named(cell.name, marker.name) + too_many_text(text));
            }
        }
        return meta;
    }

    std::expected<void, std::string> add_metadata(const ir::Cell& cell, CellId id) {
        LayoutDb& db = out_.layout;
        shape::Text record = db.store_text(cell_record_text());
        if (auto r = insert_text(id, cell_record(cell), record); !r) {
            return r;
        }
        // The import gathers every location carried under one name into one marker, the
        // attributes of its first carrier kept; one warning per name tells of it.
        std::unordered_map<std::string_view, std::size_t> carriers;
        for (const ir::Marker& marker : cell.markers) {
            // Marker metadata rides on the text placed at each location.
            if (marker.locations.empty() && !marker.attrs.empty()) {
                out_.warnings.push_back(cell_named(cell.name) + ": marker " +
                                        ir::shown(marker.name) +
                                        " has attributes but no location and is not written to "
                                        "GDS");
            }
            if (!marker.locations.empty() && ++carriers[marker.name] == 2) {
                out_.warnings.push_back(marker_named(cell.name, marker.name) +
                                        ": more than one marker has this name, and GDS gives "
                                        "them back as one");
            }
            for (std::size_t k = 0; k < marker.locations.size(); ++k) {
                const ir::Frame& at = marker.locations[k];
                shape::Text text =
                    db.store_text({.text = marker.name + "[" + std::to_string(k) + "]",
                                   .transform = {{at.x, at.y}, shape::General{.angle = at.angle}}});
                if (auto r = insert_text(id, marker_record(cell, marker, k, at.angle), text); !r) {
                    return r;
                }
            }
        }
        return {};
    }

    std::expected<void, std::string> insert_text(CellId id, shape::GdsElementMeta meta,
                                                 shape::Text text) {
        const shape::MetaRef stored = out_.layout.store_meta(std::move(meta));
        auto inserted = out_.layout.insert_shape_record(id, metadata_layer_, {stored, text});
        if (!inserted) {
            return std::unexpected(models::debug_text(inserted.error()));
        }
        return {};
    }

    const ir::Library& library_;
    Output out_;
    std::vector<LayerId> layer_ids_;
    std::vector<CellId> cell_ids_;
    std::vector<std::vector<shape::ShapeRecord>*> groups_; // of the cell being filled, by layer
    LayerId metadata_layer_;
};

} // namespace

std::string cell_named(std::string_view cell) {
    return "cell " + ir::shown(cell);
}

std::string marker_named(std::string_view cell, std::string_view marker) {
    return cell_named(cell) + ", marker " + ir::shown(marker);
}

std::optional<std::string> too_short_warning(std::string_view cell, std::string_view layer,
                                             const ir::Geometry& geometry) {
    const auto warning = [&](std::string_view what, std::size_t count) {
        return cell_named(cell) + ": a " + std::string(what) + " on layer " + ir::shown(layer) +
               " with " + std::to_string(count) + " point" + (count == 1 ? "" : "s") +
               " is too short for GDS and is left out";
    };
    if (const auto* polygon = std::get_if<ir::Polygon>(&geometry.kind)) {
        // A last point repeating the first is written as the closing point, not beside it.
        const auto& points = polygon->points;
        const std::size_t corners =
            points.size() - (points.size() >= 2 && points.back() == points.front() ? 1 : 0);
        if (corners < min_polygon_points) {
            return warning("polygon", corners);
        }
    } else if (const auto* path = std::get_if<ir::Path>(&geometry.kind)) {
        if (path->points.size() < min_path_points) {
            return warning("path", path->points.size());
        }
    }
    return std::nullopt;
}

std::expected<Output, std::string> to_layout(const ir::Library& library) {
    return Export(library).run();
}

std::expected<Written, std::string> write_gds(ir::Library library) {
    Written written;
    const ByteSink sink = [&](std::span<const std::uint8_t> piece) {
        written.bytes.insert(written.bytes.end(), piece.begin(), piece.end());
    };
    auto warnings = write_gds(std::move(library), sink);
    if (!warnings) {
        return std::unexpected(std::move(warnings.error()));
    }
    written.warnings = std::move(*warnings);
    return written;
}

// Cell by cell: each is converted, written, and freed with its IR before the next, so that
// neither the whole layout database nor a second copy of the points is ever in memory.
std::expected<std::vector<std::string>, std::string> write_gds(ir::Library library,
                                                               const ByteSink& sink) {
    Export out(library);
    if (auto prepared = out.prepare(); !prepared) {
        return std::unexpected(prepared.error());
    }
    vork::io::gds::writer::StructureStream stream{sink};
    const auto stream_error = [](const vork::io::gds::GdsError& error) {
        return std::unexpected(vork::io::gds::debug_text(error, cell_named));
    };
    if (auto begun = vork::io::gds::writer::begin_library(stream, out.layout()); !begun) {
        return stream_error(begun.error());
    }
    for (std::size_t i = 0; i < library.cells.size(); ++i) {
        out.reserve_points(i);
        if (auto filled = out.fill_cell(i); !filled) {
            return std::unexpected(filled.error());
        }
        library.cells[i] = {};
        const LayoutDb& db = out.layout();
        if (auto written = vork::io::gds::writer::write_structure(stream, db, db.cells[i]);
            !written) {
            return stream_error(written.error());
        }
        out.empty_cell(i);
    }
    vork::io::gds::writer::end_library(stream);
    return std::move(out.warnings());
}

} // namespace quorvane_dsl_gds
