#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <new>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "base/pool.hpp"
#include "boolean/boolean.hpp"
#include "boolean/detail/par.hpp"

namespace quorvane_dsl::boolean::detail {
namespace {

void expect_pool_size(const char* num_threads, const char* num_cpus, std::size_t expected) {
    setenv("RAYON_NUM_THREADS", num_threads, 1);
    setenv("RAYON_RS_NUM_CPUS", num_cpus, 1);
    EXPECT_EQ(base::pool::configured_threads(), expected)
        << "RAYON_NUM_THREADS=" << num_threads << " RAYON_RS_NUM_CPUS=" << num_cpus;
}

// The variables as they were, put back when a test ends.
struct SavedVariable {
    const char* name;
    std::optional<std::string> value;
    explicit SavedVariable(const char* n) : name(n) {
        if (const char* v = std::getenv(n)) {
            value = v;
        }
    }
    ~SavedVariable() {
        if (value) {
            setenv(name, value->c_str(), 1);
        } else {
            unsetenv(name);
        }
    }
};

TEST(PoolSize, FromTheEnvironment) {
    SavedVariable threads("RAYON_NUM_THREADS"), cpus("RAYON_RS_NUM_CPUS");
    expect_pool_size("3", "5", 3);
    expect_pool_size("+3", "5", 3);
    expect_pool_size("0", "5", 5);
    expect_pool_size("three", "5", 5);
    expect_pool_size(" 3", "5", 5);
    expect_pool_size("+", "5", 5);
}

// The union of a tall square with itself, its bottom edge of `points` points.
void union_of_square(std::int64_t points) {
    Ring square;
    for (std::int64_t x = 0; x < points - 2; ++x) {
        square.push_back({x, 0});
    }
    square.push_back({points, 1000000});
    square.push_back({0, 1000000});
    (void)boolean(Polygons{square}, Polygons{square}, Op::Union);
}

std::size_t running_threads() {
    return static_cast<std::size_t>(
        std::distance(std::filesystem::directory_iterator("/proc/self/task"),
                      std::filesystem::directory_iterator()));
}

// Only a step large enough for the pool sizes it, and starts its workers: a run whose steps
// all stay on the calling thread starts none. The pool's threads are all there are: the
// library starts none of its own.
TEST(PoolSize, SizedBeforeTheFirstParallelStep) {
    SavedVariable threads("RAYON_NUM_THREADS");
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    unsetenv("RAYON_NUM_THREADS");
    EXPECT_EXIT(
        {
            union_of_square(64);
            std::exit(static_cast<int>(running_threads()));
        },
        testing::ExitedWithCode(1), "");
    for (const char* size : {"1", "2"}) {
        setenv("RAYON_NUM_THREADS", size, 1);
        EXPECT_EXIT(
            {
                union_of_square(par::threshold);
                std::exit(static_cast<int>(running_threads()));
            },
            testing::ExitedWithCode(std::atoi(size)), "");
    }
}

// Work nested in the pool's work runs, on pools of any size, and what a step throws reaches
// the caller.
TEST(PoolSize, NestsAndThrows) {
    for (std::size_t size : {1, 3}) {
        base::pool::with_threads(size, [&] {
            EXPECT_EQ(par::threads(), size);
            std::atomic<std::size_t> calls{0};
            base::pool::for_each(
                8, [&](std::size_t) { base::pool::for_each(8, [&](std::size_t) { ++calls; }); });
            EXPECT_EQ(calls, 64u);
            EXPECT_THROW(base::pool::for_each(8,
                                              [](std::size_t i) {
                                                  if (i == 5) {
                                                      throw std::bad_alloc();
                                                  }
                                              }),
                         std::bad_alloc);
        });
    }
}

// A group its caller leaves by an exception waits for its work where the work runs, also on a
// pool with no thread but the caller's.
TEST(PoolSize, GroupLeftByAnExceptionFinishesItsWork) {
    for (std::size_t size : {1, 3}) {
        base::pool::with_threads(size, [&] {
            std::atomic<int> runs{0};
            EXPECT_THROW(
                {
                    base::pool::Group group;
                    group.run([&] { ++runs; });
                    throw std::bad_alloc();
                },
                std::bad_alloc);
            EXPECT_LE(runs, 1);
        });
    }
}

} // namespace
} // namespace quorvane_dsl::boolean::detail
