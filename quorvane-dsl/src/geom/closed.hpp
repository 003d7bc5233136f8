// Constructors of the closed primitives, centred on the origin, in nanometres and degrees.
#pragma once

#include <cstdint>
#include <optional>

#include "geom/shape.hpp"

namespace quorvane_dsl::geom {

// `tol` is the sampling tolerance of every automatic arc count (the design's database unit);
// an absent `segments` means automatic.

Built<LocalShape> rect(double width, double height, std::optional<double> corner_radius,
                       std::optional<double> line_width, std::optional<std::int64_t> segments,
                       double tol);

Built<LocalShape> polygon(Points points, std::optional<double> corner_radius,
                          std::optional<double> line_width, std::optional<std::int64_t> segments,
                          double tol);

Built<LocalShape> regular_polygon(std::int64_t sides, std::optional<double> radius,
                                  std::optional<double> side_length, double rotation,
                                  std::optional<double> corner_radius,
                                  std::optional<double> line_width,
                                  std::optional<std::int64_t> segments, double tol);

Built<LocalShape> circle(double radius, std::optional<std::int64_t> segments,
                         std::optional<double> angle, std::optional<double> start_angle,
                         double tol);

Built<LocalShape> ellipse(double rx, double ry, std::optional<std::int64_t> segments,
                          std::optional<double> angle, std::optional<double> start_angle,
                          std::optional<double> line_width, double tol);

Built<LocalShape> ring(double radius, double width, std::optional<std::int64_t> segments,
                       std::optional<double> angle, std::optional<double> start_angle, double tol);

Built<LocalShape> racetrack(double radius, double length, double width,
                            std::optional<std::int64_t> segments, double tol);

Built<LocalShape> cross(double length, double arm_width);

Built<LocalShape> trapezoid(double width, double height, double top_width, double offset);

} // namespace quorvane_dsl::geom
