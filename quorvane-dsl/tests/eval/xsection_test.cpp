#include <gtest/gtest.h>

#include <string>

#include "analyse.hpp"
#include "analysis.hpp"
#include "eval/evaluator.hpp"
#include "eval/xs_value.hpp"

using namespace quorvane_dsl;
using namespace quorvane_dsl::eval;

TEST(EvalXsection, EqualCrossSectionsAreOneValueAndStoreTheirShortestForm) {
    const Analysis a = analyse("define layer { m { gds 1/0 } n { gds 2/0 } }\n"
                               "define xsection rib(w = 400nm, gap = 2 * w) {\n"
                               "    m w\n    n 100nm offset [gap, -gap]\n}\n");
    Evaluator ev(a);
    const hir::XsId rib = *a.hir.xsection_by_name("rib");
    const auto plain = ev.xsection(rib, nullptr, {}, {});
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->stored.to_literal(), "rib");
    ASSERT_EQ(plain->bands.size(), 3u);
    EXPECT_EQ(plain->bands[2].second, (geom::Band{-800, 100}));
    // Giving the defaults explicitly is the same shared value.
    std::vector<Evaluator::XsArg> same;
    same.push_back({std::nullopt, {}, Value::size(400)});
    EXPECT_EQ(ev.xsection(rib, nullptr, std::move(same), {}), plain);
    // A call on a value starts from its parameters; the later default is not recomputed.
    std::vector<Evaluator::XsArg> wider;
    wider.push_back({"w", {}, Value::size(600)});
    const auto varied = ev.xsection(rib, plain.get(), std::move(wider), {});
    ASSERT_TRUE(varied);
    EXPECT_EQ(varied->stored.to_literal(), "rib(gap = 800nm, w = 600nm)");
    // Loading a stored form rebuilds the very same value.
    const auto loaded = ev.load_value(varied->stored, {});
    ASSERT_TRUE(loaded);
    EXPECT_EQ(std::get<Value::XSection>(loaded->kind).value, varied);
    EXPECT_TRUE(ev.diagnostics.empty());
}

TEST(EvalXsection, AFailedConstructionReportsAtEveryUse) {
    const Analysis a = analyse("define layer { m { gds 1/0 } }\n"
                               "define xsection bad(w = 1um) { m w with p = 2 }\n"
                               "define xsection broken(w = sqrt(-1) * 1um) { m w }\n");
    Evaluator ev(a);
    const hir::XsId bad = *a.hir.xsection_by_name("bad");
    EXPECT_FALSE(ev.xsection(bad, nullptr, {}, {}));
    EXPECT_FALSE(ev.xsection(bad, nullptr, {}, {}));
    EXPECT_EQ(ev.diagnostics.size(), 2u);
    // The default text is worked out quietly, but the default's fault still reaches the use.
    ev.diagnostics.clear();
    EXPECT_FALSE(ev.xsection(*a.hir.xsection_by_name("broken"), nullptr, {}, {}));
    ASSERT_EQ(ev.diagnostics.size(), 1u);
    EXPECT_EQ(ev.diagnostics[0].message, "square root of a negative value");
}
