// The worker pool every parallel step runs on. The library's scheduler spreads the work, but
// starts no thread of its own: it ends the process when one fails to start. The pool starts its
// threads itself, each joining one arena whose slots are kept for such threads, and a thread
// that cannot start only leaves the pool smaller. The calling thread always takes part, so a
// pool without workers runs everything on it.
#pragma once

#include <cstddef>
#include <functional>
#include <utility>

#include <tbb/parallel_for.h>
#include <tbb/parallel_invoke.h>
#include <tbb/parallel_sort.h>
#include <tbb/task_arena.h>
#include <tbb/task_group.h>

namespace quorvane_dsl::base::pool {

// The size asked for: RAYON_NUM_THREADS, else RAYON_RS_NUM_CPUS, else the processor count.
std::size_t configured_threads();

// The threads of the calling thread's pool, itself included. The process's pool starts on
// first use, with the size asked for but no more than the processors it may run on, less the
// threads the system refused.
std::size_t threads();

// The arena of the calling thread's pool; work run inside it is shared with the pool's threads.
tbb::task_arena& arena();

// f(i) for every i in [0, count), on the pool.
template <class F> void for_each(std::size_t count, const F& f) {
    // A single item runs where it is, so that a step that makes one chunk starts no pool.
    if (count <= 1) {
        for (std::size_t i = 0; i < count; ++i) {
            f(i);
        }
        return;
    }
    arena().execute([&] { tbb::parallel_for(std::size_t{0}, count, f); });
}

// f() and g() at once, on the pool.
template <class F, class G> void invoke(const F& f, const G& g) {
    arena().execute([&] { tbb::parallel_invoke(f, g); });
}

// Sorts [first, last) by operator<, on the pool.
template <class It> void sort(It first, It last) {
    arena().execute([&] { tbb::parallel_sort(first, last); });
}

// Work handed to the pool while the calling thread goes on; wait() joins it and throws what
// it threw.
class Group {
  public:
    Group() = default;
    Group(const Group&) = delete;
    Group& operator=(const Group&) = delete;
    // A caller that leaves by an exception before wait() has its work cancelled and waited for
    // in the arena: outside it, a pool without workers would never run the work, nor end the wait.
    ~Group();

    template <class F> void run(F&& f) {
        arena().execute([&] { group_.run(std::forward<F>(f)); });
        pending_ = true;
    }
    void wait() {
        pending_ = false;
        arena().execute([&] { group_.wait(); });
    }

  private:
    tbb::task_group group_;
    bool pending_ = false;
};

// Runs `work` on the calling thread with a pool of `size` threads of its own instead of the
// process's, for it and all it shares: results must not depend on the size, and this shows it.
void with_threads(std::size_t size, const std::function<void()>& work);

} // namespace quorvane_dsl::base::pool
