// The ordered set of segments crossing the sweep line, held as a list of short blocks.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "boolean/types.hpp"

namespace quorvane_dsl::boolean::detail {

struct Winding {
    std::int32_t wa = 0;
    std::int32_t wb = 0;
};

struct Entry {
    std::int64_t x1 = 0;
    std::int64_t y1 = 0;
    std::int64_t x2 = 0;
    std::int64_t y2 = 0;
    std::int32_t wa = 0;
    std::int32_t wb = 0;
};

// > 0: e passes strictly below p; 0: through p; < 0: strictly above.
inline int side(const Entry& e, std::int64_t px, std::int64_t py) {
    i128 c =
        static_cast<i128>(e.x2 - e.x1) * (py - e.y1) - static_cast<i128>(e.y2 - e.y1) * (px - e.x1);
    return (c > 0) - (c < 0);
}

struct Place {
    std::size_t block = 0;
    std::size_t index = 0;
    Winding below;
};

class Active {
  public:
    static constexpr std::size_t block_cap = 128;

    void put(std::vector<Entry> entries, std::vector<Entry> spare);
    std::pair<std::vector<Entry>, std::vector<Entry>> take();
    Place find(std::int64_t px, std::int64_t py) const;
    // The same place as find(), searched from a guess: when the entry before `guess` passes
    // below p and its block's last entry does not, the place lies between them.
    Place find_from(const Place& guess, std::int64_t px, std::int64_t py) const;
    void replace(std::size_t b, std::size_t k, std::int64_t px, std::int64_t py,
                 const std::vector<Entry>& fresh);
    void fix(std::size_t b);

    std::size_t count() const { return count_; }
    const std::vector<std::vector<Entry>>& blocks() const { return blocks_; }

  private:
    std::vector<std::vector<Entry>> blocks_;
    std::vector<Entry> spare_;
    std::size_t count_ = 0;
};

} // namespace quorvane_dsl::boolean::detail
