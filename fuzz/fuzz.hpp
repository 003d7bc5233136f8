// Shared pieces of the fuzz targets: the invariant check and input views.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string_view>

// A broken invariant is reported like a crash so that libFuzzer keeps the input.
#define QV_FUZZ_CHECK(condition)                                                                   \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "%s:%d: invariant failed: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)

namespace quorvane_fuzz {

inline std::string_view text_of(const unsigned char* data, std::size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

} // namespace quorvane_fuzz
