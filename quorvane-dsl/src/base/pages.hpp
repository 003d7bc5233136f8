// Storage in page-aligned mappings of its own, for large columns that are given back from the
// front while the rest is still read; small ones stay on the heap.
#pragma once

#include <cstddef>
#include <vector>

namespace quorvane_dsl::base {

std::size_t page_size();

// Whether PageAllocator gives `bytes` a mapping of its own. A smaller allocation could give back
// a page or two at most, and a mapping costs system calls, a whole page and an entry of the
// process's limited map count: a design of many small files would pay that for every column.
bool mapped(std::size_t bytes);

// A fresh mapping of at least `bytes`, zeroed, read-write; throws std::bad_alloc when none can be
// had. Never shares a page with any other allocation.
void* map_pages(std::size_t bytes);
void unmap_pages(void* pages, std::size_t bytes);

// Gives the pages of [begin, end) back to the system and makes them inaccessible, so that a stray
// later read faults at once instead of reading zeros. Both ends are page-aligned and lie in one
// mapping from map_pages. False, with the pages kept as they were, when the system refuses to
// split the mapping (the process is at its map count).
bool release_pages(const std::byte* begin, const std::byte* end);

template <class T> struct PageAllocator {
    using value_type = T;

    PageAllocator() = default;
    template <class U> PageAllocator(const PageAllocator<U>&) {}

    T* allocate(std::size_t count) {
        const std::size_t bytes = count * sizeof(T);
        return static_cast<T*>(mapped(bytes) ? map_pages(bytes) : ::operator new(bytes));
    }
    void deallocate(T* items, std::size_t count) {
        const std::size_t bytes = count * sizeof(T);
        if (mapped(bytes)) {
            unmap_pages(items, bytes);
        } else {
            ::operator delete(items);
        }
    }

    template <class U> friend bool operator==(const PageAllocator&, const PageAllocator<U>&) {
        return true;
    }
};

// A vector whose elements live in a mapping of their own (see release_pages) once its capacity
// is `mapped`.
template <class T> using PageVector = std::vector<T, PageAllocator<T>>;

} // namespace quorvane_dsl::base
