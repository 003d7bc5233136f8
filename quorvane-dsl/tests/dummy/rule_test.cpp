#include <gtest/gtest.h>

#include "dummy/dummy.hpp"

namespace {

using namespace quorvane_dsl;

TEST(DummyRule, ReadsOptionsAndTheirSpellings) {
    EXPECT_EQ(dummy::Rule::parse("metal").value(), dummy::Rule{.layer = std::string("metal")});
    const auto spaced = dummy::Rule::parse(" 5/0 : size = 1um , stagger ,, ").value();
    EXPECT_EQ(spaced.layer, (dummy::LayerRef{dummy::GdsPair{5, 0}}));
    EXPECT_EQ(spaced.size, 1000);
    EXPECT_TRUE(spaced.stagger);
    const auto full =
        dummy::Rule::parse("_m:exclude=a + 2/3,area=chip,datatype=-1,space=0,margin=1mm,"
                           "keepout=0.5um,stagger=false,stagger,datatype=+7")
            .value();
    EXPECT_EQ(full.exclude, (std::vector<dummy::LayerRef>{std::string("a"), dummy::GdsPair{2, 3}}));
    EXPECT_EQ(full.area, dummy::LayerRef{std::string("chip")});
    EXPECT_EQ(full.datatype, 7);
    EXPECT_EQ(full.space, 0);
    EXPECT_EQ(full.margin, 1000000);
    EXPECT_EQ(full.keepout, 500);
    EXPECT_TRUE(full.stagger);
}

TEST(DummyRule, RefusesWithTheReason) {
    const auto error = [](std::string_view text) { return dummy::Rule::parse(text).error(); };
    EXPECT_EQ(error("metal:size="),
              "`size` is a length that is not negative, such as `2um`; found ``");
    EXPECT_EQ(error("metal:size=0.0"),
              "`size` is a length that is not negative, such as `2um`; found `0.0`");
    EXPECT_EQ(error("metal:space=2deg"),
              "`space` is a length that is not negative, such as `2um`; found `2deg`");
    EXPECT_EQ(error("metal:exclude"), "`exclude` needs a value, such as `exclude=metal+heater`");
    EXPECT_EQ(error("metal:exclude=a+"), "expected a layer name or `<layer>/<datatype>`, found ``");
    EXPECT_EQ(error("9metal:size=oops"),
              "expected a layer name or `<layer>/<datatype>`, found `9metal`");
    EXPECT_EQ(error("metal:stagger="), "`stagger` is true or false, not ``");
    EXPECT_EQ(error("metal:datatype=1.5"), "`datatype` is a number, not `1.5`");
}

} // namespace
