// A stream that reads is written in a form that reads back and writes the same structures. The
// order of the structures may change: a cell enters the layout where it is first named, and a
// reference can name it before its definition.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "fuzz.hpp"
#include "io/gds/reader.hpp"
#include "io/gds/writer.hpp"

namespace gds = vork::io::gds;

namespace {

constexpr std::uint8_t bgnstr = 0x05;
constexpr std::uint8_t endstr = 0x07;

// The library's own records, then every structure from its BGNSTR to its ENDSTR, the structures
// in byte order. Only for streams the writer made.
std::vector<std::vector<std::uint8_t>> sorted_structures(const std::vector<std::uint8_t>& bytes) {
    std::vector<std::vector<std::uint8_t>> parts(1);
    std::size_t part = 0;
    for (std::size_t at = 0; at + 4 <= bytes.size();) {
        const std::size_t length = bytes[at] << 8 | bytes[at + 1];
        const std::uint8_t type = bytes[at + 2];
        if (type == bgnstr) {
            part = parts.size();
            parts.emplace_back();
        }
        const std::size_t end = std::min(bytes.size(), at + std::max<std::size_t>(length, 4));
        parts[part].insert(parts[part].end(), bytes.begin() + at, bytes.begin() + end);
        if (type == endstr) {
            part = 0;
        }
        at = end;
    }
    std::sort(parts.begin() + 1, parts.end());
    return parts;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto layout = gds::reader::read_layout(std::span(data, size));
    if (!layout) {
        return 0;
    }
    const auto written = gds::writer::write_gds(*layout);
    if (!written) {
        return 0;
    }
    const auto again = gds::reader::read_layout(*written);
    QV_FUZZ_CHECK(again);
    const auto rewritten = gds::writer::write_gds(*again);
    QV_FUZZ_CHECK(rewritten && sorted_structures(*rewritten) == sorted_structures(*written));
    return 0;
}
