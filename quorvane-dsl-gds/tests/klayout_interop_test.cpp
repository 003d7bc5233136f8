#include <array>
#include <cstdio>
#include <fstream>
#include <random>
#include <string>

#include <gtest/gtest.h>
#include <unistd.h>

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

ir::Instance placed(std::string name, std::uint64_t cell, std::int64_t x, double rotation,
                    bool mirror) {
    ir::Instance instance;
    instance.name = std::move(name);
    instance.cell = cell;
    instance.x = x;
    instance.rotation = rotation;
    instance.mirror = mirror;
    return instance;
}

ir::Library sample() {
    ir::Library library;
    library.dbu = 1;
    library.layers = {{"metal", 1, 0}, {"poly", 2, 3}};
    ir::Cell pad;
    pad.name = pad.source = "pad";
    pad.shapes = {{0, ir::Geometry{ir::Box{-50, -50, 50, 50}}},
                  {1, ir::Geometry{ir::Polygon{{{0, 0}, {100, 0}, {0, 80}}}}},
                  {1, ir::Geometry{ir::Path{20, {{0, 0}, {200, 0}, {200, 100}}}}}};
    pad.params.emplace_back("w", ir::Value{ir::Value::Number{100, {1, 0}}});
    pad.markers.push_back({"p", {{50, 0, 0}}, {}});
    pad.markers[0].attrs.emplace_back("kind", ir::Value{ir::Value::String{"port"}});
    ir::Cell chip;
    chip.name = chip.source = "chip";
    chip.instances = {placed("a", 0, 0, 0, false), placed("b", 0, 1000, 90, false),
                      placed("c", 0, 2000, 180, true), placed("d", 0, 3000, 30, false)};
    ir::Instance row = placed("row", 0, 0, 0, false);
    row.y = 5000;
    row.array = ir::Array{4, 2, {300, 0}, {0, 400}};
    chip.instances.push_back(row);
    library.cells = {pad, chip};
    library.tops = {1};
    return library;
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

// A real GDSII client must read what we write: KLayout gets our stream and reports what it sees.
TEST(KLayout, ReadsOurStream) {
    auto written = quorvane_dsl_gds::write_gds(sample());
    ASSERT_TRUE(written);
    const std::vector<std::uint8_t>& bytes = written->bytes;
    const std::string path =
        ::testing::TempDir() + "quorvane_interop_" + std::to_string(::getpid()) + ".gds";
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    const std::string script = std::string(QV_TEST_DATA) + "/data/klayout/dump.py";
    const std::string seen =
        run("klayout -b -r '" + script + "' -rd path='" + path + "' 2>/dev/null");
    // KLayout lists an array along its second vector first; the copies are the same.
    EXPECT_EQ(seen, "dbu 0.001\n"
                    "top chip\n"
                    "cell chip\n"
                    "  255/0 text quorvane.cell at r0 0,0 props 1=quorvane.cell;2=chip;"
                    "10=layer:metal=1/0;11=layer:poly=2/3\n"
                    "  inst pad r0 *1 0,0\n"
                    "  inst pad r90 *1 1000,0\n"
                    "  inst pad m90 *1 2000,0\n"
                    "  inst pad r30 *1 3000,0\n"
                    "  inst pad r0 *1 0,5000 array 2x4 a=0,400 b=300,0\n"
                    "cell pad\n"
                    "  1/0 box (-50,-50;50,50)\n"
                    "  2/3 polygon (0,0;0,80;100,0)\n"
                    "  2/3 path w=20 (0,0;200,0;200,100) w=20 bx=0 ex=0 r=false\n"
                    "  255/0 text quorvane.cell at r0 0,0 props 1=quorvane.cell;2=pad;"
                    "10=layer:metal=1/0;11=layer:poly=2/3;12=param:w=100nm\n"
                    "  255/0 text p[0] at r0 50,0 props 1=quorvane.marker;2=p;3=0;4=0;"
                    "10=kind=\"port\"\n");
    std::remove(path.c_str());
}

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
        const std::string path =
            ::testing::TempDir() + "quorvane_dummy_interop_" + std::to_string(::getpid()) + ".gds";
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
