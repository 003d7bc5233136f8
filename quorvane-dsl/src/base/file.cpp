#include "base/file.hpp"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <utility>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/utf8.hpp"
#include "source/source.hpp"

namespace quorvane_dsl::base {

std::string system_error_text(int code) {
    return std::string(std::strerror(code)) + " (os error " + std::to_string(code) + ")";
}

namespace {

// Opens a regular file for reading and gives its size, or the reason it cannot be read.
std::expected<std::size_t, std::string> open_regular(const std::string& path, Descriptor& file) {
    // The system would read the path only up to a NUL, which is another file than the one named.
    if (path.find('\0') != std::string::npos) {
        return std::unexpected("the path contains a NUL character");
    }
    // Opening does not wait for a pipe's writer; only a regular file is read, since a device or
    // a pipe may never end.
    file.fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
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
    return static_cast<std::size_t>(std::max<off_t>(info.st_size, 0));
}

// Room for `size` bytes that the reads fill. A text's string is not zeroed first: zeroing would
// touch every page of a large source once before the read writes it.
void make_room(std::string& bytes, std::size_t size) {
    bytes.resize_and_overwrite(size, [](char*, std::size_t count) { return count; });
}

void make_room(std::vector<std::uint8_t>& bytes, std::size_t size) {
    bytes.resize(size);
}

// Text is read into its string directly, so a large source is neither copied nor held twice.
template <class Bytes> std::expected<Bytes, std::string> read_all(int fd, std::size_t size) {
    // Read straight into place; the spare byte shows a file that grew meanwhile.
    Bytes bytes;
    make_room(bytes, size + 1);
    std::size_t filled = 0;
    for (;;) {
        if (filled == bytes.size()) {
            make_room(bytes, bytes.size() * 2);
        }
        const ssize_t count = ::read(fd, bytes.data() + filled, bytes.size() - filled);
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

// The mapping a fault may hit, for the handler below; one at a time, published last.
std::atomic<const std::uint8_t*> guarded_begin{nullptr};
std::atomic<std::size_t> guarded_size{0};
std::string shortened_message;

// Touching a page of a mapped file that another process cut off raises SIGBUS.
extern "C" void end_on_shortened_file(int signal, siginfo_t* info, void*) {
    const auto* at = static_cast<const std::uint8_t*>(info->si_addr);
    const std::uint8_t* begin = guarded_begin.load();
    if (begin != nullptr && at >= begin && at < begin + guarded_size.load()) {
        (void)!::write(STDERR_FILENO, shortened_message.data(), shortened_message.size());
        ::_exit(2);
    }
    // Any other fault is not ours to explain: the default action runs when it recurs.
    ::signal(signal, SIG_DFL);
}

void install_fault_handler() {
    static const bool installed = [] {
        struct sigaction action {};
        action.sa_sigaction = end_on_shortened_file;
        action.sa_flags = SA_SIGINFO;
        ::sigemptyset(&action.sa_mask);
        return ::sigaction(SIGBUS, &action, nullptr) == 0;
    }();
    (void)installed;
}

} // namespace

std::expected<FileBytes, std::string> FileBytes::open(const std::string& path) {
    Descriptor file;
    auto size = open_regular(path, file);
    if (!size) {
        return std::unexpected(std::move(size.error()));
    }
    // An empty file has nothing to map.
    if (*size > 0 && guarded_begin.load() == nullptr) {
        install_fault_handler();
        void* mapped = ::mmap(nullptr, *size, PROT_READ, MAP_PRIVATE | MAP_POPULATE, file.fd, 0);
        if (mapped != MAP_FAILED) {
            shortened_message =
                "error: reading " + path + ": the file was shortened while it was read\n";
            FileBytes bytes;
            bytes.mapped_ = static_cast<const std::uint8_t*>(mapped);
            bytes.mapped_size_ = *size;
            guarded_size.store(*size);
            guarded_begin.store(bytes.mapped_);
            return bytes;
        }
    }
    auto read = read_all<std::vector<std::uint8_t>>(file.fd, *size);
    if (!read) {
        return std::unexpected(std::move(read.error()));
    }
    return FileBytes(std::move(*read));
}

FileBytes::FileBytes(FileBytes&& other) noexcept
    : mapped_(std::exchange(other.mapped_, nullptr)),
      mapped_size_(std::exchange(other.mapped_size_, 0)), read_(std::move(other.read_)) {}

FileBytes& FileBytes::operator=(FileBytes&& other) noexcept {
    if (this != &other) {
        release();
        mapped_ = std::exchange(other.mapped_, nullptr);
        mapped_size_ = std::exchange(other.mapped_size_, 0);
        read_ = std::move(other.read_);
    }
    return *this;
}

std::span<const std::uint8_t> FileBytes::bytes() const {
    if (mapped_ != nullptr) {
        return {mapped_, mapped_size_};
    }
    return read_;
}

void FileBytes::release() {
    if (mapped_ != nullptr) {
        guarded_begin.store(nullptr);
        ::munmap(const_cast<std::uint8_t*>(mapped_), mapped_size_);
        mapped_ = nullptr;
        mapped_size_ = 0;
    }
    std::vector<std::uint8_t>().swap(read_);
}

std::expected<std::string, std::string> read_text_file(const std::string& path) {
    Descriptor file;
    auto size = open_regular(path, file);
    if (!size) {
        return std::unexpected(std::move(size.error()));
    }
    // Refused before reading a byte; checked again after, for a file that grew meanwhile.
    if (*size >= source::max_text_size) {
        return std::unexpected("file is too large");
    }
    auto text = read_all<std::string>(file.fd, *size);
    if (!text) {
        return std::unexpected(std::move(text.error()));
    }
    if (text->size() >= source::max_text_size) {
        return std::unexpected("file is too large");
    }
    if (!utf8::is_valid(*text)) {
        return std::unexpected("stream did not contain valid UTF-8");
    }
    return text;
}

} // namespace quorvane_dsl::base
