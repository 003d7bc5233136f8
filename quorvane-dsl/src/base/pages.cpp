#include "base/pages.hpp"

#include <cerrno>
#include <new>
#include <sys/mman.h>
#include <unistd.h>

#include "base/fatal.hpp"

namespace quorvane_dsl::base {

std::size_t page_size() {
    static const std::size_t size = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    return size;
}

bool mapped(std::size_t bytes) {
    return bytes >= 4 * page_size();
}

void* map_pages(std::size_t bytes) {
    void* pages = mmap(nullptr, bytes == 0 ? 1 : bytes, PROT_READ | PROT_WRITE,
                       MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (pages == MAP_FAILED) {
        throw std::bad_alloc();
    }
    return pages;
}

void unmap_pages(void* pages, std::size_t bytes) {
    munmap(pages, bytes == 0 ? 1 : bytes);
}

// Protected first: a refused split leaves the pages readable and whole, where giving them back
// first would leave them reading zeros. Otherwise both calls fail only for arguments that are not
// such a range: a fault of the caller.
bool release_pages(const std::byte* begin, const std::byte* end) {
    if (begin == end) {
        return true;
    }
    void* pages = const_cast<std::byte*>(begin);
    const auto bytes = static_cast<std::size_t>(end - begin);
    if (mprotect(pages, bytes, PROT_NONE) != 0) {
        if (errno == ENOMEM) {
            return false;
        }
        fatal("released pages that are not whole pages of one mapping");
    }
    if (madvise(pages, bytes, MADV_DONTNEED) != 0) {
        fatal("released pages that are not whole pages of one mapping");
    }
    return true;
}

} // namespace quorvane_dsl::base
