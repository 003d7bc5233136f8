// A value literal that reads writes back as a literal that reads to the same text.

#include <cstddef>
#include <cstdint>

#include "fuzz.hpp"
#include "ir/value.hpp"

using quorvane_dsl::ir::Value;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto value = Value::parse_literal(quorvane_fuzz::text_of(data, size));
    if (!value) {
        return 0;
    }
    const std::string literal = value->to_literal();
    const auto again = Value::parse_literal(literal);
    QV_FUZZ_CHECK(again);
    QV_FUZZ_CHECK(again->to_literal() == literal);
    return 0;
}
