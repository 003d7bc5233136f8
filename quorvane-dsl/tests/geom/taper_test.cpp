#include "geom/taper.hpp"

#include <cmath>

#include <gtest/gtest.h>

namespace quorvane_dsl::geom {
namespace {

const Points& points_of(const Built<LocalShape>& s) {
    return std::get<Polygon>(s.value().geometry.kind).points;
}

TEST(Taper, Profiles) {
    EXPECT_EQ(points_of(taper(TaperProfile::Linear, std::nullopt, 100, 2, 4, 1)),
              (Points{{0, -1}, {100, -2}, {100, 2}, {0, 1}}));
    // Four segments keep the middle sample, where the widths are 2 and sqrt(8.5).
    const Points exponential = points_of(taper(TaperProfile::Exponential, 4, 100, 1, 4, 1));
    ASSERT_EQ(exponential.size(), 10u);
    EXPECT_EQ(exponential[2], (Point{50, -1}));
    EXPECT_EQ(exponential[7], (Point{50, 1}));
    const Points parabolic = points_of(taper(TaperProfile::Parabolic, 4, 100, 1, 4, 1));
    EXPECT_EQ(parabolic[2].y, -std::sqrt(8.5) / 2);
    EXPECT_EQ(taper(TaperProfile::Linear, std::nullopt, 100, 0, 4, 1).error(),
              "width1 must be positive, got 0");
    EXPECT_EQ(taper(TaperProfile::Parabolic, 2, 100, 1, 4, 1).error(),
              "segments must be between 3 and 65536, got 2");
}

TEST(Taper, ShiftedBandsAndTheirOffsets) {
    const Banded b = taper_bands({{{0, 2}, {0, 4}}, {{10, 2}, {20, 2}}}, TaperProfile::Linear,
                                 std::nullopt, 100, 1)
                         .value();
    EXPECT_EQ(b.others.at(0), (LocalGeometry{Polygon{{{0, 9}, {100, 19}, {100, 21}, {0, 11}}}}));
    EXPECT_EQ(b.shape.anchor("end"), (Frame{100, 0, 0}));
    // A moving offset slants the first heading too, so the curved outline keeps more samples.
    const Points shifted = shifted_taper_outline(1, 100, {{0, 1}, {50, 4}},
                                                 TaperProfile::Exponential, std::nullopt, 0.01)
                               .value();
    EXPECT_EQ(shifted.front(), (Point{0, 0.5}));
    EXPECT_EQ(shifted.back(), (Point{100, 52}));
    // Offsets that are not finite are refused rather than drawn as garbage.
    EXPECT_EQ(taper_bands({{{0, 2}, {0, 4}}, {{NAN, 2}, {0, 2}}}, TaperProfile::Parabolic,
                          std::nullopt, 100, 1)
                  .error(),
              "offset must be finite");
    EXPECT_EQ(
        taper_bands({{{INFINITY, 2}, {0, 2}}}, TaperProfile::Linear, std::nullopt, 100, 1).error(),
        "offset must be finite");
}

} // namespace
} // namespace quorvane_dsl::geom
