#include <cstdlib>
#include <filesystem>
#include <limits>
#include <map>
#include <unistd.h>

#include <gtest/gtest.h>

#include "blackbox/blackbox.hpp"
#include "load.hpp"
#include "publish.hpp"
#include "signature/signature.hpp"
#include "write_library.hpp"

namespace {

namespace fs = std::filesystem;
using namespace quorvane;
namespace ir = quorvane_dsl::ir;

std::map<std::string, std::string> contents_by_name(const ir::Library& library) {
    quorvane_dsl::signature::Digests digests(library);
    std::map<std::string, std::string> out;
    for (std::uint64_t i = 0; i < library.cells.size(); ++i) {
        out.emplace(library.cells[i].name, digests.content(i));
    }
    return out;
}

// Publishing through GDSII and unboxing against the original gives every cell back unchanged.
TEST(Blackbox, RoundTripsRealDesignsThroughGds) {
    const fs::path root = fs::path(QV_TEST_DATA) / "../..";
    const fs::path published =
        fs::temp_directory_path() / ("qv-blackbox-" + std::to_string(::getpid()) + ".gds");
    for (const fs::path& design :
         {root / "examples/pads.qvir", root / "quorvane-dsl-gds/tests/data/klayout/hierarchy.gds",
          root / "quorvane-dsl-gds/tests/data/klayout/shapes.gds"}) {
        SCOPED_TRACE(design.string());
        InputFiles inputs;
        const ir::Library original = load_library(design, {}, inputs).value();
        const ir::Library boxes = publish_blackboxes(original).value();
        ASSERT_EQ(boxes.cells.size(), original.tops.size());
        ASSERT_TRUE(write_library(boxes, published));
        ir::Library unboxed = load_library(published, {}, inputs).value();
        const std::vector<quorvane_dsl::blackbox::Whiteboxes> offered = {{"w", &original}};
        const auto report = quorvane_dsl::blackbox::unbox(unboxed, offered, false);
        EXPECT_EQ(report.unboxed.size(), original.tops.size());
        EXPECT_TRUE(report.errors.empty() && report.warnings.empty());
        EXPECT_EQ(unboxed.cells.size(), original.cells.size());
        const auto expected = contents_by_name(original);
        for (const auto& [name, content] : contents_by_name(unboxed)) {
            EXPECT_EQ(content, expected.at(name)) << name;
        }
    }
    fs::remove(published);
}

// A value the published file would give back as another one is refused, naming its entry; a
// zero of the same dimension reads back alike and publishes.
TEST(Blackbox, RefusesValuesThatDoNotReadBack) {
    ir::Library design;
    design.layers = {{"metal", 1, 0}};
    ir::Cell cell;
    cell.name = cell.source = "pad";
    cell.shapes = {{0, ir::Geometry{ir::Box{0, 0, 100, 100}}}};
    const auto area = [](double value) { return ir::Value{ir::Value::Number{value, {2, 0}}}; };
    cell.markers = {{"p", {{0, 0, 0}}, {{"kind", ir::Value{ir::Value::String{"port"}}}}}};
    cell.markers[0].attrs.emplace_back("reach", area(0));
    design.cells = {cell};
    design.tops = {0};
    EXPECT_TRUE(publish_blackboxes(design));
    design.cells[0].markers[0].attrs.emplace_back("area", area(4));
    const auto refused = publish_blackboxes(design);
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.error(), "cell `pad` cannot be published: attribute `area` of marker `p` "
                               "holds `4 # area`, which the published file would not give back "
                               "as it is");
    // A number that is not finite has no literal at all, and is refused as such first.
    design.cells[0].attrs = {{"a", area(std::numeric_limits<double>::infinity())}};
    EXPECT_EQ(publish_blackboxes(design).error(),
              "cell `pad` cannot be published: attr `a` holds the number inf, which has no "
              "literal");
}

// Both outputs are made before either is written: the IR text refuses a control character in
// a cell's name that GDSII takes, and then no GDSII file is left behind either.
TEST(Blackbox, AnOutputRefusedLeavesNoOtherBehind) {
    const fs::path dir =
        fs::path(::testing::TempDir()) / ("quorvane_blackbox_" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    fs::copy(fs::path(QV_TEST_DATA) / "cases/blackbox/gds_control_names/n.gds", dir / "n.gds");
    const std::string command = "cd '" + dir.string() +
                                "' && \"$QV_BIN\" blackbox n.gds -o bb.qvir --gds bb.gds "
                                ">/dev/null 2>&1";
    EXPECT_NE(std::system(command.c_str()), 0);
    EXPECT_FALSE(fs::exists(dir / "bb.gds"));
}

} // namespace
