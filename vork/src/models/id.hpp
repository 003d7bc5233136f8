#pragma once

#include <cstdint>

namespace vork::models {

// Cells and layers of the layout database are identified by their index.
struct CellId {
    std::uint32_t index = 0;
    friend bool operator==(CellId, CellId) = default;
};

struct LayerId {
    std::uint32_t index = 0;
    friend bool operator==(LayerId, LayerId) = default;
};

} // namespace vork::models
