// Formatted text parses cleanly and is already in its canonical layout.

#include <cstddef>
#include <cstdint>

#include "format.hpp"
#include "fuzz.hpp"
#include "syntax/parser.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto formatted = quorvane_dsl::format::format(quorvane_fuzz::text_of(data, size));
    if (!formatted) {
        return 0;
    }
    QV_FUZZ_CHECK(quorvane_dsl::syntax::parser::parse(*formatted).errors.empty());
    const auto again = quorvane_dsl::format::format(*formatted);
    QV_FUZZ_CHECK(again && *again == *formatted);
    return 0;
}
