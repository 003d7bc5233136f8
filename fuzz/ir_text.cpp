// An IR text that reads and prints is printed in a form that reads back to the same text.

#include <cstddef>
#include <cstdint>

#include "fuzz.hpp"
#include "ir.hpp"

namespace ir = quorvane_dsl::ir;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto library = ir::parse(quorvane_fuzz::text_of(data, size));
    if (!library) {
        return 0;
    }
    const auto printed = ir::print(*library);
    if (!printed) {
        return 0;
    }
    const auto again = ir::parse(*printed);
    QV_FUZZ_CHECK(again);
    const auto reprinted = ir::print(*again);
    QV_FUZZ_CHECK(reprinted && *reprinted == *printed);
    return 0;
}
