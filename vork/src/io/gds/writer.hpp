// The GDSII stream writer: the layout database into bytes.
#pragma once

#include <array>
#include <cstdint>
#include <expected>
#include <functional>
#include <span>
#include <string_view>
#include <vector>

#include "io/gds/error.hpp"
#include "models/top.hpp"

namespace vork::io::gds::writer {

using Bytes = std::vector<std::uint8_t>;
using Status = std::expected<void, GdsError>;
using models::Point;

// Record encoders: each appends whole records; a refused record appends nothing.
Status write_record(Bytes& out, std::uint8_t type, std::uint8_t data_type,
                    std::span<const std::uint8_t> payload);
Status write_xy_record(Bytes& out, std::span<const Point> points);
Status write_i16_record(Bytes& out, std::uint8_t type, std::span<const std::int16_t> values);
Status write_ascii_record(Bytes& out, std::uint8_t type, std::string_view text);
Status write_real8_record(Bytes& out, std::uint8_t type, std::span<const double> values);
Status write_gds_properties(Bytes& out, std::span<const models::shape::GdsProperty> properties);
Status write_transform_records(Bytes& out, const models::shape::Transform& transform);

// The GDSII 8-byte real; values without such a form (infinities, exponents beyond excess-64)
// are refused.
std::expected<std::array<std::uint8_t, 8>, GdsError> encode_real8(double value);

// One element of a structure; `cell` names the structure in errors about values that do not
// fit their GDSII field.
Status write_shape_record(Bytes& out, const models::top::LayoutDb& db,
                          const models::LayerInfo& layer, const models::shape::ShapeRecord& record,
                          std::string_view cell);

// The whole library as one stream; the dates are zero, so equal input gives equal bytes.
std::expected<Bytes, GdsError> write_gds(const models::top::LayoutDb& db);

// Takes the stream piece by piece, in order.
using Sink = std::function<void(std::span<const std::uint8_t>)>;

// The size of the pieces a sink is handed: small enough to stay in the cache between being
// encoded and being copied out, large enough that handing one over costs next to nothing.
inline constexpr std::size_t piece_bytes = std::size_t{1} << 20;

// As `write_gds`, the stream handed to `sink` in pieces of about `piece_bytes` (only between
// elements) rather than kept whole: a large library never stands in memory twice. On an error
// the sink has seen part of the stream.
std::expected<void, GdsError> write_gds(const models::top::LayoutDb& db, const Sink& sink);

// The stream of `write_gds(db, sink)` written one structure at a time, so that a caller can fill
// the database with one cell, write it and empty the cell and the pools again: a large library
// never stands whole in memory. Cells are named by their place in `db.cells`, which holds every
// cell (instances name theirs) though only the one written need have content.
struct StructureStream {
    const Sink& sink;
    Bytes out{};
};

// HEADER to UNITS, from the database's name and units.
std::expected<void, GdsError> begin_library(StructureStream& stream,
                                            const models::top::LayoutDb& db);
std::expected<void, GdsError> write_structure(StructureStream& stream,
                                              const models::top::LayoutDb& db,
                                              const models::top::Cell& cell);
// ENDLIB, and whatever is left handed to the sink.
void end_library(StructureStream& stream);

} // namespace vork::io::gds::writer
