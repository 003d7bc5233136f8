#include <gtest/gtest.h>

#include <string>

#include "ir/ir.hpp"
#include "lvs/json.hpp"
#include "lvs/netlist.hpp"

namespace {

using namespace quorvane_dsl;

ir::Library library_of(const std::string& text) {
    auto library = ir::parse(text);
    EXPECT_TRUE(library) << library.error().text();
    return library ? *library : ir::Library{};
}

TEST(Netlist, ExtractsPortsInstancesAndOneEntryPerConnection) {
    const auto library = library_of("quorvane-ir 1\n"
                                    "dbu 0.5nm\n"
                                    "cell leaf source=leaf_src {\n"
                                    "  marker a (5,-3,90deg) (0,0,0deg) (1,1,45deg)\n"
                                    "  marker text (0,0,0deg) {kind=\"anchor\"}\n"
                                    "  marker numbered (0,0,0deg) {kind=3}\n"
                                    "  marker pinned (0,0,0deg) {kind=\"port\", kind=\"pin\"}\n"
                                    "  marker upper (0,0,0deg) {Kind=\"pin\"}\n"
                                    "}\n"
                                    "cell top source=top {\n"
                                    "  inst z leaf at (0,0)\n"
                                    "  inst row leaf at (0,0) array=2x1 step=(10,0) (0,0)\n"
                                    "  connect self.b[0] self.a[0]\n"
                                    "  connect self.a[0] self.b[0] geometric\n"
                                    "  connect z.a[0] self.a[0]\n"
                                    "}\n");
    const auto cells = lvs::netlist(library);
    ASSERT_EQ(cells.size(), 2u);
    EXPECT_EQ(cells[0].source, "leaf_src");
    std::vector<std::string> markers;
    for (const auto& port : cells[0].ports) {
        markers.push_back(port.marker + std::to_string(port.index));
    }
    EXPECT_EQ(markers,
              (std::vector<std::string>{"a0", "a1", "a2", "numbered0", "pinned0", "upper0"}));
    EXPECT_EQ(cells[0].ports[0], (lvs::NetPort{"a", 0, 2.5, -1.5, 90}));
    EXPECT_TRUE(cells[1].ports.empty());
    EXPECT_EQ(cells[1].instances, (std::vector<lvs::NetInstance>{{"z", "leaf"}, {"row", "leaf"}}));
    EXPECT_EQ(cells[1].connections, (std::vector<lvs::NetConnection>{{"self.a[0]", "self.b[0]"},
                                                                     {"self.a[0]", "z.a[0]"}}));
}

TEST(Netlist, TextEscapesOnlyWhatJsonNeedsAndReadsBack) {
    EXPECT_EQ(lvs::netlist_text({}), "{\n  \"cells\": [\n  ]\n}\n");
    std::string quoted;
    lvs::json_string(quoted, "q\"b\\n\nt\tc\r\x7f\xce\xb1\xce\xb2");
    EXPECT_EQ(quoted, "\"q\\\"b\\\\n\\nt\\u0009c\\u000d\x7f\xce\xb1\xce\xb2\"");

    lvs::NetCell odd{.name = "a\"\\\n\t\b\f\x01\xf0\x9f\x98\x80", .source = "s"};
    odd.instances = {{"i\"1", "c\\1"}};
    odd.connections = {{"self.\x7f[0]", "x.\xe2\x80\x94[1]"}};
    odd.ports = {{"p", 0, 0.25, -1e20, 359.5}};
    lvs::NetCell plain{.name = "top", .source = "top_src"};
    const std::vector<lvs::NetCell> cells = {odd, plain};
    const auto back = lvs::read_netlist(lvs::netlist_text(cells));
    ASSERT_TRUE(back) << back.error();
    odd.ports.clear();
    EXPECT_EQ(*back, (std::vector<lvs::NetCell>{odd, plain}));
}

} // namespace
