#include "file_io.hpp"

#include <algorithm>
#include <array>
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
#include <optional>

#include <fcntl.h>
#include <sys/resource.h>
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

constexpr std::string_view temporary_mark = ".partial-";

// `.NAME.partial-PID-N` beside the file, with NAME cut short where the whole would be longer than
// a file name may be: every name the file system takes is written through its temporary.
std::string temporary_beside(const std::string& path, unsigned attempt) {
    const std::size_t slash = path.rfind('/');
    const std::string dir = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const std::string tail =
        std::string(temporary_mark) + std::to_string(::getpid()) + "-" + std::to_string(attempt);
    return dir + "." + name.substr(0, NAME_MAX - 1 - tail.size()) + tail;
}

// Whether `entry` is a temporary of the file `name` by its form, and the process that made it.
std::optional<pid_t> temporary_writer(std::string_view entry, std::string_view name) {
    const std::size_t mark = entry.rfind(temporary_mark);
    // The file's name, cut short or not, stands between the dot and the mark: `.partial-1-0`
    // beside a file `partial-1-0` is someone else's.
    if (!entry.starts_with('.') || mark == std::string_view::npos || mark < 2) {
        return std::nullopt;
    }
    const std::string_view stem = entry.substr(1, mark - 1);
    // A name cut short fills the longest file name exactly.
    const bool cut =
        entry.size() == NAME_MAX && stem.size() < name.size() && name.starts_with(stem);
    if (stem != name && !cut) {
        return std::nullopt;
    }
    const std::string_view rest = entry.substr(mark + temporary_mark.size());
    pid_t pid = 0;
    const auto [end, code] = std::from_chars(rest.data(), rest.data() + rest.size(), pid);
    if (code != std::errc{} || pid <= 0 || end == rest.data() + rest.size() || *end != '-') {
        return std::nullopt;
    }
    // The form to its last character: a file of someone else's that only begins like one stays.
    const std::string_view attempt(end + 1, rest.data() + rest.size());
    const auto digit = [](char c) { return c >= '0' && c <= '9'; };
    if (attempt.empty() || !std::ranges::all_of(attempt, digit)) {
        return std::nullopt;
    }
    return pid;
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
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(dir, error)) {
        const auto writer = temporary_writer(entry.path().filename().string(), name);
        if (writer && ::kill(*writer, 0) != 0 && errno == ESRCH) {
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

std::expected<quorvane_dsl::base::FileBytes, std::string> read_bytes(const std::string& path) {
    auto bytes = quorvane_dsl::base::FileBytes::open(path);
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

std::string_view as_text(std::span<const std::uint8_t> bytes) {
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

std::unexpected<std::string> write_error(const std::string& path, int code) {
    return std::unexpected("writing " + path + ": " + system_error_text(code));
}

// The whole of what the producer makes, for a target that must not see part of it; kept in
// its pieces, since one text growing by doubling would take about twice the room.
using Pieces = std::vector<std::string>;

std::expected<Pieces, std::string> collect(const Produce& produce) {
    Pieces pieces;
    auto produced =
        produce([&](std::span<const std::uint8_t> piece) { pieces.emplace_back(as_text(piece)); });
    if (!produced) {
        return std::unexpected(std::move(produced.error()));
    }
    return pieces;
}

// A write that failed before the producer ran: the producer's own error wins, since it would
// have come first had the bytes been made before the file was touched.
std::expected<void, std::string> fail_after(const Produce& produce, const std::string& path,
                                            int code) {
    if (auto produced = produce([](std::span<const std::uint8_t>) {}); !produced) {
        return produced;
    }
    return write_error(path, code);
}

std::size_t total_size(std::span<const std::string_view> pieces) {
    std::size_t size = 0;
    for (const std::string_view piece : pieces) {
        size += piece.size();
    }
    return size;
}

// The bytes a regular file can still take from offset `at` under the file size limit; nothing
// when no limit holds.
std::optional<std::size_t> room_under_file_size_limit(off_t at) {
    struct rlimit limit {};
    if (::getrlimit(RLIMIT_FSIZE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) {
        return std::nullopt;
    }
    const auto from = static_cast<rlim_t>(std::max<off_t>(at, 0));
    return from >= limit.rlim_cur ? 0 : static_cast<std::size_t>(limit.rlim_cur - from);
}

// Whether the bytes would take an emptied regular file past the file size limit.
bool beyond_file_size_limit(std::span<const std::string_view> pieces) {
    const auto room = room_under_file_size_limit(0);
    return room && total_size(pieces) > *room;
}

// The error that making `path` would give, else "File too large": the empty file made to find
// out is taken away again. A link to nothing stays as it was.
std::unexpected<std::string> refuse_new_file(const std::string& path) {
    const Descriptor probe{::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666)};
    if (probe.fd < 0 && errno != EEXIST) {
        return write_error(path, errno);
    }
    if (probe.fd >= 0) {
        ::unlink(path.c_str());
    }
    return write_error(path, EFBIG);
}

// Something that is no regular file (a device such as /dev/null, a pipe, a directory) or a
// link to nothing is written in place, as a plain write would: renaming a temporary over it
// would replace the device or the link itself. A write past the file size limit would stop
// there with the file emptied, so a regular file is emptied only once the bytes are known to fit.
std::expected<void, std::string> write_in_place(const std::string& path,
                                                std::span<const std::string_view> pieces) {
    const bool too_large = beyond_file_size_limit(pieces);
    Descriptor file{::open(path.c_str(), O_WRONLY | O_CLOEXEC)};
    if (file.fd < 0) {
        if (errno != ENOENT) {
            return write_error(path, errno);
        }
        // A name that does not exist yet becomes a regular file.
        if (too_large) {
            return refuse_new_file(path);
        }
        file.fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        if (file.fd < 0) {
            return write_error(path, errno);
        }
    } else if (struct stat info{}; ::fstat(file.fd, &info) != 0) {
        return write_error(path, errno);
    } else if (S_ISREG(info.st_mode)) {
        if (too_large) {
            return write_error(path, EFBIG);
        }
        if (::ftruncate(file.fd, 0) != 0) {
            return write_error(path, errno);
        }
    }
    for (const std::string_view piece : pieces) {
        if (!write_all(file.fd, piece)) {
            return write_error(path, errno);
        }
    }
    return {};
}

// Nothing reaches a target written in place before the producer has made it all.
std::expected<void, std::string> write_in_place(const std::string& path, const Produce& produce) {
    auto pieces = collect(produce);
    if (!pieces) {
        return std::unexpected(std::move(pieces.error()));
    }
    const std::vector<std::string_view> views(pieces->begin(), pieces->end());
    return write_in_place(path, views);
}

bool same_owner(int fd, const struct stat& existing) {
    struct stat info {};
    return ::fstat(fd, &info) == 0 && info.st_uid == existing.st_uid &&
           info.st_gid == existing.st_gid;
}

// How much written data the temporary may hold before its writeback is started.
constexpr std::size_t writeback_bytes = std::size_t{16} << 20;

// Takes the pieces into the temporary as they come; after a failed write the rest is still
// made and dropped, so that the producer's own error is not hidden.
struct TemporarySink {
    int fd = -1;
    int code = 0; // the first failure
    std::size_t written = 0;
    std::size_t queued = 0; // bytes whose writeback has been started

    void take(std::span<const std::uint8_t> piece) {
        if (code == 0 && !write_all(fd, as_text(piece))) {
            code = errno;
        }
        written += piece.size();
        // ext4 writes a temporary back whole when it is renamed over an existing file, and the
        // rename waited for that (a fifth of a 90 MB copy's time); started as the data comes,
        // the writeback runs beside the encoding instead. Only advice: failures are ignored.
        if (code == 0 && written - queued >= writeback_bytes) {
            ::sync_file_range(fd, static_cast<off_t>(queued), static_cast<off_t>(written - queued),
                              SYNC_FILE_RANGE_WRITE);
            queued = written;
        }
    }
};

// Where the bytes go: written in place, or replacing the regular file `replaced` (a link's
// target for a link), which exists when `existing` is set.
struct Target {
    bool in_place = false;
    std::string replaced;
    std::optional<struct stat> existing;
};

Target target_of(const std::string& path) {
    struct stat info {};
    const bool exists = ::stat(path.c_str(), &info) == 0;
    // A file with other names would lose them to a rename; it is written in place.
    if (path.ends_with('/') || (exists && (!S_ISREG(info.st_mode) || info.st_nlink > 1))) {
        return {.in_place = true, .replaced = {}, .existing = std::nullopt};
    }
    struct stat link {};
    if (::lstat(path.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
        // A link keeps pointing where it did; the file it names is what gets replaced.
        std::unique_ptr<char, decltype(&std::free)> target(::realpath(path.c_str(), nullptr),
                                                           &std::free);
        if (!exists || !target) {
            return {.in_place = true, .replaced = {}, .existing = std::nullopt};
        }
        return {.in_place = false, .replaced = target.get(), .existing = info};
    }
    return {.in_place = false,
            .replaced = path,
            .existing = exists ? std::optional<struct stat>(info) : std::nullopt};
}

// The bytes go to a temporary beside the file, which then replaces it with the mode and owner
// the file had; a file that may not be written is refused as a plain write would refuse it.
// Failures name the file as `named` was given.
std::expected<void, std::string> replace_file(const std::string& named, const Target& target,
                                              const Produce& produce) {
    const std::string& path = target.replaced;
    const struct stat* existing = target.existing ? &*target.existing : nullptr;
    if (existing && ::access(path.c_str(), W_OK) != 0) {
        return fail_after(produce, named, errno);
    }
    remove_stale_temporaries(path);
    std::string temporary;
    TemporarySink sink;
    std::expected<void, std::string> produced;
    {
        Descriptor file{create_temporary(path, temporary)};
        if (file.fd < 0) {
            // Nothing of ours to clean up: the name may belong to someone else.
            return fail_after(produce, named, errno);
        }
        watch_temporary(temporary);
        sink.fd = file.fd;
        if (existing && ::fchmod(file.fd, existing->st_mode & 07777) != 0) {
            sink.code = errno;
        }
        // The owner keeps the file; one we may not give it to (we are neither root nor its
        // owner) is written in place instead.
        if (sink.code == 0 && existing && !same_owner(file.fd, *existing) &&
            ::fchown(file.fd, existing->st_uid, existing->st_gid) != 0) {
            ::unlink(temporary.c_str());
            unwatch_temporary();
            return write_in_place(named, produce);
        }
        try {
            produced = produce([&](std::span<const std::uint8_t> piece) { sink.take(piece); });
        } catch (...) {
            // Running out of memory while encoding is reported further up; the part written
            // must not stay behind.
            ::unlink(temporary.c_str());
            unwatch_temporary();
            throw;
        }
    }
    if (produced && sink.code == 0 && std::rename(temporary.c_str(), path.c_str()) != 0) {
        sink.code = errno;
    }
    if (!produced || sink.code != 0) {
        ::unlink(temporary.c_str());
    }
    unwatch_temporary();
    if (!produced) {
        return produced;
    }
    if (sink.code != 0) {
        return write_error(named, sink.code);
    }
    return {};
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

namespace {

std::unexpected<std::string> standard_output_error(int code) {
    return std::unexpected("writing standard output: " + system_error_text(code));
}

// The bytes standard output can still take when it is a regular file under a file size limit:
// a file would keep the part written before the limit stopped it, so what goes there is measured
// first. Nothing when it is anything else, or no limit holds.
std::optional<std::size_t> standard_output_room() {
    struct stat out {};
    if (::fstat(STDOUT_FILENO, &out) != 0 || !S_ISREG(out.st_mode)) {
        return std::nullopt;
    }
    const bool appending = (::fcntl(STDOUT_FILENO, F_GETFL) & O_APPEND) != 0;
    return room_under_file_size_limit(appending ? out.st_size
                                                : ::lseek(STDOUT_FILENO, 0, SEEK_CUR));
}

// The pieces on standard output whole or, where it is a file they would take past the file size
// limit, not at all: 0, or the error that stopped them.
int write_checked(std::span<const std::string_view> pieces) {
    if (const auto room = standard_output_room(); room && total_size(pieces) > *room) {
        return EFBIG;
    }
    for (const std::string_view piece : pieces) {
        if (!write_all(STDOUT_FILENO, piece)) {
            return errno;
        }
    }
    return 0;
}

// What is printed on std::cout goes out through the same checks, and the error that stopped it
// is kept: errno is long gone, or belongs to another thread, by the time the stream is looked at.
class CheckedOutputBuffer final : public std::streambuf {
  public:
    CheckedOutputBuffer() { setp(space.data(), space.data() + space.size()); }

    int failure = 0;
    // Returned as a command's error already, and not to be said again at exit.
    bool reported = false;

  protected:
    // A full buffer goes out up to its last line and keeps the rest: a write that the file size
    // limit refuses then leaves no line cut short before it.
    int_type overflow(int_type next) override {
        const std::string_view held = pending();
        const std::size_t line_end = held.rfind('\n');
        const std::size_t lines = line_end == std::string_view::npos ? held.size() : line_end + 1;
        if (emit(held.substr(0, lines)) != 0) {
            return traits_type::eof();
        }
        const std::size_t kept = held.size() - lines;
        std::memmove(space.data(), held.data() + lines, kept);
        setp(space.data(), space.data() + space.size());
        pbump(static_cast<int>(kept));
        if (!traits_type::eq_int_type(next, traits_type::eof())) {
            *pptr() = traits_type::to_char_type(next);
            pbump(1);
        }
        return traits_type::not_eof(next);
    }

    int sync() override {
        const std::string_view held = pending();
        setp(space.data(), space.data() + space.size());
        return emit(held);
    }

  private:
    std::string_view pending() const {
        return {pbase(), static_cast<std::size_t>(pptr() - pbase())};
    }

    int emit(std::string_view bytes) {
        if (failure == 0 && !bytes.empty()) {
            failure = write_checked(std::span(&bytes, 1));
        }
        return failure == 0 ? 0 : -1;
    }

    std::array<char, std::size_t{64} << 10> space{};
};

// Never destroyed: the standard streams are flushed once more after static objects are gone.
CheckedOutputBuffer* const printed_output = new CheckedOutputBuffer;

// Only a failed write is expected to fail the stream; anything else is said as an input/output
// error rather than as the success that errno may hold by then.
std::unexpected<std::string> printed_output_error() {
    printed_output->reported = true;
    return standard_output_error(printed_output->failure != 0 ? printed_output->failure : EIO);
}

} // namespace

void check_printed_output() {
    std::cout.rdbuf(printed_output);
    // A terminal shows each line as it is printed, as the C library's line buffering did.
    if (::isatty(STDOUT_FILENO) != 0) {
        std::cout << std::unitbuf;
    }
}

std::optional<std::string> unreported_printed_output_error() {
    std::cout.flush();
    if (std::cout || printed_output->reported) {
        return std::nullopt;
    }
    return printed_output_error().error();
}

std::expected<void, std::string> write_standard_output(std::string_view bytes) {
    return write_standard_output(std::span<const std::string_view>(&bytes, 1));
}

std::expected<void, std::string> write_standard_output(std::span<const std::string_view> pieces) {
    std::cout.flush();
    if (!std::cout) {
        return printed_output_error();
    }
    if (const int code = write_checked(pieces); code != 0) {
        return standard_output_error(code);
    }
    return {};
}

std::expected<void, std::string> stream_standard_output(const Produce& produce) {
    std::cout.flush();
    if (!std::cout) {
        return printed_output_error();
    }
    if (const auto room = standard_output_room()) {
        std::size_t size = 0;
        if (auto counted =
                produce([&](std::span<const std::uint8_t> piece) { size += piece.size(); });
            !counted) {
            return counted;
        }
        if (size > *room) {
            return standard_output_error(EFBIG);
        }
    }
    int code = 0;
    auto produced = produce([&](std::span<const std::uint8_t> piece) {
        if (code == 0 && !write_all(STDOUT_FILENO, as_text(piece))) {
            code = errno;
        }
    });
    if (!produced) {
        return produced;
    }
    if (code != 0) {
        return standard_output_error(code);
    }
    return {};
}

std::expected<void, std::string> write_whole_file(const std::string& path, std::string_view bytes) {
    // Standard output is written where it stands: appended to when opened for appending, and
    // never replaced by a rename.
    if (is_standard_output(path)) {
        return write_standard_output(bytes);
    }
    const Target target = target_of(path);
    if (target.in_place) {
        return write_in_place(path, std::span<const std::string_view>(&bytes, 1));
    }
    const auto whole = [&](const Sink& sink) -> std::expected<void, std::string> {
        sink(std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
        return {};
    };
    return replace_file(path, target, whole);
}

std::expected<void, std::string> write_whole_file(const std::string& path, const Produce& produce) {
    if (is_standard_output(path)) {
        auto pieces = collect(produce);
        if (!pieces) {
            return std::unexpected(std::move(pieces.error()));
        }
        const std::vector<std::string_view> views(pieces->begin(), pieces->end());
        return write_standard_output(views);
    }
    const Target target = target_of(path);
    if (target.in_place) {
        return write_in_place(path, produce);
    }
    return replace_file(path, target, produce);
}

} // namespace quorvane
