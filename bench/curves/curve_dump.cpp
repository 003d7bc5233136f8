// Prints every double of many curved band builds in hex, and the refusals, so that two builds of
// the library can be compared byte for byte (bench/curves/compare.sh): Euler bends, S-bends of
// every profile, Bezier curves (one with a cusp) and tapers, over tolerances, angles, shares p,
// radii and band sets chosen to reach the odd corners (the 45-degree cap, tiny and near-full
// turns, bands too wide for the bend).
#include <cstdio>
#include <initializer_list>
#include <variant>

#include "geom/bezier.hpp"
#include "geom/euler.hpp"
#include "geom/sbend.hpp"
#include "geom/taper.hpp"

namespace {

using namespace quorvane_dsl::geom;

void dump(const LocalGeometry& geometry) {
    const auto* polygon = std::get_if<Polygon>(&geometry.kind);
    if (!polygon) {
        std::printf("not a polygon\n");
        return;
    }
    std::printf("polygon %zu\n", polygon->points.size());
    for (const Point& p : polygon->points) {
        std::printf("%a %a\n", p.x, p.y);
    }
}

void dump(const Built<Banded>& built) {
    if (!built) {
        std::printf("refused: %s\n", built.error().c_str());
        return;
    }
    std::printf("radius %a\n", built->radius);
    dump(built->shape.geometry);
    for (const NamedFrame& anchor : built->shape.anchors) {
        std::printf("%s %a %a %a\n", anchor.name.c_str(), anchor.frame.x, anchor.frame.y,
                    anchor.frame.angle);
    }
    for (const LocalGeometry& other : built->others) {
        dump(other);
    }
}

} // namespace

int main() {
    const double tolerances[] = {1, 0.37, 5, 1.3, 0.001, 250, 3000, 1e5};
    const Bands band_sets[] = {
        {{0, 500}}, {{0, 500}, {0, 3000}, {0, 6000}}, {{1000, 300}, {-2500, 800}}};
    for (const double tol : tolerances) {
        for (const Bands& bands : band_sets) {
            for (const double angle : {90.0, -90.0, 45.5, 1e-3, 179.9, -270.0, 359.5, 12.345}) {
                for (const double p : {0.5, 0.01, 1.0, 0.77}) {
                    for (const double radius : {10000.0, 2500.5, 7001.0}) {
                        dump(euler_bands(false, radius, bands, angle, p, std::nullopt, tol));
                        dump(euler_bands(true, radius, bands, angle, p, std::nullopt, tol));
                    }
                }
            }
            for (const double length : {40000.0, 10001.0, 3333.3}) {
                for (const double offset : {10000.0, -2000.0, 1.0, 0.0, 55555.0}) {
                    for (const SbendProfile profile :
                         {SbendProfile::Bezier, SbendProfile::Sine, SbendProfile::Cosine,
                          SbendProfile::Circular}) {
                        dump(sbend_bands(bands, profile, std::nullopt, length, offset, tol));
                        dump(sbend_bands(bands, profile, 17, length, offset, tol));
                    }
                }
            }
            dump(bezier_bands({{0, 0}, {5000, 3000}, {-2000, 8000}, {10000, 10000}, {12000, -500}},
                              bands, std::nullopt, tol));
            dump(bezier_bands({{0, 0}, {0, 0}, {3000, 1}, {3000, 1}}, bands, std::nullopt, tol));
        }
        for (const TaperProfile profile :
             {TaperProfile::Linear, TaperProfile::Parabolic, TaperProfile::Exponential}) {
            dump(taper_bands({{{0, 500}, {300, 3000}}, {{-100, 2000}, {0, 100}}}, profile,
                             std::nullopt, 20000, tol));
        }
    }
}
