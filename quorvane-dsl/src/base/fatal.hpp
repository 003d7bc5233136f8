// Ending the process on a broken internal invariant.
#pragma once

#include <string_view>

namespace quorvane_dsl::base {

// Ends the process with a message. Reserved for broken internal invariants that no input can
// reach; faults in the input are reported as values instead.
[[noreturn]] void fatal(std::string_view message);

} // namespace quorvane_dsl::base
