#pragma once

#include <cstdint>

namespace quorvane_dsl::syntax {

// A byte range [start, end) of a source text. Texts are shorter than 2^32 bytes, so offsets are
// u32 throughout the front end; start is never after end.
struct TextRange {
    std::uint32_t start = 0;
    std::uint32_t end = 0;

    constexpr std::uint32_t len() const { return end - start; }
    constexpr bool empty() const { return start == end; }
    friend constexpr bool operator==(TextRange, TextRange) = default;
};

} // namespace quorvane_dsl::syntax
