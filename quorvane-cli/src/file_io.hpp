#pragma once

#include <cstdint>
#include <expected>
#include <span>
#include <string>
#include <vector>

namespace quorvane {

// The whole file, or "reading <path>: <system error>".
std::expected<std::vector<std::uint8_t>, std::string> read_bytes(const std::string& path);

// Creates or replaces the file with exactly these bytes, or fails with
// "writing <path>: <system error>". A regular file is replaced through a temporary beside it
// that is renamed over it (keeping its mode), so a failed write never leaves a half-written file
// behind; a link is followed to its file, and a device or pipe is written in place.
std::expected<void, std::string> write_whole_file(const std::string& path,
                                                  std::span<const std::uint8_t> bytes);

} // namespace quorvane
