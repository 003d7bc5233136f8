// IR libraries to the layout database and to GDSII bytes, metadata included.
#pragma once

#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "io/gds/writer.hpp"
#include "ir/ir.hpp"
#include "models/top.hpp"

// IR libraries to the layout database, with the metadata that GDSII cannot hold natively
// carried in properties of text elements.
namespace quorvane_dsl_gds {

struct Output {
    vork::models::top::LayoutDb layout;
    std::vector<std::string> warnings; // in the order they arose
};

// The property attribute numbers of the metadata texts.
inline constexpr std::uint16_t key_attribute = 1;
inline constexpr std::uint16_t name_attribute = 2;
inline constexpr std::uint16_t index_attribute = 3;
inline constexpr std::uint16_t angle_attribute = 4;
inline constexpr std::uint16_t first_entry_attribute = 10;
inline constexpr std::uint16_t last_entry_attribute = 32767;
inline constexpr std::string_view cell_key = "quorvane.cell";
inline constexpr std::string_view marker_key = "quorvane.marker";

// Longer entry texts are left out with a warning.
inline constexpr std::size_t max_entry_bytes = 126;

// A BOUNDARY holds at least three corners (four points with the closing one) and a PATH at
// least two points.
inline constexpr std::size_t min_polygon_points = 3;
inline constexpr std::size_t min_path_points = 2;

// "cell `c`" for the messages about a cell, its control characters spelled out so that a name
// cannot break the line that names it.
std::string cell_named(std::string_view cell);

// "cell `c`, marker `m`", spelled out the same way.
std::string marker_named(std::string_view cell, std::string_view marker);

// "cell `c`: a polygon on layer `l` with 2 points is too short for GDS and is left out" for a
// polygon or path with fewer points than its record needs.
std::optional<std::string> too_short_warning(std::string_view cell, std::string_view layer,
                                             const quorvane_dsl::ir::Geometry& geometry);

std::expected<Output, std::string> to_layout(const quorvane_dsl::ir::Library& library);

struct Written {
    std::vector<std::uint8_t> bytes;   // one whole GDSII stream
    std::vector<std::string> warnings; // of the conversion, in the order they arose
};

// The library as the bytes of one GDSII stream: the bytes of `to_layout` and the stream writer,
// whose error comes back in its debug form.
std::expected<Written, std::string> write_gds(quorvane_dsl::ir::Library library);

// Takes a GDSII stream piece by piece, in order.
using ByteSink = vork::io::gds::writer::Sink;

// As `write_gds`, the stream handed to `sink` in pieces rather than kept whole, and each cell
// freed once written, so that a large library is never in memory as a layout database beside
// its IR or a stream; the conversion's warnings come back. After an error the sink may have
// seen part of the stream.
std::expected<std::vector<std::string>, std::string> write_gds(quorvane_dsl::ir::Library library,
                                                               const ByteSink& sink);

} // namespace quorvane_dsl_gds
