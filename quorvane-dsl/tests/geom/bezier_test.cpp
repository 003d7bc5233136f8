#include "geom/bezier.hpp"
#include "geom/sbend.hpp"

#include <cmath>

#include <gtest/gtest.h>

namespace quorvane_dsl::geom {
namespace {

TEST(Bezier, DeCasteljauAndControlPointLimits) {
    Points scratch;
    EXPECT_EQ(de_casteljau({{0, 0}, {1, 2}, {2, 0}}, 0.5, scratch), (Point{1, 1}));
    EXPECT_EQ(de_casteljau({{0, 0}, {4, 2}}, 1, scratch), (Point{4, 2}));
    EXPECT_EQ(de_casteljau({{3, 4}}, 0.7, scratch), (Point{3, 4}));
    EXPECT_EQ(bezier({{1, 1}}, std::nullopt, 10, 1).error(),
              "a B\xc3\xa9zier curve needs at least 2 control points");
    EXPECT_EQ(bezier({{1, 1}, {1, 1}, {1, 1}}, std::nullopt, 10, 1).error(),
              "the control points of a B\xc3\xa9zier curve must not all coincide");
    // The ends face along the first and last legs that move.
    const LocalShape s =
        bezier({{0, 0}, {0, 0}, {0, 1000}, {1000, 1000}, {1000, 1000}}, std::nullopt, 10, 1)
            .value();
    EXPECT_EQ(s.anchor("start"), (Frame{0, 0, 90}));
    EXPECT_EQ(s.anchor("end"), (Frame{1000, 1000, 0}));
}

TEST(Sbend, ProfilesEndAtTheOffset) {
    const double l = 20000;
    const double h = 5000;
    for (const auto profile :
         {SbendProfile::Bezier, SbendProfile::Sine, SbendProfile::Cosine, SbendProfile::Circular}) {
        const Banded b = sbend_bands({{0, 500}, {0, 2000}}, profile, std::nullopt, l, h, 1).value();
        EXPECT_EQ(b.shape.anchor("end"), (Frame{l, h, 0}));
        EXPECT_EQ(b.others.size(), 1u);
        EXPECT_GT(b.radius, 1000);
    }
    // The circular profile's last sample is put exactly on the end, whatever the integration.
    const LocalShape circular = sbend(SbendProfile::Circular, 8, l, h, 500, 1).value();
    EXPECT_EQ(std::get<Polygon>(circular.geometry.kind).points[8], (Point{l, h + 250}));
    EXPECT_EQ(sbend(SbendProfile::Circular, 8, l, 0, 500, 1),
              sbend(SbendProfile::Bezier, 8, l, 0, 500, 1));
    EXPECT_EQ(sbend(SbendProfile::Sine, 8, 0, h, 500, 1).error(), "length must be positive, got 0");
    EXPECT_EQ(sbend(SbendProfile::Sine, 8, l, INFINITY, 500, 1).error(), "offset must be finite");
}

} // namespace
} // namespace quorvane_dsl::geom
