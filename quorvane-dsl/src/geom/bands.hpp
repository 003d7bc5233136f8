// Cross-section bands: their checks, the result of every band builder, and sweeping them along
// a sampled centre line, a straight line, a ring or a racetrack.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "geom/curve.hpp"
#include "geom/shape.hpp"

namespace quorvane_dsl::geom {

// One section of a cross-section: its middle `offset` to the left of the direction of travel
// (negative to the right) and its width, both nanometres.
struct Band {
    double offset = 0;
    double width = 0;
    friend bool operator==(Band, Band) = default;
};

using Bands = std::vector<Band>;

// How far the band's outer edge lies from the centre line.
double reach_of(Band band);

struct EndFrames {
    Frame start;
    Frame end;
};

// What a band builder gives: the first band as the shape itself (with "start" and "end"
// anchors where the shape has ends), the other bands' geometries in band order, and the
// tightest radius of the centre line.
struct Banded {
    LocalShape shape;
    std::vector<LocalGeometry> others;
    double radius = 0;

    // `geometries` holds at least one geometry, the first band's.
    static Banded make(std::vector<LocalGeometry> geometries, std::optional<EndFrames> ends,
                       double radius);
};

// A cross-section needs a section, and every section a positive width and a finite offset.
std::optional<std::string> check_bands(const Bands& bands);

// "a section 1um wide", with " at offset 2um" unless the offset is 0.
std::string describe_band(double offset, double width);

// Sweeps every band along the curve; each band keeps the samples its reach needs and refuses a
// curve that bends tighter than its reach.
Built<Banded> swept(const Curve& curve, const Bands& bands, Frame start, Frame end,
                    std::optional<std::int64_t> segments, double tol);

// Boxes from x = 0 to `length` along +x.
Built<Banded> straight_bands(const Bands& bands, double length);

// One ring per band at radius - offset; no end anchors; the radius is the centre radius.
Built<Banded> ring_bands(const Bands& bands, std::optional<std::int64_t> segments,
                         std::optional<double> angle, std::optional<double> start_angle,
                         double radius, double tol);

Built<Banded> racetrack_bands(const Bands& bands, std::optional<std::int64_t> segments,
                              double radius, double length, double tol);

} // namespace quorvane_dsl::geom
