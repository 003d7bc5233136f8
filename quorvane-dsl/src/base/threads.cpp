#include "base/threads.hpp"

#include <pthread.h>
#include <sched.h>
#include <sys/stat.h>
#include <unistd.h>

#include <shared_mutex>
#include <string>
#include <vector>

namespace quorvane_dsl::base {
namespace {

struct Probe {
    std::shared_mutex* gate; // kept shut while the probes start, so that they all run at once
    pid_t id = 0;
};

void* wait_at_gate(void* raw) {
    auto* probe = static_cast<Probe*>(raw);
    probe->id = ::gettid();
    const std::shared_lock passed(*probe->gate);
    return nullptr;
}

// A joined thread still counts against the limits until the system releases it, a moment
// later; its entry in /proc goes only after that.
void wait_until_released(pid_t id) {
    const std::string entry = "/proc/self/task/" + std::to_string(id);
    struct stat info {};
    while (::stat(entry.c_str(), &info) == 0) {
        ::sched_yield();
    }
}

} // namespace

std::size_t startable_threads(std::size_t wanted, std::size_t stack_bytes) {
    pthread_attr_t attr;
    if (::pthread_attr_init(&attr) != 0) {
        return 0;
    }
    if (stack_bytes > 0) {
        ::pthread_attr_setstacksize(&attr, stack_bytes);
    }
    std::shared_mutex gate;
    std::vector<Probe> probes(wanted, Probe{&gate});
    std::vector<pthread_t> started;
    started.reserve(wanted);
    gate.lock();
    for (Probe& probe : probes) {
        pthread_t thread;
        if (::pthread_create(&thread, &attr, wait_at_gate, &probe) != 0) {
            break;
        }
        started.push_back(thread);
    }
    gate.unlock();
    ::pthread_attr_destroy(&attr);
    // The pool starts its own threads next; these must not stand in their way.
    for (std::size_t i = 0; i < started.size(); ++i) {
        ::pthread_join(started[i], nullptr);
        wait_until_released(probes[i].id);
    }
    return started.size();
}

} // namespace quorvane_dsl::base
