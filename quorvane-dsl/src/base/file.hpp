// Reading whole files, with the reasons of failure as users of the tool know them.
#pragma once

#include <cstdint>
#include <expected>
#include <span>
#include <string>
#include <utility>
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

// A regular file's bytes, mapped read-only where the system allows: reading a large file then
// costs neither a copy nor fresh memory to clear. Where it does not (one mapping is already
// open, or the file system cannot map), the bytes are read. Should another process shorten a
// mapped file meanwhile, the process ends with "error: reading <path>: the file was shortened
// while it was read" and exit status 2 rather than a crash.
class FileBytes {
  public:
    // The whole regular file, or the reason it cannot be read.
    static std::expected<FileBytes, std::string> open(const std::string& path);
    explicit FileBytes(std::vector<std::uint8_t> bytes) : read_(std::move(bytes)) {}
    FileBytes(FileBytes&& other) noexcept;
    FileBytes& operator=(FileBytes&& other) noexcept;
    ~FileBytes() { release(); }

    std::span<const std::uint8_t> bytes() const;
    // Frees the bytes now; they are empty afterwards.
    void release();

  private:
    FileBytes() = default;
    const std::uint8_t* mapped_ = nullptr;
    std::size_t mapped_size_ = 0;
    std::vector<std::uint8_t> read_;
};

// The whole file as text, or the reason: unreadable, too large for 32-bit offsets, or not valid
// UTF-8.
std::expected<std::string, std::string> read_text_file(const std::string& path);

} // namespace quorvane_dsl::base
