#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <random>

#include "dummy/dummy.hpp"
#include "lib.hpp"

namespace ir = quorvane_dsl::ir;
namespace dummy = quorvane_dsl::dummy;

namespace {

std::string run(const std::string& command) {
    std::string output;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) {
        return output;
    }
    std::array<char, 4096> buffer;
    while (std::size_t n = std::fread(buffer.data(), 1, buffer.size(), pipe)) {
        output.append(buffer.data(), n);
    }
    ::pclose(pipe);
    return output;
}

// Boxes and slanted quadrilaterals on metal (1/0), a frame on other (2/0), and a child cell
// placed turned and mirrored.
ir::Library random_design(std::mt19937_64& rng) {
    std::uniform_int_distribution<std::int64_t> pos(0, 60000);
    std::uniform_int_distribution<std::int64_t> side(200, 5000);
    ir::Library library;
    library.layers = {{"metal", 1, 0}, {"other", 2, 0}};
    ir::Cell top{.name = "top", .source = "top"};
    top.shapes.push_back({1, ir::Geometry{ir::Box{0, 0, 65000, 65000}}});
    for (int n = 0; n < 25; ++n) {
        const std::int64_t x = pos(rng), y = pos(rng), w = side(rng), h = side(rng);
        top.shapes.push_back({0, ir::Geometry{ir::Box{x, y, x + w, y + h}}});
        top.shapes.push_back(
            {0, ir::Geometry{ir::Polygon{
                    {{x, y}, {x + w, y + h / 3}, {x + w / 2, y + h}, {x - w / 4, y + h / 2}}}}});
    }
    ir::Cell child{.name = "child", .source = "child"};
    child.shapes.push_back({0, ir::Geometry{ir::Path{300, {{0, 0}, {4000, 1500}, {4000, 5000}}}}});
    library.cells = {top, child};
    for (int n = 0; n < 4; ++n) {
        library.cells[0].instances.push_back({.name = "c" + std::to_string(n),
                                              .cell = 1,
                                              .x = pos(rng),
                                              .y = pos(rng),
                                              .rotation = 90.0 * n,
                                              .mirror = n % 2 == 1});
    }
    library.tops = {0};
    return library;
}

} // namespace

// KLayout measures our fill with its own geometry: no tile meets a real shape grown by the
// keepout, and the tile area over the fill region matches the reported percentage.
TEST(KLayout, AgreesWithDummyFill) {
    std::mt19937_64 rng(11);
    for (int round = 0; round < 3; ++round) {
        ir::Library library = random_design(rng);
        dummy::Rule rule{.layer = std::string("metal"),
                         .size = 1000,
                         .space = 800,
                         .keepout = 700,
                         .datatype = 7,
                         .stagger = round == 1};
        const auto reports = dummy::generate(library, {rule}).value();
        auto written = quorvane_dsl_gds::write_gds(library);
        ASSERT_TRUE(written);
        const std::string path = ::testing::TempDir() + "quorvane_dummy_interop.gds";
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(written->bytes.data()),
                   static_cast<std::streamsize>(written->bytes.size()));
        const std::string script = std::string(QV_TEST_DATA) + "/data/klayout/dummy_check.py";
        const std::string seen = run("klayout -b -r '" + script + "' -rd path='" + path +
                                     "' -rd keepout=700 2>/dev/null");
        char percent[32];
        std::snprintf(percent, sizeof percent, "%.1f", reports[0].fill * 100);
        EXPECT_EQ(seen, "tiles " + std::to_string(reports[0].tiles) + "\noverlap 0\nfill " +
                            percent + "%\n");
        EXPECT_GT(reports[0].tiles, 100u);
        std::remove(path.c_str());
    }
}
