#include "base/pages.hpp"

#include <new>
#include <sys/mman.h>
#include <unistd.h>

#include "base/fatal.hpp"

namespace quorvane_dsl::base {

std::size_t page_size() {
    static const std::size_t size = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    return size;
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

// Both calls fail only for arguments that are not such a range: a fault of the caller.
void release_pages(const std::byte* begin, const std::byte* end) {
    if (begin == end) {
        return;
    }
    void* pages = const_cast<std::byte*>(begin);
    const auto bytes = static_cast<std::size_t>(end - begin);
    if (madvise(pages, bytes, MADV_DONTNEED) != 0 || mprotect(pages, bytes, PROT_NONE) != 0) {
        fatal("released pages that are not whole pages of one mapping");
    }
}

} // namespace quorvane_dsl::base
