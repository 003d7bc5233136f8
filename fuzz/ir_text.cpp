// An IR text that reads has the places of its cell names right, and when it prints, it is printed
// in a form that reads back to the same text.

#include <cstddef>
#include <cstdint>

#include "fuzz.hpp"
#include "ir/ir.hpp"
#include "ir_round_trip.hpp"

namespace ir = quorvane_dsl::ir;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text = quorvane_fuzz::text_of(data, size);
    const auto parsed = ir::parse_with_spans(text);
    if (!parsed) {
        return 0;
    }
    const ir::Library& library = parsed->library;
    QV_FUZZ_CHECK(parsed->spans.size() == library.cells.size());
    for (std::size_t i = 0; i < library.cells.size(); ++i) {
        const ir::Span span = parsed->spans[i];
        QV_FUZZ_CHECK(span.end <= text.size() &&
                      text.substr(span.start, span.end - span.start) == library.cells[i].name);
    }
    const auto printed = ir::print(library);
    if (!printed) {
        return 0;
    }
    quorvane_fuzz::check_reads_back(library, *printed);
    return 0;
}
