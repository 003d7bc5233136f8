#include <gtest/gtest.h>

#include "ir/ir.hpp"
#include "link/merge.hpp"

namespace {

using namespace quorvane_dsl;

TEST(Merge, FoldsEqualNamesakesAndRenamesDifferingOnes) {
    auto library = ir::parse(R"(quorvane-ir 1
dbu 1nm
layer m 1/0
cell via source=via {
  box m 0 0 1 1
}
cell top source=top {
  inst a via at (0,0)
  inst b via2 at (5,0)
  inst c via3 at (9,0)
}
cell via2 source=via {
  box m 0 0 1 1
}
cell via3 source=via {
  box m 0 0 2 2
}
cell via$1 source=via {
  box m 0 0 3 3
}
top top
top via3
top via
)");
    ASSERT_TRUE(library) << library.error().text();
    // IR text keeps names unique; the namesakes arrive as a linker would leave them.
    library->cells[2].name = "via";
    library->cells[3].name = "via";
    link::merge_same_names(*library);
    ASSERT_EQ(library->cells.size(), 4u);
    EXPECT_EQ(library->cells[0].name, "via");
    EXPECT_EQ(library->cells[2].name, "via$2");
    EXPECT_EQ(library->cells[3].name, "via$1");
    const auto& insts = library->cells[1].instances;
    EXPECT_EQ(insts[0].cell, 0u);
    EXPECT_EQ(insts[1].cell, 0u);
    EXPECT_EQ(insts[2].cell, 2u);
    EXPECT_EQ(library->tops, (std::vector<std::uint64_t>{1, 2, 0}));
}

} // namespace
