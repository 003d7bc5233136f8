#include "base/pool.hpp"

#include <pthread.h>

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <memory>
#include <new>
#include <string_view>
#include <thread>
#include <vector>

#include <tbb/global_control.h>
#include <tbb/info.h>

namespace quorvane_dsl::base::pool {

namespace {

struct Pool {
    // A thread of the pool: it waits inside the arena, running the arena's work meanwhile,
    // until `release` runs.
    struct Worker {
        Pool* pool = nullptr;
        tbb::task_group hold;
        tbb::task_handle release;
        pthread_t thread{};
    };

    explicit Pool(std::size_t size);
    Pool(const Pool&) = delete;
    Pool& operator=(const Pool&) = delete;
    ~Pool();

    std::size_t size() const { return workers.size() + 1; }
    std::unique_ptr<Worker> new_worker();
    bool start(Worker& worker, const pthread_attr_t& attr);
    void release(Worker& worker);

    tbb::task_arena arena;
    std::vector<std::unique_ptr<Worker>> workers;
};

constinit thread_local Pool* current = nullptr;

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

// The library starts no worker of its own, in any arena, for the whole process: lifting the
// limit as the process exits would let it start some.
void keep_library_workers_off() {
    union Kept {
        tbb::global_control limit;
        ~Kept() {}
    };
    static Kept kept{tbb::global_control(tbb::global_control::max_allowed_parallelism, 1)};
}

// Slots for `size` threads of the pool's own, once the library is kept from starting its own.
int arena_slots(std::size_t size) {
    keep_library_workers_off();
    return static_cast<int>(size);
}

void* serve(void* raw) {
    auto* worker = static_cast<Pool::Worker*>(raw);
    current = worker->pool;
    try {
        worker->pool->arena.execute([worker] { worker->hold.wait(); });
    } catch (const std::bad_alloc&) {
        // Joining the arena takes memory; a thread that finds none ends, and the pool does
        // without it instead of the process ending.
    }
    return nullptr;
}

// Started on first use and never stopped: its threads still wait in the arena as the process
// exits.
Pool& process_pool() {
    static Pool* const pool = new Pool(
        std::min(configured_threads(), static_cast<std::size_t>(tbb::info::default_concurrency())));
    return *pool;
}

Pool& pool_of_caller() {
    return current != nullptr ? *current : process_pool();
}

// The calling thread on another pool while this lives.
struct Entered {
    Pool* outer = current;
    explicit Entered(Pool& pool) { current = &pool; }
    Entered(const Entered&) = delete;
    Entered& operator=(const Entered&) = delete;
    ~Entered() { current = outer; }
};

Pool::Pool(std::size_t size) : arena(arena_slots(size), static_cast<unsigned>(size)) {
    arena.initialize();
    pthread_attr_t attr;
    if (size < 2 || ::pthread_attr_init(&attr) != 0) {
        return;
    }
    // The stack the library gives its own workers.
    ::pthread_attr_setstacksize(
        &attr, tbb::global_control::active_value(tbb::global_control::thread_stack_size));
    workers.reserve(size - 1);
    while (workers.size() < size - 1) {
        std::unique_ptr<Worker> worker = new_worker();
        if (worker == nullptr || !start(*worker, attr)) {
            break;
        }
        workers.push_back(std::move(worker));
    }
    ::pthread_attr_destroy(&attr);
}

Pool::~Pool() {
    for (const std::unique_ptr<Worker>& worker : workers) {
        release(*worker);
        ::pthread_join(worker->thread, nullptr);
    }
}

// Null when there is no memory for one: the threads started so far wait on their workers, which
// must not go while the pool stands, so the pool does with those.
std::unique_ptr<Pool::Worker> Pool::new_worker() {
    try {
        auto worker = std::make_unique<Worker>();
        worker->pool = this;
        worker->release = worker->hold.defer([] {});
        return worker;
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

bool Pool::start(Worker& worker, const pthread_attr_t& attr) {
    if (::pthread_create(&worker.thread, &attr, serve, &worker) == 0) {
        return true;
    }
    // The system refused the thread (`ulimit -u`, a control group's pids, address space):
    // the pool goes on without it.
    release(worker);
    return false;
}

void Pool::release(Worker& worker) {
    arena.execute([&] {
        worker.hold.run(std::move(worker.release));
        worker.hold.wait();
    });
}

} // namespace

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

std::size_t threads() {
    return pool_of_caller().size();
}

tbb::task_arena& arena() {
    return pool_of_caller().arena;
}

Group::~Group() {
    if (!pending_) {
        return;
    }
    arena().execute([&] {
        group_.cancel();
        try {
            group_.wait();
        } catch (...) {
            // The exception the caller leaves by is the one that counts.
        }
    });
}

void with_threads(std::size_t size, const std::function<void()>& work) {
    Pool pool(std::max<std::size_t>(size, 1));
    const Entered entered(pool);
    work();
}

} // namespace quorvane_dsl::base::pool
