#include "report.hpp"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <iostream>
#include <unistd.h>

#include "diag.hpp"
#include "source.hpp"

namespace quorvane {
namespace {

std::string system_error_text(int code) {
    return std::string(std::strerror(code)) + " (os error " + std::to_string(code) + ")";
}

// Well-formed UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool is_valid_utf8(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        if (lead < 0x80) {
            ++i;
            continue;
        }
        std::size_t length = 0;
        unsigned char low = 0x80;
        unsigned char high = 0xBF;
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            low = lead == 0xE0 ? 0xA0 : 0x80;
            high = lead == 0xED ? 0x9F : 0xBF;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            low = lead == 0xF0 ? 0x90 : 0x80;
            high = lead == 0xF4 ? 0x8F : 0xBF;
        } else {
            return false;
        }
        if (i + length > text.size()) {
            return false;
        }
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            const unsigned char min = k == 1 ? low : 0x80;
            const unsigned char max = k == 1 ? high : 0xBF;
            if (next < min || next > max) {
                return false;
            }
        }
        i += length;
    }
    return true;
}

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
    if (!is_valid_utf8(*bytes)) {
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
