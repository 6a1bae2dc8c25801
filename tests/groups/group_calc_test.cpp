#include <gtest/gtest.h>

#include "../search/sql_reference.h"
#include "groups/group_calc.h"
#include "search/search.h"
#include "test_support.h"

using namespace k3;
using Strings = std::vector<std::string>;

namespace {

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

// n draws 4 4 4, except the listed IDX which get the given dice.
Snapshot history(int n, std::vector<std::pair<int, const char*>> at, int segBase = 1) {
    std::vector<DerivedDraw> ds;
    for (int i = 1; i <= n; ++i) {
        const char* dice = "444";
        for (auto& [idx, d] : at)
            if (idx == i) dice = d;
        ds.push_back(deriveDraw(140101000 + i, dice[0] - '0', dice[1] - '0', dice[2] - '0', segBase));
    }
    return snapOf(ds);
}

GroupInput input(int type, std::vector<int> sel, int k, const Snapshot& s) {
    return {type, std::move(sel), k, std::to_string(s.rows.front().sqqh), std::to_string(s.rows.back().sqqh)};
}

Strings contents(const std::vector<YLRow>& rows) {
    Strings out;
    for (const auto& r : rows) out.push_back(r.content);
    return out;
}

}  // namespace

TEST(GroupSlots, LexicographicOrderAndLimits) {
    auto g = groupSlots(4, 2);
    EXPECT_EQ(g, (std::vector<std::vector<int>>{{0, 1}, {0, 2}, {0, 3}, {1, 2}, {1, 3}, {2, 3}}));
    EXPECT_EQ(groupSlots(6, 3).size(), 20u);
    EXPECT_EQ(groupSlots(6, 6).size(), 1u);
    EXPECT_TRUE(groupSlots(2, 3).empty());
    EXPECT_TRUE(groupSlots(6, 0).empty());
    EXPECT_TRUE(groupSlots(6, 7).empty());
}

TEST(GroupSize, WholeNumbersAndRoundedFractions) {
    EXPECT_EQ(parseGroupSize("2"), 2);
    EXPECT_EQ(parseGroupSize(" 3 "), 3);
    EXPECT_EQ(parseGroupSize("2.5"), 2);  // halves to even
    EXPECT_EQ(parseGroupSize("3.5"), 4);
    EXPECT_EQ(parseGroupSize("2.6"), 3);
    EXPECT_EQ(parseGroupSize("-1"), -1);
    EXPECT_FALSE(parseGroupSize(""));
    EXPECT_FALSE(parseGroupSize("abc"));
    EXPECT_FALSE(parseGroupSize("2x"));
    EXPECT_FALSE(parseGroupSize("40000"));
}

TEST(GroupCalculation, ContentsAndOrderOfTheGroups) {
    Snapshot s = history(30, {{3, "123"}, {9, "456"}});
    GroupOutcome one = P6Count(s, input(kNumber, {1, 2, 3, 4, 5, 6}, 1, s));
    EXPECT_EQ(contents(one.rows), (Strings{"1", "2", "3", "4", "5", "6"}));
    EXPECT_TRUE(one.complete);
    GroupOutcome three = P6Count(s, input(kNumber, {1, 2, 3, 4, 5, 6}, 3, s));
    ASSERT_EQ(three.rows.size(), 20u);
    EXPECT_EQ(three.rows.front().content, "1 2 3");
    EXPECT_EQ(three.rows[1].content, "1 2 4");
    EXPECT_EQ(three.rows.back().content, "4 5 6");
    EXPECT_EQ(contents(P6Count(s, input(kNumber, {1, 3, 5}, 2, s)).rows), (Strings{"1 3", "1 5", "3 5"}));
    EXPECT_EQ(contents(P6Count(s, input(kBigSmall, {0, 1}, 2, s)).rows), (Strings{"小 大"}));
    EXPECT_EQ(contents(P6Count(s, input(kOddEven, {0, 1}, 1, s)).rows), (Strings{"双", "单"}));
    EXPECT_EQ(contents(P6Count(s, input(kSegment, {0, 2}, 2, s)).rows), (Strings{"0 2"}));
}

TEST(GroupCalculation, WorkedExampleWithSinglePrecisionRatio) {
    // Range from IDX 101; "1 3" is contained in the draws at IDX 103, 104 and 109; 120 draws stored.
    Snapshot s = history(120, {{103, "135"}, {104, "311"}, {109, "613"}, {98, "113"}, {110, "166"}});
    GroupInput in = input(kNumber, {1, 3, 5}, 2, s);
    in.from = std::to_string(s.rows[100].sqqh);
    GroupOutcome out = P6Count(s, in);
    ASSERT_EQ(out.rows.size(), 3u);
    const YLRow& r = out.rows[0];
    EXPECT_EQ(r.content, "1 3");
    EXPECT_EQ(r.intMinYL, 1);
    EXPECT_EQ(r.intMaxYL, 5);
    EXPECT_EQ(r.intLstYl, 12);
    EXPECT_EQ(r.sglLlr, static_cast<float>(5.0 / 12.0));
    Grid g = groupResultGrid(out.rows, 3);
    auto it = std::find_if(g.rows.begin(), g.rows.end(), [](const Strings& row) { return row[0] == "1 3"; });
    ASSERT_NE(it, g.rows.end());
    EXPECT_EQ(*it, (Strings{"1 3", "1", "5", "12", "0.4166667"}));
    // The last stored draw containing a group: last omission 1, ratio its largest omission.
    Snapshot t = history(10, {{4, "135"}, {10, "531"}});
    GroupOutcome last = P6Count(t, input(kNumber, {1, 5}, 2, t));
    EXPECT_EQ(last.rows[0].intLstYl, 1);
    EXPECT_EQ(last.rows[0].sglLlr, 6.0f);
    EXPECT_EQ(last.rows[0].intMinYL, 4);
}

TEST(GroupCalculation, BigSmallGroupNeedsOneSmallAndOneBigDie) {
    // 444 is all big, 122 and 111 all small; 125 has both, and so has 322 since 3 counts as big.
    Snapshot s = history(6, {{1, "122"}, {2, "125"}, {3, "322"}, {5, "111"}});
    GroupOutcome out = P6Count(s, input(kBigSmall, {0, 1}, 2, s));
    ASSERT_EQ(out.rows.size(), 1u);
    EXPECT_EQ(out.rows[0].intMinYL, 1);  // IDX 2 and 3
    EXPECT_EQ(out.rows[0].intMaxYL, 2);
    EXPECT_EQ(out.rows[0].intLstYl, 4);
}

TEST(GroupCalculation, GroupsWithoutMatchGetTheNoMatchValues) {
    Snapshot s = history(12, {{2, "123"}});
    GroupInput in = input(kNumber, {1, 2, 3, 4}, 4, s);
    in.from = std::to_string(s.rows[4].sqqh);  // IDX 5
    GroupOutcome out = P6Count(s, in);
    ASSERT_EQ(out.rows.size(), 1u);
    EXPECT_EQ(out.rows[0].content, "1 2 3 4");
    EXPECT_EQ(out.rows[0].intMinYL, 32767);
    EXPECT_EQ(out.rows[0].intMaxYL, 32767);
    EXPECT_EQ(out.rows[0].intLstYl, 9);  // 12 + 1 - 4
    EXPECT_EQ(out.rows[0].sglLlr, static_cast<float>(32767.0 / 9));
    EXPECT_TRUE(out.complete);
    // Segment base 1: the box of value 0 is contained in no draw.
    Snapshot b1 = history(5, {{1, "135"}});
    GroupOutcome seg = P6Count(b1, input(kSegment, {0, 1}, 1, b1));
    EXPECT_EQ(seg.rows[0].intMaxYL, 32767);
    EXPECT_EQ(seg.rows[1].intMaxYL, 1);
}

TEST(GroupCalculation, NoGroupsAndFailuresThatEndTheWalk) {
    Snapshot s = history(12, {{2, "123"}});
    for (int k : {0, 7, -1}) {
        GroupOutcome out = P6Count(s, input(kNumber, {1, 2, 3}, k, s));
        EXPECT_TRUE(out.rows.empty());
        EXPECT_FALSE(out.message.empty());
    }
    EXPECT_TRUE(P6Count(s, input(kNumber, {1, 2}, 3, s)).rows.empty());

    // A first issue that is not stored ends the walk at the first group.
    GroupInput in = input(kNumber, {1, 2, 3}, 1, s);
    in.from = "140101000";
    GroupOutcome out = P6Count(s, in);
    EXPECT_TRUE(out.rows.empty());
    EXPECT_FALSE(out.complete);
    EXPECT_NE(out.message.find("140101000"), std::string::npos);
    in.from = "x";
    EXPECT_FALSE(P6Count(s, in).complete);
    EXPECT_FALSE(P6Count(Snapshot{}, input(kNumber, {1, 2}, 1, s)).complete);

    // A value outside the type's range ends the walk where it is first used; earlier rows stay.
    out = P6Count(s, input(kNumber, {1, 2, 7}, 1, s));
    EXPECT_EQ(contents(out.rows), (Strings{"1", "2"}));
    EXPECT_FALSE(out.complete);
    out = P6Count(s, input(kBigSmall, {0, 1, 2}, 2, s));
    EXPECT_EQ(contents(out.rows), (Strings{"小 大"}));
    EXPECT_FALSE(out.complete);
}

TEST(GroupCalculation, WritesYLAndListsItByLastOmissionTiesInOrder) {
    k3test::TempDir dir;
    HistoryStore store(dir.file("gapbook.db"));
    store.append(k3test::draws({{140101001, "123"}, {140101002, "456"}, {140101003, "111"}, {140101004, "222"}}));
    auto snap = store.snapshot();
    GroupCalculation calc = runGroupCalculation(store, *snap, input(kNumber, {1, 2, 3, 4, 5, 6}, 1, *snap));
    // Last omissions: 1 -> 2, 2 -> 1, 3 -> 4, 4 -> 3, 5 -> 3, 6 -> 3.
    Strings order;
    for (const auto& r : calc.grid.rows) order.push_back(r[0] + ":" + r[3]);
    EXPECT_EQ(order, (Strings{"2:1", "1:2", "4:3", "5:3", "6:3", "3:4"}));
    EXPECT_EQ(contents(store.readYL("")), (Strings{"1", "2", "3", "4", "5", "6"}));
    // A run without groups empties YL: only the header row is listed.
    calc = runGroupCalculation(store, *snap, input(kNumber, {1, 2}, 3, *snap));
    EXPECT_TRUE(store.readYL("").empty());
    EXPECT_TRUE(calc.grid.rows.empty());
    EXPECT_EQ(calc.grid.header.size(), 5u);
}

TEST(GroupCalculation, SameRowsAsTheCountingStatements) {
    k3test::TempDir dir;
    HistoryStore store(dir.file("gapbook.db"));
    auto a = k3test::generateDraws(1200, 78, 130101001, 0, 3);
    auto b = k3test::generateDraws(1200, 78, 140101001, 1, 4);
    a.insert(a.end(), b.begin(), b.end());
    store.append(a);
    auto snap = store.snapshot();
    const std::vector<std::tuple<int, std::vector<int>, int>> cases{
        {kNumber, {1, 2, 3, 4, 5, 6}, 1}, {kNumber, {1, 2, 3, 4, 5, 6}, 2}, {kNumber, {1, 2, 3, 4, 5, 6}, 3},
        {kNumber, {0, 2, 5}, 2},          {kNumber, {1, 3, 4, 6}, 4},       {kBigSmall, {0, 1}, 2},
        {kOddEven, {0, 1}, 1},            {kSegment, {0, 1, 2}, 2},         {kSegment, {1, 2, 3}, 3}};
    size_t i = 0;
    for (const auto& [type, sel, k] : cases) {
        const auto& rows = snap->rows;
        int32_t from = rows[(i * 997) % rows.size()].sqqh, to = rows.back().sqqh - static_cast<int32_t>(i % 2) * 7;
        ++i;
        auto ref = k3ref::groups(store.db(), type, sel, k, from, to);
        GroupOutcome out = P6Count(*snap, {type, sel, k, std::to_string(from), std::to_string(to)});
        ASSERT_EQ(out.rows.size(), ref.size());
        for (size_t j = 0; j < ref.size(); ++j) {
            EXPECT_EQ(out.rows[j].content, ref[j].content);
            EXPECT_EQ(out.rows[j].intMinYL, ref[j].intMinYL) << ref[j].content;
            EXPECT_EQ(out.rows[j].intMaxYL, ref[j].intMaxYL) << ref[j].content;
            EXPECT_EQ(out.rows[j].intLstYl, ref[j].intLstYl) << ref[j].content;
            EXPECT_EQ(out.rows[j].sglLlr, ref[j].sglLlr) << ref[j].content;
        }
    }
}
