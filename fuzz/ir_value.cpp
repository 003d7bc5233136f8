// A value literal that reads writes back, unless it holds a number without a literal, as a literal
// that reads to the same text.

#include <cstddef>
#include <cstdint>

#include "fuzz.hpp"
#include "ir/value.hpp"

using quorvane_dsl::ir::Value;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto value = Value::parse_literal(quorvane_fuzz::text_of(data, size));
    // Huge decimals read as infinity, which has no literal.
    if (!value || quorvane_dsl::ir::unwritable_number(*value)) {
        return 0;
    }
    const std::string literal = value->to_literal();
    const auto again = Value::parse_literal(literal);
    QV_FUZZ_CHECK(again);
    QV_FUZZ_CHECK(again->to_literal() == literal);
    return 0;
}
