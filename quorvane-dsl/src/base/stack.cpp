#include "base/stack.hpp"

#include "base/pages.hpp"

#include <malloc.h>
#include <pthread.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <ucontext.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <exception>
#include <optional>

// GCC names AddressSanitizer by a macro, Clang by a feature.
#if defined(__SANITIZE_ADDRESS__)
#define QV_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QV_ADDRESS_SANITIZER 1
#endif
#endif
#ifdef QV_ADDRESS_SANITIZER
#include <sanitizer/common_interface_defs.h>
#endif

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

// Whether the main thread's stack grows without bound (`ulimit -s unlimited`).
bool stack_unlimited() {
    rlimit limit{};
    return getrlimit(RLIMIT_STACK, &limit) == 0 && limit.rlim_cur == RLIM_INFINITY;
}

// The lowest usable address of the current thread's own stack. A stack of a set size counts in
// full where nothing limits the address space: the system keeps its range free. One that grows
// without bound, or whose growth an address-space limit may refuse, counts only as far as a work
// stack could reach.
std::uintptr_t thread_stack_low_end() {
    pthread_attr_t attr;
    void* base = nullptr;
    std::size_t size = 0;
    if (pthread_getattr_np(pthread_self(), &attr) == 0) {
        pthread_attr_getstack(&attr, &base, &size);
        pthread_attr_destroy(&attr);
    }
    const std::uintptr_t high = reinterpret_cast<std::uintptr_t>(base) + size;
    const bool growth_limited = stack_unlimited() || address_space_limit();
    const std::size_t usable = growth_limited ? std::min(size, largest_work_stack()) : size;
    // The guard page at the low end is part of what the attributes report.
    return high - usable + page_size();
}

// The lowest usable address of the stack in use on this thread: its own, looked up once, or
// the mapping it switched to; 0 until first asked.
constinit thread_local std::uintptr_t low_end = 0;

std::uintptr_t stack_low_end() {
    if (low_end == 0) {
        low_end = thread_stack_low_end();
    }
    return low_end;
}

// How a try to run on a stack of one size went.
enum class Attempt : std::uint8_t { Ran, NotMapped, NotStarted };

struct StackBounds {
    const void* bottom = nullptr;
    std::size_t size = 0;
};

// AddressSanitizer keeps one stack per thread unless told of every switch between stacks: left
// alone, it takes the frames on the other stack for overflows. Without it these do nothing.
void start_switch([[maybe_unused]] void** fake_stack, [[maybe_unused]] StackBounds to) {
#ifdef QV_ADDRESS_SANITIZER
    __sanitizer_start_switch_fiber(fake_stack, to.bottom, to.size);
#endif
}

void finish_switch([[maybe_unused]] void* fake_stack, [[maybe_unused]] StackBounds* from) {
#ifdef QV_ADDRESS_SANITIZER
    __sanitizer_finish_switch_fiber(fake_stack, from ? &from->bottom : nullptr,
                                    from ? &from->size : nullptr);
#endif
}

// A job run from the calling thread on another stack.
struct Switch {
    Job* job;
    ucontext_t caller{};
    ucontext_t work{};
    StackBounds caller_stack; // told to the sanitizer on the way back
};

// The switch this thread is entering: `makecontext` passes nothing wider than an int.
constinit thread_local Switch* entering = nullptr;

// Never returns: the work's stack is left for good by switching back.
void enter_switched() {
    Switch& run = *entering;
    finish_switch(nullptr, &run.caller_stack);
    run_job(run.job);
    start_switch(nullptr, run.caller_stack);
    swapcontext(&run.work, &run.caller);
}

// Runs the job on `stack` from the calling thread. The job catches what it throws, so nothing
// unwinds across the switch; the guards measure against `stack` until it is back.
bool run_on_switched_stack(Job& job, void* stack, std::size_t size) {
    Switch run{&job};
    if (getcontext(&run.work) != 0) {
        return false;
    }
    run.work.uc_stack.ss_sp = stack;
    run.work.uc_stack.ss_size = size;
    makecontext(&run.work, enter_switched, 0);
    const std::uintptr_t own_low_end = stack_low_end();
    const std::uintptr_t own_reserve_line = detail::reserve_line;
    low_end = reinterpret_cast<std::uintptr_t>(stack) + page_size();
    detail::reserve_line = 0;
    entering = &run;
    void* fake_stack = nullptr;
    start_switch(&fake_stack, {stack, size});
    const bool switched = swapcontext(&run.caller, &run.work) == 0;
    finish_switch(fake_stack, nullptr);
    low_end = own_low_end;
    detail::reserve_line = own_reserve_line;
    return switched;
}

bool run_on_thread(Job& job, void* stack, std::size_t size) {
    pthread_attr_t attr;
    if (pthread_attr_init(&attr) != 0) {
        return false;
    }
    pthread_t thread;
    const bool started = pthread_attr_setstack(&attr, stack, size) == 0 &&
                         pthread_create(&thread, &attr, run_job, &job) == 0;
    pthread_attr_destroy(&attr);
    if (started) {
        pthread_join(thread, nullptr);
    }
    return started;
}

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
    // Where no thread can start (`ulimit -u`), the calling thread runs the job on the same
    // stack, so the depth a design may reach does not depend on the process limit.
    const bool ran = run_on_thread(job, stack, size) || run_on_switched_stack(job, stack, size);
    munmap(stack, size);
    return ran ? Attempt::Ran : Attempt::NotStarted;
}

// Halves the reservation until one is granted; a job that cannot start on a stack does not on a
// smaller one either, and a stack no larger than the calling thread's is not worth a thread.
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
    // Under an address-space limit the calling thread's stack gets its room only as it grows,
    // by when the work's heap may have taken it; a mapped stack has all its room from the start.
    const bool address_space_limited = address_space_limit().has_value();
    const std::size_t calling_room = address_space_limited ? 0 : stack_left();
    if (address_space_limited) {
        // Every thread (the work's, the pool's) allocates from the one heap: glibc would
        // reserve 64 MiB of the limit for each further thread's heap, and where the limit
        // refuses that, map every allocation of that thread on pages of its own.
        mallopt(M_ARENA_MAX, 1);
    }
    const Attempt attempt = run_on_largest_mapped_stack(job, calling_room);
    if (attempt != Attempt::Ran) {
        if (calling_room < min_work_stack) {
            // Where the job could not start, or nothing limits the address space, only a larger
            // calling thread's stack would have served.
            const bool mapping_refused = attempt == Attempt::NotMapped && address_space_limited;
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
