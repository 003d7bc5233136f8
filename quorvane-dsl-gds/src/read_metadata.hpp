// Reading the metadata that the export stored in GDSII text properties.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "ir/ir.hpp"
#include "models/top.hpp"

// Reading back what the export stored in the properties of text elements: layer names, cell
// sources, parameters, attributes, blackbox records and markers.
namespace quorvane_dsl_gds::read {

struct PairHash {
    std::size_t operator()(std::pair<std::int32_t, std::int32_t> p) const noexcept {
        return std::hash<std::int64_t>{}((std::int64_t{p.first} << 32) ^
                                         static_cast<std::uint32_t>(p.second));
    }
};

// (layer, datatype) to the layer name that a cell record gives it.
using LayerNames = std::unordered_map<std::pair<std::int32_t, std::int32_t>, std::string, PairHash>;

LayerNames layer_names(const vork::models::top::LayoutDb& layout);

// The markers of one cell as their texts are met.
struct GatheredMarker {
    std::string name;
    std::vector<std::pair<std::uint64_t, quorvane_dsl::ir::Frame>> locations;
    std::vector<quorvane_dsl::ir::NamedValue> attrs;
};

// The metadata state of one cell while its elements are visited.
struct CellMetadata {
    quorvane_dsl::ir::Cell& cell;
    std::vector<GatheredMarker> markers;
    std::vector<std::string>& warnings;
    std::uint64_t& texts_without_metadata;
    // Where each gathered marker stands in `markers`: a cell may hold many thousands of them.
    std::unordered_map<std::string, std::size_t> marker_by_name{};

    // One text element of the cell: cell record, marker location, or a plain label.
    void read_text(const vork::models::shape::GdsElementMeta& meta,
                   const vork::models::shape::TextBody& text);
    // The gathered markers, each with its locations in index order, into the cell.
    void finish();

  private:
    void read_cell_record(const vork::models::shape::GdsElementMeta& meta);
    void read_marker(const vork::models::shape::GdsElementMeta& meta,
                     const vork::models::shape::TextBody& text);
};

bool is_identifier(std::string_view text);

} // namespace quorvane_dsl_gds::read
