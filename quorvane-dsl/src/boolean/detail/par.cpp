#include "boolean/detail/par.hpp"

#include <charconv>
#include <memory>
#include <string_view>
#include <thread>

#include <tbb/global_control.h>
#include <tbb/task_arena.h>

namespace quorvane_dsl::boolean::detail::par {

namespace {

// 0 when the variable is unset, zero or does not parse.
std::size_t env_count(const char* name) {
    const char* text = std::getenv(name);
    if (text == nullptr) {
        return 0;
    }
    std::string_view s(text);
    // A count may carry a plus sign, as unsigned numbers are commonly written.
    if (s.starts_with('+')) {
        s.remove_prefix(1);
    }
    std::size_t value = 0;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
    if (ec != std::errc() || end != s.data() + s.size()) {
        return 0;
    }
    return value;
}

std::size_t configured_threads() {
    std::size_t n = env_count("RAYON_NUM_THREADS");
    if (n == 0) {
        n = env_count("RAYON_RS_NUM_CPUS");
    }
    if (n == 0) {
        n = std::max(1u, std::thread::hardware_concurrency());
    }
    return n;
}

std::size_t pool_size() {
    static const std::size_t size = [] {
        std::size_t n = configured_threads();
        // Lives for the whole process: the pool keeps this size.
        static tbb::global_control limit(tbb::global_control::max_allowed_parallelism, n);
        return n;
    }();
    return size;
}

} // namespace

std::size_t threads() {
    std::size_t arena = static_cast<std::size_t>(tbb::this_task_arena::max_concurrency());
    return std::max<std::size_t>(1, std::min(pool_size(), arena));
}

} // namespace quorvane_dsl::boolean::detail::par

namespace quorvane_dsl::boolean::detail {

namespace {

std::uint64_t key_of(std::uint64_t k) {
    return k;
}
std::uint64_t key_of(const KeyItem& k) {
    return k.key;
}

template <class T> void radix_sort(std::vector<T>& items, unsigned key_bits) {
    std::size_t n = items.size();
    unsigned d = n < 65536 ? 8 : 11;
    std::size_t radix = std::size_t{1} << d;
    std::vector<std::uint64_t> counts(radix);
    std::vector<T> scratch(n);
    for (unsigned shift = 0; shift < key_bits; shift += d) {
        std::fill(counts.begin(), counts.end(), 0);
        for (const T& t : items) {
            ++counts[(key_of(t) >> shift) & (radix - 1)];
        }
        bool shared = false;
        for (std::uint64_t c : counts) {
            shared = shared || c == n;
        }
        if (shared) {
            continue;
        }
        std::uint64_t sum = 0;
        for (std::uint64_t& c : counts) {
            std::uint64_t v = c;
            c = sum;
            sum += v;
        }
        for (const T& t : items) {
            scratch[counts[(key_of(t) >> shift) & (radix - 1)]++] = t;
        }
        items.swap(scratch);
    }
}

// The same digits as radix_sort, each pass counted and distributed in chunks on the pool: chunk k
// writes its records of digit r after those of every earlier digit and after chunk k - 1's
// records of digit r, so every pass is stable and the result equals the sequential one.
template <class T> void parallel_radix_sort(std::vector<T>& items, unsigned key_bits) {
    std::size_t n = items.size();
    unsigned d = 11;
    std::size_t radix = std::size_t{1} << d;
    std::size_t chunks = par::chunk_count(n);
    std::vector<std::uint64_t> counts(chunks * radix);
    std::vector<T> scratch;
    par::resize(scratch, n);
    for (unsigned shift = 0; shift < key_bits; shift += d) {
        auto digit = [&](const T& t) { return (key_of(t) >> shift) & (radix - 1); };
        par::for_chunks(n, chunks, [&](std::size_t k, std::size_t b, std::size_t e) {
            std::uint64_t* c = counts.data() + k * radix;
            std::fill(c, c + radix, 0);
            for (std::size_t i = b; i < e; ++i) {
                ++c[digit(items[i])];
            }
        });
        bool shared = false;
        std::uint64_t sum = 0;
        for (std::size_t r = 0; r < radix; ++r) {
            std::uint64_t digit_total = 0;
            for (std::size_t k = 0; k < chunks; ++k) {
                std::uint64_t v = counts[k * radix + r];
                counts[k * radix + r] = sum;
                sum += v;
                digit_total += v;
            }
            shared = shared || digit_total == n;
        }
        if (shared) {
            continue;
        }
        par::for_chunks(n, chunks, [&](std::size_t k, std::size_t b, std::size_t e) {
            std::uint64_t* next = counts.data() + k * radix;
            for (std::size_t i = b; i < e; ++i) {
                scratch[next[digit(items[i])]++] = items[i];
            }
        });
        items.swap(scratch);
    }
}

template <class T> void sort_by_key(std::vector<T>& items, unsigned key_bits) {
    std::size_t n = items.size();
    if (n < 1024) {
        unsigned w = std::clamp(key_bits, 1u, 64u);
        std::uint64_t mask = w == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << w) - 1;
        std::sort(items.begin(), items.end(), [mask](const T& a, const T& b) {
            return (key_of(a) & mask) < (key_of(b) & mask);
        });
        return;
    }
    if (n >= par::threshold && par::threads() >= 2) {
        parallel_radix_sort(items, key_bits);
        return;
    }
    radix_sort(items, key_bits);
}

} // namespace

void sort_keys(std::vector<std::uint64_t>& keys, unsigned key_bits) {
    sort_by_key(keys, key_bits);
}
void sort_keys(std::vector<KeyItem>& items, unsigned key_bits) {
    sort_by_key(items, key_bits);
}

} // namespace quorvane_dsl::boolean::detail
