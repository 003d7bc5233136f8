#include "ir/transform.hpp"

namespace quorvane_dsl::ir {

Placed place(const Instance& inst, Turn turn, double x, double y) {
    const double my = inst.mirror ? -y : y;
    return {x * turn.cos - my * turn.sin + static_cast<double>(inst.x),
            x * turn.sin + my * turn.cos + static_cast<double>(inst.y)};
}

} // namespace quorvane_dsl::ir
