// Whole files read and written, with system errors as users know them.
#pragma once

#include <cstdint>
#include <expected>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/file.hpp"

namespace quorvane {

using quorvane_dsl::base::system_error_text;

// The whole file, mapped where it can be, or "reading <path>: <system error>".
std::expected<quorvane_dsl::base::FileBytes, std::string> read_bytes(const std::string& path);

// The whole file as text, or "reading <path>: <reason>" (missing, unreadable, a directory, not
// valid UTF-8, or too large for the front end's 32-bit offsets).
std::expected<std::string, std::string> read(const std::string& path);

// Creates or replaces the file with exactly these bytes, or fails with
// "writing <path>: <system error>". A regular file is replaced through a temporary beside it
// that is renamed over it (keeping its mode, owner and group), so a failed write never leaves a
// half-written file behind; a link is followed to its file, and a device, a pipe, a file with
// several hard links and standard output (`-` or the file standard output is) are written in
// place. The temporary is removed on every error and on SIGINT, SIGTERM and SIGHUP, and
// temporaries beside the file left by processes that no longer run are removed first.
std::expected<void, std::string> write_whole_file(const std::string& path, std::string_view bytes);

// Takes a file's bytes piece by piece, in order.
using Sink = std::function<void(std::span<const std::uint8_t>)>;

// Makes a file's bytes into the sink it is given, or fails with its own message.
using Produce = std::function<std::expected<void, std::string>(const Sink&)>;

// As above, with the bytes made while they are written: a file replaced through a temporary
// takes them piece by piece, so that they never stand whole in memory; what is written in
// place (standard output included) is made whole first. A producer's error comes back as it
// is, before any system error, and leaves no file behind.
std::expected<void, std::string> write_whole_file(const std::string& path, const Produce& produce);

// Whether writing to `path` writes to this process's standard output: `-`, or the very file,
// pipe or device standard output is (as /dev/stdout is).
bool is_standard_output(const std::string& path);

// Makes std::cout write through the same checks as `write_standard_output`, keeping the error of
// a write that failed. Called once, before anything is printed.
void check_printed_output();

// "writing standard output: <system error>" for the write that failed std::cout, once what it
// holds is flushed; nothing when it is fine or its failure was a command's error already.
std::optional<std::string> unreported_printed_output_error();

// The bytes on standard output, after whatever is printed on std::cout, or
// "writing standard output: <system error>". A regular file that they would take past the file
// size limit from its offset is left as it was.
std::expected<void, std::string> write_standard_output(std::string_view bytes);

// As above, the pieces one after the other.
std::expected<void, std::string> write_standard_output(std::span<const std::string_view> pieces);

// As above, for output too large to be held whole: the producer's pieces go out as they are made.
// Where the file size limit would stop them, the producer runs once more before to measure them,
// so it must make the same bytes each time.
std::expected<void, std::string> stream_standard_output(const Produce& produce);

} // namespace quorvane
