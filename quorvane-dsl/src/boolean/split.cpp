#include "boolean/split.hpp"

#include <algorithm>
#include <array>
#include <optional>

#include "boolean/keyhole.hpp"

namespace quorvane_dsl::boolean {
namespace {

// The half boxes reach one unit past the polygon on the sides away from the cut, but never past
// the coordinate range the engine accepts (the polygon itself lies within it).
std::int64_t clamp_to_range(std::int64_t v) {
    return std::clamp(v, -coordinate_limit, coordinate_limit);
}

Ring box_ring(std::int64_t x0, std::int64_t y0, std::int64_t x1, std::int64_t y1) {
    x0 = clamp_to_range(x0);
    y0 = clamp_to_range(y0);
    x1 = clamp_to_range(x1);
    y1 = clamp_to_range(y1);
    return {{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}};
}

std::array<Ring, 2> half_boxes(const Box& b) {
    const std::int64_t w = b.x1 - b.x0;
    const std::int64_t h = b.y1 - b.y0;
    if (w >= h) {
        const std::int64_t mid = b.x0 + w / 2;
        return {box_ring(b.x0 - 1, b.y0 - 1, mid, b.y1 + 1),
                box_ring(mid, b.y0 - 1, b.x1 + 1, b.y1 + 1)};
    }
    const std::int64_t mid = b.y0 + h / 2;
    return {box_ring(b.x0 - 1, b.y0 - 1, b.x1 + 1, mid),
            box_ring(b.x0 - 1, mid, b.x1 + 1, b.y1 + 1)};
}

std::optional<RangeError> split_into(std::span<const Point> polygon, Polygons& pieces);

std::optional<RangeError> add_outlines(std::expected<Polygons, RangeError> result,
                                       Polygons& pieces) {
    if (!result) {
        return std::move(result.error());
    }
    for (const Ring& outline : keyholes(std::move(*result))) {
        if (std::optional<RangeError> error = split_into(outline, pieces)) {
            return error;
        }
    }
    return std::nullopt;
}

std::optional<RangeError> split_into(std::span<const Point> polygon, Polygons& pieces) {
    if (fits_one_piece(polygon.size())) {
        pieces.emplace_back(polygon.begin(), polygon.end());
        return std::nullopt;
    }
    const Box box = bounds(polygon);
    const std::span<const Ring> none;
    const Ring whole(polygon.begin(), polygon.end());
    if (box.x1 - box.x0 <= 1 && box.y1 - box.y0 <= 1) {
        // No cut can make it smaller, but every one of its points lies on one of at most four
        // grid points: its normal form has at most four points per ring.
        return add_outlines(boolean(std::span(&whole, 1), none, Op::Union), pieces);
    }
    for (const Ring& half : half_boxes(box)) {
        auto part = boolean(std::span(&whole, 1), std::span(&half, 1), Op::Intersection);
        if (std::optional<RangeError> error = add_outlines(std::move(part), pieces)) {
            return error;
        }
    }
    return std::nullopt;
}

} // namespace

std::expected<Polygons, RangeError> split(std::span<const Point> polygon) {
    if (!fits_one_piece(polygon.size())) {
        if (std::optional<RangeError> error = check_range(polygon)) {
            return std::unexpected(std::move(*error));
        }
    }
    Polygons pieces;
    if (std::optional<RangeError> error = split_into(polygon, pieces)) {
        return std::unexpected(std::move(*error));
    }
    return pieces;
}

} // namespace quorvane_dsl::boolean
