#include "base/stack.hpp"

#include <pthread.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <exception>
#include <optional>

namespace quorvane_dsl::base {
namespace {

struct Job {
    const std::function<void()>* work;
    std::exception_ptr thrown;
};

void* run_job(void* raw) {
    auto* job = static_cast<Job*>(raw);
    try {
        (*job->work)();
    } catch (...) {
        job->thrown = std::current_exception();
    }
    return nullptr;
}

std::size_t page_size() {
    return static_cast<std::size_t>(getpagesize());
}

// RLIMIT_AS in bytes, none when unlimited.
std::optional<std::size_t> address_space_limit() {
    rlimit limit{};
    if (getrlimit(RLIMIT_AS, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) {
        return std::nullopt;
    }
    return static_cast<std::size_t>(limit.rlim_cur);
}

// The most the work thread's stack may reserve: a quarter of an address-space limit, since
// every mapping counts against it (a reservation without swap too) and the work needs the rest
// for its heap and the pool's thread stacks.
std::size_t largest_work_stack() {
    const std::optional<std::size_t> limit = address_space_limit();
    if (!limit) {
        return work_stack_size;
    }
    return std::min(work_stack_size, *limit / 4 / page_size() * page_size());
}

// The lowest usable address of the current thread's stack, looked up once per thread. A stack
// that grows on demand (the main thread's, `ulimit -s unlimited`) counts only as far as a work
// stack could reach: its growth takes address space like any mapping.
std::uintptr_t stack_low_end() {
    thread_local const std::uintptr_t low = [] {
        pthread_attr_t attr;
        void* base = nullptr;
        std::size_t size = 0;
        if (pthread_getattr_np(pthread_self(), &attr) == 0) {
            pthread_attr_getstack(&attr, &base, &size);
            pthread_attr_destroy(&attr);
        }
        const std::uintptr_t high = reinterpret_cast<std::uintptr_t>(base) + size;
        // The guard page at the low end is part of what the attributes report.
        return high - std::min(size, largest_work_stack()) + page_size();
    }();
    return low;
}

// How a try to run on a stack of one size went.
enum class Attempt : std::uint8_t { Ran, NotMapped, NoThread };

Attempt run_on_mapped_stack(Job& job, std::size_t size) {
    // No swap is promised for the reservation, so a large stack does not count against the
    // memory limit before it is used.
    void* stack = mmap(nullptr, size, PROT_READ | PROT_WRITE,
                       MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE | MAP_STACK, -1, 0);
    if (stack == MAP_FAILED) {
        return Attempt::NotMapped;
    }
    // A guard page below the stack turns any step the guards missed into a fault, never into
    // a write over other memory.
    mprotect(stack, page_size(), PROT_NONE);
    pthread_attr_t attr;
    pthread_t thread;
    Attempt attempt = Attempt::NoThread;
    if (pthread_attr_init(&attr) == 0) {
        if (pthread_attr_setstack(&attr, stack, size) == 0 &&
            pthread_create(&thread, &attr, run_job, &job) == 0) {
            pthread_join(thread, nullptr);
            attempt = Attempt::Ran;
        }
        pthread_attr_destroy(&attr);
    }
    munmap(stack, size);
    return attempt;
}

// Halves the reservation until one is granted; a thread that cannot start does not start on a
// smaller stack either, and a stack no larger than the calling thread's is not worth a thread.
Attempt run_on_largest_mapped_stack(Job& job, std::size_t calling_room) {
    for (std::size_t size = largest_work_stack(); size >= min_work_stack && size > calling_room;
         size = size / 2 / page_size() * page_size()) {
        const Attempt attempt = run_on_mapped_stack(job, size);
        if (attempt != Attempt::NotMapped) {
            return attempt;
        }
    }
    return Attempt::NotMapped;
}

} // namespace

std::expected<void, StackLimit> run_on_work_stack(const std::function<void()>& work) {
    Job job{&work, nullptr};
    const std::size_t calling_room = stack_left();
    const Attempt attempt = run_on_largest_mapped_stack(job, calling_room);
    if (attempt != Attempt::Ran) {
        if (calling_room < min_work_stack) {
            // Where no thread starts, or nothing limits the address space, only a larger calling
            // thread's stack would have served.
            const bool mapping_refused = attempt == Attempt::NotMapped && address_space_limit();
            return std::unexpected(mapping_refused ? StackLimit::AddressSpace : StackLimit::Stack);
        }
        run_job(&job);
    }
    if (job.thrown) {
        std::rethrow_exception(job.thrown);
    }
    return {};
}

std::uintptr_t detail::find_reserve_line() {
    reserve_line = stack_low_end() + stack_reserve;
    return reserve_line;
}

std::size_t stack_left() {
    const auto frame = reinterpret_cast<std::uintptr_t>(__builtin_frame_address(0));
    const std::uintptr_t low = stack_low_end();
    return frame > low ? frame - low : 0;
}

} // namespace quorvane_dsl::base
