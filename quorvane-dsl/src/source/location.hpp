// Places in source texts: a byte range, and a byte range of one registered file.
#pragma once

#include <cstdint>

#include "source/source.hpp"

namespace quorvane_dsl::source {

// A byte range [start, end) of a source text. Texts are shorter than 2^32 bytes, so offsets are
// u32 throughout the front end; start is never after end.
struct TextRange {
    std::uint32_t start = 0;
    std::uint32_t end = 0;

    constexpr std::uint32_t len() const { return end - start; }
    constexpr bool empty() const { return start == end; }
    friend constexpr bool operator==(TextRange, TextRange) = default;
};

// A place in a source: a byte range of one file's text. Diagnostics, the HIR and the evaluator
// all point into sources with it.
struct Src {
    TextRange range;
    FileId file;
    friend bool operator==(const Src&, const Src&) = default;
};

} // namespace quorvane_dsl::source
