#include "base/fatal.hpp"

#include <cstdio>
#include <cstdlib>

namespace quorvane_dsl::base {

void fatal(std::string_view message) {
    std::fprintf(stderr, "internal error: %.*s\n", static_cast<int>(message.size()),
                 message.data());
    std::fflush(stderr);
    std::abort();
}

} // namespace quorvane_dsl::base
