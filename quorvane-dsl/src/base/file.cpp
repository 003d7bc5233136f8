#include "base/file.hpp"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/utf8.hpp"
#include "source/source.hpp"

namespace quorvane_dsl::base {
namespace {

// Closes the descriptor when the scope ends.
struct Descriptor {
    int fd = -1;
    ~Descriptor() {
        if (fd >= 0) {
            ::close(fd);
        }
    }
};

} // namespace

std::string system_error_text(int code) {
    return std::string(std::strerror(code)) + " (os error " + std::to_string(code) + ")";
}

std::expected<std::vector<std::uint8_t>, std::string> read_file(const std::string& path) {
    Descriptor file{::open(path.c_str(), O_RDONLY | O_CLOEXEC)};
    struct stat info {};
    if (file.fd < 0 || ::fstat(file.fd, &info) != 0) {
        return std::unexpected(system_error_text(errno));
    }
    // Read straight into place; the spare byte shows a file that grew meanwhile.
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(std::max<off_t>(info.st_size, 0)) + 1);
    std::size_t filled = 0;
    for (;;) {
        if (filled == bytes.size()) {
            bytes.resize(bytes.size() * 2);
        }
        const ssize_t count = ::read(file.fd, bytes.data() + filled, bytes.size() - filled);
        if (count < 0) {
            if (errno == EINTR) {
                continue;
            }
            return std::unexpected(system_error_text(errno));
        }
        if (count == 0) {
            bytes.resize(filled);
            return bytes;
        }
        filled += static_cast<std::size_t>(count);
    }
}

std::expected<std::string, std::string> read_text_file(const std::string& path) {
    auto bytes = read_file(path);
    if (!bytes) {
        return std::unexpected(bytes.error());
    }
    if (bytes->size() >= source::max_text_size) {
        return std::unexpected("file is too large");
    }
    std::string text(bytes->begin(), bytes->end());
    if (!utf8::is_valid(text)) {
        return std::unexpected("stream did not contain valid UTF-8");
    }
    return text;
}

} // namespace quorvane_dsl::base
