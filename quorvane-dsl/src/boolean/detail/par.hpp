// Parallel building blocks of the boolean engine: chunked loops joined in chunk order, ordered
// concatenation, slices written by index, and the key sort. Results never depend on the thread
// count: chunk boundaries follow a fixed rule and outputs are joined in order.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <span>
#include <vector>

#include "base/pool.hpp"
#include "boolean/types.hpp"

namespace quorvane_dsl::boolean::detail::par {

// Steps below this many items stay on the calling thread.
inline constexpr std::size_t threshold = 16384;

using base::pool::threads;

// Whether a step of n items that splits into chunks goes to the pool. A step below the
// threshold asks nothing of the pool, which is sized and started only when one reaches it.
inline bool goes_parallel(std::size_t n) {
    return n >= threshold && threads() > 1;
}

inline std::size_t chunk_count(std::size_t n) {
    return std::max<std::size_t>(std::min(n, 4 * threads()), 1);
}

inline std::size_t chunk_start(std::size_t k, std::size_t n, std::size_t chunks) {
    return static_cast<std::size_t>(static_cast<u128>(k) * n / chunks);
}

// Runs f(k, begin, end) for every chunk k of [0, n) on the pool.
template <class F> void for_chunks(std::size_t n, std::size_t chunks, F&& f) {
    base::pool::for_each(chunks, [&](std::size_t k) {
        f(k, chunk_start(k, n, chunks), chunk_start(k + 1, n, chunks));
    });
}

// Runs f(i) for every i in [0, count): on the pool when `parallel`, else in order on the
// calling thread, which then starts no worker.
template <class F> void for_each_index(std::size_t count, bool parallel, F&& f) {
    if (parallel) {
        base::pool::for_each(count, f);
        return;
    }
    for (std::size_t i = 0; i < count; ++i) {
        f(i);
    }
}

// fold(begin, end) over [0, n): in chunks on the pool from the threshold, their results joined in
// chunk order by join(a, b), else once.
template <class T, class Fold, class Join> T reduce(std::size_t n, Fold&& fold, Join&& join) {
    if (!goes_parallel(n)) {
        return fold(std::size_t{0}, n);
    }
    const std::size_t chunks = chunk_count(n);
    std::vector<T> parts(chunks);
    for_chunks(n, chunks,
               [&](std::size_t k, std::size_t b, std::size_t e) { parts[k] = fold(b, e); });
    T all = parts[0];
    for (std::size_t k = 1; k < chunks; ++k) {
        all = join(all, parts[k]);
    }
    return all;
}

// Where each chunk of [0, n) starts in a running total, from total_of(begin, end), a chunk's
// own total: entry k sums the chunks before k, entry `chunks` all of them.
template <class T, class F>
std::vector<T> chunk_offsets(std::size_t n, std::size_t chunks, F&& total_of) {
    std::vector<T> offsets(chunks + 1, T{});
    for_chunks(n, chunks, [&](std::size_t k, std::size_t b, std::size_t e) {
        offsets[k + 1] = total_of(b, e);
    });
    for (std::size_t k = 0; k < chunks; ++k) {
        offsets[k + 1] += offsets[k];
    }
    return offsets;
}

// Runs f(begin, end) over [0, n): in chunks on the pool from the threshold, else once.
template <class F> void for_range(std::size_t n, F&& f) {
    if (!goes_parallel(n)) {
        f(std::size_t{0}, n);
        return;
    }
    for_chunks(n, chunk_count(n), [&](std::size_t, std::size_t b, std::size_t e) { f(b, e); });
}

// Asks the kernel to back the whole 2 MB pages of a fresh, untouched buffer with huge pages.
void prefer_huge_pages(void* data, std::size_t bytes);

// Leaves the elements a list grows by without a value unwritten, so that resize() below can
// fill a large list's fresh storage on the pool instead of in one pass on the calling thread.
template <class T> struct Unfilled : std::allocator<T> {
    template <class U> struct rebind { using other = Unfilled<U>; };
    Unfilled() = default;
    template <class U> Unfilled(const Unfilled<U>&) noexcept {}
    template <class U> void construct(U*) noexcept {}
    template <class U, class... Args> void construct(U* p, Args&&... args) {
        std::construct_at(p, std::forward<Args>(args)...);
    }
};

// A list of plain records whose large fresh storage resize() zeroes on the pool alone: a plain
// std::vector zeroes it once more in one pass on the calling thread.
template <class T> using List = std::vector<T, Unfilled<T>>;

// Grows or shrinks v to n on the calling thread, new elements zero.
template <class T, class A> void zero_grow(std::vector<T, A>& v, std::size_t n) {
    const std::size_t old = v.size();
    v.resize(n);
    if constexpr (std::is_same_v<A, Unfilled<T>>) {
        if (n > old) {
            std::memset(static_cast<void*>(v.data() + old), 0, (n - old) * sizeof(T));
        }
    }
}

// Resizes a list of plain records to n, new elements zero. A large list's fresh pages are first
// zeroed on the pool, so that the kernel clears them in parallel rather than inside the
// sequential resize. They go on huge pages where the system allows it: faults taken by several
// threads at once queue for the process's page tables, and a huge page takes one fault per 2 MB
// instead of 512. On one thread they measured no faster, so a sequential resize keeps normal
// pages.
template <class T, class A> void resize(std::vector<T, A>& v, std::size_t n) {
    static_assert(std::is_trivially_copyable_v<T>);
    if (v.capacity() >= n || !goes_parallel(n)) {
        zero_grow(v, n);
        return;
    }
    v.reserve(n);
    prefer_huge_pages(v.data() + v.size(), (n - v.size()) * sizeof(T));
    auto* bytes = reinterpret_cast<unsigned char*>(v.data());
    std::size_t begin = v.size() * sizeof(T), end = n * sizeof(T);
    constexpr std::size_t block = std::size_t{1} << 16;
    const std::size_t first = begin / block;
    base::pool::for_each((end + block - 1) / block - first, [&](std::size_t i) {
        const std::size_t k = first + i;
        std::size_t from = std::max(begin, k * block), to = std::min(end, (k + 1) * block);
        std::memset(bytes + from, 0, to - from);
    });
    v.resize(n);
}

// Lists joined in order; a single part is returned without copying.
template <class T> std::vector<T> concat(std::vector<std::vector<T>> parts) {
    if (parts.size() == 1) {
        return std::move(parts[0]);
    }
    std::vector<std::size_t> offsets(parts.size() + 1, 0);
    for (std::size_t i = 0; i < parts.size(); ++i) {
        offsets[i + 1] = offsets[i] + parts[i].size();
    }
    std::vector<T> out;
    if constexpr (std::is_trivially_copyable_v<T>) {
        resize(out, offsets.back());
        base::pool::for_each(parts.size(), [&](std::size_t i) {
            if (!parts[i].empty()) {
                std::memcpy(out.data() + offsets[i], parts[i].data(), parts[i].size() * sizeof(T));
            }
            std::vector<T>().swap(parts[i]);
        });
    } else {
        out.resize(offsets.back());
        base::pool::for_each(parts.size(), [&](std::size_t i) {
            std::move(parts[i].begin(), parts[i].end(), out.begin() + offsets[i]);
            std::vector<T>().swap(parts[i]);
        });
    }
    return out;
}

// f(begin, end) -> std::vector<T> over [0, n) in chunks, the lists left apart: a caller may
// release other data before joining them. concat() of the parts equals f(0, n).
template <class F>
auto map_chunks(std::size_t n, F&& f) -> std::vector<decltype(f(std::size_t{0}, n))> {
    using List = decltype(f(std::size_t{0}, n));
    std::vector<List> parts;
    if (!goes_parallel(n)) {
        parts.push_back(f(std::size_t{0}, n));
        return parts;
    }
    std::size_t chunks = chunk_count(n);
    parts.resize(chunks);
    for_chunks(n, chunks, [&](std::size_t k, std::size_t b, std::size_t e) { parts[k] = f(b, e); });
    return parts;
}

// f(begin, end) -> std::vector<T> over [0, n), joined in chunk order; equals f(0, n).
template <class F> auto flat_map(std::size_t n, F&& f) -> decltype(f(std::size_t{0}, n)) {
    return concat(map_chunks(n, std::forward<F>(f)));
}

// A list's storage shared by workers that each write their own indices.
template <class T> struct SharedSlice {
    T* data = nullptr;
    std::size_t len = 0;

    template <class A> explicit SharedSlice(std::vector<T, A>& v) : data(v.data()), len(v.size()) {}
    void write(std::size_t i, T value) const {
        if (i >= len) {
            std::fputs("assertion failed: i < self.len\n", stderr);
            std::abort();
        }
        data[i] = value;
    }
};

} // namespace quorvane_dsl::boolean::detail::par

namespace quorvane_dsl::boolean::detail {

// A record sorted by a u64 key with a u32 value.
struct KeyItem {
    std::uint64_t key = 0;
    std::uint32_t value = 0;
};

// Sorts by ascending key; every key fits in key_bits bits. Equal keys may come out in any order.
void sort_keys(std::vector<std::uint64_t>& keys, unsigned key_bits);
void sort_keys(std::vector<KeyItem>& items, unsigned key_bits);

} // namespace quorvane_dsl::boolean::detail
