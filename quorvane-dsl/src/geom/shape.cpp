#include "geom/shape.hpp"

#include <algorithm>
#include <cmath>
#include <span>

namespace quorvane_dsl::geom {
namespace {

// Least and greatest that pass over a NaN in favour of the other operand. `fmin` and `fmax`
// are calls into the maths library; they are left only zeros of either sign and NaNs, where
// their answer is theirs alone.
double least(double a, double b) {
    if (a < b) {
        return a;
    }
    if (b < a || (a == b && a != 0)) {
        return b;
    }
    return std::fmin(a, b);
}
double greatest(double a, double b) {
    if (a > b) {
        return a;
    }
    if (b > a || (a == b && a != 0)) {
        return b;
    }
    return std::fmax(a, b);
}

void widen(std::optional<BBox>& box, const BBox& more) {
    if (!box) {
        box = more;
        return;
    }
    box->left = least(box->left, more.left);
    box->bottom = least(box->bottom, more.bottom);
    box->right = greatest(box->right, more.right);
    box->top = greatest(box->top, more.top);
}

std::optional<BBox> points_box(const Points& points) {
    if (points.empty()) {
        return std::nullopt;
    }
    BBox box{points[0].x, points[0].y, points[0].x, points[0].y};
    for (const Point& p : std::span(points).subspan(1)) {
        box.left = least(box.left, p.x);
        box.bottom = least(box.bottom, p.y);
        box.right = greatest(box.right, p.x);
        box.top = greatest(box.top, p.y);
    }
    return box;
}

} // namespace

std::optional<BBox> LocalGeometry::bbox() const {
    // Most geometries are one box or one polygon: no walk for them.
    if (const auto* polygon = std::get_if<Polygon>(&kind)) {
        return points_box(polygon->points);
    }
    if (const auto* b = std::get_if<BBox>(&kind)) {
        return *b;
    }
    std::optional<BBox> box;
    // Groups may nest as deep as the evaluator builds them: walk them with a stack of our own.
    std::vector<const LocalGeometry*> pending{this};
    while (!pending.empty()) {
        const LocalGeometry& g = *pending.back();
        pending.pop_back();
        if (const auto* b = std::get_if<BBox>(&g.kind)) {
            widen(box, *b);
        } else if (const auto* polygon = std::get_if<Polygon>(&g.kind)) {
            if (auto pb = points_box(polygon->points)) {
                widen(box, *pb);
            }
        } else if (const auto* path = std::get_if<Path>(&g.kind)) {
            if (auto pb = points_box(path->points)) {
                const double h = path->width / 2;
                widen(box, {pb->left - h, pb->bottom - h, pb->right + h, pb->top + h});
            }
        } else {
            const auto& members = std::get<Group>(g.kind).members;
            for (auto it = members.rbegin(); it != members.rend(); ++it) {
                pending.push_back(&*it);
            }
        }
    }
    return box;
}

std::optional<Frame> LocalShape::anchor(std::string_view name) const {
    if (name == "origin") {
        return Frame{0, 0, 0};
    }
    const auto own = std::ranges::find(anchors, name, &NamedFrame::name);
    if (own != anchors.end()) {
        return own->frame;
    }
    if (auto p = box_anchor(bbox, name)) {
        return Frame{p->x, p->y, 0};
    }
    return std::nullopt;
}

LocalShape shape_of(LocalGeometry geometry) {
    const BBox box = geometry.bbox().value_or(BBox{});
    return {std::move(geometry), {}, box};
}

LocalShape polygon_shape(Points points) {
    return shape_of({Polygon{std::move(points)}});
}

} // namespace quorvane_dsl::geom
