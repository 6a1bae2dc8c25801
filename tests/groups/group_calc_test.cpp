#include <gtest/gtest.h>

#include "groups/group_calc.h"
#include "search/search.h"
#include "test_support.h"

using namespace k3;
using Strings = std::vector<std::string>;

namespace {

// n stored draws 4 4 4, except the listed IDX which get the given dice.
struct History {
    k3test::TempDir dir;
    HistoryStore store{dir.file("gapbook.db")};
    std::shared_ptr<const Snapshot> snap;
    History(int n, std::vector<std::pair<int, const char*>> at) {
        std::vector<DerivedDraw> ds;
        for (int i = 1; i <= n; ++i) {
            const char* d = "444";
            for (auto& [idx, dice] : at)
                if (idx == i) d = dice;
            ds.push_back(deriveDraw(140101000 + i, d[0] - '0', d[1] - '0', d[2] - '0', 1));
        }
        store.append(ds);
        snap = store.snapshot();
    }
    GroupInput input(int type, std::vector<int> sel, int k) const {
        return {type, std::move(sel), k, std::to_string(snap->rows.front().sqqh),
                std::to_string(snap->rows.back().sqqh)};
    }
    Strings contents(const GroupInput& in) const {
        Strings out;
        for (const auto& r : evaluateGroups(*snap, in).rows) out.push_back(r.content);
        return out;
    }
};

}  // namespace

TEST(GroupCalculation, GroupsTheirOrderAndContents) {
    EXPECT_EQ(groupSlots(4, 2), (std::vector<std::vector<int>>{{0, 1}, {0, 2}, {0, 3}, {1, 2}, {1, 3}, {2, 3}}));
    EXPECT_TRUE(groupSlots(2, 3).empty() && groupSlots(6, 0).empty() && groupSlots(6, 7).empty());
    History h(10, {{3, "123"}});
    EXPECT_EQ(h.contents(h.input(kNumber, {1, 2, 3, 4, 5, 6}, 1)), (Strings{"1", "2", "3", "4", "5", "6"}));
    Strings three = h.contents(h.input(kNumber, {1, 2, 3, 4, 5, 6}, 3));
    ASSERT_EQ(three.size(), 20u);
    EXPECT_EQ(three.front() + "," + three[1] + "," + three.back(), "1 2 3,1 2 4,4 5 6");
    EXPECT_EQ(h.contents(h.input(kNumber, {1, 3, 5}, 2)), (Strings{"1 3", "1 5", "3 5"}));
    EXPECT_EQ(h.contents(h.input(kBigSmall, {0, 1}, 2)), (Strings{"小 大"}));
    EXPECT_EQ(h.contents(h.input(kOddEven, {0, 1}, 1)), (Strings{"双", "单"}));
    EXPECT_EQ(h.contents(h.input(kSegment, {0, 2}, 2)), (Strings{"0 2"}));
    // Group sizes from Combo2: fractions round to the nearest, halves to even; other texts are no size.
    EXPECT_EQ(parseGroupSize(" 3 "), 3);
    EXPECT_EQ(parseGroupSize("2.5"), 2);
    EXPECT_EQ(parseGroupSize("3.5"), 4);
    EXPECT_FALSE(parseGroupSize("abc") || parseGroupSize("") || parseGroupSize("40000"));
}

TEST(GroupCalculation, WorkedExampleAndSinglePrecisionRatio) {
    // Range from IDX 101; "1 3" is in the draws at IDX 103, 104 and 109 (and 98, before the range).
    History h(120, {{98, "113"}, {103, "135"}, {104, "311"}, {109, "613"}, {110, "166"}});
    GroupInput in = h.input(kNumber, {1, 3, 5}, 2);
    in.from = std::to_string(h.snap->rows[100].sqqh);
    auto rows = evaluateGroups(*h.snap, in).rows;
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(groupResultGrid({rows[0]}, 3).rows[0], (Strings{"1 3", "1", "5", "12", "0.4166667"}));
    // Big/small "小 大": at least one small and one big die (3 counts as big).
    History b(6, {{1, "122"}, {2, "125"}, {3, "322"}, {5, "111"}});
    YLRow bs = evaluateGroups(*b.snap, b.input(kBigSmall, {0, 1}, 2)).rows.at(0);
    EXPECT_EQ(std::vector<int32_t>({bs.minGap, bs.maxGap, bs.lastGap}), std::vector<int32_t>({1, 2, 4}));
}

TEST(GroupCalculation, GroupsWithoutMatchKeepTheNoMatchValues) {
    History h(12, {{2, "123"}});
    GroupInput in = h.input(kNumber, {1, 2, 3, 4}, 4);
    in.from = std::to_string(h.snap->rows[4].sqqh);  // IDX 5
    GroupOutcome out = evaluateGroups(*h.snap, in);
    ASSERT_EQ(out.rows.size(), 1u);
    EXPECT_FALSE(out.note.warning);
    EXPECT_EQ(groupResultGrid(out.rows, 3).rows[0], (Strings{"1 2 3 4", "32767", "32767", "9", "3640.778"}));
    // Segment base 1: the box of value 0 is contained in no draw.
    EXPECT_EQ(evaluateGroups(*h.snap, h.input(kSegment, {0, 1}, 1)).rows.at(0).maxGap, 32767);
}

TEST(GroupCalculation, WalksThatEvaluateNothingOrEndEarly) {
    History h(12, {{2, "123"}});
    for (int k : {0, 7}) EXPECT_TRUE(evaluateGroups(*h.snap, h.input(kNumber, {1, 2, 3}, k)).rows.empty());
    EXPECT_TRUE(evaluateGroups(*h.snap, h.input(kNumber, {1, 2}, 3)).rows.empty());
    // A first issue that is not stored (or not a number) ends the walk at the first group.
    GroupInput in = h.input(kNumber, {1, 2, 3}, 1);
    for (const char* from : {"140101000", "x"}) {
        in.from = from;
        GroupOutcome out = evaluateGroups(*h.snap, in);
        EXPECT_TRUE(out.rows.empty() && out.note.warning) << from;
        EXPECT_NE(out.note.text.find(from), std::string::npos) << out.note.text;
    }
    EXPECT_TRUE(evaluateGroups(Snapshot{}, h.input(kNumber, {1, 2}, 1)).note.warning);
    // A value outside the type's range ends the walk where it is first used; earlier rows stay.
    GroupOutcome out = evaluateGroups(*h.snap, h.input(kNumber, {1, 2, 7}, 1));
    EXPECT_EQ(out.rows.size(), 2u);
    EXPECT_TRUE(out.note.warning);
}

TEST(GroupCalculation, WritesYLAndListsItByLastOmission) {
    History h(4, {{1, "123"}, {2, "456"}, {3, "111"}, {4, "222"}});
    GroupCalculation calc = runGroupCalculation(h.store, *h.snap, h.input(kNumber, {1, 2, 3, 4, 5, 6}, 1));
    Strings order;  // last omissions 1:2 2:1 3:4 4:3 5:3 6:3, equal ones in the order of the groups
    for (const auto& r : calc.grid.rows) order.push_back(r[0] + ":" + r[3]);
    EXPECT_EQ(order, (Strings{"2:1", "1:2", "4:3", "5:3", "6:3", "3:4"}));
    EXPECT_EQ(h.store.readYL("").size(), 6u);
    // A run without groups empties YL: the header row only.
    calc = runGroupCalculation(h.store, *h.snap, h.input(kNumber, {1, 2}, 3));
    EXPECT_TRUE(h.store.readYL("").empty() && calc.grid.rows.empty());
}

TEST(GroupCalculation, AnOmissionAbove32767IsTheMinimum) {
    SnapshotBuilder b;
    for (int32_t i = 1; i <= 40000; ++i) b.add(deriveDraw(100000000 + i, i == 40000 ? 1 : 4, 5, 6, 1), i);
    Snapshot s = b.build();
    GroupOutcome out = evaluateGroups(s, {kNumber, {1, 4}, 1, "100000001", "100040000"});
    ASSERT_EQ(out.rows.size(), 2u);
    EXPECT_EQ(std::vector<int32_t>({out.rows[0].minGap, out.rows[0].maxGap}), std::vector<int32_t>({40000, 40000}));
    EXPECT_EQ(std::vector<int32_t>({out.rows[1].minGap, out.rows[1].maxGap}), std::vector<int32_t>({1, 1}));
}

TEST(GroupCalculation, NothingToEvaluateIsAWarningThatSaysWhy) {
    History h(12, {{2, "123"}});
    for (auto [k, sel, why] :
         std::vector<std::tuple<int, std::vector<int>, std::string>>{{0, {1, 2, 3}, "组合位数 0 不在 1～6 之内"},
                                                                     {7, {1, 2, 3}, "组合位数 7 不在 1～6 之内"},
                                                                     {3, {1, 2}, "勾选的值（2 个）少于组合位数 3"}}) {
        GroupOutcome out = evaluateGroups(*h.snap, h.input(kNumber, sel, k));
        EXPECT_TRUE(out.rows.empty() && out.note.warning) << why;
        EXPECT_NE(out.note.text.find(why), std::string::npos) << out.note.text;
    }
    // A range whose first issue comes after its last.
    GroupInput in = h.input(kNumber, {1, 2}, 1);
    std::swap(in.from, in.to);
    GroupOutcome out = evaluateGroups(*h.snap, in);
    EXPECT_TRUE(out.rows.empty() && out.note.warning);
    EXPECT_NE(out.note.text.find("起始期号 " + in.from + " 在结束期号 " + in.to + " 之后"), std::string::npos)
        << out.note.text;
}
