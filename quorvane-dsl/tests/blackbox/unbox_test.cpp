#include <gtest/gtest.h>

#include "blackbox/blackbox.hpp"
#include "ir/ir.hpp"
#include "signature/signature.hpp"

namespace {

using namespace quorvane_dsl;

ir::Library library(std::string_view text) {
    auto parsed = ir::parse(text);
    EXPECT_TRUE(parsed) << parsed.error().text();
    return parsed ? std::move(*parsed) : ir::Library{};
}

// What publishing keeps of cell `index`: its header and a record of its signatures.
ir::Cell blackbox_of(const ir::Library& lib, std::uint64_t index) {
    const ir::Cell& cell = lib.cells[index];
    const ir::Box footprint = signature::footprint(lib, index).value();
    ir::Cell box{.name = cell.name, .source = cell.source, .markers = cell.markers};
    box.blackbox = ir::Blackbox{footprint, signature::interface(cell, footprint, lib.dbu),
                                signature::Digests(lib).content(index)};
    return box;
}

const ir::Library leaf = library(R"(quorvane-ir 1
dbu 1nm
layer metal 1/0
cell leaf source=leaf {
  box metal 0 0 10 10
  marker p (0,0,0deg)
}
top leaf
)");

TEST(Unbox, TakesExactWhiteboxesPassByPassAndDropsTheOutlineLayer) {
    // mid places a blackbox of leaf; the design places a blackbox of mid.
    ir::Library mids = library(R"(quorvane-ir 1
dbu 1nm
layer metal 1/0
layer blackbox 254/0
cell leaf source=leaf {
}
cell mid source=mid {
  box metal 0 0 30 30
  inst l leaf at (5,5)
}
top mid
)");
    mids.cells[0] = blackbox_of(leaf, 0);
    ir::Library design = library(R"(quorvane-ir 1
dbu 1nm
layer blackbox 254/0
layer marker 255/0
layer metal 1/0
cell mid source=mid {
}
cell chip source=chip {
  box metal 0 0 1 1
  inst m mid at (0,0)
  inst n mid at (100,0)
}
top chip
)");
    design.cells[0] = blackbox_of(mids, 1);
    design.cells[0].shapes.push_back({0, {ir::Box{0, 0, 30, 30}}});
    const ir::Library decoy = library("quorvane-ir 1\ndbu 1nm\ncell leaf source=leaf {\n}\n");
    const std::vector<blackbox::Whiteboxes> offered = {
        {"decoy.qvir", &decoy}, {"mids.qvir", &mids}, {"leaf.qvir", &leaf}, {"again", &leaf}};

    const blackbox::UnboxReport report = blackbox::unbox(design, offered, false);
    EXPECT_EQ(report.unboxed,
              (std::vector<std::string>{"`mid` ← mids.qvir", "`leaf` ← leaf.qvir"}));
    EXPECT_TRUE(report.warnings.empty());
    EXPECT_TRUE(report.errors.empty());
    EXPECT_EQ(design.layers, (std::vector<ir::Layer>{{"marker", 255, 0}, {"metal", 1, 0}}));
    ASSERT_EQ(design.cells.size(), 3u);
    EXPECT_EQ(design.cells[0].name, "mid");
    EXPECT_FALSE(design.cells[0].blackbox);
    EXPECT_EQ(design.cells[0].instances[0].cell, 2u);
    EXPECT_EQ(design.cells[1].shapes[0].layer, 1u);
    EXPECT_EQ(design.tops, (std::vector<std::uint64_t>{1}));
    EXPECT_EQ(signature::Digests(design).content(2), signature::Digests(leaf).content(0));
}

TEST(Unbox, RefusesWhatDoesNotMatchAndReportsWhy) {
    const ir::Library revised = library(R"(quorvane-ir 1
dbu 1nm
layer metal 1/0
cell leaf source=leaf {
  box metal 0 0 10 10
  box metal 2 2 4 4
  marker p (0,0,0deg)
}
cell grown source=grown {
  box metal 0 0 11 10
}
cell empty source=empty {
}
)");
    ir::Library grown = leaf;
    grown.cells[0].name = "grown";
    ir::Library empty = leaf;
    empty.cells[0].name = "empty";
    ir::Library lonely = leaf;
    lonely.cells[0].name = "lonely";
    ir::Library design;
    design.cells = {blackbox_of(leaf, 0), blackbox_of(grown, 0), blackbox_of(empty, 0),
                    blackbox_of(lonely, 0)};
    const std::vector<blackbox::Whiteboxes> offered = {{"rev.qvir", &revised}};

    ir::Library strict = design;
    const blackbox::UnboxReport refused = blackbox::unbox(strict, offered, false);
    const std::string content = signature::Digests(leaf).content(0);
    ASSERT_EQ(refused.errors.size(), 3u);
    EXPECT_EQ(refused.errors[0],
              "`leaf` in rev.qvir does not match the blackbox: its content signature is " +
                  std::string(blackbox::short_signature(signature::Digests(revised).content(0))) +
                  " instead of " + content.substr(0, 19) +
                  " (the interface is the same; --allow-revision accepts it)");
    EXPECT_TRUE(refused.errors[1].ends_with(", and its interface differs too"));
    EXPECT_TRUE(refused.errors[2].starts_with("`empty` in rev.qvir"));
    EXPECT_TRUE(refused.errors[2].ends_with(", and its interface differs too"));
    EXPECT_EQ(refused.warnings,
              (std::vector<std::string>{"no whitebox for blackbox `lonely`; it stays a blackbox"}));
    EXPECT_EQ(strict, design);

    const blackbox::UnboxReport allowed = blackbox::unbox(design, offered, true);
    EXPECT_EQ(allowed.unboxed,
              (std::vector<std::string>{"`leaf` ← rev.qvir (a revision with the same interface)"}));
    EXPECT_EQ(allowed.errors.size(), 2u);

    // A record edited after publishing, or read under another database unit, no longer holds.
    const std::string stale =
        "blackbox `leaf` does not match its interface signature: it was changed after it was "
        "published";
    ir::Library edited;
    edited.cells = {blackbox_of(leaf, 0)};
    edited.cells[0].markers[0].locations[0].x = 1;
    EXPECT_EQ(blackbox::unbox(edited, offered, true).errors, std::vector<std::string>{stale});
    ir::Library finer;
    finer.dbu = 0.5;
    finer.cells = {blackbox_of(leaf, 0)};
    EXPECT_EQ(blackbox::unbox(finer, offered, true).errors, std::vector<std::string>{stale});
}

TEST(Unbox, LinkerRefusalLeavesTheBlackbox) {
    // Signatures write the database unit to a millionth; the linker compares it exactly.
    ir::Library finer = leaf;
    finer.dbu = 1.0000001;
    ir::Library design;
    design.cells = {blackbox_of(leaf, 0)};
    design.tops = {0};
    const ir::Library before = design;
    const std::vector<blackbox::Whiteboxes> offered = {{"fine.gds", &finer}};
    const blackbox::UnboxReport report = blackbox::unbox(design, offered, false);
    EXPECT_EQ(report.errors, (std::vector<std::string>{
                                 "`leaf` cannot take the whitebox in fine.gds: it uses a database "
                                 "unit of 1.0000001nm, this layout 1nm"}));
    EXPECT_EQ(design, before);
}

TEST(Unbox, RefusesATakeThatWouldMakeACellContainItself) {
    // a places a blackbox of x, and a revision of x places a blackbox of a: the second copy of
    // a would reuse the copied x, which by then places it.
    const auto square = [](std::string name, std::optional<std::uint64_t> child) {
        ir::Cell cell{.name = name, .source = name};
        cell.shapes.push_back({0, {ir::Box{0, 0, 20, 20}}});
        if (child) {
            cell.instances.push_back({.name = "i", .cell = *child});
        }
        return cell;
    };
    ir::Library x0;
    x0.layers = {{"metal", 1, 0}};
    x0.cells = {square("x", {})};
    ir::Library l1 = x0;
    l1.cells = {blackbox_of(x0, 0), square("a", 0)};
    ir::Library l2 = x0;
    l2.cells = {blackbox_of(l1, 1), square("x", 0)};
    ir::Library design = x0;
    design.cells = {blackbox_of(l1, 1)};
    design.tops = {0};
    const std::vector<blackbox::Whiteboxes> offered = {{"l1", &l1}, {"l2", &l2}};
    const blackbox::UnboxReport report = blackbox::unbox(design, offered, true);
    EXPECT_EQ(report.unboxed.size(), 2u);
    EXPECT_EQ(report.errors,
              (std::vector<std::string>{
                  "`a` cannot take the whitebox in l1: cell `a` would contain itself"}));
    EXPECT_TRUE(design.cells.back().blackbox);
}

TEST(Unbox, ShortSignatureCountsCharacters) {
    const std::string full = "sha256:" + std::string(64, 'a');
    EXPECT_EQ(blackbox::short_signature(full), "sha256:aaaaaaaaaaaa");
    EXPECT_EQ(blackbox::short_signature("sha256:abc"), "sha256:abc");
    const std::string wide = std::string(20, 'x').replace(0, 1, "é");
    EXPECT_EQ(blackbox::short_signature("ééééééééééééééééééééé"), "ééééééééééééééééééé");
    EXPECT_EQ(blackbox::short_signature(wide).size(), 20u);
}

} // namespace
