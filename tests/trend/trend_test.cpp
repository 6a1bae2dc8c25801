// The trend chart's cells and statistic rows against a computation straight from their definition,
// its ranges and refusals, and its workbook read back.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <future>
#include <map>
#include <random>
#include <regex>
#include <sstream>

#include "search/search.h"
#include "test_support.h"
#include "trend/trend.h"
#include "trend/trend_workbook.h"

using namespace k3;

namespace {

// Whether dice hit a column, from the column's header text alone.
bool referenceHit(const std::string& header, int a, int b, int c) {
    const int sum = a + b + c, span = std::max({a, b, c}) - std::min({a, b, c});
    std::vector<int> s = {a, b, c};
    std::sort(s.begin(), s.end());
    auto tail = [&](const char* prefix) { return std::stoi(header.substr(std::string(prefix).size())); };
    if (header.rfind("和值", 0) == 0) return sum == tail("和值");
    if (header.rfind("号码", 0) == 0) return a == tail("号码") || b == tail("号码") || c == tail("号码");
    if (header.rfind("跨度", 0) == 0) return span == tail("跨度");
    if (header == "三同号") return s[0] == s[2];
    if (header == "二同号") return (s[0] == s[1]) != (s[1] == s[2]);
    if (header == "三不同号") return s[0] != s[1] && s[1] != s[2];
    if (header == "三连号") return s[1] == s[0] + 1 && s[2] == s[1] + 1;
    if (header == "大") return sum >= 11;
    if (header == "小") return sum <= 10;
    if (header == "单") return sum % 2 == 1;
    if (header == "双") return sum % 2 == 0;
    ADD_FAILURE() << "unknown header " << header;
    return false;
}

struct Reference {
    std::vector<std::vector<TrendCell>> cells;      // [row][column]
    std::vector<std::array<std::string, 4>> stats;  // [column][statistic row]
};

// Every cell by looking back over the range for the previous hit; statistics from the cells.
Reference reference(const Snapshot& snap, size_t first, size_t last, int32_t start) {
    Reference ref;
    const auto& items = trendItems();
    std::vector<std::array<bool, kTrendColumns>> hits(last - first);
    for (size_t i = first; i < last; ++i)
        for (int c = 0; c < kTrendColumns; ++c)
            hits[i - first][size_t(c)] =
                referenceHit(items[size_t(c)].header, snap.die(i, 1), snap.die(i, 2), snap.die(i, 3));
    auto hit = [&](size_t row, int c) { return hits[row - first][size_t(c)]; };
    for (size_t i = first; i < last; ++i) {
        std::vector<TrendCell> row;
        for (int c = 0; c < kTrendColumns; ++c) {
            int32_t previous = start;
            for (size_t j = first; j < i; ++j)
                if (hit(j, c)) previous = snap.rank(j);
            row.push_back({snap.rank(i) - previous, hit(i, c)});
        }
        ref.cells.push_back(row);
    }
    for (int c = 0; c < kTrendColumns; ++c) {
        int hits = 0, maxCell = 0, run = 0, maxRun = 0;
        int32_t lastHit = start;
        for (size_t k = 0; k < ref.cells.size(); ++k) {
            const TrendCell& cell = ref.cells[k][size_t(c)];
            maxCell = std::max(maxCell, cell.omission);
            run = cell.hit ? run + 1 : 0;
            maxRun = std::max(maxRun, run);
            if (cell.hit) ++hits, lastHit = snap.rank(first + k);
        }
        char avg[32] = "";
        if (hits) std::snprintf(avg, sizeof avg, "%.2f", double(lastHit - start) / hits);
        ref.stats.push_back({std::to_string(hits), avg, std::to_string(maxCell), std::to_string(maxRun)});
    }
    return ref;
}

void expectSame(const TrendChart& chart, const Reference& ref, const std::string& what) {
    ASSERT_EQ(chart.rowCount(), ref.cells.size()) << what;
    std::vector<TrendCell> cells;
    chart.cells(0, chart.rowCount(), cells);
    for (size_t r = 0; r < ref.cells.size(); ++r)
        for (int c = 0; c < kTrendColumns; ++c) {
            const TrendCell& got = cells[r * kTrendColumns + size_t(c)];
            const TrendCell& want = ref.cells[r][size_t(c)];
            ASSERT_TRUE(got.omission == want.omission && got.hit == want.hit)
                << what << " row " << r << " " << trendItems()[size_t(c)].header << ": " << got.omission << "/"
                << got.hit << " instead of " << want.omission << "/" << want.hit;
        }
    for (int c = 0; c < kTrendColumns; ++c)
        for (int s = 0; s < 4; ++s)
            EXPECT_EQ(trendStatText(chart.stats()[size_t(c)], s), ref.stats[size_t(c)][size_t(s)])
                << what << " " << trendStatNames()[size_t(s)] << " of " << trendItems()[size_t(c)].header;
    // Any window of rows reads the same as the whole, wherever it starts.
    std::mt19937 rng(7);
    for (int t = 0; t < 20 && chart.rowCount() > 0; ++t) {
        const size_t from = rng() % chart.rowCount(), count = 1 + rng() % 40;
        std::vector<TrendCell> part;
        chart.cells(from, count, part);
        ASSERT_EQ(part.size(), std::min(count, chart.rowCount() - from) * kTrendColumns);
        for (size_t k = 0; k < part.size(); ++k)
            ASSERT_EQ(part[k].omission, cells[from * kTrendColumns + k].omission) << what << " from row " << from;
    }
}

// A history with gaps: every draw of a generated run kept with probability 3/4.
Snapshot gappedHistory(size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::vector<DerivedDraw> kept;
    for (const DerivedDraw& d : k3test::generateDraws(n, 78, 130101001, 1, seed))
        if (rng() % 4) kept.push_back(d);
    return snapshotOf(kept);
}

std::string sheetXml(const std::string& xlsx) {
    const std::string cmd =
        "python3 -c \"import sys,zipfile; sys.stdout.write(zipfile.ZipFile(sys.argv[1])"
        ".read('xl/worksheets/sheet1.xml').decode())\" '" +
        xlsx + "'";
    std::string out;
    char buf[4096];
    FILE* p = popen(cmd.c_str(), "r");
    for (size_t n; p && (n = fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
    if (p) pclose(p);
    return out;
}

}  // namespace

TEST(TrendItems, OutcomesTheoreticalAndBallTexts) {
    const auto& items = trendItems();
    std::map<std::string, int> outcomes;
    for (const TrendItem& it : items) outcomes[it.header] = it.outcomes;
    EXPECT_EQ(outcomes["和值3"], 1);
    EXPECT_EQ(outcomes["和值10"], 27);
    EXPECT_EQ(outcomes["号码1"], 91);
    EXPECT_EQ(outcomes["跨度0"], 6);
    EXPECT_EQ(outcomes["跨度5"], 30);
    EXPECT_EQ(outcomes["三同号"], 6);
    EXPECT_EQ(outcomes["二同号"], 90);
    EXPECT_EQ(outcomes["三不同号"], 120);
    EXPECT_EQ(outcomes["三连号"], 24);
    EXPECT_EQ(outcomes["大"], 108);
    EXPECT_EQ(outcomes["单"], 108);
    EXPECT_DOUBLE_EQ(trendTheoretical(7), 8.0);  // 和值10
    EXPECT_EQ(trendHits(0, 1, 2), 0u);           // a stored die outside 1..6 hits nothing

    EXPECT_EQ(trendBallText(7, 2, 5, 3), "10");
    EXPECT_EQ(trendBallText(16 + 4, 5, 5, 3), "5×2");
    EXPECT_EQ(trendBallText(16 + 5, 6, 6, 6), "6×3");
    EXPECT_EQ(trendBallText(16 + 1, 2, 5, 3), "2");
    EXPECT_EQ(trendBallText(22 + 3, 2, 5, 3), "3");
    EXPECT_EQ(trendBallText(30, 2, 5, 3), "三不");
    EXPECT_EQ(trendBallText(31, 2, 4, 3), "三连");
    EXPECT_EQ(trendBallText(33, 2, 5, 3), "小");
}

TEST(TrendChart, TheNineDrawExample) {
    const Snapshot nine = snapshotOf(k3test::draws({{130325001, "253"},
                                                    {130325002, "146"},
                                                    {130325003, "665"},
                                                    {130325004, "314"},
                                                    {130325005, "551"},
                                                    {130325006, "426"},
                                                    {130325007, "336"},
                                                    {130325008, "112"},
                                                    {130325009, "645"}}));
    auto snap = std::make_shared<const Snapshot>(nine);
    TrendChart chart(snap, trendRange(*snap, "130325001", "130325009"));
    const Grid g = trendGrid(chart);
    ASSERT_EQ(g.rows.size(), 13u);
    ASSERT_EQ(g.header.size(), 39u);
    EXPECT_EQ(g.header[3], "和值3");
    EXPECT_EQ(g.header[38], "双");
    const size_t two = 3 + 16 + 1;  // 号码2
    std::string column;
    for (size_t r = 0; r < 9; ++r) column += g.rows[r][two] + " ";
    EXPECT_EQ(column, "*1 1 2 3 4 *5 1 *2 1 ");
    EXPECT_EQ((std::vector<std::string>(g.rows[0].begin(), g.rows[0].begin() + 3)),
              (std::vector<std::string>{"130325001", "253", "10"}));
    std::ostringstream text;
    writeTrendText(chart, text);
    EXPECT_EQ(text.str(), gridText(g));
    EXPECT_EQ(g.rows[9][0], "出现次数");
    EXPECT_EQ(g.rows[9][1], "");
    EXPECT_EQ(g.rows[9][two], "3");
    EXPECT_EQ(g.rows[10][two], "2.67");  // (8 − 0) ÷ 3
    EXPECT_EQ(g.rows[11][two], "5");
    EXPECT_EQ(g.rows[12][two], "1");
    // 三同号 never hits: no average, the largest cell is the last row's.
    EXPECT_EQ(g.rows[9][3 + 28], "0");
    EXPECT_EQ(g.rows[10][3 + 28], "");
    EXPECT_EQ(g.rows[11][3 + 28], "9");
    expectSame(chart, reference(*snap, 0, 9, 0), "nine draws");
    // From the fourth draw the first omissions count from the third.
    TrendChart from4(snap, trendRange(*snap, "130325004", "130325009"));
    std::vector<TrendCell> cells;
    from4.cells(0, 6, cells);
    EXPECT_EQ(cells[16 + 1].omission, 1);                      // 号码2 in 130325004: 4 − 3
    EXPECT_EQ(cells[2 * kTrendColumns + 16 + 1].omission, 3);  // the hit in 130325006
}

TEST(TrendChart, RandomHistoriesAgainstTheDefinition) {
    for (unsigned seed = 1; seed <= 6; ++seed) {
        auto snap = std::make_shared<const Snapshot>(gappedHistory(seed == 1 ? 1400 : 300, seed));
        std::mt19937 rng(seed * 31);
        const auto& issues = snap->issues();
        for (int t = 0; t < 6; ++t) {
            // Ends that are stored draws, or issues in the gaps and beyond the history.
            size_t a = rng() % issues.size(), b = rng() % issues.size();
            if (a > b) std::swap(a, b);
            int32_t from = issues[a], to = issues[b];
            if (t % 2) from -= 1 + int32_t(rng() % 3);  // most likely not stored
            if (t % 3 == 2) to += 1 + int32_t(rng() % 3);
            const TrendRange r = trendRange(*snap, std::to_string(from), std::to_string(to));
            size_t first = 0, last = 0;
            while (first < issues.size() && issues[first] < from) ++first;
            for (last = first; last < issues.size() && issues[last] <= to; ++last) {
            }
            int32_t start = 0;
            for (size_t i = 0; i < issues.size(); ++i)
                if (issues[i] == from) start = snap->rank(i) - 1;
            ASSERT_EQ(r.first, first);
            ASSERT_EQ(r.last, last);
            ASSERT_EQ(r.start, start);
            expectSame(TrendChart(snap, r), reference(*snap, first, last, start),
                       "seed " + std::to_string(seed) + " range " + std::to_string(from) + "-" + std::to_string(to));
        }
        // The newest N: one, some, all, more than the history.
        for (int64_t n : {int64_t(1), int64_t(37), int64_t(issues.size()), int64_t(issues.size()) + 5}) {
            const TrendRange r = trendLast(*snap, n);
            const size_t first = issues.size() - std::min<size_t>(issues.size(), size_t(n));
            ASSERT_EQ(r.first, first);
            ASSERT_EQ(r.last, issues.size());
            ASSERT_EQ(r.start, snap->rank(first) - 1);
            expectSame(TrendChart(snap, r), reference(*snap, first, issues.size(), r.start),
                       "last " + std::to_string(n));
        }
    }
}

TEST(TrendChart, TheNewestDrawsWithoutTheValues) {
    // A snapshot as the window has it first: every issue and rank, the dice of the newest draws only,
    // the values not read (asking for them fails).
    const Snapshot full = gappedHistory(600, 9);
    std::vector<Snapshot::Dice> newest;
    for (size_t i = full.size() - kNewestDice; i < full.size(); ++i)
        newest.push_back({int8_t(full.die(i, 1)), int8_t(full.die(i, 2)), int8_t(full.die(i, 3))});
    auto unread = std::async(std::launch::deferred, []() -> std::shared_ptr<const SnapshotValues> {
                      throw std::runtime_error("the values were asked for");
                  }).share();
    auto snap = std::make_shared<const Snapshot>(full.issues(), full.ranks(), newest, unread);
    for (int64_t n : {int64_t(1), int64_t(100), int64_t(kNewestDice)}) {
        const TrendRange r = trendLast(*snap, n);
        expectSame(TrendChart(snap, r), reference(*snap, r.first, r.last, r.start), "newest " + std::to_string(n));
    }
    EXPECT_THROW(TrendChart(snap, trendLast(*snap, kNewestDice + 1)), std::runtime_error);
}

TEST(TrendChart, Refusals) {
    const Snapshot empty;
    EXPECT_THROW(trendRange(empty, "130325001", "130325009"), AnalysisError);
    EXPECT_THROW(trendLast(empty, 10), AnalysisError);
    const Snapshot snap = snapshotOf(k3test::draws({{130325001, "253"}, {130325005, "146"}}));
    EXPECT_THROW(trendRange(snap, "abc", "130325009"), AnalysisError);
    EXPECT_THROW(trendRange(snap, "130325005", "130325001"), AnalysisError);  // reversed
    EXPECT_THROW(trendRange(snap, "130325002", "130325004"), AnalysisError);  // no draw between
    EXPECT_THROW(trendRange(snap, "130325006", "130399999"), AnalysisError);
    EXPECT_THROW(trendLast(snap, 0), AnalysisError);
    EXPECT_EQ(trendRange(snap, "130325005", "130325005").size(), 1u);
}

TEST(TrendWorkbook, NumbersAndFilledHits) {
    k3test::TempDir dir;
    auto snap = std::make_shared<const Snapshot>(
        snapshotOf(k3test::draws({{130325001, "253"}, {130325002, "146"}, {130325003, "665"}})));
    TrendChart chart(snap, trendLast(*snap, 3));
    const std::string path = dir.file("Zoushi.xlsx");
    writeTrendWorkbook(chart, path);
    const std::string xml = sheetXml(path);
    auto cell = [&](const std::string& ref) {
        std::smatch m;
        const std::regex re("<c r=\"" + ref + "\"([^>]*)>(.*?)</c>");
        return std::regex_search(xml, m, re) ? m[1].str() + "|" + m[2].str() : std::string("missing");
    };
    EXPECT_EQ(cell("A2"), "|<v>130325001</v>");
    // An issue of 2008 keeps its leading zero through a number format; a running number does not get one.
    {
        auto old = std::make_shared<const Snapshot>(snapshotOf(k3test::draws({{80101001, "253"}})));
        const std::string oldPath = dir.file("old.xlsx");
        writeTrendWorkbook(TrendChart(old, trendLast(*old, 1)), oldPath);
        EXPECT_NE(sheetXml(oldPath).find("<c r=\"A2\" s=\""), std::string::npos);
        EXPECT_EQ(TrendChart(old, trendLast(*old, 1)).issueText(0), "080101001");
        EXPECT_EQ(TrendChart(old, trendLast(*old, 1), true).issueText(0), "80101001");
    }
    EXPECT_EQ(cell("B2"), "|<v>253</v>");
    EXPECT_EQ(cell("C2"), "|<v>10</v>");
    // 和值10 (column K) hits in the first draw: a number with a fill; 和值3 (D) misses: a plain number.
    EXPECT_NE(cell("K2").find(" s=\""), std::string::npos) << cell("K2");
    EXPECT_NE(cell("K2").find("<v>1</v>"), std::string::npos);
    EXPECT_EQ(cell("D2"), "|<v>1</v>");
    EXPECT_EQ(cell("D4"), "|<v>3</v>");
    EXPECT_NE(cell("A5").find("出现次数"), std::string::npos);
    EXPECT_EQ(cell("K5"), "|<v>1</v>");  // 和值10 hit once
    EXPECT_EQ(cell("D6"), "missing");    // no average where nothing hit
    EXPECT_EQ(cell("K6"), "|<v>1</v>");
    // The database of the data folder is refused and stays as it was.
    {
        std::FILE* f = std::fopen(dir.file("gapbook.db").c_str(), "w");
        std::fputs("db", f);
        std::fclose(f);
    }
    EXPECT_THROW(writeTrendWorkbook(chart, dir.file("gapbook.db"), dir.path().string()), ExportError);
    EXPECT_EQ(k3test::fileBytes(dir.file("gapbook.db")), "db");
}

// Stopped while the rows go out, or once the library packs the file: nothing is written in either case,
// the earlier file stays and nothing is left beside it; the progress goes forward, rows then packing.
TEST(TrendWorkbook, StoppedAtAnyStepWritesNothing) {
    k3test::TempDir dir;
    auto snap = std::make_shared<const Snapshot>(snapshotOf(k3test::generateDraws(20000)));
    const TrendChart chart(snap, trendLast(*snap, 20000));
    const std::string path = dir.file("Zoushi.xlsx");
    std::FILE* f = std::fopen(path.c_str(), "w");
    std::fputs("earlier", f);
    std::fclose(f);
    for (int stopAt : {1, 3, 1000}) {  // in the rows, before packing, while packing
        SCOPED_TRACE(stopAt);
        std::vector<WorkbookStep> steps;
        bool stopped = false;
        try {
            writeTrendWorkbook(chart, path, {}, [&](const WorkbookStep& s) {
                steps.push_back(s);
                if (stopAt == 1000) return !s.packing;
                return steps.size() < static_cast<size_t>(stopAt) + 1;
            });
        } catch (const ExportCancelled& e) {
            stopped = true;
            EXPECT_NE(std::string(e.what()).find("未写入"), std::string::npos);
        }
        EXPECT_TRUE(stopped);
        EXPECT_EQ(k3test::fileBytes(path), "earlier");
        size_t files = 0;
        for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.path())) ++files;
        EXPECT_EQ(files, 1u) << "a side file or the library's folder is left";
        for (size_t i = 1; i < steps.size(); ++i) {
            EXPECT_GE(steps[i].done, steps[i - 1].done);
            EXPECT_TRUE(steps[i].packing || !steps[i - 1].packing);
        }
    }
    // Not stopped: every row, then packing to the end.
    std::vector<WorkbookStep> steps;
    writeTrendWorkbook(chart, path, {}, [&](const WorkbookStep& s) {
        steps.push_back(s);
        return true;
    });
    ASSERT_FALSE(steps.empty());
    EXPECT_EQ(steps.front().done, 0u);
    EXPECT_TRUE(steps.back().packing);
    EXPECT_EQ(steps.back().packed, 1000);
    EXPECT_NE(k3test::fileBytes(path), "earlier");
}
