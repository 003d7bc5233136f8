#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <sys/stat.h>

#include "analysis.hpp"
#include "ir/text.hpp"
#include "load/load.hpp"
#include "signature/signature.hpp"

namespace quorvane_dsl::load {
namespace {

namespace fs = std::filesystem;

// A fresh folder of files for one test, removed afterwards.
class Tree {
  public:
    explicit Tree(const std::string& name)
        : root_(fs::temp_directory_path() /
                ("qv-load-" + std::to_string(::getpid()) + "-" + name)) {
        fs::remove_all(root_);
        fs::create_directories(root_);
    }
    ~Tree() { fs::remove_all(root_); }

    void write(const std::string& path, const std::string& text) const {
        fs::create_directories((root_ / path).parent_path());
        std::ofstream(root_ / path, std::ios::binary) << text;
    }
    std::string path(const std::string& relative) const { return (root_ / relative).string(); }

  private:
    fs::path root_;
};

std::vector<std::string> messages(const std::vector<diag::Diagnostic>& diagnostics) {
    std::vector<std::string> result;
    for (const auto& diagnostic : diagnostics) {
        result.push_back(diagnostic.message);
    }
    return result;
}

TEST(Load, NormalizesPathsLexically) {
    EXPECT_EQ(normalize_path("./a/./b.qvs"), "a/b.qvs");
    EXPECT_EQ(normalize_path("src/../lib/a.qvs"), "lib/a.qvs");
    EXPECT_EQ(normalize_path("../lib/a.qvs"), "../lib/a.qvs");
    EXPECT_EQ(normalize_path("a/../../../b"), "../../b");
    EXPECT_EQ(normalize_path("/x//y/../z/"), "/x/z");
    EXPECT_EQ(normalize_path("/.."), "/..");
    EXPECT_EQ(normalize_path("lib/./x/../a.qvs"), "lib/a.qvs");
}

TEST(Load, FollowsImportsOnceAndReportsThoseThatFail) {
    const Tree tree("imports");
    tree.write("src/main.qvs", R"(import "main.qvs"
import "../lib/a.qvs"
import "../lib/./x/../a.qvs"
import "missing.qvs"
import "broken.qvir"
import "upper.QVIR"
)");
    tree.write("lib/a.qvs", "import \"../src/main.qvs\"\nimport \"../src/missing.qvs\"\n");
    tree.write("src/broken.qvir", "quorvane-ir 1\nnonsense\n");
    tree.write("src/upper.QVIR", "cell u { }\n");
    const auto loaded = load(tree.path("src/main.qvs"));
    ASSERT_TRUE(loaded);
    // The root, a.qvs, broken.qvir (registered although it failed), upper.QVIR read as source.
    ASSERT_EQ(loaded->files.files.size(), 4u);
    EXPECT_TRUE(loaded->files.files[1].name.ends_with("lib/a.qvs"));
    EXPECT_EQ(loaded->sources.size(), 3u);
    EXPECT_TRUE(loaded->ir_files.empty());
    const auto texts = messages(loaded->diagnostics);
    ASSERT_EQ(texts.size(), 3u);
    EXPECT_TRUE(texts[0].starts_with("cannot import `missing.qvs`: No such file or directory"));
    EXPECT_TRUE(texts[1].starts_with("cannot import `broken.qvir`: line 2: "));
    // The second place that imports the missing file is reported at its own path string.
    EXPECT_TRUE(texts[2].starts_with("cannot import `../src/missing.qvs`: "));
    EXPECT_EQ(loaded->diagnostics[2].src.file, source::FileId{1});

    const auto missing = load(tree.path("src/./none.qvs"));
    ASSERT_FALSE(missing);
    EXPECT_TRUE(missing.error().starts_with("reading " + tree.path("src/./none.qvs") + ": "));
}

// A pipe or a device may never end or never open, and a path with a NUL names another file:
// all are refused like a missing file.
TEST(Load, OnlyRegularFilesNamedWholeAreRead) {
    const Tree tree("special");
    tree.write("main.qvs", "import \"pipe.qvs\"\nimport \"/dev/zero\"\nimport \"lib\"\n");
    fs::create_directories(tree.path("lib"));
    ASSERT_EQ(::mkfifo(tree.path("pipe.qvs").c_str(), 0600), 0);
    const auto loaded = load(tree.path("main.qvs"));
    ASSERT_TRUE(loaded);
    EXPECT_EQ(messages(loaded->diagnostics),
              (std::vector<std::string>{"cannot import `pipe.qvs`: not a regular file",
                                        "cannot import `/dev/zero`: not a regular file",
                                        "cannot import `lib`: Is a directory (os error 21)"}));
    const auto device = load("/dev/zero");
    ASSERT_FALSE(device);
    EXPECT_EQ(device.error(), "reading /dev/zero: not a regular file");
    // Cut at the NUL, the path would open main.qvs under a name that is not its own.
    const std::string cut = tree.path("main.qvs") + std::string(1, '\0') + "x";
    const auto named = load(cut);
    ASSERT_FALSE(named);
    EXPECT_EQ(named.error(), "reading " + cut + ": the path contains a NUL character");
}

// The same-file test is lexical: a file reached under a second spelling loads again, and its
// items then repeat those of the first load.
TEST(Load, AFileUnderTwoSpellingsRepeatsItsItems) {
    const Tree tree("spellings");
    tree.write("main.qvs", "import \"lib/a.qvs\"\nimport \"link/a.qvs\"\n");
    tree.write("lib/a.qvs", "define k = 1\ncell c { }\n");
    fs::create_directory_symlink("lib", tree.path("link"));
    const auto analysis = analyze(tree.path("main.qvs"));
    ASSERT_TRUE(analysis);
    EXPECT_EQ(analysis->hir.files.files.size(), 3u);
    EXPECT_EQ(messages(analysis->hir.diagnostics),
              (std::vector<std::string>{"`k` is already defined", "`c` is already defined"}));
    EXPECT_EQ(analysis->hir.diagnostics[0].src.file, source::FileId{2});
    EXPECT_EQ(analysis->hir.diagnostics[0].notes.at(0).src.file, source::FileId{1});
}

// A published blackbox whose stored header changed no longer matches its interface signature.
TEST(Load, ImportedBlackboxesAreVerified) {
    ir::Library library;
    ir::Cell cell{.name = "bb", .source = "bb"};
    cell.params.emplace_back("w", ir::Value{ir::Value::Int{5}});
    cell.markers.push_back({.name = "p"});
    const ir::Box footprint{0, 0, 10, 10};
    cell.blackbox = ir::Blackbox{.footprint = footprint,
                                 .interface = signature::interface(cell, footprint, library.dbu),
                                 .content = "sha256:" + std::string(64, '0')};
    library.cells.push_back(std::move(cell));
    library.tops = {0};
    const std::string published = *ir::print(library);
    const std::string edited = published.substr(0, published.find("param w 5")) + "param w 6" +
                               published.substr(published.find("param w 5") + 9);
    ASSERT_NE(published, edited);

    const Tree tree("blackbox");
    tree.write("ok.qvir", published);
    tree.write("edited.qvir", edited);
    tree.write("ok.qvs", "import \"ok.qvir\"\ndefine k = bb\n");
    tree.write("edited.qvs", "import \"edited.qvir\"\n");
    const auto ok = analyze(tree.path("ok.qvs"));
    ASSERT_TRUE(ok);
    EXPECT_TRUE(ok->hir.diagnostics.empty()) << ok->hir.diagnostics[0].message;
    const hir::CellDef& bb = ok->hir.cells[*ok->hir.cell_by_name("bb")];
    EXPECT_TRUE(std::holds_alternative<hir::CellOrigin::Imported>(bb.origin.kind));
    EXPECT_TRUE(bb.params.empty());
    ASSERT_EQ(bb.attrs.size(), 1u);
    EXPECT_EQ(bb.markers.size(), 1u);

    const auto bad = analyze(tree.path("edited.qvs"));
    ASSERT_TRUE(bad);
    ASSERT_EQ(bad->hir.diagnostics.size(), 1u);
    EXPECT_EQ(bad->hir.diagnostics[0].message,
              "blackbox `bb` does not match its interface signature: it was changed after it was "
              "published");
    EXPECT_EQ(bad->hir.diagnostics[0].src.range, (source::TextRange{7, 20}));
}

TEST(Load, DiagnosticsSortByFileAndRangeWithoutRepeats) {
    const auto at = [](std::uint32_t file, std::uint32_t start, std::uint32_t end,
                       std::string text) {
        return diag::Diagnostic{.message = std::move(text), .src = {{start, end}, {file}}};
    };
    std::vector<diag::Diagnostic> list = {at(1, 0, 1, "late file"), at(0, 5, 12, "wide"),
                                          at(0, 5, 9, "narrow"), at(0, 5, 12, "wide"),
                                          at(0, 5, 12, "other")};
    list.push_back(list[1]);
    list.back().notes.push_back({"first defined here", list[1].src});
    sort_diagnostics(list);
    EXPECT_EQ(messages(list),
              (std::vector<std::string>{"narrow", "wide", "other", "wide", "late file"}));
}

} // namespace
} // namespace quorvane_dsl::load
