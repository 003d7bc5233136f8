// Reading whole files, with the reasons of failure as users of the tool know them.
#pragma once

#include <cstdint>
#include <expected>
#include <string>
#include <vector>

#include <unistd.h>

namespace quorvane_dsl::base {

// Closes the descriptor when the scope ends.
struct Descriptor {
    int fd = -1;
    Descriptor() = default;
    explicit Descriptor(int fd) : fd(fd) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() {
        if (fd >= 0) {
            ::close(fd);
        }
    }
};

// An operating-system error: "No such file or directory (os error 2)".
std::string system_error_text(int code);

// The whole regular file, or the reason it cannot be read.
std::expected<std::vector<std::uint8_t>, std::string> read_file(const std::string& path);

// The whole file as text, or the reason: unreadable, too large for 32-bit offsets, or not valid
// UTF-8.
std::expected<std::string, std::string> read_text_file(const std::string& path);

} // namespace quorvane_dsl::base
