#include <gtest/gtest.h>

#include "diag/diag.hpp"

using namespace quorvane_dsl;
using namespace quorvane_dsl::diag;

namespace {

std::string one(std::string_view text, std::uint32_t start, std::uint32_t end,
                Severity severity = Severity::Error) {
    source::Files files;
    files.add("f.qvs", std::string(text));
    return render(files.files, {"m", {}, {{start, end}, {0}}, severity});
}

} // namespace

TEST(Diag, WorkedExample) {
    std::string text;
    for (int i = 1; i < 12; ++i) {
        text += "line\n";
    }
    std::uint32_t start = static_cast<std::uint32_t>(text.size()) + 4;
    text += "    abc\nmore\n";
    source::Files files;
    files.add("a.qvs", text);
    EXPECT_EQ(render(files.files, {"m", {}, {{start, start + 3}, {0}}, Severity::Warning}),
              "warning: m\n"
              "  --> a.qvs:12:5\n"
              "   |\n"
              "12 |     abc\n"
              "   |     ^^^\n");
}

TEST(Diag, CaretPlacement) {
    // End of a file without a final line feed: one caret past the last character.
    EXPECT_EQ(one("ab\ncd", 5, 5), "error: m\n --> f.qvs:2:3\n  |\n2 | cd\n  |   ^\n");
    // Zero-width range mid-line, and a range past the end of the text.
    EXPECT_EQ(one("abcd", 2, 2), "error: m\n --> f.qvs:1:3\n  |\n1 | abcd\n  |   ^\n");
    EXPECT_EQ(one("abcd", 9, 12), "error: m\n --> f.qvs:1:5\n  |\n1 | abcd\n  |     ^\n");
    // A range over a line break marks only its first line; starting on the feed, one caret.
    EXPECT_EQ(one("ab\ncd", 1, 4), "error: m\n --> f.qvs:1:2\n  |\n1 | ab\n  |  ^\n");
    EXPECT_EQ(one("ab\ncd", 2, 4), "error: m\n --> f.qvs:1:3\n  |\n1 | ab\n  |   ^\n");
    // CRLF: neither break character is printed; on the feed the column lies beyond the line,
    // so the caret goes under its first character.
    EXPECT_EQ(one("ab\r\ncd\r\n", 1, 4), "error: m\n --> f.qvs:1:2\n  |\n1 | ab\n  |  ^\n");
    EXPECT_EQ(one("ab\r\ncd\r\n", 3, 4), "error: m\n --> f.qvs:1:4\n  |\n1 | ab\n  | ^\n");
    // A lone carriage return stays in the line.
    EXPECT_EQ(one("a\rb", 2, 3), "error: m\n --> f.qvs:1:3\n  |\n1 | a\rb\n  |   ^\n");
    // Columns count bytes, spaces count characters; a tab becomes one space.
    EXPECT_EQ(one("\u00B5m x", 4, 5), "error: m\n --> f.qvs:1:5\n  |\n1 | \u00B5m x\n  |    ^\n");
    EXPECT_EQ(one("\tx", 1, 2), "error: m\n --> f.qvs:1:2\n  |\n1 | \tx\n  |  ^\n");
    EXPECT_EQ(one("\u00B5\u00B5", 0, 4),
              "error: m\n --> f.qvs:1:1\n  |\n1 | \u00B5\u00B5\n  | ^^\n");
    // Inside a multi-byte character or reversed: no spaces, one caret.
    EXPECT_EQ(one("\u00B5x", 1, 3), "error: m\n --> f.qvs:1:2\n  |\n1 | \u00B5x\n  | ^\n");
    EXPECT_EQ(one("abc", 2, 1), "error: m\n --> f.qvs:1:3\n  |\n1 | abc\n  |   ^\n");
    // Empty last line of a text that ends with a line feed.
    EXPECT_EQ(one("a\n", 2, 2, Severity::Info), "info: m\n --> f.qvs:2:1\n  |\n2 | \n  | ^\n");
}

TEST(Diag, NotesAndPads) {
    source::Files files;
    files.add("a.qvs", "x\n\n\n\n  bad\n");
    std::string other;
    for (int i = 1; i < 100; ++i) {
        other += "\n";
    }
    auto at_100 = static_cast<std::uint32_t>(other.size());
    other += "first";
    files.add("b.qvs", other);
    files.add("c.qvs", "\n\n\n\n\n\n\n\n\nnine\nten");
    Diagnostic d{
        "bad name",
        {{"first defined here", {{at_100, at_100 + 5}, {1}}}, {"and here", {{13, 14}, {2}}}},
        {{7, 10}, {0}},
        Severity::Error};
    EXPECT_EQ(render(files.files, d), "error: bad name\n"
                                      " --> a.qvs:5:3\n"
                                      "  |\n"
                                      "5 |   bad\n"
                                      "  |   ^^^\n"
                                      "note: first defined here\n"
                                      "   --> b.qvs:100:1\n"
                                      "    |\n"
                                      "100 | first\n"
                                      "    | ^^^^^\n"
                                      "note: and here\n"
                                      "  --> c.qvs:10:5\n"
                                      "   |\n"
                                      "10 | nine\n"
                                      "   |     ^\n");
}

TEST(Diag, LongLinesAreClippedAroundTheCarets) {
    // Every diagnostic on a long line once printed the whole line.
    const std::string line = std::string(200, 'a') + "@@@" + std::string(200, 'b');
    const std::string shown = std::string(30, 'a') + "@@@" + std::string(67, 'b');
    EXPECT_EQ(one(line, 200, 203), "error: m\n"
                                   " --> f.qvs:1:201\n"
                                   "  |\n"
                                   "1 | …" +
                                       shown +
                                       "…\n"
                                       "  |                                ^^^\n");
    // Near the start nothing is cut before; carets stop at the window's end; a window at the
    // end of the line is cut only before.
    const std::string start = one(line, 2, 403);
    EXPECT_NE(start.find("1 | " + line.substr(0, 100) + "…\n"), std::string::npos);
    EXPECT_NE(start.find("  |   " + std::string(98, '^') + "\n"), std::string::npos);
    EXPECT_NE(one(line, 402, 403).find("1 | …" + std::string(100, 'b') + "\n"), std::string::npos);
    // The window counts characters of several bytes, and an invalid byte as one.
    const auto times = [](std::size_t n, std::string_view s) {
        std::string out;
        for (std::size_t i = 0; i < n; ++i) {
            out += s;
        }
        return out;
    };
    const std::string wide = times(200, "é") + "@\xff" + times(200, "€");
    EXPECT_EQ(one(wide, 400, 401), "error: m\n"
                                   " --> f.qvs:1:401\n"
                                   "  |\n"
                                   "1 | …" +
                                       times(30, "é") + "@\xff" + times(68, "€") +
                                       "…\n"
                                       "  |                                ^\n");
    EXPECT_NE(one(wide, 401, 1002)
                  .find("1 | …" + times(29, "é") + "@\xff" + times(69, "€") + "…\n  | " +
                        std::string(31, ' ') + std::string(70, '^') + "\n"),
              std::string::npos);
}

// An error is hidden once its file holds as many distinct errors before it as are shown; repeats,
// warnings and other files do not count, and an error added later at an earlier place still does.
TEST(Diag, HiddenErrorsCountDistinctErrorsBeforeThePlace) {
    const auto at = [](std::uint32_t start, std::uint32_t file = 0) {
        return Src{{start, start + 1}, {file}};
    };
    std::vector<Diagnostic> diagnostics;
    for (std::uint32_t i = 1; i < shown_errors_per_file; ++i) {
        diagnostics.push_back({"m", {}, at(10 * i), Severity::Error});
        diagnostics.push_back({"m", {}, at(10 * i), Severity::Error});
        diagnostics.push_back({"w", {}, at(10 * i + 1), Severity::Warning});
    }
    diagnostics.push_back({"m", {}, at(5, 1), Severity::Error});
    HiddenErrors hidden;
    EXPECT_FALSE(hidden.hidden(diagnostics, at(100'000)));
    diagnostics.push_back({"n", {}, at(20'000), Severity::Error});
    EXPECT_TRUE(hidden.hidden(diagnostics, at(100'000)));
    EXPECT_FALSE(hidden.hidden(diagnostics, at(20'000)));
    EXPECT_FALSE(hidden.hidden(diagnostics, at(100'000, 1)));
    diagnostics.push_back({"n", {}, at(3), Severity::Error});
    EXPECT_TRUE(hidden.hidden(diagnostics, at(15'000)));
}
