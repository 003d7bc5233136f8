#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <optional>
#include <string>

#include <gtest/gtest.h>
#include <tbb/global_control.h>
#include <tbb/task_arena.h>

#include "boolean/boolean.hpp"
#include "boolean/detail/par.hpp"

namespace quorvane_dsl::boolean::detail {
namespace {

// The pool is sized once per process, so every case runs in a fresh one.
void expect_pool_size(const char* num_threads, const char* num_cpus, int expected) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    setenv("RAYON_NUM_THREADS", num_threads, 1);
    setenv("RAYON_RS_NUM_CPUS", num_cpus, 1);
    EXPECT_EXIT(
        {
            std::size_t n = 0;
            tbb::task_arena(8).execute([&] { n = par::threads(); });
            std::exit(static_cast<int>(n));
        },
        testing::ExitedWithCode(expected), "")
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
// all stay on the calling thread starts none.
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
    setenv("RAYON_NUM_THREADS", "1", 1);
    EXPECT_EXIT(
        {
            union_of_square(par::threshold);
            std::exit(static_cast<int>(
                tbb::global_control::active_value(tbb::global_control::max_allowed_parallelism)));
        },
        testing::ExitedWithCode(1), "");
}

} // namespace
} // namespace quorvane_dsl::boolean::detail
