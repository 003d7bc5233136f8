// Large buffers on transparent huge pages.
#pragma once

#include <cstddef>
#include <vector>

namespace vork::models {

// Asks the kernel to back the untouched part of a large buffer with huge pages, so that filling
// it takes one page fault per 2 MiB instead of one per 4 KiB. Only a hint: small buffers and
// kernels without huge pages are left as they are.
void prefer_huge_pages(const void* data, std::size_t bytes);

// `reserve`, with the new capacity on huge pages.
template <typename T> void reserve_on_huge_pages(std::vector<T>& buffer, std::size_t count) {
    buffer.reserve(count);
    prefer_huge_pages(buffer.data(), buffer.capacity() * sizeof(T));
}

} // namespace vork::models
