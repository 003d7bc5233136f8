#include "report.hpp"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <iostream>
#include <unistd.h>

#include "diag.hpp"
#include "source.hpp"
#include "syntax/utf8.hpp"

namespace quorvane {

std::string system_error_text(int code) {
    return std::string(std::strerror(code)) + " (os error " + std::to_string(code) + ")";
}

namespace {

std::expected<std::string, int> read_bytes(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return std::unexpected(errno);
    }
    std::string bytes;
    char buffer[1 << 16];
    for (;;) {
        const ssize_t count = ::read(fd, buffer, sizeof buffer);
        if (count < 0) {
            if (errno == EINTR) {
                continue;
            }
            const int code = errno;
            ::close(fd);
            return std::unexpected(code);
        }
        if (count == 0) {
            break;
        }
        bytes.append(buffer, static_cast<std::size_t>(count));
    }
    ::close(fd);
    return bytes;
}

} // namespace

std::expected<std::string, std::string> read(const std::string& path) {
    std::expected<std::string, int> bytes = read_bytes(path);
    if (!bytes) {
        return std::unexpected("reading " + path + ": " + system_error_text(bytes.error()));
    }
    if (bytes->size() >= quorvane_dsl::source::max_text_size) {
        return std::unexpected("reading " + path + ": file is too large");
    }
    if (!quorvane_dsl::syntax::utf8::is_valid(*bytes)) {
        return std::unexpected("reading " + path + ": stream did not contain valid UTF-8");
    }
    return std::move(*bytes);
}

void print_syntax_errors(const std::string& path, std::string_view text,
                         std::span<const quorvane_dsl::syntax::SyntaxError> errors) {
    namespace diag = quorvane_dsl::diag;
    quorvane_dsl::source::Files files;
    const quorvane_dsl::source::FileId file = files.add(path, std::string(text));
    for (const auto& error : errors) {
        const diag::Diagnostic diagnostic{.message = error.message,
                                          .notes = {},
                                          .src = {error.range, file},
                                          .severity = diag::Severity::Error};
        std::cerr << diag::render(files.files, diagnostic);
    }
}

} // namespace quorvane
