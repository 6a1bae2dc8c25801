#include <gtest/gtest.h>

#include "search/search.h"
#include "test_support.h"

using namespace k3;
using Strings = std::vector<std::string>;

namespace {

// The snapshot of a stored history.
std::shared_ptr<const Snapshot> stored(const std::vector<DerivedDraw>& ds) {
    k3test::TempDir dir;
    HistoryStore s(dir.file("gapbook.db"));
    s.append(ds);
    return s.snapshot();
}

// Twelve draws 130325001..012: those at the listed IDX show 1 1 1, the others 4 5 6.
std::shared_ptr<const Snapshot> twelve(std::initializer_list<int> ones) {
    std::vector<DerivedDraw> ds;
    for (int i = 1; i <= 12; ++i) {
        bool one = std::find(ones.begin(), ones.end(), i) != ones.end();
        ds.push_back(deriveDraw(130325000 + i, one ? 1 : 4, one ? 1 : 5, one ? 1 : 6, 1));
    }
    return stored(ds);
}

SearchInput input(const Snapshot& s, bool free, std::array<bool, 3> sel, std::array<int, 3> v) {
    SearchInput in{kNumber, free, sel, v, {}, std::to_string(s.rows.front().sqqh), std::to_string(s.rows.back().sqqh)};
    for (int i = 0; i < 3; ++i) in.texts[i] = std::to_string(v[i]);
    return in;
}

PartialInput partial(std::array<int, 3> v, int k, bool free, std::string from, std::string to) {
    return {kNumber, free, v, {std::to_string(v[0]), std::to_string(v[1]), std::to_string(v[2])}, k, {}, from, to};
}

Strings column(const Grid& g, size_t c) {
    Strings out;
    for (const auto& r : g.rows) out.push_back(r.at(c));
    return out;
}

}  // namespace

TEST(Search, GridsOfTheTwoDrawExample) {
    auto s = stored(k3test::draws({{130325001, "253"}, {130325002, "666"}}));
    SearchOutput out = runSearch(*s, input(*s, true, {true, false, false}, {2, 0, 0}));
    EXPECT_EQ(gridText(out.matches), "期号\t第1位\t第2位\t第3位\t遗漏次数\t序号\n130325001\t2\t5\t3\t1\t1\n");
    EXPECT_EQ(out.matches.widths, (std::vector<int>{1480, 800, 800, 800, 800, 680}));
    EXPECT_EQ(gridText(out.summary), "号码（分组）\t最小遗漏\t最大遗漏\t最后遗漏\t大后比\n2 \t1\t1\t2\t0.5\n");
}

TEST(Search, OmissionsAndTheRange) {
    auto s = twelve({5, 6, 10});
    SearchInput in = input(*s, false, {true, false, false}, {1, 0, 0});
    SearchOutput out = runSearch(*s, in);
    EXPECT_EQ(column(out.matches, 4), (Strings{"5", "1", "4"}));
    EXPECT_EQ(column(out.matches, 5), (Strings{"1", "2", "3"}));
    EXPECT_EQ(out.summary.rows[0], (Strings{"1 ", "1", "5", "3", "1.66666666666667"}));
    in.from = "130324999";  // not stored: the first omission is the first match's IDX
    EXPECT_EQ(column(runSearch(*s, in).matches, 4), (Strings{"5", "1", "4"}));
    in.from = "130325004";
    in.to = "130325006";  // ends early: the last omission still runs to the end of the history
    EXPECT_EQ(runSearch(*s, in).summary.rows[0], (Strings{"1 ", "1", "2", "7", "0.285714285714286"}));
    // The last stored draw matching: last omission 1, ratio equal to the maximum.
    auto t = twelve({5, 12});
    EXPECT_EQ(runSearch(*t, input(*t, true, {true, false, false}, {1, 0, 0})).summary.rows[0],
              (Strings{"1 ", "5", "7", "1", "7"}));
}

TEST(Search, FreeAndFixedPositions) {
    auto s = stored(k3test::draws(
        {{130325001, "223"}, {130325002, "232"}, {130325003, "322"}, {130325004, "234"}, {130325005, "222"}}));
    // Free: *1X2* and *2X2*, two dice showing 2 wherever they stand; fixed: L1A = 2 and L2A = 2.
    EXPECT_EQ(column(runSearch(*s, input(*s, true, {true, true, false}, {2, 2, 0})).matches, 0),
              (Strings{"130325001", "130325002", "130325003", "130325005"}));
    EXPECT_EQ(column(runSearch(*s, input(*s, false, {true, true, false}, {2, 2, 0})).matches, 0),
              (Strings{"130325001", "130325005"}));
    EXPECT_EQ(column(runSearch(*s, input(*s, true, {true, true, true}, {2, 2, 2})).matches, 0), (Strings{"130325005"}));
    EXPECT_EQ(column(runSearch(*s, input(*s, true, {false, false, false}, {2, 2, 2})).matches, 4), Strings(5, "1"));
}

TEST(Search, NoMatchBadValuesBadRangeAndEmptyHistory) {
    auto s = twelve({5});
    SearchInput in = input(*s, true, {true, false, false}, {3, 0, 0});
    in.from = "130325003";
    SearchOutput out = runSearch(*s, in);
    EXPECT_TRUE(out.matches.rows.empty());
    EXPECT_EQ(out.summary.rows[0], (Strings{"3 ", "32767", "32767", "11", "2978.81818181818"}));
    for (bool free : {true, false})
        for (int v : {0, 7}) {
            out = runSearch(*s, input(*s, free, {true, false, false}, {v, 0, 0}));
            EXPECT_TRUE(out.matches.rows.empty() && out.note.warning) << free << v;
        }
    for (const char* from : {"abc", "", "99999999999"}) {
        in.from = from;
        try {
            runSearch(*s, in);
            ADD_FAILURE() << from;
        } catch (const AnalysisError& e) {
            EXPECT_NE(std::string(e.what()).find(from), std::string::npos) << from;
        }
    }
    EXPECT_THROW(runSearch(Snapshot{}, in), AnalysisError);
}

TEST(Search, CellsShowTheStoredValueTheMatchWasFoundOn) {
    auto s = stored(k3test::draws({{130325001, "312"}, {130325002, "645"}}));
    SearchInput in = input(*s, false, {true, false, false}, {1, 0, 0});
    in.type = kBigSmall;
    in.texts = {"大", "", ""};
    SearchOutput out = runSearch(*s, in);  // a 3 is stored big, and shown so
    EXPECT_EQ(out.matches.rows[0], (Strings{"130325001", "大", "小", "小", "1", "1"}));
    EXPECT_EQ(out.description, "1 ");
    in.free = true;
    EXPECT_EQ(runSearch(*s, in).description, "大 ");
}

TEST(PartialSearch, AgreementIn225) {
    auto s = stored(k3test::draws({{130325001, "221"},
                                   {130325002, "425"},
                                   {130325003, "522"},
                                   {130325004, "234"},
                                   {130325005, "611"},
                                   {130325006, "225"}}));
    auto rows = [&s](std::array<int, 3> v, int k, bool free) {
        return column(runPartialSearch(*s, partial(v, k, free, "130325001", "130325006")).matches, 0);
    };
    EXPECT_EQ(rows({2, 2, 5}, 2, true), (Strings{"130325001", "130325002", "130325003", "130325006"}));
    EXPECT_EQ(rows({2, 2, 5}, 2, false), (Strings{"130325001", "130325002", "130325006"}));
    EXPECT_EQ(rows({2, 2, 5}, 3, false), (Strings{"130325006"}));
    EXPECT_EQ(rows({2, 2, 5}, 1, false), (Strings{"130325001", "130325002", "130325003", "130325004", "130325006"}));
    // A free value without a counter spoils every combination holding its position.
    EXPECT_EQ(rows({2, 9, 9}, 1, true), (Strings{"130325001", "130325002", "130325003", "130325004", "130325006"}));
    EXPECT_TRUE(rows({2, 9, 9}, 2, true).empty());
    EXPECT_EQ(runPartialSearch(*s, partial({2, 2, 5}, 2, true, "1", "2")).summary.rows[0][0], "2 2 5 (2)");
}

TEST(PartialSearch, RangeStartAndWidthsThatMarkNothing) {
    auto s = twelve({10, 11});
    EXPECT_EQ(column(runPartialSearch(*s, partial({1, 1, 1}, 2, true, "130325008", "130325012")).matches, 4),
              (Strings{"3", "1"}));
    for (int k : {4, 6, 0}) {
        SearchOutput out = runPartialSearch(*s, partial({1, 1, 1}, k, false, "130325008", "130325012"));
        EXPECT_TRUE(out.matches.rows.empty());
        EXPECT_EQ(out.summary.rows[0],
                  (Strings{"1 1 1 (" + std::to_string(k) + ")", "32767", "32767", "6", "5461.16666666667"}));
    }
}

TEST(GroupTable, SortedByTheClickedColumnTiesInWrittenOrder) {
    std::vector<YLRow> rows{
        {"1 2", 1, 9, 4, 2.25f}, {"1 3", 2, 8, 3, 2.6666667f}, {"2 3", 1, 9, 3, 3.0f}, {"1 4", 3, 7, 5, 1.4f}};
    EXPECT_EQ(column(groupResultGrid(rows, 1), 0), (Strings{"1 2", "2 3", "1 3", "1 4"}));
    EXPECT_EQ(column(groupResultGrid(rows, 3), 0), (Strings{"1 3", "2 3", "1 2", "1 4"}));
    EXPECT_EQ(column(groupResultGrid(rows, 4), 0), (Strings{"1 4", "1 2", "1 3", "2 3"}));
    EXPECT_TRUE(groupResultGrid(rows, 0).rows.empty());
    EXPECT_EQ(groupResultGrid({}, 2).rowCount(), 1u);
}

TEST(Search, AnOmissionAbove32767IsTheMinimum) {
    // 40,000 draws; only the last shows a 1. 32767 stands for "no match" and is no bound.
    SnapshotBuilder b;
    for (int32_t i = 1; i <= 40000; ++i) b.add(deriveDraw(100000000 + i, i == 40000 ? 1 : 4, 5, 6, 1), i);
    Snapshot s = b.build();
    SearchInput in = input(s, true, {true, false, false}, {1, 0, 0});
    EXPECT_EQ(runSearch(s, in).summary.rows[0], (Strings{"1 ", "40000", "40000", "1", "40000"}));
    in.from = "99999999";  // not stored: the omission counts from IDX 0
    EXPECT_EQ(runSearch(s, in).stats.minimum, 40000);
}
