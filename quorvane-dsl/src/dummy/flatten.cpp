#include "dummy/flatten.hpp"

#include <algorithm>

#include "base/angle.hpp"
#include "base/round.hpp"
#include "boolean/boolean.hpp"
#include "boolean/path.hpp"
#include "ir/engine.hpp"
#include "ir/walk.hpp"

namespace quorvane_dsl::dummy {

namespace {

constexpr std::uint8_t unknown = 2;

bool on_blocking_layer(const Targets& targets, std::uint64_t layer) {
    return layer == targets.fill || std::find(targets.exclude.begin(), targets.exclude.end(),
                                              layer) != targets.exclude.end();
}

bool is_target(const Targets& targets, std::uint64_t layer) {
    return on_blocking_layer(targets, layer) || layer == targets.area;
}

boolean::Ring corners(const ir::Box& box) {
    return {
        {box.left, box.bottom}, {box.right, box.bottom}, {box.right, box.top}, {box.left, box.top}};
}

boolean::Ring outline(const ir::Geometry& geometry) {
    return std::visit(
        [](const auto& kind) -> boolean::Ring {
            using Kind = std::decay_t<decltype(kind)>;
            if constexpr (std::is_same_v<Kind, ir::Box>) {
                return corners(kind);
            } else if constexpr (std::is_same_v<Kind, ir::Polygon>) {
                return ir::to_boolean(kind.points);
            } else {
                return boolean::path_polygon(ir::to_boolean(kind.points), kind.width);
            }
        },
        geometry.kind);
}

// Does the cell itself, without its instances, give anything to the targets?
bool matters_itself(const ir::Cell& cell, const Targets& targets) {
    return cell.blackbox ||
           std::any_of(cell.shapes.begin(), cell.shapes.end(),
                       [&](const ir::Shape& shape) { return is_target(targets, shape.layer); });
}

Placement child_placement(const Placement& parent, const ir::Instance& instance, double x,
                          double y) {
    const base::Turn turn = base::turn_of(parent.angle);
    const double sign = parent.mirror ? -1.0 : 1.0;
    return {
        .angle = base::normalize_angle(parent.mirror ? parent.angle - instance.rotation
                                                     : parent.angle + instance.rotation),
        .x = parent.x + x * turn.cos - sign * y * turn.sin,
        .y = parent.y + x * turn.sin + sign * y * turn.cos,
        .mirror = instance.mirror != parent.mirror,
    };
}

std::uint64_t elements(const ir::Instance& instance) {
    return instance.array ? std::uint64_t{instance.array->columns} * instance.array->rows : 1;
}

// How many cells and shapes flattening `top` visits, counted per cell from the leaves up and
// capped just above the limit, so that the answer comes before any of the work.
std::uint64_t flattened_size(const ir::Library& library, std::uint64_t top, const Targets& targets,
                             RelevanceMemo& memo) {
    constexpr std::uint64_t cap = max_flattened + 1;
    std::vector<std::uint64_t> size(library.cells.size(), 0);
    std::vector<bool> entered(library.cells.size(), false);
    const std::span<const ir::Cell> cells = library.cells;
    const auto enter = [&](std::uint64_t index) {
        if (entered[index] || (index != top && !is_relevant(library, index, targets, memo))) {
            return false;
        }
        entered[index] = true;
        return !cells[index].blackbox;
    };
    const auto finish = [&](std::uint64_t index) {
        unsigned __int128 total = cells[index].shapes.size();
        for (const ir::Instance& instance : cells[index].instances) {
            if (memo.at(instance.cell) == 1) {
                total +=
                    static_cast<unsigned __int128>(elements(instance)) * (1 + size[instance.cell]);
            }
            total = std::min<unsigned __int128>(total, cap);
        }
        size[index] = static_cast<std::uint64_t>(total);
    };
    ir::walk_children_first(cells, top, enter, finish);
    return size[top];
}

} // namespace

bool is_relevant(const ir::Library& library, std::uint64_t cell, const Targets& targets,
                 RelevanceMemo& memo) {
    const std::span<const ir::Cell> cells = library.cells;
    // Children are decided before their parents, without recursion: hierarchies can be deep.
    // A cell met again while pending counts as not relevant there.
    const auto enter = [&](std::uint64_t index) {
        if (memo.at(index) != unknown) {
            return false;
        }
        if (matters_itself(cells[index], targets)) {
            memo[index] = 1;
            return false;
        }
        memo[index] = 0;
        return true;
    };
    const auto finish = [&](std::uint64_t index) {
        const auto& instances = cells[index].instances;
        memo[index] = std::any_of(instances.begin(), instances.end(),
                                  [&](const ir::Instance& i) { return memo.at(i.cell) == 1; });
    };
    ir::walk_children_first(cells, cell, enter, finish);
    return memo[cell] == 1;
}

Blocker place(std::span<const boolean::Point> ring, const Placement& placement) {
    const base::Turn turn = base::turn_of(base::normalize_angle(placement.angle));
    const double sign = placement.mirror ? -1.0 : 1.0;
    boolean::Ring moved;
    moved.reserve(ring.size());
    for (const boolean::Point& p : ring) {
        const double x = static_cast<double>(p.x);
        const double y = sign * static_cast<double>(p.y);
        moved.push_back({base::round_to_i64(placement.x + x * turn.cos - y * turn.sin),
                         base::round_to_i64(placement.y + x * turn.sin + y * turn.cos)});
    }
    if (const auto box = boolean::as_box(moved)) {
        return *box;
    }
    return moved;
}

std::expected<Flattened, std::string> flatten(const ir::Library& library, std::uint64_t top,
                                              const Targets& targets) {
    Flattened out;
    RelevanceMemo memo(library.cells.size(), unknown);
    std::vector<std::pair<std::uint64_t, Placement>> stack{{top, Placement{}}};
    if (flattened_size(library, top, targets, memo) > max_flattened) {
        return std::unexpected("cell `" + library.cells.at(top).name + "` places more than " +
                               std::to_string(max_flattened) +
                               " cells and shapes when flattened for dummy fill");
    }
    while (!stack.empty()) {
        const auto [index, at] = stack.back();
        stack.pop_back();
        const ir::Cell& cell = library.cells.at(index);
        if (cell.blackbox) {
            out.blocking.push_back(place(corners(cell.blackbox->footprint), at));
            continue;
        }
        for (const ir::Shape& shape : cell.shapes) {
            const bool blocking = on_blocking_layer(targets, shape.layer);
            const bool area = shape.layer == targets.area;
            if (!blocking && !area) {
                continue;
            }
            const boolean::Ring ring = outline(shape.geometry);
            if (ring.size() < 3) {
                continue;
            }
            Blocker moved = place(ring, at);
            if (area) {
                const auto* box = std::get_if<boolean::Box>(&moved);
                out.area.push_back(box ? boolean::Ring{{box->x0, box->y0},
                                                       {box->x1, box->y0},
                                                       {box->x1, box->y1},
                                                       {box->x0, box->y1}}
                                       : std::get<boolean::Ring>(moved));
            }
            if (blocking) {
                out.blocking.push_back(std::move(moved));
            }
        }
        for (const ir::Instance& instance : cell.instances) {
            if (!is_relevant(library, instance.cell, targets, memo)) {
                continue;
            }
            const std::uint64_t columns = instance.array ? instance.array->columns : 1;
            const std::uint64_t rows = instance.array ? instance.array->rows : 1;
            const ir::Array steps = instance.array.value_or(ir::Array{});
            for (std::uint64_t u = 0; u < columns; ++u) {
                for (std::uint64_t v = 0; v < rows; ++v) {
                    // 128 bits: huge steps times large counts must not overflow.
                    const __int128 x = __int128(instance.x) + __int128(u) * steps.column_step.x +
                                       __int128(v) * steps.row_step.x;
                    const __int128 y = __int128(instance.y) + __int128(u) * steps.column_step.y +
                                       __int128(v) * steps.row_step.y;
                    stack.emplace_back(instance.cell,
                                       child_placement(at, instance, static_cast<double>(x),
                                                       static_cast<double>(y)));
                }
            }
        }
    }
    return out;
}

} // namespace quorvane_dsl::dummy
