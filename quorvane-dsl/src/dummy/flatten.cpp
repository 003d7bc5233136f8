#include "dummy/flatten.hpp"

#include <algorithm>
#include <cmath>

#include "base/angle.hpp"
#include "base/round.hpp"
#include "boolean/boolean.hpp"
#include "boolean/path.hpp"
#include "ir/engine.hpp"
#include "ir/text.hpp"
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

// Beyond this, sums of coordinates in doubles may round.
constexpr double exact_limit = static_cast<double>(std::int64_t{1} << 50);

// Quarter turns and whole-unit positions keep every moved point exact, so shifting the placement
// by whole units shifts every point it gives by just as much.
bool whole_units(const Placement& at) {
    const double a = at.angle;
    return (a == 0 || a == 90 || a == 180 || a == 270) && std::floor(at.x) == at.x &&
           std::floor(at.y) == at.y && std::abs(at.x) <= exact_limit &&
           std::abs(at.y) <= exact_limit;
}

bool within_exact_limit(std::span<const boolean::Point> ring) {
    return std::all_of(ring.begin(), ring.end(), [](const boolean::Point& p) {
        return std::abs(static_cast<double>(p.x)) <= exact_limit &&
               std::abs(static_cast<double>(p.y)) <= exact_limit;
    });
}

struct Walk {
    const ir::Library& library;
    const Targets& targets;
    RelevanceMemo& memo;
    // Cells whose contents once failed to flatten as one stepped element (a turned instance, an
    // area shape): every copy of an enclosing array would try and fail again. Flattening element
    // by element gives the same blockers, so skipping the attempt changes nothing.
    std::vector<bool>& unsteppable;
};

// An array step turned and mirrored like the placement's contents.
boolean::Point turned(const Placement& at, ir::Point step) {
    const base::Turn turn = base::turn_of(at.angle);
    const auto c = static_cast<std::int64_t>(turn.cos);
    const auto s = static_cast<std::int64_t>(turn.sin);
    const std::int64_t y = at.mirror ? -step.y : step.y;
    return {step.x * c - y * s, step.x * s + y * c};
}

boolean::Box shifted(const boolean::Box& box, boolean::Point by) {
    return {box.x0 + by.x, box.y0 + by.y, box.x1 + by.x, box.y1 + by.y};
}

// The box of everything a flattened set blocks, repeats included.
boolean::Box extent(const Flattened& flat) {
    boolean::Box box = boolean::empty_box;
    for (const Blocker& blocker : flat.blocking) {
        const auto* b = std::get_if<boolean::Box>(&blocker);
        box = boolean::box_union(box, b ? *b : boolean::bounds(std::get<boolean::Ring>(blocker)));
    }
    for (const Stepped& s : flat.stepped) {
        const boolean::Box one = extent(s.element);
        if (one.x0 > one.x1) {
            continue;
        }
        const std::int64_t u = static_cast<std::int64_t>(s.columns) - 1;
        const std::int64_t v = static_cast<std::int64_t>(s.rows) - 1;
        box = boolean::box_union(box, one);
        box = boolean::box_union(box, shifted(one, {u * s.column.x, u * s.column.y}));
        box = boolean::box_union(box, shifted(one, {v * s.row.x, v * s.row.y}));
        box = boolean::box_union(
            box, shifted(one, {u * s.column.x + v * s.row.x, u * s.column.y + v * s.row.y}));
    }
    return box;
}

bool add_shapes(const Walk& walk, const ir::Cell& cell, const Placement& at, Flattened& out,
                bool exact);

std::optional<Stepped> stepped(const Walk& walk, const Placement& at, const ir::Instance& instance);

// Adds what `root` placed at `at`, and everything below it, to `out`. With `exact`, gives up
// (returning false, `out` then partly filled) where something lands off whole units or on the
// area layer, since such contents cannot stand for a shifted copy.
bool collect(const Walk& walk, std::uint64_t root, const Placement& at, Flattened& out,
             bool exact) {
    std::vector<std::pair<std::uint64_t, Placement>> stack{{root, at}};
    while (!stack.empty()) {
        const auto [index, here] = stack.back();
        stack.pop_back();
        if (exact && !whole_units(here)) {
            return false;
        }
        const ir::Cell& cell = walk.library.cells.at(index);
        if (cell.blackbox) {
            const boolean::Ring footprint = corners(cell.blackbox->footprint);
            if (exact && !within_exact_limit(footprint)) {
                return false;
            }
            out.blocking.push_back(place(footprint, here));
            continue;
        }
        if (!add_shapes(walk, cell, here, out, exact)) {
            return false;
        }
        for (const ir::Instance& instance : cell.instances) {
            if (!is_relevant(walk.library, instance.cell, walk.targets, walk.memo)) {
                continue;
            }
            if (auto repeat = stepped(walk, here, instance)) {
                out.stepped.push_back(std::move(*repeat));
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
                                       child_placement(here, instance, static_cast<double>(x),
                                                       static_cast<double>(y)));
                }
            }
        }
    }
    return true;
}

bool add_shapes(const Walk& walk, const ir::Cell& cell, const Placement& at, Flattened& out,
                bool exact) {
    for (const ir::Shape& shape : cell.shapes) {
        const bool blocking = on_blocking_layer(walk.targets, shape.layer);
        const bool area = shape.layer == walk.targets.area;
        if (!blocking && !area) {
            continue;
        }
        const boolean::Ring ring = outline(shape.geometry);
        if (ring.size() < 3) {
            continue;
        }
        if (exact && (area || !within_exact_limit(ring))) {
            return false;
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
    return true;
}

// An array under a whole-unit placement, flattened once at its first element when every repeat
// is that element shifted by whole units and stays within the coordinate limit; otherwise none,
// and the elements are flattened one by one. Arrays nest no deeper than 28 levels here, since
// the flattening limit bounds the product of their element counts.
std::optional<Stepped> stepped(const Walk& walk, const Placement& at,
                               const ir::Instance& instance) {
    if (!instance.array || elements(instance) < 2 || !whole_units(at) ||
        walk.unsteppable[instance.cell]) {
        return std::nullopt;
    }
    const ir::Array& array = *instance.array;
    const auto limit = static_cast<double>(boolean::coordinate_limit);
    for (const ir::Point step : {array.column_step, array.row_step}) {
        if (std::abs(static_cast<double>(step.x)) > limit ||
            std::abs(static_cast<double>(step.y)) > limit) {
            return std::nullopt;
        }
    }
    Stepped out{.column = turned(at, array.column_step),
                .row = turned(at, array.row_step),
                .columns = array.columns,
                .rows = array.rows};
    const Placement first = child_placement(at, instance, static_cast<double>(instance.x),
                                            static_cast<double>(instance.y));
    if (!collect(walk, instance.cell, first, out.element, true)) {
        walk.unsteppable[instance.cell] = true;
        return std::nullopt;
    }
    const boolean::Box one = extent(out.element);
    if (one.x0 > one.x1) {
        return out;
    }
    const auto reach = [&](std::int64_t lo, std::int64_t hi, std::int64_t column,
                           std::int64_t row) {
        const __int128 u = __int128(out.columns - 1) * column;
        const __int128 v = __int128(out.rows - 1) * row;
        const __int128 low = lo + std::min<__int128>(u, 0) + std::min<__int128>(v, 0);
        const __int128 high = hi + std::max<__int128>(u, 0) + std::max<__int128>(v, 0);
        return -boolean::coordinate_limit <= low && high <= boolean::coordinate_limit;
    };
    if (!reach(one.x0, one.x1, out.column.x, out.row.x) ||
        !reach(one.y0, one.y1, out.column.y, out.row.y)) {
        return std::nullopt;
    }
    return out;
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
    RelevanceMemo memo(library.cells.size(), unknown);
    if (flattened_size(library, top, targets, memo) > max_flattened) {
        return std::unexpected("cell " + ir::shown(library.cells.at(top).name) +
                               " places more than " + std::to_string(max_flattened) +
                               " cells and shapes when flattened for dummy fill");
    }
    Flattened out;
    std::vector<bool> unsteppable(library.cells.size(), false);
    collect({library, targets, memo, unsteppable}, top, Placement{}, out, false);
    return out;
}

} // namespace quorvane_dsl::dummy
