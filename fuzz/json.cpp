// A reference netlist that reads writes as a netlist text that reads back to the same cells. Only
// UTF-8 is fed, as lvs reads nothing else.

#include <cstddef>
#include <cstdint>

#include "base/utf8.hpp"
#include "fuzz.hpp"
#include "lvs/json.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    namespace lvs = quorvane_dsl::lvs;
    const std::string_view text = quorvane_fuzz::text_of(data, size);
    if (!quorvane_dsl::base::utf8::is_valid(text)) {
        return 0;
    }
    const auto cells = lvs::read_netlist(text);
    if (!cells) {
        return 0;
    }
    const auto again = lvs::read_netlist(lvs::netlist_text(*cells));
    QV_FUZZ_CHECK(again);
    QV_FUZZ_CHECK(*again == *cells);
    return 0;
}
