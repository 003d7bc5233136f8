#include "base/stack.hpp"

#include <pthread.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <exception>

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

// The lowest usable address of the current thread's stack, looked up once per thread.
std::uintptr_t stack_low_end() {
    thread_local const std::uintptr_t low = [] {
        pthread_attr_t attr;
        void* base = nullptr;
        std::size_t size = 0;
        if (pthread_getattr_np(pthread_self(), &attr) == 0) {
            pthread_attr_getstack(&attr, &base, &size);
            pthread_attr_destroy(&attr);
        }
        // The guard page at the low end is part of what the attributes report.
        return reinterpret_cast<std::uintptr_t>(base) + static_cast<std::uintptr_t>(getpagesize());
    }();
    return low;
}

bool run_on_mapped_stack(Job& job) {
    // No swap is promised for the reservation, so a large stack does not count against the
    // memory limit before it is used.
    void* stack = mmap(nullptr, work_stack_size, PROT_READ | PROT_WRITE,
                       MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE | MAP_STACK, -1, 0);
    if (stack == MAP_FAILED) {
        return false;
    }
    // A guard page below the stack turns any step the guards missed into a fault, never into
    // a write over other memory.
    mprotect(stack, static_cast<std::size_t>(getpagesize()), PROT_NONE);
    pthread_attr_t attr;
    pthread_t thread;
    bool ran = false;
    if (pthread_attr_init(&attr) == 0) {
        if (pthread_attr_setstack(&attr, stack, work_stack_size) == 0 &&
            pthread_create(&thread, &attr, run_job, &job) == 0) {
            pthread_join(thread, nullptr);
            ran = true;
        }
        pthread_attr_destroy(&attr);
    }
    munmap(stack, work_stack_size);
    return ran;
}

} // namespace

void run_on_work_stack(const std::function<void()>& work) {
    Job job{&work, nullptr};
    if (!run_on_mapped_stack(job)) {
        run_job(&job);
    }
    if (job.thrown) {
        std::rethrow_exception(job.thrown);
    }
}

std::size_t stack_left() {
    const auto frame = reinterpret_cast<std::uintptr_t>(__builtin_frame_address(0));
    const std::uintptr_t low = stack_low_end();
    return frame > low ? frame - low : 0;
}

} // namespace quorvane_dsl::base
