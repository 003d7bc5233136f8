#include "commands.hpp"

#include "format.hpp"
#include "report.hpp"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace quorvane {

namespace {

// Carriage return and line feed pairs become line feeds; a lone carriage return stays.
std::string lf_text(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            continue;
        }
        out += text[i];
    }
    return out;
}

bool write_all(int fd, std::string_view text) {
    while (!text.empty()) {
        const ssize_t written = ::write(fd, text.data(), text.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        text.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

// Replaces the file as a whole: the new text goes to a temporary file beside it, which is
// then renamed over it, so a failed write never leaves the file half written. A symbolic
// link is followed, so the link stays and its target gets the new text. Returns the system's
// error code on failure.
std::optional<int> replace_file(const std::string& path, std::string_view text) {
    std::error_code error;
    const std::filesystem::path target = std::filesystem::canonical(path, error);
    if (error) {
        return error.value();
    }
    // The rename would replace even a file its owner made read-only; refuse as a plain write
    // would.
    struct stat status {};
    if (::stat(target.c_str(), &status) != 0 || ::access(target.c_str(), W_OK) != 0) {
        return errno;
    }
    const std::string temporary = target.string() + ".fmt-" + std::to_string(::getpid());
    const int fd =
        ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, status.st_mode & 07777);
    if (fd < 0) {
        return errno;
    }
    const bool written = write_all(fd, text) && ::fchmod(fd, status.st_mode & 07777) == 0;
    const int saved = errno;
    if (::close(fd) != 0 || !written) {
        const int reason = written ? errno : saved;
        ::unlink(temporary.c_str());
        return reason;
    }
    if (::rename(temporary.c_str(), target.c_str()) != 0) {
        const int reason = errno;
        ::unlink(temporary.c_str());
        return reason;
    }
    return std::nullopt;
}

} // namespace

Outcome fmt(Args args) {
    bool check = false;
    std::vector<std::string> files;
    for (const std::string& arg : args) {
        if (arg == "--check") {
            check = true;
        }
        if (!arg.starts_with("--")) {
            files.push_back(arg);
        }
    }
    if (files.empty()) {
        return Error{"fmt needs at least one file"};
    }
    bool failed = false;
    for (const std::string& path : files) {
        std::expected<std::string, std::string> content = read(path);
        if (!content) {
            return Error{content.error()};
        }
        const std::string text = lf_text(*content);
        const auto formatted = quorvane_dsl::format::format(text);
        if (!formatted) {
            print_syntax_errors(path, text, formatted.error());
            failed = true;
            continue;
        }
        if (*formatted == text) {
            continue;
        }
        if (check) {
            std::cout << path << " needs formatting\n";
            failed = true;
            continue;
        }
        if (const std::optional<int> code = replace_file(path, *formatted)) {
            return Error{"writing " + path + ": " + system_error_text(*code)};
        }
        std::cout << "formatted " << path << '\n';
    }
    return failed ? Outcome{Fail{}} : Outcome{Pass{}};
}

} // namespace quorvane
