// SHA-256 digests, fed in pieces, and their hexadecimal text.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace quorvane_dsl::sha256 {

using Digest = std::array<std::uint8_t, 32>;

// FIPS 180-4 SHA-256, fed in pieces of any size.
class Sha256 {
  public:
    void update(std::string_view data);
    // Pads, compresses the last block and gives the digest; the state is spent afterwards.
    Digest finish();

  private:
    void compress();

    std::array<std::uint8_t, 64> block_{};
    std::array<std::uint32_t, 8> state_{0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                        0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
    std::uint64_t waiting_ = 0;
    std::uint64_t total_ = 0;
};

// 64 lower-case hexadecimal digits, no prefix.
std::string to_hex(const Digest& digest);

} // namespace quorvane_dsl::sha256
