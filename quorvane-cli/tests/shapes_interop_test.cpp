// A design drawing every closed primitive, text, booleans and arrays, built to GDSII and read
// back by KLayout (data/shapes/area.py): the same cells, the same merged area on every layer and
// the same number of placed copies as the evaluated library holds.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <tuple>

#include "analysis.hpp"
#include "boolean/boolean.hpp"
#include "boolean/path.hpp"
#include "eval/eval.hpp"
#include "shell.hpp"

namespace {

namespace fs = std::filesystem;
using namespace quorvane_dsl;

const fs::path data = fs::path(QV_TEST_DATA) / "data" / "shapes";

using quorvane_test::shell_output;

boolean::Ring ring_of(const ir::Geometry& g) {
    if (const auto* box = std::get_if<ir::Box>(&g.kind)) {
        return {{box->left, box->bottom},
                {box->right, box->bottom},
                {box->right, box->top},
                {box->left, box->top}};
    }
    const auto& points = std::holds_alternative<ir::Polygon>(g.kind)
                             ? std::get<ir::Polygon>(g.kind).points
                             : std::get<ir::Path>(g.kind).points;
    boolean::Ring ring;
    for (const ir::Point& p : points) {
        ring.push_back({p.x, p.y});
    }
    if (const auto* path = std::get_if<ir::Path>(&g.kind)) {
        return boolean::path_polygon(ring, path->width);
    }
    return ring;
}

// The lines area.py prints, from the library itself.
std::string expected_areas(const ir::Library& lib) {
    std::map<std::string, const ir::Cell*> cells;
    for (const ir::Cell& cell : lib.cells) {
        cells.emplace(cell.name, &cell);
    }
    std::string out;
    for (const auto& [name, cell] : cells) {
        out += "cell " + name + "\n";
        std::map<std::pair<std::int32_t, std::int32_t>, boolean::Polygons> layers;
        for (const ir::Shape& shape : cell->shapes) {
            const ir::Layer& layer = lib.layers[shape.layer];
            layers[{layer.layer, layer.datatype}].push_back(ring_of(shape.geometry));
        }
        for (const auto& [layer, rings] : layers) {
            __int128 twice = 0;
            const auto merged = boolean::boolean(rings, {}, boolean::Op::Union);
            for (const boolean::Ring& ring : merged.value()) {
                twice += boolean::twice_area(ring);
            }
            out += "  " + std::to_string(layer.first) + "/" + std::to_string(layer.second) + " " +
                   std::to_string(static_cast<std::int64_t>(twice)) + "\n";
        }
        std::uint64_t copies = 0;
        for (const ir::Instance& instance : cell->instances) {
            copies +=
                instance.array ? std::uint64_t{instance.array->columns} * instance.array->rows : 1;
        }
        out += "  copies " + std::to_string(copies) + "\n";
    }
    return out;
}

} // namespace

TEST(ShapesInterop, KLayoutReadsWhatTheLibraryHolds) {
    const fs::path source = data / "design.qvs";
    auto analysis = analyze(source.string());
    ASSERT_TRUE(analysis);
    const auto result = eval::evaluate(*analysis, {});
    ASSERT_TRUE(result.library);

    const fs::path gds =
        fs::temp_directory_path() / ("qv-shapes-" + std::to_string(::getpid()) + ".gds");
    const char* bin = std::getenv("QV_BIN");
    shell_output(std::string(bin ? bin : "quorvane") + " build '" + source.string() + "' -o '" +
                 gds.string() + "' 2>&1");
    const std::string read = shell_output("klayout -b -r '" + (data / "area.py").string() +
                                          "' -rd path='" + gds.string() + "'");
    fs::remove(gds);
    EXPECT_EQ(read, expected_areas(*result.library));
    // The design exercises arrays: the grid of dots is one instance.
    EXPECT_NE(read.find("copies 19"), std::string::npos);
}
