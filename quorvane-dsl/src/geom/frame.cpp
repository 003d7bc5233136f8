#include "geom/frame.hpp"

#include <cmath>

namespace quorvane_dsl::geom {

double direction_angle(double dx, double dy) {
    return normalize_angle(std::atan2(dy, dx) * degrees_per_radian);
}

std::optional<Point> box_anchor(const BBox& box, std::string_view name) {
    const double cx = (box.left + box.right) * 0.5;
    const double cy = (box.bottom + box.top) * 0.5;
    if (name == "center") {
        return Point{cx, cy};
    }
    if (name == "top_left") {
        return Point{box.left, box.top};
    }
    if (name == "top_right") {
        return Point{box.right, box.top};
    }
    if (name == "top_center") {
        return Point{cx, box.top};
    }
    if (name == "left_center") {
        return Point{box.left, cy};
    }
    if (name == "right_center") {
        return Point{box.right, cy};
    }
    if (name == "bottom_left") {
        return Point{box.left, box.bottom};
    }
    if (name == "bottom_right") {
        return Point{box.right, box.bottom};
    }
    if (name == "bottom_center") {
        return Point{cx, box.bottom};
    }
    return std::nullopt;
}

Frame Transform::apply_frame(const Frame& f) const {
    const double y = mirror ? -f.y : f.y;
    const double a = mirror ? -f.angle : f.angle;
    const Turn t = turn_of(normalize_angle(rotation));
    return {offset_x + (t.cos * f.x - t.sin * y), offset_y + (t.sin * f.x + t.cos * y),
            normalize_angle(rotation + a)};
}

Transform Transform::placing(const Frame& anchor, const Frame& target, bool mirror, double rotate,
                             double dx, double dy) {
    const double a = mirror ? -anchor.angle : anchor.angle;
    const double rotation = normalize_angle(rotate + (target.angle - a));
    const Turn t = turn_of(rotation);
    const double y = mirror ? -anchor.y : anchor.y;
    return {rotation, (dx + target.x) - (anchor.x * t.cos - y * t.sin),
            (dy + target.y) - (anchor.x * t.sin + y * t.cos), mirror};
}

} // namespace quorvane_dsl::geom
