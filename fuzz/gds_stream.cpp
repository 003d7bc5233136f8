// A stream that reads is written in a form that reads back and writes the same structures with
// the same elements. The order may change: a cell or layer enters the layout where it is first
// named, and a reference can name a cell before its definition.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "fuzz.hpp"
#include "io/gds/reader.hpp"
#include "io/gds/record.hpp"
#include "io/gds/writer.hpp"

namespace gds = vork::io::gds;

namespace {

using Bytes = std::vector<std::uint8_t>;

namespace rec = gds::rec;

bool starts_element(std::uint8_t type) {
    return (type >= rec::BOUNDARY && type <= rec::TEXT) || type == rec::NODE || type == rec::BOX;
}

// One structure's records with its elements sorted.
Bytes sorted_elements(const std::vector<Bytes>& records) {
    std::vector<Bytes> elements;
    Bytes out;
    for (const Bytes& record : records) {
        if (starts_element(record[2])) {
            elements.emplace_back();
        }
        Bytes& into = elements.empty() || record[2] == rec::ENDSTR ? out : elements.back();
        if (record[2] == rec::ENDSTR) {
            std::sort(elements.begin(), elements.end());
            for (const Bytes& element : elements) {
                out.insert(out.end(), element.begin(), element.end());
            }
        }
        into.insert(into.end(), record.begin(), record.end());
    }
    return out;
}

// The library's own records, then every structure with its elements sorted, the structures
// sorted too. Only for streams the writer made.
std::vector<Bytes> normal_form(const Bytes& bytes) {
    std::vector<Bytes> library(1);
    std::vector<Bytes> structures;
    std::vector<Bytes> records;
    for (std::size_t at = 0; at + 4 <= bytes.size();) {
        const std::size_t end =
            std::min(bytes.size(), at + std::max<std::size_t>(bytes[at] << 8 | bytes[at + 1], 4));
        const Bytes record(bytes.begin() + at, bytes.begin() + end);
        at = end;
        if (record[2] == rec::BGNSTR || !records.empty()) {
            records.push_back(record);
        } else {
            library[0].insert(library[0].end(), record.begin(), record.end());
        }
        if (record[2] == rec::ENDSTR) {
            structures.push_back(sorted_elements(records));
            records.clear();
        }
    }
    std::sort(structures.begin(), structures.end());
    library.insert(library.end(), structures.begin(), structures.end());
    return library;
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
    QV_FUZZ_CHECK(rewritten && normal_form(*rewritten) == normal_form(*written));
    return 0;
}
