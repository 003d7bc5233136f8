// The outcome of a command: pass, fail or an error message.
#pragma once

#include <string>
#include <variant>

namespace quorvane {

struct Pass {};
struct Fail {};
struct Error {
    std::string message;
};

// What every command driver returns: a verdict about the design (pass or fail), or the reason
// the command could not run at all.
using Outcome = std::variant<Pass, Fail, Error>;

} // namespace quorvane
