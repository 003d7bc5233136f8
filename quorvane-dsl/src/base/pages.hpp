// Storage in page-aligned mappings of its own, for large columns that are given back from the
// front while the rest is still read.
#pragma once

#include <cstddef>
#include <vector>

namespace quorvane_dsl::base {

std::size_t page_size();

// A fresh mapping of at least `bytes`, zeroed, read-write; throws std::bad_alloc when none can be
// had. Never shares a page with any other allocation.
void* map_pages(std::size_t bytes);
void unmap_pages(void* pages, std::size_t bytes);

// Gives the pages of [begin, end) back to the system and makes them inaccessible, so that a stray
// later read faults at once instead of reading zeros. Both ends are page-aligned and lie in one
// mapping from map_pages.
void release_pages(const std::byte* begin, const std::byte* end);

template <class T> struct PageAllocator {
    using value_type = T;

    PageAllocator() = default;
    template <class U> PageAllocator(const PageAllocator<U>&) {}

    T* allocate(std::size_t count) { return static_cast<T*>(map_pages(count * sizeof(T))); }
    void deallocate(T* items, std::size_t count) { unmap_pages(items, count * sizeof(T)); }

    template <class U> friend bool operator==(const PageAllocator&, const PageAllocator<U>&) {
        return true;
    }
};

// A vector whose elements live in a mapping of their own (see release_pages).
template <class T> using PageVector = std::vector<T, PageAllocator<T>>;

} // namespace quorvane_dsl::base
