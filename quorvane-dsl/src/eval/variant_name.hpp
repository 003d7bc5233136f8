// The name of a cell variant whose parameters differ from the defaults.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quorvane_dsl::eval {

// The low 32 bits of the 64-bit FNV-1a hash of `key`.
std::uint32_t key_hash(std::string_view key);

// `name`, "$" and the key's hash as 8 lower-case hexadecimal digits.
std::string variant_name(std::string_view name, std::string_view key);

} // namespace quorvane_dsl::eval
