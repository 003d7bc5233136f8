#include <algorithm>
#include <new>

#include <gtest/gtest.h>

#include <sys/resource.h>

#include "base/stack.hpp"

namespace quorvane_dsl::base {
namespace {

// Deep inputs are measured against the work stack, as large as the address-space limit allows,
// or the calling thread's when that is larger; afterwards against the caller's again. What the
// work throws reaches the caller.
TEST(Stack, WorkRunsOnTheLargeStackAndPassesExceptionsBack) {
    rlimit limit{};
    ASSERT_EQ(getrlimit(RLIMIT_AS, &limit), 0);
    const std::size_t allowed = limit.rlim_cur == RLIM_INFINITY
                                    ? work_stack_size
                                    : std::min<std::size_t>(work_stack_size, limit.rlim_cur / 4);
    const std::size_t calling = stack_left();
    std::size_t left = 0;
    ASSERT_TRUE(run_on_work_stack([&] { left = stack_left(); }));
    EXPECT_GT(left, std::max(allowed, calling) - (std::size_t{1} << 20));
    EXPECT_EQ(stack_left(), calling);
    EXPECT_EQ(stack_room(), calling > stack_reserve);
    EXPECT_THROW((void)run_on_work_stack([] { throw std::bad_alloc(); }), std::bad_alloc);
}

} // namespace
} // namespace quorvane_dsl::base
