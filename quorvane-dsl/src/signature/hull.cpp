#include <algorithm>
#include <cmath>

#include "boolean/path.hpp"
#include "ir/engine.hpp"
#include "ir/transform.hpp"
#include "ir/walk.hpp"
#include "signature/signature.hpp"

namespace quorvane_dsl::signature {

namespace {

double cross(const HullPoint& o, const HullPoint& a, const HullPoint& p) {
    return (a.x - o.x) * (p.y - o.y) - (a.y - o.y) * (p.x - o.x);
}

void add_point(Hull& points, double x, double y) {
    points.push_back({x, y});
}

struct ShapePoints {
    Hull& points;

    void operator()(const ir::Box& b) const {
        const double l = static_cast<double>(b.left);
        const double r = static_cast<double>(b.right);
        const double bt = static_cast<double>(b.bottom);
        const double t = static_cast<double>(b.top);
        add_point(points, l, bt);
        add_point(points, r, bt);
        add_point(points, r, t);
        add_point(points, l, t);
    }
    void operator()(const ir::Polygon& p) const {
        for (const ir::Point& q : p.points) {
            add_point(points, static_cast<double>(q.x), static_cast<double>(q.y));
        }
    }
    void operator()(const ir::Path& p) const {
        for (const boolean::Point& q : boolean::path_polygon(ir::to_boolean(p.points), p.width)) {
            add_point(points, static_cast<double>(q.x), static_cast<double>(q.y));
        }
    }
};

// The child's hull moved by one placement, once per corner element of an array.
void add_placed(Hull& points, const ir::Instance& inst, const Hull& child) {
    std::vector<HullPoint> offsets = {{0, 0}};
    if (const auto& a = inst.array) {
        const double n = a->columns == 0 ? 0.0 : static_cast<double>(a->columns - 1);
        const double m = a->rows == 0 ? 0.0 : static_cast<double>(a->rows - 1);
        const HullPoint across{static_cast<double>(a->column_step.x) * n,
                               static_cast<double>(a->column_step.y) * n};
        const HullPoint up{static_cast<double>(a->row_step.x) * m,
                           static_cast<double>(a->row_step.y) * m};
        offsets.push_back(across);
        offsets.push_back(up);
        offsets.push_back({across.x + up.x, across.y + up.y});
    }
    const ir::Turn turn = ir::turn_of(ir::normalize_angle(inst.rotation));
    for (const HullPoint& p : child) {
        const auto [x, y] = ir::place(inst, turn, p.x, p.y);
        for (const HullPoint& o : offsets) {
            // A placement that is not finite (a rotation of NaN or infinity) has no place to
            // put the child; it contributes nothing rather than poisoning the ordering below.
            if (std::isfinite(x + o.x) && std::isfinite(y + o.y)) {
                add_point(points, x + o.x, y + o.y);
            }
        }
    }
}

Hull convex_hull(Hull points) {
    if (points.size() < 2) {
        return points;
    }
    std::sort(points.begin(), points.end());
    points.erase(std::unique(points.begin(), points.end()), points.end());
    if (points.size() < 3) {
        return points;
    }
    Hull lower;
    for (const HullPoint& p : points) {
        while (lower.size() >= 2 && cross(lower[lower.size() - 2], lower.back(), p) <= 0) {
            lower.pop_back();
        }
        lower.push_back(p);
    }
    Hull upper;
    for (auto it = points.rbegin(); it != points.rend(); ++it) {
        while (upper.size() >= 2 && cross(upper[upper.size() - 2], upper.back(), *it) <= 0) {
            upper.pop_back();
        }
        upper.push_back(*it);
    }
    lower.pop_back();
    lower.insert(lower.end(), upper.begin(), upper.end());
    return lower;
}

Hull collect(const ir::Cell& cell, const HullMemo& memo) {
    Hull points;
    for (const ir::Shape& shape : cell.shapes) {
        std::visit(ShapePoints{points}, shape.geometry.kind);
    }
    for (const ir::Instance& inst : cell.instances) {
        add_placed(points, inst, *memo[inst.cell]);
    }
    return convex_hull(std::move(points));
}

} // namespace

const Hull& hull(const ir::Library& library, std::uint64_t index, HullMemo& memo) {
    // Each cell gets an empty hull before its children are visited, so a cell reached again
    // through its own placements adds nothing.
    const auto enter = [&](std::uint64_t cell) {
        if (memo.at(cell)) {
            return false;
        }
        memo[cell].emplace();
        return true;
    };
    const auto finish = [&](std::uint64_t cell) {
        memo[cell] = collect(library.cells[cell], memo);
    };
    ir::walk_children_first(library.cells, index, enter, finish);
    return *memo[index];
}

std::optional<ir::Box> footprint(const ir::Library& library, std::uint64_t index) {
    HullMemo memo(library.cells.size());
    Hull points = hull(library, index, memo);
    for (const ir::Marker& marker : library.cells.at(index).markers) {
        if (ir::marker_kind(marker) != "port") {
            continue;
        }
        for (const ir::Frame& frame : marker.locations) {
            add_point(points, static_cast<double>(frame.x), static_cast<double>(frame.y));
        }
    }
    if (points.empty()) {
        return std::nullopt;
    }
    const auto [min_x, max_x] = std::ranges::minmax(points, {}, &HullPoint::x);
    const auto [min_y, max_y] = std::ranges::minmax(points, {}, &HullPoint::y);
    return ir::Box{ir::round_to_i64(min_x.x), ir::round_to_i64(min_y.y), ir::round_to_i64(max_x.x),
                   ir::round_to_i64(max_y.y)};
}

} // namespace quorvane_dsl::signature
