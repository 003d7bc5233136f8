#include "models/pages.hpp"

#include <cstdint>
#include <sys/mman.h>

namespace vork::models {

void prefer_huge_pages(const void* data, std::size_t bytes) {
    constexpr std::uintptr_t huge = std::uintptr_t{1} << 21;
    // Below a few huge pages the hint gains nothing and may cost memory.
    if (bytes < 4 * huge) {
        return;
    }
    const auto start = reinterpret_cast<std::uintptr_t>(data);
    const std::uintptr_t first = (start + huge - 1) & ~(huge - 1);
    const std::uintptr_t last = (start + bytes) & ~(huge - 1);
    if (first < last) {
        ::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
    }
}

} // namespace vork::models
