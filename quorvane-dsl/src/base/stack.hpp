// The stack that deep inputs are followed on: one work thread with a large reserved stack, and
// the room left on the stack in use for guards of recursive steps.
#pragma once

#include <cstddef>
#include <cstdint>
#include <expected>
#include <functional>

namespace quorvane_dsl::base {

// Address space reserved for the work thread's stack when nothing limits it. Pages are
// committed only as deep inputs touch them, so a shallow design costs nothing more than on the
// main thread.
inline constexpr std::size_t work_stack_size = std::size_t{16} << 30;

// What a recursive step must leave untouched below it: the deepest leaf work (the polygon
// engine, GDSII records, sorting) runs on top of the deepest guarded level.
inline constexpr std::size_t stack_reserve = std::size_t{2} << 20;

// The least stack a command runs on: `stack_reserve` and the parser's nesting limit followed by
// every pass (under 1 MiB in a release build), with room to spare; below the 8 MiB main thread
// stack of the usual `ulimit -s`, which serves where no larger stack can be mapped and no
// address-space limit holds.
inline constexpr std::size_t min_work_stack = std::size_t{4} << 20;

// The process limit that left no room for a stack of `min_work_stack` bytes.
enum class StackLimit : std::uint8_t { AddressSpace, Stack };

// Runs `work` on the largest stack the process limits allow and waits for it; an exception it
// throws is thrown again here. Without an address-space limit the calling thread's stack serves
// when it is larger than the reserved one (one that grows without bound counts up to the same
// size). Under such a limit the reserved stack takes at most a quarter of it, the rest being the
// work's own, and always serves: the calling stack's room enters the address space only as it
// grows, by when the heap may have taken it; and every thread allocates from one heap. Where no
// thread can start, the calling thread runs `work` on the reserved stack itself. When no stack
// of `min_work_stack` bytes can be had, `work` is not run.
[[nodiscard]] std::expected<void, StackLimit> run_on_work_stack(const std::function<void()>& work);

// Bytes of the stack in use below the caller's frame.
std::size_t stack_left();

namespace detail {
// Where the stack in use on this thread reaches `stack_reserve`; 0 until its first guard finds it.
inline constinit thread_local std::uintptr_t reserve_line = 0;
std::uintptr_t find_reserve_line();
} // namespace detail

// False once a further level of recursion would eat into `stack_reserve`. Every recursive step
// of every pass asks, so after the thread's first call it is one compare.
inline bool stack_room() {
    std::uintptr_t line = detail::reserve_line;
    if (line == 0) [[unlikely]] {
        line = detail::find_reserve_line();
    }
    return reinterpret_cast<std::uintptr_t>(__builtin_frame_address(0)) > line;
}

} // namespace quorvane_dsl::base
