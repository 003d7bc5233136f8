#include "publish.hpp"

#include <algorithm>
#include <array>
#include <unordered_set>
#include <utility>
#include <vector>

#include "base/angle.hpp"
#include "base/round.hpp"
#include "boolean/boolean.hpp"
#include "boolean/keyhole.hpp"
#include "ir/text.hpp"
#include "link/link.hpp"
#include "signature/signature.hpp"
#include "units/units.hpp"

namespace quorvane {

namespace {

namespace ir = quorvane_dsl::ir;
namespace boolean = quorvane_dsl::boolean;

constexpr std::uint64_t outline_layer = 0;
constexpr std::uint64_t marker_layer = 1;

// The design's own numbers for a layer of that name, else the published default.
ir::Layer output_layer(const ir::Library& design, const std::string& name, std::int32_t fallback) {
    for (const ir::Layer& layer : design.layers) {
        if (layer.name == name) {
            return {name, layer.layer, layer.datatype};
        }
    }
    return {name, fallback, 0};
}

double width_of(const ir::Box& box) {
    return static_cast<double>(box.right) - static_cast<double>(box.left);
}

double height_of(const ir::Box& box) {
    return static_cast<double>(box.top) - static_cast<double>(box.bottom);
}

bool is_port(const ir::Marker& marker) {
    return ir::marker_kind(marker) == "port";
}

ir::Point rounded(double x, double y) {
    return {quorvane_dsl::base::round_to_i64(x), quorvane_dsl::base::round_to_i64(y)};
}

// An arrow pointing to +y with a foot to the -x side: it shows which way up the cell lies.
boolean::Ring arrow_mark(const ir::Box& box, double s) {
    constexpr std::array<std::pair<double, double>, 9> corners = {{{-0.35, -0.5},
                                                                   {0.12, -0.5},
                                                                   {0.12, 0.05},
                                                                   {0.35, 0.05},
                                                                   {0, 0.5},
                                                                   {-0.35, 0.05},
                                                                   {-0.12, 0.05},
                                                                   {-0.12, -0.32},
                                                                   {-0.35, -0.32}}};
    const double cx = static_cast<double>(box.left + box.right) * 0.5;
    const double cy = static_cast<double>(box.bottom + box.top) * 0.5;
    boolean::Ring mark;
    for (const auto& [a, b] : corners) {
        const ir::Point p = rounded(cx + a * s, cy + b * s);
        mark.push_back({p.x, p.y});
    }
    return mark;
}

// The footprint box, with the arrow cut out once it is large enough to show.
std::expected<std::vector<ir::Shape>, std::string> outline(const std::string& name,
                                                           const ir::Box& box) {
    if (box.left >= box.right || box.bottom >= box.top) {
        return std::vector<ir::Shape>{};
    }
    const double s = 0.6 * std::min(width_of(box), height_of(box));
    if (s < 10) {
        return std::vector<ir::Shape>{{outline_layer, {box}}};
    }
    const boolean::Ring frame = {
        {box.left, box.bottom}, {box.right, box.bottom}, {box.right, box.top}, {box.left, box.top}};
    // The engine refuses what it cannot compute exactly; checking first also keeps the centre's
    // integer sums from overflowing.
    if (const auto far = boolean::check_range(frame); far) {
        return std::unexpected("cell " + ir::shown(name) +
                               " is too large to outline: " + far->message);
    }
    const boolean::Ring mark = arrow_mark(box, s);
    auto cut = boolean::boolean(std::span(&frame, 1), std::span(&mark, 1), boolean::Op::Difference);
    if (!cut) {
        return std::unexpected("cell " + ir::shown(name) +
                               " is too large to outline: " + cut.error().message);
    }
    std::vector<ir::Shape> shapes;
    for (const boolean::Ring& ring : boolean::keyholes(std::move(*cut))) {
        ir::Polygon polygon;
        polygon.points.reserve(ring.size());
        for (const boolean::Point& p : ring) {
            polygon.points.push_back({p.x, p.y});
        }
        shapes.push_back({outline_layer, {std::move(polygon)}});
    }
    return shapes;
}

// A positive length "width" attribute sizes the mark; anything else keeps the default.
double mark_size(const ir::Marker& marker, double fallback, double dbu) {
    for (const auto& [key, value] : marker.attrs) {
        if (key != "width") {
            continue;
        }
        const auto* number = std::get_if<ir::Value::Number>(&value.kind);
        if (number && number->dim == quorvane_dsl::units::Dim{1, 0} && number->value > 0) {
            return number->value / dbu;
        }
        return fallback;
    }
    return fallback;
}

// A pentagon at every port location, pointing the way the port faces.
std::vector<ir::Shape> port_marks(const ir::Cell& cell, const ir::Box& box, double dbu) {
    const double fallback = std::max(std::min(width_of(box), height_of(box)) / 10, 2.0);
    constexpr std::array<std::pair<double, double>, 5> corners = {
        {{-1, -1}, {0, -1}, {1, 0}, {0, 1}, {-1, 1}}};
    std::vector<ir::Shape> marks;
    for (const ir::Marker& marker : cell.markers) {
        if (!is_port(marker)) {
            continue;
        }
        const double h = mark_size(marker, fallback, dbu) / 2;
        for (const ir::Frame& at : marker.locations) {
            const auto turn =
                quorvane_dsl::base::turn_of(quorvane_dsl::base::normalize_angle(at.angle));
            ir::Polygon pentagon;
            for (const auto& [a, b] : corners) {
                const double u = a * h;
                const double v = b * h;
                pentagon.points.push_back(
                    rounded(static_cast<double>(at.x) + u * turn.cos - v * turn.sin,
                            static_cast<double>(at.y) + u * turn.sin + v * turn.cos));
            }
            marks.push_back({marker_layer, {std::move(pentagon)}});
        }
    }
    return marks;
}

// A value the published file would not give back as it is leaves a blackbox that no longer
// matches its own interface signature, so such a cell is refused rather than published. A number
// that is not finite has no literal at all, which is said as the writers say it.
std::optional<std::string> unpublishable_value(const ir::Cell& cell) {
    const auto refused = [&](const std::string& why) {
        return "cell " + ir::shown(cell.name) + " cannot be published: " + why;
    };
    if (auto message = ir::unwritable_value(cell)) {
        return refused(*message);
    }
    const auto not_given_back = [&](const std::string& what, const ir::Value& value) {
        return refused(what + " holds `" + value.to_literal() +
                       "`, which the published file would not give back as it is");
    };
    using quorvane_dsl::signature::reads_back_alike;
    for (const auto& [name, value] : cell.params) {
        if (!reads_back_alike(value, ir::Stored::ToTheEnd)) {
            return not_given_back("param " + ir::shown(name), value);
        }
    }
    for (const auto& [name, value] : cell.attrs) {
        if (!reads_back_alike(value, ir::Stored::ToTheEnd)) {
            return not_given_back("attr " + ir::shown(name), value);
        }
    }
    for (const ir::Marker& marker : cell.markers) {
        for (const auto& [name, value] : marker.attrs) {
            if (!reads_back_alike(value, ir::Stored::AmongText)) {
                return not_given_back(
                    "attribute " + ir::shown(name) + " of marker " + ir::shown(marker.name), value);
            }
        }
    }
    return std::nullopt;
}

std::expected<ir::Cell, std::string> published(const ir::Library& design, std::uint64_t index,
                                               quorvane_dsl::signature::Digests& digests) {
    const ir::Cell& cell = design.cells[index];
    if (auto refusal = unpublishable_value(cell)) {
        return std::unexpected(std::move(*refusal));
    }
    const std::optional<ir::Box> footprint = quorvane_dsl::signature::footprint(design, index);
    if (!footprint) {
        return std::unexpected("cell " + ir::shown(cell.name) +
                               " has no geometry and no ports to make a blackbox of");
    }
    auto shapes = outline(cell.name, *footprint);
    if (!shapes) {
        return std::unexpected(std::move(shapes.error()));
    }
    std::vector<ir::Shape> marks = port_marks(cell, *footprint, design.dbu);
    shapes->insert(shapes->end(), std::make_move_iterator(marks.begin()),
                   std::make_move_iterator(marks.end()));
    ir::Blackbox record{*footprint,
                        quorvane_dsl::signature::interface(cell, *footprint, design.dbu),
                        digests.content(index)};
    return ir::Cell{cell.name, cell.source,  cell.params, cell.attrs,       std::move(*shapes),
                    {},        cell.markers, {},          std::move(record)};
}

// A blackbox top goes out as it is, its layers matched by name to the output's; one changed
// since it was published would go out again under signatures that no longer describe it.
std::expected<ir::Cell, std::string> republished(ir::Library& output, const ir::Library& design,
                                                 std::uint64_t index) {
    quorvane_dsl::link::Linker linker;
    auto copy = linker.contents(output, 0, design, index);
    if (copy && !copy->instances.empty()) {
        return std::unexpected("blackbox " + ir::shown(copy->name) +
                               " contains instances; it cannot be published");
    }
    if (auto changed = quorvane_dsl::signature::changed_blackbox(design.cells[index], design.dbu)) {
        return std::unexpected(std::move(*changed));
    }
    return copy;
}

} // namespace

std::expected<ir::Library, std::string> publish_blackboxes(const ir::Library& design) {
    ir::Library output;
    output.dbu = design.dbu;
    output.layers = {output_layer(design, "blackbox", 254), output_layer(design, "marker", 255)};
    quorvane_dsl::signature::Digests digests(design);
    std::unordered_set<std::string> names;
    for (const std::uint64_t top : design.tops) {
        const ir::Cell& cell = design.cells[top];
        if (!names.insert(cell.name).second) {
            continue;
        }
        auto made =
            cell.blackbox ? republished(output, design, top) : published(design, top, digests);
        if (!made) {
            return std::unexpected(std::move(made.error()));
        }
        output.tops.push_back(output.cells.size());
        output.cells.push_back(std::move(*made));
    }
    return output;
}

std::string blackbox_summary(const ir::Cell& cell, double dbu) {
    std::uint64_t ports = 0;
    for (const ir::Marker& marker : cell.markers) {
        if (is_port(marker)) {
            ports += marker.locations.size();
        }
    }
    const ir::Box& box = cell.blackbox->footprint;
    using quorvane_dsl::units::format_length;
    return ir::spelled_out(cell.name) + ": " + format_length(dbu * width_of(box)) + " × " +
           format_length(dbu * height_of(box)) + ", " + std::to_string(ports) +
           " port location(s), content " + ir::spelled_out(cell.blackbox->content);
}

} // namespace quorvane
