// The stack that deep inputs are followed on: one work thread with a large reserved stack, and
// the room left on the current thread's stack for guards of recursive steps.
#pragma once

#include <cstddef>
#include <functional>

namespace quorvane_dsl::base {

// Address space reserved for the work thread's stack. Pages are committed only as deep inputs
// touch them, so a shallow design costs nothing more than on the main thread.
inline constexpr std::size_t work_stack_size = std::size_t{16} << 30;

// What a recursive step must leave untouched below it: the deepest leaf work (the polygon
// engine, GDSII records, sorting) runs on top of the deepest guarded level.
inline constexpr std::size_t stack_reserve = std::size_t{2} << 20;

// Runs `work` on a thread with a stack of `work_stack_size` bytes and waits for it; an
// exception it throws is thrown again here. Without such a thread (no address space left)
// `work` runs on the calling thread, where the guards refuse deep inputs sooner.
void run_on_work_stack(const std::function<void()>& work);

// Bytes of the current thread's stack below the caller's frame.
std::size_t stack_left();

// False once a further level of recursion would eat into `stack_reserve`.
inline bool stack_room() {
    return stack_left() > stack_reserve;
}

} // namespace quorvane_dsl::base
