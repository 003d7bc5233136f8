// Hand-scanned command-line options: valued flags and positional arguments.
#pragma once

#include <span>
#include <string>
#include <vector>

namespace quorvane {

using Args = std::span<const std::string>;

// The value after every occurrence of `flag`, in order; a flag in last position has none.
std::vector<std::string> flag_values(Args args, std::string_view flag);

// The arguments that are neither options nor the values of valued options.
std::vector<std::string> positional(Args args);

} // namespace quorvane
