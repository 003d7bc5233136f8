// An imported stream converts back to a layout without crashing, and its IR text, when it prints
// and its names are ones the text can carry, reads back and prints the same.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "fuzz.hpp"
#include "ir.hpp"
#include "ir_names.hpp"
#include "lib.hpp"
#include "read.hpp"

namespace ir = quorvane_dsl::ir;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto imported = quorvane_dsl_gds::read::read_gds(std::vector(data, data + size));
    if (!imported) {
        return 0;
    }
    const auto exported = quorvane_dsl_gds::to_layout(imported->library);
    const auto printed = ir::print(imported->library);
    if (!printed || !quorvane_fuzz::names_read_back(imported->library)) {
        return 0;
    }
    const auto again = ir::parse(*printed);
    QV_FUZZ_CHECK(again);
    const auto reprinted = ir::print(*again);
    QV_FUZZ_CHECK(reprinted && *reprinted == *printed);
    return 0;
}
