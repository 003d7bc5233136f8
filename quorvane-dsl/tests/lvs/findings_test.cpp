#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ir/ir.hpp"
#include "lvs/findings.hpp"

namespace {

using namespace quorvane_dsl;

std::vector<std::string> findings_of(const std::string& cells) {
    auto library = ir::parse("quorvane-ir 1\ndbu 1nm\n" + cells);
    EXPECT_TRUE(library) << library.error().text();
    std::vector<std::string> lines;
    for (const auto& finding : library ? lvs::findings(*library) : std::vector<lvs::Finding>{}) {
        lines.push_back((finding.warning ? "warning: " : "error: ") + finding.message + " (in " +
                        finding.cell + ")");
    }
    return lines;
}

TEST(Findings, UnconnectedPortsOfPlacedCellsWarn) {
    EXPECT_EQ(findings_of("cell leaf source=leaf {\n"
                          "  marker p (0,0,0deg) (1,0,0deg)\n"
                          "  marker a (0,0,0deg) {kind=\"anchor\"}\n"
                          "  marker c (0,0,0deg) {kind=\"Port\"}\n"
                          "}\n"
                          "cell top source=top {\n"
                          "  marker own (0,0,0deg)\n"
                          "  inst i leaf at (0,0)\n"
                          "  inst row leaf at (0,0) array=2x1 step=(10,0) (0,0)\n"
                          "  connect i.p[1] self.own[0]\n"
                          "  connect row.p[0] i.nope[0]\n"
                          "  connect i.p[7] self.own[0]\n"
                          "}\n"),
              std::vector<std::string>{"warning: port i.p[0] is not connected (in top)"});
}

TEST(Findings, ConnectedPortsAgreeInTypeCrossSectionAndWidth) {
    const std::string leaf = "cell leaf source=leaf {\n"
                             "  marker w500 (0,0,0deg) {width=500nm}\n"
                             "  marker w500_4 (0,0,0deg) {width=500.4nm}\n"
                             "  marker w501 (0,0,0deg) {width=501nm}\n"
                             "  marker w1um (0,0,0deg) {width=1um}\n"
                             "  marker w2um (0,0,0deg) {width=2um}\n"
                             "  marker int_width (0,0,0deg) {width=9}\n"
                             "  marker ta (0,0,0deg) {type=\"a\", width=1um}\n"
                             "  marker tb (0,0,0deg) {type=\"b\", width=2um}\n"
                             "  marker xa (0,0,0deg) {xsection=strip(w = 500nm), width=1um}\n"
                             "  marker xb (0,0,0deg) {xsection=rib, width=2um}\n"
                             "  marker xs (0,0,0deg) {xsection=\"strip\"}\n"
                             "}\n";
    EXPECT_EQ(findings_of(leaf + "cell top source=top {\n"
                                 "  inst i leaf at (0,0)\n"
                                 "  connect i.w500[0] i.w500_4[0]\n"
                                 "  connect i.w500[0] i.w501[0]\n"
                                 "  connect i.w1um[0] i.w2um[0]\n"
                                 "  connect i.int_width[0] i.w1um[0]\n"
                                 "  connect i.ta[0] i.tb[0]\n"
                                 "  connect i.xa[0] i.xb[0]\n"
                                 "  connect i.xa[0] i.xs[0]\n"
                                 "  connect i.ta[0] i.w500[0]\n"
                                 "}\n"),
              (std::vector<std::string>{
                  "error: i.w500[0] (500nm) is connected to i.w501[0] (501nm) of a different "
                  "width (in top)",
                  "error: i.w1um[0] (1um) is connected to i.w2um[0] (2um) of a different width "
                  "(in top)",
                  "error: i.ta[0] (a) is connected to i.tb[0] (b) (in top)",
                  "error: i.ta[0] (1um) is connected to i.tb[0] (2um) of a different width (in "
                  "top)",
                  "error: i.xa[0] (cross-section strip(w = 500nm)) is connected to i.xb[0] "
                  "(cross-section rib) (in top)",
                  "error: i.ta[0] (1um) is connected to i.w500[0] (500nm) of a different width "
                  "(in top)",
              }));
}

} // namespace
