// Dummy fill: square tiles laid on a grid over the free space of a layer, written as arrays.
#pragma once

#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "ir/model.hpp"

namespace quorvane_dsl::dummy {

// A GDS layer and datatype, for layers a rule names by number.
struct GdsPair {
    std::int32_t layer = 0;
    std::int32_t datatype = 0;
    bool operator==(const GdsPair&) const = default;
};

// How a rule names a layer: by name or by its GDS numbers.
using LayerRef = std::variant<std::string, GdsPair>;

// One `--dummy` rule. Lengths are in nanometres.
struct Rule {
    LayerRef layer;
    double size = 2000;
    double space = 2000;
    double keepout = 2000;
    double margin = 0;
    std::vector<LayerRef> exclude;
    std::optional<LayerRef> area;
    std::optional<std::int32_t> datatype;
    bool stagger = false;
    bool operator==(const Rule&) const = default;

    // "<layer>[:<key>=<value>,...]"; the message does not repeat the rule text.
    static std::expected<Rule, std::string> parse(std::string_view text);
};

// A layer name or "<layer>/<datatype>", white space around it ignored.
std::expected<LayerRef, std::string> layer_ref(std::string_view text);

// A length option's value in nanometres: the integer 0 or a length literal that is not negative.
std::expected<double, std::string> length(std::string_view key, std::string_view text);

// What one rule did to one top cell.
struct Report {
    std::string cell;
    std::string layer;
    std::uint64_t tiles = 0;
    std::uint64_t instances = 0;
    // Tile area over the area of the fill region; 0 when there is no region.
    double fill = 0;
};

// Runs the rules in order over every top cell of the library, changing it in place. On an error
// the library keeps what the rules before it added; the caller must not write it.
std::expected<std::vector<Report>, std::string> generate(ir::Library& library,
                                                         const std::vector<Rule>& rules);

// The index of the layer a reference names; a GDS pair nobody has yet becomes a new layer.
std::expected<std::uint64_t, std::string> find_layer(std::vector<ir::Layer>& layers,
                                                     const LayerRef& ref);

// The first layer with these numbers, or a new one under `name` made unique with "_1", "_2" ...
std::uint64_t gds_layer(std::vector<ir::Layer>& layers, std::int32_t layer, std::int32_t datatype,
                        const std::string& name);

// Appends a cell holding `shapes` under `name` made unique with "$1", "$2" ...; not a top.
std::uint64_t add_cell(ir::Library& library, const std::string& name,
                       std::vector<ir::Shape> shapes);

} // namespace quorvane_dsl::dummy
