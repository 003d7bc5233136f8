#include <new>

#include <gtest/gtest.h>

#include "base/stack.hpp"

namespace quorvane_dsl::base {
namespace {

// Deep inputs are measured against the work thread's stack; what the work throws reaches the
// caller.
TEST(Stack, WorkRunsOnTheLargeStackAndPassesExceptionsBack) {
    std::size_t left = 0;
    ASSERT_TRUE(run_on_work_stack([&] { left = stack_left(); }));
    EXPECT_GT(left, work_stack_size - (std::size_t{1} << 20));
    EXPECT_LT(stack_left(), left);
    EXPECT_TRUE(stack_room());
    EXPECT_THROW((void)run_on_work_stack([] { throw std::bad_alloc(); }), std::bad_alloc);
}

} // namespace
} // namespace quorvane_dsl::base
