#include <gtest/gtest.h>

#include "search/conditions.h"
#include "search/search.h"
#include "test_support.h"

using namespace k3;
using k3test::draws;

namespace {

// A history kept in memory, numbered 1..N in issue order like the store keeps it.
Snapshot snapOf(const std::vector<DerivedDraw>& ds) {
    Snapshot s;
    int32_t idx = 0;
    for (const DerivedDraw& d : ds) {
        SnapRow r;
        r.sqqh = d.sqqh;
        r.idx = ++idx;
        for (int t = 0; t < kTypeCount; ++t) {
            for (int p = 0; p < 3; ++p) r.v[t][p] = static_cast<int8_t>(d.values[t][p]);
            r.groups[t] = patternGroups(d.pattern[t]);
        }
        s.rows.push_back(r);
    }
    return s;
}

// Twelve draws 130325001..012; those at the listed IDX show 1 1 1, the others 4 5 6.
Snapshot twelveWithOnesAt(std::initializer_list<int> at) {
    std::vector<DerivedDraw> ds;
    for (int i = 1; i <= 12; ++i) {
        bool hit = std::find(at.begin(), at.end(), i) != at.end();
        ds.push_back(deriveDraw(130325000 + i, hit ? 1 : 4, hit ? 1 : 5, hit ? 1 : 6, 1));
    }
    return snapOf(ds);
}

SearchInput numberSearch(bool free, std::array<bool, 3> sel, std::array<int, 3> v, const Snapshot& s) {
    SearchInput in;
    in.type = kNumber;
    in.free = free;
    in.selected = sel;
    in.values = v;
    for (int i = 0; i < 3; ++i) in.texts[i] = std::to_string(v[i]);
    in.from = std::to_string(s.rows.front().sqqh);
    in.to = std::to_string(s.rows.back().sqqh);
    return in;
}

std::vector<std::string> column(const Grid& g, size_t c) {
    std::vector<std::string> out;
    for (const auto& r : g.rows) out.push_back(r.at(c));
    return out;
}

using Strings = std::vector<std::string>;

}  // namespace

TEST(Search, HeadersWidthsAndTheTwoDrawExample) {
    Snapshot s = snapOf(draws({{130325001, "253"}, {130325002, "666"}}));
    SearchOutput out = runSearch(s, numberSearch(true, {true, false, false}, {2, 0, 0}, s));
    ASSERT_TRUE(out.ran);
    EXPECT_EQ(out.matches.header, (Strings{"期号", "第1位", "第2位", "第3位", "遗漏次数", "序号"}));
    EXPECT_EQ(out.matches.widths, (std::vector<int>{1480, 800, 800, 800, 800, 680}));
    EXPECT_EQ(out.summary.header, (Strings{"号码（分组）", "最小遗漏", "最大遗漏", "最后遗漏", "大后比"}));
    EXPECT_EQ(gridText(out.matches), "期号\t第1位\t第2位\t第3位\t遗漏次数\t序号\n130325001\t2\t5\t3\t1\t1\n");
    ASSERT_EQ(out.summary.rows.size(), 1u);
    EXPECT_EQ(out.summary.rows[0], (Strings{"2 ", "1", "1", "2", "0.5"}));
}

TEST(Search, OmissionsMinimumMaximumLastAndRatio) {
    Snapshot s = twelveWithOnesAt({5, 6, 10});
    SearchOutput out = runSearch(s, numberSearch(false, {true, false, false}, {1, 0, 0}, s));
    EXPECT_EQ(column(out.matches, 4), (Strings{"5", "1", "4"}));
    EXPECT_EQ(column(out.matches, 5), (Strings{"1", "2", "3"}));
    EXPECT_EQ(out.summary.rows[0], (Strings{"1 ", "1", "5", "3", "1.66666666666667"}));

    // The last stored draw matching: last omission 1, ratio equal to the maximum.
    Snapshot t = twelveWithOnesAt({5, 12});
    out = runSearch(t, numberSearch(false, {true, false, false}, {1, 0, 0}, t));
    EXPECT_EQ(out.summary.rows[0], (Strings{"1 ", "5", "7", "1", "7"}));
}

TEST(Search, RangeStartAndEnd) {
    Snapshot s = twelveWithOnesAt({5, 6, 10});
    SearchInput in = numberSearch(true, {true, false, false}, {1, 0, 0}, s);
    // A start that is not stored: the first omission is the first match's IDX.
    in.from = "130324999";
    SearchOutput out = runSearch(s, in);
    EXPECT_EQ(column(out.matches, 4), (Strings{"5", "1", "4"}));
    // A start inside the history counts from the draw before it.
    in.from = "130325004";
    out = runSearch(s, in);
    EXPECT_EQ(column(out.matches, 4), (Strings{"2", "1", "4"}));
    // The range ends early: the last omission is still measured to the end of the history.
    in.to = "130325006";
    out = runSearch(s, in);
    EXPECT_EQ(column(out.matches, 0), (Strings{"130325005", "130325006"}));
    EXPECT_EQ(out.summary.rows[0], (Strings{"1 ", "1", "2", "7", "0.285714285714286"}));
}

TEST(Search, FreeAndFixedConditionsOnTwoEqualValues) {
    Snapshot s = snapOf(draws({{130325001, "223"},
                               {130325002, "232"},
                               {130325003, "322"},
                               {130325004, "234"},
                               {130325005, "222"},
                               {130325006, "123"}}));
    // Free: *1X2* and *2X2*, at least two dice showing 2, wherever they stand.
    SearchOutput out = runSearch(s, numberSearch(true, {true, true, false}, {2, 2, 0}, s));
    EXPECT_EQ(column(out.matches, 0), (Strings{"130325001", "130325002", "130325003", "130325005"}));
    EXPECT_EQ(out.description, "2 2 ");
    // Fixed: L1A = 2 and L2A = 2.
    out = runSearch(s, numberSearch(false, {true, true, false}, {2, 2, 0}, s));
    EXPECT_EQ(column(out.matches, 0), (Strings{"130325001", "130325005"}));
    // Three free conditions on the same value need three equal dice.
    out = runSearch(s, numberSearch(true, {true, true, true}, {2, 2, 2}, s));
    EXPECT_EQ(column(out.matches, 0), (Strings{"130325005"}));
}

TEST(Search, NoPositionsListsEveryDrawOfTheRange) {
    Snapshot s = twelveWithOnesAt({});
    SearchOutput out = runSearch(s, numberSearch(true, {false, false, false}, {1, 2, 3}, s));
    EXPECT_EQ(out.matches.rows.size(), 12u);
    EXPECT_EQ(column(out.matches, 4), Strings(12, "1"));
    EXPECT_EQ(out.summary.rows[0], (Strings{"", "1", "1", "1", "1"}));
}

TEST(Search, NoMatchAndValuesOutsideTheType) {
    Snapshot s = twelveWithOnesAt({5});
    SearchInput in = numberSearch(true, {true, false, false}, {3, 0, 0}, s);
    in.from = "130325003";
    SearchOutput out = runSearch(s, in);
    EXPECT_TRUE(out.matches.rows.empty());
    // Nothing matched: maximum 32767, last omission from the draw before the range start.
    EXPECT_EQ(out.summary.rows[0], (Strings{"3 ", "32767", "32767", "11", "2978.81818181818"}));

    // 7 and 0 have no occurrence counter in the search; fixed, no stored die is 7.
    for (bool free : {true, false})
        for (int v : {0, 7, -1}) {
            SearchOutput o = runSearch(s, numberSearch(free, {true, false, false}, {v, 0, 0}, s));
            EXPECT_TRUE(o.ran);
            EXPECT_TRUE(o.matches.rows.empty()) << free << v;
            EXPECT_EQ(o.summary.rows[0][2], "32767");
            EXPECT_NE(o.message.find("不是号码的取值"), std::string::npos) << o.message;
        }
    // A flag of 2 in the big/small type.
    SearchInput bs = numberSearch(true, {false, true, false}, {0, 2, 0}, s);
    bs.type = kBigSmall;
    EXPECT_TRUE(runSearch(s, bs).matches.rows.empty());
}

TEST(Search, BadRangeAndEmptyHistoryEndWithEmptyLists) {
    Snapshot s = twelveWithOnesAt({5});
    SearchInput in = numberSearch(true, {true, false, false}, {1, 0, 0}, s);
    for (auto [from, to] : {std::pair<std::string, std::string>{"abc", "130325012"}, {"130325001", ""},
                            {"99999999999", "130325012"}, {"-5", "130325012"}}) {
        in.from = from;
        in.to = to;
        SearchOutput out = runSearch(s, in);
        EXPECT_FALSE(out.ran) << from << "/" << to;
        EXPECT_TRUE(out.matches.rows.empty());
        EXPECT_TRUE(out.summary.rows.empty());
        EXPECT_EQ(out.matches.header.size(), 6u);
        EXPECT_FALSE(out.message.empty());
    }
    Snapshot empty;
    SearchOutput out = runSearch(empty, in);
    EXPECT_FALSE(out.ran);
    EXPECT_TRUE(out.matches.rows.empty());
    // A range that runs backwards simply holds nothing.
    in = numberSearch(true, {true, false, false}, {1, 0, 0}, s);
    std::swap(in.from, in.to);
    out = runSearch(s, in);
    EXPECT_TRUE(out.ran);
    EXPECT_TRUE(out.matches.rows.empty());
}

TEST(Search, CellsShowTheStoredValueOfTheType) {
    Snapshot s = snapOf(draws({{130325001, "312"}, {130325002, "645"}}));
    SearchInput in = numberSearch(false, {true, false, false}, {1, 0, 0}, s);
    in.type = kBigSmall;
    in.texts = {"大", "", ""};
    // A die of 3 is stored big; the row that was listed as big says so.
    SearchOutput out = runSearch(s, in);
    ASSERT_EQ(out.matches.rows.size(), 2u);
    EXPECT_EQ(out.matches.rows[0], (Strings{"130325001", "大", "小", "小", "1", "1"}));
    EXPECT_EQ(out.description, "1 ");  // fixed positions describe the value as digits
    in.free = true;
    EXPECT_EQ(runSearch(s, in).description, "大 ");  // free positions take the box text
    in.type = kOddEven;
    EXPECT_EQ(runSearch(s, in).matches.rows[0], (Strings{"130325001", "单", "单", "双", "1", "1"}));
    in.type = kSegment;
    in.values = {2, 0, 0};
    EXPECT_EQ(runSearch(s, in).matches.rows[0], (Strings{"130325001", "2", "1", "1", "1", "1"}));
}

TEST(PartialSearch, FreeAndFixedAgreementOf225) {
    Snapshot s = snapOf(draws({{130325001, "221"},   // two 2s; positions 1 and 2 agree
                               {130325002, "425"},   // a 2 and a 5; positions 2 and 3 agree
                               {130325003, "522"},   // two 2s and a 5; only position 2 agrees
                               {130325004, "234"},   // one 2 only
                               {130325005, "611"},
                               {130325006, "225"}}));
    PartialInput in;
    in.values = {2, 2, 5};
    in.texts = {"2", "2", "5"};
    in.width = 2;
    in.from = "130325001";
    in.to = "130325006";
    SearchOutput out = runPartialSearch(s, in);
    EXPECT_EQ(column(out.matches, 0), (Strings{"130325001", "130325002", "130325003", "130325006"}));
    EXPECT_EQ(out.description, "2 2 5 (2)");
    EXPECT_EQ(out.summary.rows[0][0], "2 2 5 (2)");
    in.free = false;
    out = runPartialSearch(s, in);
    EXPECT_EQ(column(out.matches, 0), (Strings{"130325001", "130325002", "130325006"}));
    in.width = 3;
    EXPECT_EQ(column(runPartialSearch(s, in).matches, 0), (Strings{"130325006"}));
    in.width = 1;
    EXPECT_EQ(column(runPartialSearch(s, in).matches, 0),
              (Strings{"130325001", "130325002", "130325003", "130325004", "130325006"}));
}

TEST(PartialSearch, WidthsBeyondThreeMarkNothing) {
    Snapshot s = twelveWithOnesAt({1, 2, 3});
    PartialInput in;
    in.values = {1, 1, 1};
    in.texts = {"1", "1", "1"};
    in.from = "130325008";
    in.to = "130325012";
    for (int k : {4, 5, 6, 0}) {
        in.width = k;
        SearchOutput out = runPartialSearch(s, in);
        EXPECT_TRUE(out.matches.rows.empty());
        EXPECT_EQ(out.summary.rows[0],
                  (Strings{"1 1 1 (" + std::to_string(k) + ")", "32767", "32767", "6", "5461.16666666667"}));
    }
}

TEST(PartialSearch, OmissionsFromTheRangeStartAndBadValues) {
    Snapshot s = twelveWithOnesAt({10, 11});
    PartialInput in;
    in.values = {1, 1, 1};
    in.texts = {"1", "1", "1"};
    in.width = 2;
    in.from = "130325008";
    in.to = "130325012";
    EXPECT_EQ(column(runPartialSearch(s, in).matches, 4), (Strings{"3", "1"}));
    // A free value without a counter spoils every combination holding its position.
    in.values = {1, 9, 9};
    in.width = 1;
    EXPECT_EQ(runPartialSearch(s, in).matches.rows.size(), 2u);
    in.width = 2;
    EXPECT_TRUE(runPartialSearch(s, in).matches.rows.empty());
    in.free = false;
    in.width = 1;
    EXPECT_EQ(runPartialSearch(s, in).matches.rows.size(), 2u);
}

TEST(GroupTable, SortsByTheClickedColumnKeepingTiesInWrittenOrder) {
    std::vector<YLRow> rows{{"1 2", 1, 9, 4, 2.25f}, {"1 3", 2, 8, 3, 2.6666667f}, {"2 3", 1, 9, 3, 3.0f},
                            {"1 4", 3, 7, 5, 1.4f}};
    auto contents = [](const Grid& g) { return column(g, 0); };
    EXPECT_EQ(contents(groupResultGrid(rows, 1)), (Strings{"1 2", "2 3", "1 3", "1 4"}));
    EXPECT_EQ(contents(groupResultGrid(rows, 2)), (Strings{"1 4", "1 3", "1 2", "2 3"}));
    EXPECT_EQ(contents(groupResultGrid(rows, 3)), (Strings{"1 3", "2 3", "1 2", "1 4"}));
    EXPECT_EQ(contents(groupResultGrid(rows, 4)), (Strings{"1 4", "1 2", "1 3", "2 3"}));
    EXPECT_EQ(groupResultGrid(rows, 3).rows[0], (Strings{"1 3", "2", "8", "3", "2.666667"}));
    for (int c : {0, 5, -1}) {
        Grid g = groupResultGrid(rows, c);
        EXPECT_TRUE(g.rows.empty());
        EXPECT_EQ(g.header.size(), 5u);
    }
    EXPECT_TRUE(groupResultGrid({}, 2).rows.empty());
}

TEST(GroupTable, SameOrderAsTheStoredTableSortedByTheKey) {
    k3test::TempDir dir;
    HistoryStore store(dir.file("gapbook.db"));
    std::vector<YLRow> rows;
    for (int i = 0; i < 40; ++i)
        rows.push_back({"g" + std::to_string(i), i % 3, (i * 7) % 5, (i * 11) % 4, static_cast<float>((i * 13) % 6) / 7});
    store.replaceYL(rows);
    for (int c = 1; c <= 4; ++c) {
        Grid fromStore = groupResultGrid(store.readYL(""), c);
        std::vector<std::string> expected;
        for (const YLRow& r : store.readYL(groupSortKey(c))) expected.push_back(r.content);
        EXPECT_EQ(column(fromStore, 0), expected) << c;
    }
}
