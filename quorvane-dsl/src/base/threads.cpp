#include "base/threads.hpp"

#include <pthread.h>
#include <sched.h>
#include <sys/stat.h>
#include <unistd.h>

#include <latch>
#include <string>
#include <vector>

namespace quorvane_dsl::base {
namespace {

struct Probe {
    std::latch* done;
    pid_t id = 0;
};

void* wait_for_the_others(void* raw) {
    auto* probe = static_cast<Probe*>(raw);
    probe->id = ::gettid();
    probe->done->wait();
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
    std::latch done(1);
    std::vector<Probe> probes(wanted, Probe{&done});
    std::vector<pthread_t> started;
    started.reserve(wanted);
    pthread_attr_t attr;
    if (::pthread_attr_init(&attr) != 0) {
        return 0;
    }
    if (stack_bytes > 0) {
        ::pthread_attr_setstacksize(&attr, stack_bytes);
    }
    for (Probe& probe : probes) {
        pthread_t thread;
        if (::pthread_create(&thread, &attr, wait_for_the_others, &probe) != 0) {
            break;
        }
        started.push_back(thread);
    }
    ::pthread_attr_destroy(&attr);
    done.count_down();
    for (std::size_t i = 0; i < started.size(); ++i) {
        ::pthread_join(started[i], nullptr);
        wait_until_released(probes[i].id);
    }
    return started.size();
}

} // namespace quorvane_dsl::base
