// The GDSII stream reader: bytes into the layout database.
#pragma once

#include <array>
#include <cstdint>
#include <expected>
#include <span>
#include <string>
#include <vector>

#include "io/gds/error.hpp"
#include "models/top.hpp"

namespace vork::io::gds::reader {

using models::Point;
using Payload = std::span<const std::uint8_t>;

// Payload decoders; each refusal is a Format error.
std::expected<std::string, GdsError> parse_ascii(Payload payload);
std::expected<std::vector<std::int16_t>, GdsError> parse_i16s(Payload payload);
std::expected<std::int16_t, GdsError> parse_i16_one(Payload payload);
std::expected<std::uint16_t, GdsError> parse_u16_one(Payload payload);
std::expected<std::int32_t, GdsError> parse_i32_one(Payload payload);
std::expected<std::vector<Point>, GdsError> parse_points(Payload payload);
std::expected<std::vector<double>, GdsError> parse_real8s(Payload payload);
std::expected<double, GdsError> parse_real8_one(Payload payload);
double decode_real8(const std::uint8_t* bytes);

std::expected<models::CellId, GdsError> find_or_create_cell(models::top::LayoutDb& db,
                                                            std::string_view name);
std::expected<std::array<Point, 3>, GdsError> aref_raw_points(std::span<const Point> points);
std::expected<Point, GdsError> divide_vector(Point corner, Point origin, std::int64_t count);

// The whole stream into a layout database; stops at ENDLIB, at the end of the bytes or at the
// first error.
std::expected<models::top::LayoutDb, GdsError> read_layout(std::span<const std::uint8_t> bytes);

// What the stream holds but the layout keeps only in part: two structures of one name
// (merged), a reference to no structure (an empty cell), an element with two XY records (the
// last kept), an AREF span its count does not divide (truncated). The cell is named apart, so
// that the caller can spell out what a name holds.
struct ReadWarning {
    std::string cell; // as stored; empty outside any structure
    std::string text;
    bool operator==(const ReadWarning&) const = default;
};

struct Read {
    models::top::LayoutDb layout;
    std::vector<ReadWarning> warnings;
};

// As `read_layout`, with the warnings.
std::expected<Read, GdsError> read_layout_with_warnings(std::span<const std::uint8_t> bytes);

} // namespace vork::io::gds::reader
