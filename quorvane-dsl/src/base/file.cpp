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

std::string system_error_text(int code) {
    return std::string(std::strerror(code)) + " (os error " + std::to_string(code) + ")";
}

std::expected<std::vector<std::uint8_t>, std::string> read_file(const std::string& path) {
    // The system would read the path only up to a NUL, which is another file than the one named.
    if (path.find('\0') != std::string::npos) {
        return std::unexpected("the path contains a NUL character");
    }
    // Opening does not wait for a pipe's writer; only a regular file is read, since a device or
    // a pipe may never end.
    Descriptor file{::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK)};
    struct stat info {};
    if (file.fd < 0 || ::fstat(file.fd, &info) != 0) {
        return std::unexpected(system_error_text(errno));
    }
    if (S_ISDIR(info.st_mode)) {
        return std::unexpected(system_error_text(EISDIR));
    }
    if (!S_ISREG(info.st_mode)) {
        return std::unexpected("not a regular file");
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
