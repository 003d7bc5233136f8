// Small exact readers for the fixed fields of IR text.
#pragma once

// Small readers for the fixed fields of IR text. They accept exactly the forms the format
// allows (an optional sign, digits, no overflow) and answer nothing otherwise.

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace quorvane_dsl::ir::scan {

// The runs of text between runs of Unicode white space.
std::vector<std::string_view> fields(std::string_view text);

std::optional<std::int64_t> read_i64(std::string_view text);
std::optional<std::int32_t> read_i32(std::string_view text);
// Unsigned: an optional "+" but never a "-".
std::optional<std::uint32_t> read_u32(std::string_view text);
std::optional<std::uint64_t> read_u64(std::string_view text);
// The standard decimal floating-point text: sign, digits, fraction, exponent, or inf, infinity
// and nan in any letter case.
std::optional<double> read_f64(std::string_view text);

} // namespace quorvane_dsl::ir::scan
