#include <cstdlib>
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

// Exits with the pool's thread limit after one small boolean.
[[noreturn]] void exit_with_limit_after_a_boolean() {
    const Ring square{{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    (void)boolean(Polygons{square}, Polygons{square}, Op::Union);
    std::exit(static_cast<int>(
        tbb::global_control::active_value(tbb::global_control::max_allowed_parallelism)));
}

TEST(PoolSize, SizedBeforeTheFirstBoolean) {
    SavedVariable threads("RAYON_NUM_THREADS");
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    setenv("RAYON_NUM_THREADS", "1", 1);
    EXPECT_EXIT(exit_with_limit_after_a_boolean(), testing::ExitedWithCode(1), "");
}

} // namespace
} // namespace quorvane_dsl::boolean::detail
