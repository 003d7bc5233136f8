// Every curved primitive along a two-band cross-section, built to GDSII and read back by KLayout
// (data/xsection/check.py): no self-intersecting polygon, no polygon beyond the format's point
// limit, and the areas of arcs, S-bends and straights within the sampling tolerance of their
// exact areas.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <numbers>
#include <sstream>
#include <string>

#include "shell.hpp"

namespace {

namespace fs = std::filesystem;

const fs::path data = fs::path(QV_TEST_DATA) / "data" / "xsection";

using quorvane_test::shell_output;

struct Measured {
    double twice_area = 0;
    double perimeter = 0;
};

} // namespace

TEST(XsectionInterop, KLayoutFindsCleanPolygonsOfTheExactAreas) {
    const fs::path gds =
        fs::temp_directory_path() / ("qv-xsection-" + std::to_string(::getpid()) + ".gds");
    const char* bin = std::getenv("QV_BIN");
    shell_output(std::string(bin ? bin : "quorvane") + " build '" + (data / "design.qvs").string() +
                 "' -o '" + gds.string() + "' 2>&1");
    std::istringstream lines(shell_output("klayout -b -r '" + (data / "check.py").string() +
                                          "' -rd path='" + gds.string() + "'"));
    fs::remove(gds);

    std::map<std::string, Measured> measured;
    std::string cell;
    std::string layer;
    Measured m;
    long strange = 0;
    long most = 0;
    while (lines >> cell >> layer >> m.twice_area >> m.perimeter >> strange >> most) {
        EXPECT_EQ(strange, 0) << cell << " " << layer;
        EXPECT_LE(most, 8190) << cell << " " << layer;
        measured[cell + " " + layer] = m;
    }
    EXPECT_EQ(measured.size(), 18u);

    // The core is 500 nm wide on the centre line, the cladding 2 um wide 3 um to its left.
    constexpr double pi = std::numbers::pi;
    const double theta = 2 * std::atan(8.0 / 30.0);
    const double sbend_length = 2 * (30000 / (2 * std::sin(theta))) * theta;
    const std::map<std::string, double> exact = {
        {"straight_ 1/0", 20000.0 * 500},        {"straight_ 2/0", 20000.0 * 2000},
        {"arc_ 1/0", pi / 2 * 10000 * 500},      {"arc_ 2/0", pi / 2 * 7000 * 2000},
        {"turn_ 1/0", 3 * pi / 2 * 10000 * 500}, {"turn_ 2/0", 3 * pi / 2 * 13000 * 2000},
        {"sbend_ 1/0", sbend_length * 500},      {"sbend_ 2/0", sbend_length * 2000},
    };
    for (const auto& [key, area] : exact) {
        const Measured& got = measured[key];
        // Chords stay within 1 nm of the curve and points move by at most half a unit onto the
        // grid, so the area moves by at most 1.5 nm along the outline.
        EXPECT_LE(std::abs(got.twice_area / 2 - area), 1.5 * got.perimeter) << key;
    }
}
