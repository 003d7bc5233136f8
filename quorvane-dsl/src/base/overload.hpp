// One visitor out of several lambdas, for std::visit.
#pragma once

namespace quorvane_dsl::base {

template <class... F> struct Overload : F... { using F::operator()...; };

} // namespace quorvane_dsl::base
