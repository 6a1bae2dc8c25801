// Line rules of the history text import and the replacement of the whole history.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <random>

#include "history/text_import.h"
#include "process_support.h"
#include "test_support.h"

using namespace k3;

namespace {

std::vector<std::string> stored(HistoryStore& s) {
    std::vector<std::string> out;
    auto snap = s.snapshot();
    for (const SnapRow& r : snap->rows) {
        EXPECT_EQ(r.idx, static_cast<int32_t>(out.size() + 1));
        out.push_back(std::to_string(r.sqqh) + " " + std::to_string(r.die(1) * 100 + r.die(2) * 10 + r.die(3)));
    }
    return out;
}

}  // namespace

TEST(ImportLineRules, ExamplesOfTheFileFormat) {
    for (const char* ok : {"130325001 253", "130325001  253", "130325001253", "130325001 253 and more"}) {
        auto d = parseHistoryLine(ok);
        ASSERT_TRUE(d) << ok;
        EXPECT_EQ(d->issue, 130325001);
        EXPECT_EQ(d->d1 * 100 + d->d2 * 10 + d->d3, 253);
    }
    // Three blanks leave two dice; then separated dice, no number part, too short, no issue, dice 0 and 7,
    // a non-digit in the issue, a zero issue, a tab.
    for (const char* bad : {"130325001   253", "130325001 2 5 3", "130325001", "130325001 ", "130325001 25", "253",
                            "130325001 053", "130325001 273", "1303250x1 253", "000000000 253", "130325001\t253"})
        EXPECT_FALSE(parseHistoryLine(bad)) << bad;
}

TEST(ImportLineRules, LineEndsSkipsAndDuplicates) {
    // 1 CRLF, 2 lone CR, 3 lone LF, 4 blank, 5 no dice, 6 repeats line 1, 7 no issue, 8 short dice, 9 long, 10 last.
    std::string text =
        "130325001 253\r\n130325002 666\r130325003 111\n   \n130325004\r\n130325001 444\r\n253\n"
        "130325005 25\r\n130325006 123 " +
        std::string(100000, 'x') + "\n130325007 456";
    ParsedHistory p = parseHistoryText(text, 1);
    std::vector<std::string> got;
    for (const auto& d : p.draws) got.push_back(std::to_string(d.sqqh) + " " + d.txtHisLst);
    EXPECT_EQ(got, (std::vector<std::string>{"130325001 253", "130325002 666", "130325003 111", "130325006 123",
                                             "130325007 456"}));
    EXPECT_EQ(p.draws[1].pattern[kNumber], "1X6 2X6 3X6 ");
    std::vector<size_t> skipped;
    for (const auto& s : p.skipped) skipped.push_back(s.number);
    EXPECT_EQ(skipped, (std::vector<size_t>{5, 6, 7, 8}));
    EXPECT_EQ(p.skipped[1].text, "130325001 444");
}

TEST(ImportFile, ReplacesTheHistoryOrChangesNothing) {
    k3test::TempDir dir;
    HistoryStore store(dir.file("gapbook.db"));
    store.append(k3test::generateDraws(50));
    std::string file = dir.file("h.txt");
    auto write = [&](const std::string& text) { std::ofstream(file, std::ios::binary) << text; };

    // Descending order is stored in issue order.
    write("130326002 111\r\n130326001 222\r\n130325082 333\r\nnonsense\r\n");
    ImportResult r = importHistoryFile(store, file, 0);
    EXPECT_EQ(r.stored, 3u);
    ASSERT_EQ(r.skipped.size(), 1u);
    EXPECT_EQ(r.skipped[0].number, 4u);
    EXPECT_EQ(stored(store), (std::vector<std::string>{"130325082 333", "130326001 222", "130326002 111"}));
    EXPECT_EQ(store.snapshot()->rows[0].v[kSegment][0], 1);  // die 3 with segment base 0

    EXPECT_THROW(importHistoryFile(store, dir.file("missing.txt"), 1), ImportError);
    EXPECT_THROW(importHistoryFile(store, dir.path().string(), 1), ImportError);
    EXPECT_TRUE(importHistoryFile(store, file, 1, [](size_t, size_t) { return false; }).cancelled);
    write("a;b;c\r\n1,2,3\r\n");  // not one draw: most likely the wrong file
    EXPECT_TRUE(importHistoryFile(store, file, 1).refused);
    EXPECT_EQ(store.count(), 3);

    write("\r\n");  // an empty file empties the history
    EXPECT_EQ(importHistoryFile(store, file, 1).stored, 0u);
    EXPECT_EQ(store.count(), 0);
}

TEST(ImportFile, ByteOrderMarksAndUtf16) {
    k3test::TempDir dir;
    HistoryStore store(dir.file("gapbook.db"));
    std::string file = dir.file("h.txt");
    auto utf16 = [](const std::string& ascii, bool bigEndian) {
        std::string out = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
        for (char c : ascii) out += bigEndian ? std::string{'\0', c} : std::string{c, '\0'};
        return out;
    };
    const std::string lines = "130325001 253\r\n130325002 666\r\n";
    const std::vector<std::string> both{"130325001 253", "130325002 666"};
    for (const std::string& bytes : {"\xEF\xBB\xBF" + lines, utf16(lines, false), utf16(lines, true)}) {
        std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;
        ImportResult r = importHistoryFile(store, file, 1);
        EXPECT_EQ(r.skippedCount, 0u);
        EXPECT_EQ(stored(store), both);
    }
    // A character beyond the 16-bit range and an unpaired half in a skipped line: readable UTF-8.
    EXPECT_EQ(decodeText(utf16("a", false) + std::string("\x3D\xD8\x00\xDE\x00\xD8", 6)),
              "a\xF0\x9F\x98\x80\xEF\xBF\xBD");
    EXPECT_EQ(decodeText(std::string("\xFE\xFF\x00", 3)), "\xEF\xBF\xBD");  // an odd last byte
    EXPECT_EQ(decodeText("plain"), "plain");
}

TEST(ImportFile, OnlyRegularFilesAreRead) {
    k3test::TempDir dir;
    HistoryStore store(dir.file("gapbook.db"));
    store.append(k3test::generateDraws(20));
    std::string fifo = dir.file("pipe");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& path : {std::string("/dev/zero"), std::string("/dev/urandom"),
                                    std::string("/proc/self/cmdline"), fifo, dir.path().string()}) {
        try {
            importHistoryFile(store, path, 1);
            ADD_FAILURE() << path << " was read";
        } catch (const ImportError& e) {
            EXPECT_NE(std::string(e.what()).find(path), std::string::npos) << e.what();
        }
    }
    EXPECT_EQ(store.count(), 20);
}

TEST(ImportFile, SkippedLinesReportIsCapped) {
    std::string text = std::string(150, 'x') + "汉字" + std::string(100, 'y') + "\n";
    for (int i = 0; i < 2999; ++i) text += "junk " + std::to_string(i) + "\n";
    text += "130325001 253\n";
    ParsedHistory p = parseHistoryText(text, 1);
    EXPECT_EQ(p.draws.size(), 1u);
    EXPECT_EQ(p.skippedCount, 3000u);
    ASSERT_EQ(p.skipped.size(), kSkippedListLimit);
    EXPECT_EQ(p.skipped[0].text, std::string(150, 'x') + "汉字" + std::string(48, 'y') + "…");  // 200 characters
    EXPECT_EQ(p.skipped.back().number, 1000u);
    EXPECT_EQ(p.skipped.back().text, "junk 998");
}

TEST(ImportFile, OutOfOrderWithRepeats) {
    // A shuffled history in which some issues come twice: the first line of an issue counts, every
    // later one is listed among the skipped lines, in line order with the lines without a draw.
    auto draws = k3test::generateDraws(3000, 78, 130101001, 0, 5);
    std::vector<std::string> lines;
    for (const auto& d : draws) lines.push_back(std::to_string(d.sqqh) + " " + d.txtHisLst);
    std::mt19937 rng(3);
    std::shuffle(lines.begin(), lines.end(), rng);
    std::map<int32_t, std::string> first;
    std::vector<size_t> expectedSkipped;
    std::string text;
    for (size_t i = 0; i < lines.size(); ++i) {
        text += lines[i] + "\r\n";
        first.emplace(std::stoi(lines[i].substr(0, 9)), lines[i]);
        if (i % 700 == 5) {  // a repeat of an earlier line with other dice
            text += lines[i / 2].substr(0, 10) + "666\r\n";
            expectedSkipped.push_back(i + 2 + expectedSkipped.size());
        }
        if (i % 900 == 7) {
            text += "no draw here\r\n";
            expectedSkipped.push_back(i + 2 + expectedSkipped.size());
        }
    }
    ParsedLines p = parseHistoryLines(text);
    std::vector<size_t> skipped;
    for (const SkippedLine& s : p.skipped) skipped.push_back(s.number);
    EXPECT_EQ(skipped, expectedSkipped);
    EXPECT_EQ(p.skippedCount, expectedSkipped.size());
    ASSERT_EQ(p.draws.size(), first.size());
    auto it = first.begin();
    for (const LineDraw& d : p.draws) {
        const std::string dice{char('0' + d.d1), char('0' + d.d2), char('0' + d.d3)};
        ASSERT_EQ(std::to_string(d.issue) + " " + dice, (it++)->second);
    }
    // Stored in issue order, ranked, with the values the segment base gives.
    k3test::TempDir dir;
    HistoryStore store(dir.file("gapbook.db"));
    std::ofstream(dir.file("h.txt"), std::ios::binary) << text;
    EXPECT_EQ(importHistoryFile(store, dir.file("h.txt"), 0).stored, draws.size());
    auto snap = store.snapshot();
    for (size_t i = 0; i < draws.size(); ++i) {
        ASSERT_EQ(snap->issue(i), draws[i].sqqh);
        ASSERT_EQ(snap->rank(i), static_cast<int32_t>(i + 1));
        ASSERT_EQ(snap->values().of(i), drawValues(draws[i]));
    }
}

TEST(ReplaceHistory, AllOrNothingWithTheSettingsPutBack) {
    k3test::TempDir dir;
    HistoryStore store(dir.file("gapbook.db"));
    auto before = k3test::generateDraws(100);
    store.append(before);
    const std::vector<std::string> kept = stored(store);
    EXPECT_THROW(store.replaceHistory({{130325001, 1, 2, 3}, {130325002, 1, 7, 3}}, 1), StoreError);
    try {
        store.replaceHistory({{130325002, 1, 2, 3}, {130325001, 4, 5, 6}, {130325002, 6, 6, 6}}, 1);
        ADD_FAILURE() << "a repeated issue was stored";
    } catch (const StoreError& e) {
        EXPECT_NE(std::string(e.what()).find("130325002"), std::string::npos) << e.what();
    }
    EXPECT_EQ(stored(store), kept);

    store.replaceHistory({{130325002, 1, 2, 3}, {130325001, 4, 5, 6}}, 1);
    EXPECT_EQ(stored(store), (std::vector<std::string>{"130325001 456", "130325002 123"}));
    // The issue index is there again, and the checks and settings of the connection are as before.
    EXPECT_EQ(store.db().scalarText("SELECT sql FROM sqlite_master WHERE name = 'SQQH'"),
              "CREATE UNIQUE INDEX SQQH ON lishi (SQQH)");
    EXPECT_THROW(store.append(k3test::draws({{130325001, "111"}})), StoreError);
    EXPECT_THROW(store.db().exec("UPDATE lishi SET L1A = 9"), StoreError);
    EXPECT_EQ(store.db().scalarInt("PRAGMA ignore_check_constraints"), 0);
    EXPECT_EQ(store.db().scalarInt("PRAGMA cache_size"), -8192);
}

TEST(ReplaceHistory, DamageFoundAlongsideStoresNothing) {
    // Damage where the replacement itself never looks (table YL): only the check finds it.
    k3test::TempDir dir;
    const std::string path = dir.file("gapbook.db");
    int64_t root = 0;
    {
        HistoryStore s(path);
        s.append(k3test::generateDraws(20000));
        s.replaceYL(std::vector<YLRow>(3000, YLRow{"1 2 3", 1, 2, 3, 1.5f}));
        s.db().exec("PRAGMA wal_checkpoint(TRUNCATE)");
        root = s.db().scalarInt("SELECT rootpage FROM sqlite_master WHERE name = 'YL'");
    }
    {
        std::fstream f(path, std::ios::binary | std::ios::in | std::ios::out);
        f.seekp((root - 1) * 4096);  // the page header of its root
        for (int i = 0; i < 64; ++i) f.put(static_cast<char>(0xA5 ^ i));
    }
    const std::string before = k3test::fileBytes(path);
    HistoryStore store(path);
    std::vector<IssueDice> draws;
    for (const auto& d : k3test::generateDraws(30000, 78, 140101001))
        draws.push_back({d.sqqh, d.values[0][0], d.values[0][1], d.values[0][2]});
    try {
        store.replaceHistory(draws, 1);
        ADD_FAILURE() << "stored into a damaged file";
    } catch (const StoreError& e) {
        EXPECT_EQ(e.kind(), StoreFailure::kDamaged) << e.what();
        EXPECT_NE(std::string(e.what()).find(path), std::string::npos) << e.what();
    }
    EXPECT_TRUE(k3test::fileBytes(path) == before);
    EXPECT_EQ(store.count(), 20000);
}

// A history database given as the file to import, under any name, is refused before it is opened: reading
// it outside SQLite would drop this process's locks on it.
TEST(Import, AHistoryDatabaseIsRefusedWithoutBeingOpened) {
    k3test::TempDir dir;
    HistoryStore store(dir.file("gapbook.db"));
    store.append(k3test::draws({{130325001, "253"}, {130325002, "111"}}));
    HistoryStore province(dir.file("gapbook-gd.db"));
    province.append(k3test::draws({{130325001, "666"}}));
    std::filesystem::create_hard_link(dir.file("gapbook.db"), dir.file("h.txt"));
    std::filesystem::create_symlink(dir.file("gapbook-gd.db-wal"), dir.file("log.txt"));
    for (const std::string& file :
         {dir.file("gapbook.db"), dir.file("h.txt"), dir.file("log.txt"), dir.file("gapbook-gd.db-shm")}) {
        try {
            importHistoryFile(store, file, 1);
            ADD_FAILURE() << file << " was read";
        } catch (const ImportError& e) {
            EXPECT_NE(std::string(e.what()).find("是历史数据库的文件"), std::string::npos) << e.what();
        }
        for (const char* db : {"gapbook.db", "gapbook-gd.db"})
            EXPECT_TRUE(k3test::sqliteLockHolders(dir.file(db)).count(::getpid()))
                << file << " dropped the lock of " << db;
    }
    EXPECT_EQ(store.count(), 2);
}
