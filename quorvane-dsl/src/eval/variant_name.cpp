#include "eval/variant_name.hpp"

namespace quorvane_dsl::eval {

std::uint32_t key_hash(std::string_view key) {
    // The low halves of the 64-bit offset basis and prime; the product's low 32 bits depend
    // on nothing else, so this is the 64-bit hash truncated.
    std::uint32_t h = 0x84222325u;
    for (const char c : key) {
        h = (h ^ static_cast<unsigned char>(c)) * 0x1b3u;
    }
    return h;
}

std::string variant_name(std::string_view name, std::string_view key) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string result(name);
    result += '$';
    const std::uint32_t h = key_hash(key);
    for (int shift = 28; shift >= 0; shift -= 4) {
        result += digits[(h >> shift) & 0xF];
    }
    return result;
}

} // namespace quorvane_dsl::eval
