// How many threads the system lets this process start, found by starting them.
#pragma once

#include <cstddef>

namespace quorvane_dsl::base {

// How many threads with stacks of `stack_bytes` can run beside the calling one at once, up to
// `wanted`. Every limit on threads counts: processes per user, a control group's pids, the
// address space their stacks take. The threads have ended and been released when this returns,
// so as many can be started again at once.
std::size_t startable_threads(std::size_t wanted, std::size_t stack_bytes);

} // namespace quorvane_dsl::base
