// Line rules of the history text import and the replacement of the whole history.
#include <gtest/gtest.h>

#include <fstream>

#include "history/text_import.h"
#include "test_support.h"

using namespace k3;

namespace {

std::string lineOf(const DerivedDraw& d) { return std::to_string(d.sqqh) + " " + d.txtHisLst; }

void writeFile(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

std::vector<std::string> storedLines(HistoryStore& s) {
    std::vector<std::string> out;
    auto snap = s.snapshot();
    for (const SnapRow& r : snap->rows)
        out.push_back(std::to_string(r.sqqh) + " " + std::to_string(r.die(1)) + std::to_string(r.die(2)) +
                      std::to_string(r.die(3)));
    return out;
}

}  // namespace

TEST(ImportLineRules, ExamplesOfTheFileFormat) {
    struct Case {
        const char* line;
        bool draw;
    } cases[] = {
        {"130325001 253", true},   {"130325001  253", true},   {"130325001253", true},
        {"130325001 253 and more", true},                      {"130325001   253", false},
        {"130325001 2 5 3", false}, {"130325001", false},      {"130325001 ", false},
        {"253", false},            {"130325001 25", false},    {"130325001 053", false},
        {"130325001 273", false},  {"1303250x1 253", false},   {"000000000 253", false},
        {"130325001\t253", false},
    };
    for (const Case& c : cases) {
        auto d = parseHistoryLine(c.line);
        EXPECT_EQ(d.has_value(), c.draw) << c.line;
        if (d && c.draw) {
            EXPECT_EQ(d->issue, 130325001);
            EXPECT_EQ(d->d1 * 100 + d->d2 * 10 + d->d3, 253) << c.line;
        }
    }
}

TEST(ImportLineRules, LineEndsSkipsAndDuplicates) {
    // Lines: 1 CRLF, 2 lone CR, 3 lone LF, 4 blank, 5 dice-less, 6 duplicate of 1, 7 no issue, 8 last line.
    std::string text =
        "130325001 253\r\n130325002 666\r130325003 111\n   \n130325004\r\n130325001 444\r\n253\n"
        "130325005 123";
    ParsedHistory p = parseHistoryText(text, 1);
    ASSERT_EQ(p.draws.size(), 4u);
    EXPECT_EQ(lineOf(p.draws[0]), "130325001 253");
    EXPECT_EQ(lineOf(p.draws[1]), "130325002 666");
    EXPECT_EQ(p.draws[1].pattern[kNumber], "1X6 2X6 3X6 ");
    EXPECT_EQ(lineOf(p.draws[2]), "130325003 111");
    EXPECT_EQ(lineOf(p.draws[3]), "130325005 123");
    ASSERT_EQ(p.skipped.size(), 3u);
    EXPECT_EQ(p.skipped[0].number, 5u);
    EXPECT_EQ(p.skipped[0].text, "130325004");
    EXPECT_EQ(p.skipped[1].number, 6u);
    EXPECT_EQ(p.skipped[1].text, "130325001 444");
    EXPECT_EQ(p.skipped[2].number, 7u);
    EXPECT_EQ(p.skipped[2].text, "253");
}

TEST(ImportLineRules, NoDiceAreBorrowedFromAnotherLine) {
    // A short or invalid number part must not take the missing dice of the previous line.
    ParsedHistory p = parseHistoryText("130325001 253\r\n130325002 25\r\n130325003 707\r\n", 1);
    ASSERT_EQ(p.draws.size(), 1u);
    EXPECT_EQ(p.skipped.size(), 2u);
}

TEST(ImportLineRules, LongLinesAndEmptyText) {
    std::string longLine = "130325001 253 " + std::string(100000, 'x');
    ParsedHistory p = parseHistoryText(longLine + "\n" + std::string(50000, '7') + "\n", 1);
    ASSERT_EQ(p.draws.size(), 1u);
    EXPECT_EQ(p.skipped.size(), 1u);
    EXPECT_TRUE(parseHistoryText("", 1).draws.empty());
    EXPECT_TRUE(parseHistoryText("\r\n\r\n", 1).skipped.empty());
}

TEST(ImportFile, ReplacesTheWholeHistoryInIssueOrder) {
    k3test::TempDir dir;
    HistoryStore store(dir.file("gapbook.db"));
    store.append(k3test::generateDraws(50));
    std::string file = dir.file("h.txt");
    writeFile(file, "130326002 111\r\n130326001 222\r\n130325082 333\r\nnonsense\r\n");
    ImportResult r = importHistoryFile(store, file, 0);
    EXPECT_EQ(r.stored, 3u);
    ASSERT_EQ(r.skipped.size(), 1u);
    EXPECT_EQ(r.skipped[0].number, 4u);
    EXPECT_EQ(storedLines(store), (std::vector<std::string>{"130325082 333", "130326001 222", "130326002 111"}));
    auto snap = store.snapshot();
    for (size_t i = 0; i < snap->size(); ++i) EXPECT_EQ(snap->rows[i].idx, static_cast<int32_t>(i + 1));
    EXPECT_EQ(snap->rows[0].v[kSegment][0], 1);  // die 3 with segment base 0

    // A file of lines that are all no draws is refused; an empty file empties the history.
    writeFile(file, "a;b;c\r\n1,2,3\r\n");
    ImportResult wrong = importHistoryFile(store, file, 1);
    EXPECT_TRUE(wrong.refused);
    EXPECT_EQ(wrong.skipped.size(), 2u);
    EXPECT_EQ(store.count(), 3);
    writeFile(file, "\r\n");
    EXPECT_EQ(importHistoryFile(store, file, 1).stored, 0u);
    EXPECT_EQ(store.count(), 0);
}

TEST(ImportFile, UnreadableFileOrCancelChangesNothing) {
    k3test::TempDir dir;
    HistoryStore store(dir.file("gapbook.db"));
    store.append(k3test::generateDraws(20));
    EXPECT_THROW(importHistoryFile(store, dir.file("missing.txt"), 1), ImportError);
    EXPECT_THROW(importHistoryFile(store, dir.path().string(), 1), ImportError);
    EXPECT_EQ(store.count(), 20);

    std::string file = dir.file("h.txt");
    writeFile(file, "130325001 253\r\n");
    ImportResult r = importHistoryFile(store, file, 1, [](size_t, size_t) { return false; });
    EXPECT_TRUE(r.cancelled);
    EXPECT_EQ(store.count(), 20);
}
