#include "boolean/detail/par.hpp"

#include <bit>

#ifdef __linux__
#include <sys/mman.h>
#endif

namespace quorvane_dsl::boolean::detail::par {

void prefer_huge_pages(void* data, std::size_t bytes) {
#ifdef __linux__
    constexpr std::uintptr_t huge = std::uintptr_t{1} << 21;
    auto start = reinterpret_cast<std::uintptr_t>(data);
    std::uintptr_t first = (start + huge - 1) & ~(huge - 1), last = (start + bytes) & ~(huge - 1);
    if (first < last) {
        // Advice only: where the kernel declines, the buffer is paged as before.
        madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
    }
#else
    (void)data;
    (void)bytes;
#endif
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

// A stable least-significant-digit sort of the low `bits` bits of a run, using `room` (as long as
// the run) as scratch. The counts of every digit come from one read of the run, and digits that
// are constant over it cost no pass. The sorted run ends in `items`.
template <class T> void lsd_sort(T* items, T* room, std::size_t n, unsigned bits) {
    if (n <= 32) {
        std::stable_sort(items, items + n,
                         [](const T& a, const T& b) { return key_of(a) < key_of(b); });
        return;
    }
    // Wide digits save passes; only a short run is better off with 256 counts per digit than
    // with 2048 to clear and sum.
    const unsigned d = n <= 1024 ? 8 : 11;
    const std::size_t radix = std::size_t{1} << d;
    const unsigned digits = (bits + d - 1) / d;
    std::vector<std::size_t> counts(std::size_t{digits} * radix, 0);
    for (std::size_t i = 0; i < n; ++i) {
        std::uint64_t k = key_of(items[i]);
        for (unsigned p = 0; p < digits; ++p) {
            ++counts[p * radix + ((k >> (p * d)) & (radix - 1))];
        }
    }
    T* from = items;
    T* to = room;
    for (unsigned p = 0; p < digits; ++p) {
        std::size_t* c = counts.data() + p * radix;
        std::size_t sum = 0;
        bool constant = false;
        for (std::size_t r = 0; r < radix; ++r) {
            std::size_t v = c[r];
            constant = constant || v == n;
            c[r] = sum;
            sum += v;
        }
        if (constant) {
            continue;
        }
        for (std::size_t i = 0; i < n; ++i) {
            to[c[(key_of(from[i]) >> (p * d)) & (radix - 1)]++] = from[i];
        }
        std::swap(from, to);
    }
    if (from != items) {
        std::copy(from, from + n, items);
    }
}

// Bucket bounds of one most-significant digit, counted in fixed chunks so that the scatter can
// run on the pool and still keep equal keys in input order.
struct TopDigit {
    unsigned shift = 0;
    std::size_t radix = 0;
    // Per chunk and bucket: first the count, then the chunk's write position.
    std::vector<std::size_t> slots;
    // Start of every bucket, and the total behind the last.
    std::vector<std::size_t> starts;
};

template <class T>
TopDigit count_top(const std::vector<T>& items, unsigned shift, unsigned d, std::size_t chunks) {
    TopDigit t{shift, std::size_t{1} << d, {}, {}};
    t.slots.assign(chunks * t.radix, 0);
    par::for_chunks(items.size(), chunks, [&](std::size_t k, std::size_t b, std::size_t e) {
        std::size_t* c = t.slots.data() + k * t.radix;
        for (std::size_t i = b; i < e; ++i) {
            ++c[(key_of(items[i]) >> shift) & (t.radix - 1)];
        }
    });
    t.starts.resize(t.radix + 1);
    std::size_t sum = 0;
    for (std::size_t r = 0; r < t.radix; ++r) {
        t.starts[r] = sum;
        for (std::size_t k = 0; k < chunks; ++k) {
            std::size_t v = t.slots[k * t.radix + r];
            t.slots[k * t.radix + r] = sum;
            sum += v;
        }
    }
    t.starts[t.radix] = sum;
    return t;
}

std::size_t largest_bucket(const TopDigit& t) {
    std::size_t most = 0;
    for (std::size_t r = 0; r < t.radix; ++r) {
        most = std::max(most, t.starts[r + 1] - t.starts[r]);
    }
    return most;
}

// One pass on the top digit splits the keys into buckets that fit in the cache, then each bucket
// is sorted on the remaining bits where it lies: passes over the whole list are what cost, and
// a plain least-significant-digit sort of 46-bit keys makes five of them. Every step is stable,
// so the result is the same for any thread count.
template <class T> void sort_large(std::vector<T>& items, unsigned key_bits) {
    const std::size_t n = items.size();
    // About 8192 records per bucket; wider digits would scatter to too many places at once.
    const unsigned d = std::clamp(static_cast<unsigned>(std::bit_width(n >> 13)), 1u, 11u);
    const std::size_t chunks = par::goes_parallel(n) ? par::chunk_count(n) : 1;
    unsigned low = key_bits;
    TopDigit top;
    do {
        unsigned width = std::min(d, low);
        low -= width;
        top = count_top(items, low, width, chunks);
        // A top digit shared by every key leaves a single bucket: split on the next one down.
    } while (low > 0 && largest_bucket(top) == n);
    if (largest_bucket(top) == n) {
        return;
    }
    std::vector<T> room;
    par::resize(room, n);
    par::for_chunks(n, chunks, [&](std::size_t k, std::size_t b, std::size_t e) {
        std::size_t* next = top.slots.data() + k * top.radix;
        for (std::size_t i = b; i < e; ++i) {
            room[next[(key_of(items[i]) >> top.shift) & (top.radix - 1)]++] = items[i];
        }
    });
    auto sort_bucket = [&](std::size_t r) {
        std::size_t b = top.starts[r], e = top.starts[r + 1];
        if (e - b > 1 && low > 0) {
            lsd_sort(room.data() + b, items.data() + b, e - b, low);
        }
    };
    par::for_each_index(top.radix, chunks > 1, sort_bucket);
    items.swap(room);
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
    sort_large(items, key_bits);
}

} // namespace

void sort_keys(std::vector<std::uint64_t>& keys, unsigned key_bits) {
    sort_by_key(keys, key_bits);
}
void sort_keys(std::vector<KeyItem>& items, unsigned key_bits) {
    sort_by_key(items, key_bits);
}

} // namespace quorvane_dsl::boolean::detail
