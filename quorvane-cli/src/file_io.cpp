#include "file_io.hpp"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <memory>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/file.hpp"

namespace quorvane {

namespace {

using quorvane_dsl::base::Descriptor;

bool write_all(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

std::string temporary_beside(const std::string& path, unsigned attempt) {
    const std::size_t slash = path.rfind('/');
    const std::string dir = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    return dir + "." + name + ".partial-" + std::to_string(::getpid()) + "-" +
           std::to_string(attempt);
}

// The temporary being written, for a signal handler to remove: a killed write must not leave
// a copy of the output behind for ever. Only async-signal-safe state.
char pending_temporary[PATH_MAX];
volatile std::sig_atomic_t temporary_pending = 0;

extern "C" void remove_temporary_and_stop(int signal) {
    if (temporary_pending != 0) {
        ::unlink(pending_temporary);
    }
    ::signal(signal, SIG_DFL);
    ::raise(signal);
}

void watch_temporary(const std::string& temporary) {
    static const bool installed = [] {
        for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
            struct sigaction action {};
            action.sa_handler = remove_temporary_and_stop;
            ::sigemptyset(&action.sa_mask);
            ::sigaction(signal, &action, nullptr);
        }
        return true;
    }();
    (void)installed;
    if (temporary.size() < sizeof pending_temporary) {
        std::memcpy(pending_temporary, temporary.c_str(), temporary.size() + 1);
        temporary_pending = 1;
    }
}

void unwatch_temporary() {
    temporary_pending = 0;
}

// Temporaries beside the file left by writers that no longer run (killed by a signal that
// cannot be caught) are removed; those of running processes are theirs.
void remove_stale_temporaries(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    const std::string prefix =
        "." + (slash == std::string::npos ? path : path.substr(slash + 1)) + ".partial-";
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(dir, error)) {
        const std::string name = entry.path().filename().string();
        if (!name.starts_with(prefix)) {
            continue;
        }
        const std::string_view rest = std::string_view(name).substr(prefix.size());
        pid_t pid = 0;
        const auto [end, code] = std::from_chars(rest.data(), rest.data() + rest.size(), pid);
        if (code == std::errc{} && pid > 0 && end != rest.data() + rest.size() && *end == '-' &&
            ::kill(pid, 0) != 0 && errno == ESRCH) {
            ::unlink(entry.path().c_str());
        }
    }
}

// A fresh temporary beside the file. The name is predictable, so it is created exclusively and
// never through a link: whatever someone put there under that name is neither followed nor
// overwritten; the next name is tried instead.
int create_temporary(const std::string& path, std::string& temporary) {
    constexpr unsigned attempts = 64;
    for (unsigned attempt = 0; attempt < attempts; ++attempt) {
        temporary = temporary_beside(path, attempt);
        const int fd =
            ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) {
            return fd;
        }
    }
    return -1;
}

} // namespace

std::expected<std::vector<std::uint8_t>, std::string> read_bytes(const std::string& path) {
    auto bytes = quorvane_dsl::base::read_file(path);
    if (!bytes) {
        return std::unexpected("reading " + path + ": " + bytes.error());
    }
    return bytes;
}

std::expected<std::string, std::string> read(const std::string& path) {
    auto text = quorvane_dsl::base::read_text_file(path);
    if (!text) {
        return std::unexpected("reading " + path + ": " + text.error());
    }
    return text;
}

namespace {

// Something that is no regular file (a device such as /dev/null, a pipe, a directory) or a
// link to nothing is written in place, as a plain write would: renaming a temporary over it
// would replace the device or the link itself.
int write_in_place(const std::string& path, std::string_view bytes) {
    Descriptor file{::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666)};
    if (file.fd < 0 || !write_all(file.fd, bytes)) {
        return errno;
    }
    return 0;
}

bool same_owner(int fd, const struct stat& existing) {
    struct stat info {};
    return ::fstat(fd, &info) == 0 && info.st_uid == existing.st_uid &&
           info.st_gid == existing.st_gid;
}

// The bytes go to a temporary beside the file, which then replaces it with the mode the file
// had; a file that may not be written is refused as a plain write would refuse it.
int replace_file(const std::string& path, std::string_view bytes, const struct stat* existing) {
    if (existing && ::access(path.c_str(), W_OK) != 0) {
        return errno;
    }
    remove_stale_temporaries(path);
    std::string temporary;
    int code = 0;
    {
        Descriptor file{create_temporary(path, temporary)};
        if (file.fd < 0) {
            // Nothing of ours to clean up: the name may belong to someone else.
            return errno;
        }
        watch_temporary(temporary);
        if (!write_all(file.fd, bytes) ||
            (existing && ::fchmod(file.fd, existing->st_mode & 07777) != 0)) {
            code = errno;
        }
        // The owner keeps the file; one we may not give it to (we are neither root nor its
        // owner) is written in place instead.
        if (code == 0 && existing && !same_owner(file.fd, *existing) &&
            ::fchown(file.fd, existing->st_uid, existing->st_gid) != 0) {
            ::unlink(temporary.c_str());
            unwatch_temporary();
            return write_in_place(path, bytes);
        }
    }
    if (code == 0 && std::rename(temporary.c_str(), path.c_str()) != 0) {
        code = errno;
    }
    if (code != 0) {
        ::unlink(temporary.c_str());
    }
    unwatch_temporary();
    return code;
}

int write_file(const std::string& path, std::string_view bytes) {
    struct stat info {};
    const bool exists = ::stat(path.c_str(), &info) == 0;
    // A file with other names would lose them to a rename; it is written in place.
    if (path.ends_with('/') || (exists && (!S_ISREG(info.st_mode) || info.st_nlink > 1))) {
        return write_in_place(path, bytes);
    }
    struct stat link {};
    if (::lstat(path.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
        // A link keeps pointing where it did; the file it names is what gets replaced.
        std::unique_ptr<char, decltype(&std::free)> target(::realpath(path.c_str(), nullptr),
                                                           &std::free);
        if (!exists || !target) {
            return write_in_place(path, bytes);
        }
        return replace_file(target.get(), bytes, &info);
    }
    return replace_file(path, bytes, exists ? &info : nullptr);
}

} // namespace

bool is_standard_output(const std::string& path) {
    if (path == "-") {
        return true;
    }
    struct stat target {};
    struct stat out {};
    return ::stat(path.c_str(), &target) == 0 && ::fstat(STDOUT_FILENO, &out) == 0 &&
           target.st_dev == out.st_dev && target.st_ino == out.st_ino;
}

std::expected<void, std::string> write_standard_output(std::string_view bytes) {
    std::cout.flush();
    if (!std::cout || !write_all(STDOUT_FILENO, bytes)) {
        return std::unexpected("writing standard output: " + system_error_text(errno));
    }
    return {};
}

std::expected<void, std::string> write_whole_file(const std::string& path, std::string_view bytes) {
    // Standard output is written where it stands: appended to when opened for appending, and
    // never replaced by a rename.
    if (is_standard_output(path)) {
        return write_standard_output(bytes);
    }
    if (const int code = write_file(path, bytes); code != 0) {
        return std::unexpected("writing " + path + ": " + system_error_text(code));
    }
    return {};
}

} // namespace quorvane
