// One visitor out of several lambdas, for std::visit.
#pragma once

namespace quorvane_dsl::base {

template <class... F> struct Overload : F... { using F::operator()...; };
// clang 16 (which builds the fuzz targets) does not deduce an aggregate's arguments by itself.
template <class... F> Overload(F...) -> Overload<F...>;

} // namespace quorvane_dsl::base
