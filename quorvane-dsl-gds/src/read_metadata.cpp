#include "read_metadata.hpp"

#include <algorithm>
#include <array>
#include <cmath>

#include "ir/scan.hpp"
#include "ir/text.hpp"
#include "ir/transform.hpp"
#include "lib.hpp"
#include "units/units.hpp"

namespace quorvane_dsl_gds::read {

namespace ir = quorvane_dsl::ir;
namespace shape = vork::models::shape;

namespace {

const shape::GdsProperty* first_with(const shape::GdsElementMeta& meta, std::uint16_t attribute) {
    for (const shape::GdsProperty& p : meta.properties) {
        if (p.attribute == attribute) {
            return &p;
        }
    }
    return nullptr;
}

std::string_view key_of(const shape::GdsElementMeta& meta) {
    const shape::GdsProperty* key = first_with(meta, key_attribute);
    return key ? std::string_view(key->value) : std::string_view();
}

bool is_entry(const shape::GdsProperty& p) {
    const auto number = static_cast<std::int16_t>(p.attribute);
    return number >= static_cast<std::int16_t>(first_entry_attribute);
}

struct Entry {
    std::string_view key;
    std::string_view value;
};

std::optional<Entry> split_entry(std::string_view text) {
    const std::size_t eq = text.find('=');
    if (eq == std::string_view::npos) {
        return std::nullopt;
    }
    return Entry{text.substr(0, eq), text.substr(eq + 1)};
}

const std::array<double, 8> orthogonal_angles = {0, 90, 180, 270, 0, 90, 180, 270};

double text_angle(const shape::Transform& transform) {
    if (const auto* o = std::get_if<shape::Orthogonal>(&transform.orientation)) {
        return orthogonal_angles[o->code % 8];
    }
    return ir::normalize_angle(std::get<shape::General>(transform.orientation).angle);
}

} // namespace

bool is_identifier(std::string_view text) {
    const auto letter = [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
    };
    const auto digit = [](char c) { return c >= '0' && c <= '9'; };
    if (text.empty() || !letter(text[0])) {
        return false;
    }
    return std::ranges::all_of(text, [&](char c) { return letter(c) || digit(c); });
}

LayerNames layer_names(const vork::models::top::LayoutDb& layout) {
    LayerNames names;
    for (const auto& cell : layout.cells) {
        for (const auto& [layer, records] : cell.shapes) {
            for (const shape::ShapeRecord& record : records) {
                const shape::GdsElementMeta& meta = layout.meta_of(record.meta);
                if (meta.properties.empty() || key_of(meta) != cell_key) {
                    continue;
                }
                for (const shape::GdsProperty& p : meta.properties) {
                    if (!is_entry(p)) {
                        continue;
                    }
                    const auto entry = split_entry(p.value);
                    if (!entry || !entry->key.starts_with("layer:")) {
                        continue;
                    }
                    const std::string_view name = entry->key.substr(6);
                    const std::size_t slash = entry->value.find('/');
                    if (slash == std::string_view::npos || !is_identifier(name)) {
                        continue;
                    }
                    const auto number = ir::scan::read_i32(entry->value.substr(0, slash));
                    const auto type = ir::scan::read_i32(entry->value.substr(slash + 1));
                    if (number && type) {
                        names.try_emplace({*number, *type}, name);
                    }
                }
            }
        }
    }
    return names;
}

void CellMetadata::read_text(const shape::GdsElementMeta& meta, const shape::TextBody& text) {
    const std::string_view key = key_of(meta);
    if (key == cell_key) {
        read_cell_record(meta);
    } else if (key == marker_key) {
        read_marker(meta, text);
    } else {
        ++texts_without_metadata;
    }
}

namespace {

struct BlackboxParts {
    std::optional<ir::Box> footprint;
    std::optional<std::string> interface;
    std::optional<std::string> content;
};

std::optional<ir::Box> parse_footprint(std::string_view value) {
    std::array<std::int64_t, 4> edges{};
    std::size_t count = 0;
    while (true) {
        const std::size_t comma = value.find(',');
        const auto number = ir::scan::read_i64(value.substr(0, comma));
        if (!number || count == 4) {
            return std::nullopt;
        }
        edges[count++] = *number;
        if (comma == std::string_view::npos) {
            break;
        }
        value.remove_prefix(comma + 1);
    }
    if (count != 4) {
        return std::nullopt;
    }
    return ir::Box{edges[0], edges[1], edges[2], edges[3]};
}

} // namespace

void CellMetadata::read_cell_record(const shape::GdsElementMeta& meta) {
    if (const shape::GdsProperty* source = first_with(meta, name_attribute)) {
        cell.source = source->value;
    }
    BlackboxParts blackbox;
    for (const shape::GdsProperty& p : meta.properties) {
        const auto entry = is_entry(p) ? split_entry(p.value) : std::nullopt;
        if (!entry || entry->key.starts_with("layer:")) {
            continue;
        }
        if (entry->key == "blackbox:content") {
            blackbox.content = std::string(entry->value);
        } else if (entry->key == "blackbox:interface") {
            blackbox.interface = std::string(entry->value);
        } else if (entry->key == "blackbox:footprint") {
            blackbox.footprint = parse_footprint(entry->value);
        } else if (auto value = ir::Value::parse_literal(entry->value)) {
            if (entry->key.starts_with("param:")) {
                cell.params.emplace_back(std::string(entry->key.substr(6)), std::move(*value));
            } else if (entry->key.starts_with("attr:")) {
                cell.attrs.emplace_back(std::string(entry->key.substr(5)), std::move(*value));
            }
        } else {
            warnings.push_back(cell_named(cell.name) + ": cannot read " + ir::shown(p.value));
        }
    }
    if (blackbox.footprint && blackbox.interface && blackbox.content) {
        cell.blackbox = ir::Blackbox{*blackbox.footprint, std::move(*blackbox.interface),
                                     std::move(*blackbox.content)};
    } else if (blackbox.footprint || blackbox.interface || blackbox.content) {
        warnings.push_back(cell_named(cell.name) + ": incomplete blackbox metadata was not read");
    }
}

void CellMetadata::read_marker(const shape::GdsElementMeta& meta, const shape::TextBody& text) {
    const shape::GdsProperty* name_property = first_with(meta, name_attribute);
    const std::string name = name_property ? name_property->value : "marker";
    const shape::GdsProperty* index_property = first_with(meta, index_attribute);
    const std::uint64_t index =
        (index_property ? ir::scan::read_u64(index_property->value) : std::nullopt).value_or(0);
    double angle = text_angle(text.transform);
    if (const shape::GdsProperty* angle_property = first_with(meta, angle_attribute)) {
        angle = ir::scan::read_f64(angle_property->value).value_or(angle);
    }
    // A location without a direction could not be written again in a form the IR reader takes,
    // so it is left out; a later carrier of the marker may still bring it and its attributes.
    if (!std::isfinite(angle)) {
        warnings.push_back(marker_named(cell.name, name) + ": angle " +
                           quorvane_dsl::units::format_number(angle) + " of location " +
                           std::to_string(index) + " is not finite and was dropped");
        return;
    }
    const ir::Frame frame{text.transform.origin.x, text.transform.origin.y, angle};
    const auto [known, added] = marker_by_name.try_emplace(name, markers.size());
    if (!added) {
        markers[known->second].locations.emplace_back(index, frame);
        return;
    }
    GatheredMarker marker{name, {{index, frame}}, {}};
    for (const shape::GdsProperty& p : meta.properties) {
        const auto entry = is_entry(p) ? split_entry(p.value) : std::nullopt;
        if (!entry) {
            continue;
        }
        if (auto value = ir::Value::parse_literal(entry->value)) {
            marker.attrs.emplace_back(std::string(entry->key), std::move(*value));
        } else {
            warnings.push_back(marker_named(cell.name, name) + ": cannot read " +
                               ir::shown(p.value));
        }
    }
    markers.push_back(std::move(marker));
}

void CellMetadata::finish() {
    for (GatheredMarker& gathered : markers) {
        std::ranges::stable_sort(gathered.locations, {},
                                 [](const auto& location) { return location.first; });
        ir::Marker marker{std::move(gathered.name), {}, std::move(gathered.attrs)};
        marker.locations.reserve(gathered.locations.size());
        for (const auto& location : gathered.locations) {
            marker.locations.push_back(location.second);
        }
        cell.markers.push_back(std::move(marker));
    }
    markers.clear();
    marker_by_name.clear();
}

} // namespace quorvane_dsl_gds::read
