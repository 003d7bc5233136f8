#pragma once

#include "args.hpp"
#include "outcome.hpp"

// One driver per command word; each lives in its own file and is added to the dispatch
// table in main.cpp when it lands.
namespace quorvane {} // namespace quorvane
