#include <gtest/gtest.h>

#include "source/source.hpp"

using namespace quorvane_dsl::source;

TEST(Source, FilesAreNumberedInLoadOrder) {
    Files files;
    EXPECT_EQ(files.add("a.qvs", "x"), FileId{0});
    EXPECT_EQ(files.add("b.qvs", ""), FileId{1});
    EXPECT_EQ(files.add("a.qvs", "y"), FileId{2});
    EXPECT_EQ(files[FileId{2}].text, "y");
    EXPECT_EQ(files[FileId{0}].name, "a.qvs");
}

TEST(Source, LineColumn) {
    LineIndex lf("a\nb");
    EXPECT_EQ(lf.line_starts, (std::vector<std::uint32_t>{0, 2}));
    EXPECT_EQ(lf.length, 3u);
    EXPECT_EQ(lf.line_col(2), (LineCol{1, 0}));
    EXPECT_EQ(lf.line_col(1), (LineCol{0, 1}));
    EXPECT_EQ(lf.line_col(99), (LineCol{1, 1}));

    LineIndex trailing("a\n");
    EXPECT_EQ(trailing.line_starts, (std::vector<std::uint32_t>{0, 2}));
    EXPECT_EQ(trailing.line_col(2), (LineCol{1, 0}));

    LineIndex empty("");
    EXPECT_EQ(empty.line_starts, (std::vector<std::uint32_t>{0}));
    EXPECT_EQ(empty.line_col(0), (LineCol{0, 0}));
    EXPECT_EQ(empty.line_col(7), (LineCol{0, 0}));

    // A carriage return belongs to the line it ends.
    LineIndex crlf("x\r\ny\r\n\r\nz");
    EXPECT_EQ(crlf.line_starts, (std::vector<std::uint32_t>{0, 3, 6, 8}));
    EXPECT_EQ(crlf.line_col(1), (LineCol{0, 1}));
    EXPECT_EQ(crlf.line_col(2), (LineCol{0, 2}));
    EXPECT_EQ(crlf.line_col(3), (LineCol{1, 0}));
    EXPECT_EQ(crlf.line_col(7), (LineCol{2, 1}));
    EXPECT_EQ(crlf.line_col(8), (LineCol{3, 0}));

    // Columns count bytes: the micro sign takes two.
    EXPECT_EQ(LineIndex("q\n\u00B5m").line_col(4), (LineCol{1, 2}));
}

TEST(Source, ForeignFileIdEndsTheProcess) {
    Files files;
    files.add("a.qvs", "");
    EXPECT_DEATH(files[FileId{1}], "file id 1 is out of range");
}
