// Layer records and the library metadata of the layout database.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace vork::models {

struct LayerInfo {
    std::optional<std::string> name; // the IR export names every layer; the reader none
    std::int32_t layer = 0;
    std::int32_t datatype = 0; // also the TEXTTYPE, NODETYPE or BOXTYPE of its elements
    friend bool operator==(const LayerInfo&, const LayerInfo&) = default;
};

struct LayerInfoHash {
    std::size_t operator()(const LayerInfo& info) const noexcept;
};

struct LayoutMeta {
    std::optional<double> scale = 1.0; // the first UNITS value times 1e6
};

} // namespace vork::models
