// The omission table against an independent brute-force computation, and the examples of its rows.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "overview/overview.h"
#include "search/search.h"
#include "store/issue.h"
#include "test_support.h"

namespace {

using k3::Snapshot;
using k3::snapshotOf;

// The hit rule of each play, written from the table of plays: the dice sorted ascending.
bool referenceHit(const std::string& play, const std::string& label, std::array<int, 3> d) {
    std::sort(d.begin(), d.end());
    auto count = [&d](int v) { return static_cast<int>(std::count(d.begin(), d.end(), v)); };
    auto digit = [&label](size_t i) { return label[i] - '0'; };
    if (play == "和值") return d[0] + d[1] + d[2] == std::stoi(label);
    if (play == "三同号单选") return count(digit(0)) == 3;
    if (play == "三同号通选") return d[0] == d[2];
    if (play == "二同号复选") return count(digit(0)) == 2;
    if (play == "二同号单选") return count(digit(0)) == 2 && count(digit(2)) == 1;
    if (play == "三不同号") return count(digit(0)) == 1 && count(digit(1)) == 1 && count(digit(2)) == 1;
    if (play == "二不同号") return count(digit(0)) > 0 && count(digit(1)) > 0;
    if (play == "三连号通选") return d[1] == d[0] + 1 && d[2] == d[1] + 1;
    if (play == "单号") return count(digit(0)) > 0;
    ADD_FAILURE() << "unknown play " << play;
    return false;
}

// One item's row by walking the range draw by draw, as the search would.
struct Expected {
    int32_t hits = 0, minimum = 32767, maximum = 0, last = 0, lastHit = 0;
};
Expected bruteForce(const Snapshot& s, int32_t from, int32_t to, const k3::BetItem& it) {
    int32_t p = 0;
    for (const auto& r : s.rows)
        if (r.sqqh == from) p = r.idx - 1;
    const int32_t start = p;
    Expected e;
    int32_t smallest = INT32_MAX;
    for (const auto& r : s.rows) {
        if (r.sqqh < from || r.sqqh > to || !referenceHit(it.play, it.label, {r.die(1), r.die(2), r.die(3)})) continue;
        smallest = std::min(smallest, r.idx - p);
        e.maximum = std::max(e.maximum, r.idx - p);
        p = r.idx;
        ++e.hits;
    }
    if (e.hits) e.minimum = smallest;
    if (!e.hits) e.maximum = 32767;
    e.last = s.rows.back().idx + 1 - p;
    e.lastHit = p - start;
    return e;
}

TEST(OverviewItems, FixedOrderLabelsAndOutcomeCounts) {
    const auto& items = k3::betItems();
    ASSERT_EQ(items.size(), 101u);
    std::vector<std::string> labels;
    for (const auto& it : items) labels.push_back(it.play + ":" + it.label);
    // The first and last item of each play, and the order inside 二同号单选.
    const std::vector<std::pair<int, std::string>> bounds = {
        {0, "和值:3"},          {15, "和值:18"},         {16, "三同号单选:111"}, {22, "三同号通选:通选"},
        {23, "二同号复选:11*"}, {29, "二同号单选:112"},  {34, "二同号单选:221"}, {35, "二同号单选:223"},
        {58, "二同号单选:665"}, {59, "三不同号:123"},    {78, "三不同号:456"},   {79, "二不同号:12"},
        {93, "二不同号:56"},    {94, "三连号通选:通选"}, {95, "单号:1"},         {100, "单号:6"}};
    for (auto& [i, want] : bounds) EXPECT_EQ(labels[i], want);
    // Every ordered outcome against the rule of each item; c is the number of outcomes that hit.
    for (int i = 0; i < 101; ++i) {
        int c = 0;
        for (int a = 1; a <= 6; ++a)
            for (int b = 1; b <= 6; ++b)
                for (int d = 1; d <= 6; ++d) {
                    bool want = referenceHit(items[i].play, items[i].label, {a, b, d});
                    ASSERT_EQ(k3::itemHits(i, a, b, d), want) << labels[i] << " " << a << b << d;
                    c += want;
                }
        EXPECT_EQ(items[i].outcomes, c) << labels[i];
    }
    EXPECT_FALSE(k3::itemHits(0, 0, 1, 2));
    EXPECT_FALSE(k3::itemHits(101, 1, 1, 1));
    EXPECT_EQ(k3::findBetItem("和值", "10"), 7);
    EXPECT_EQ(k3::findBetItem("三同号通选", "通选"), 22);
    EXPECT_FALSE(k3::findBetItem("和值", "2"));
    EXPECT_FALSE(k3::findBetItem("通选", "三同号通选"));
}

TEST(OverviewTable, ExampleRows) {
    Snapshot s = snapshotOf(k3test::draws({{130325001, "253"}, {130325002, "666"}}));
    k3::Grid g = k3::overviewGrid(k3::computeOverview(s, "130325001", "130325002"));
    ASSERT_EQ(g.rows.size(), 101u);
    EXPECT_EQ(g.header, (std::vector<std::string>{"玩法", "号码", "出现次数", "最小遗漏", "最大遗漏", "最后遗漏",
                                                  "平均遗漏", "理论遗漏", "欲出几率", "遗漏概率（%）"}));
    auto line = [&g](size_t i) {
        std::string s;
        for (const auto& c : g.rows[i]) s += (s.empty() ? "" : "\t") + c;
        return s;
    };
    EXPECT_EQ(line(7), "和值\t10\t1\t1\t1\t2\t1.00\t8.00\t2.00\t87.50");
    EXPECT_EQ(line(22), "三同号通选\t通选\t1\t2\t2\t1\t2.00\t36.00\t0.50\t100.00");
    // Nothing hit: minimum and maximum 32767, average and due chance empty, gap counted from the start.
    EXPECT_EQ(line(0), "和值\t3\t0\t32767\t32767\t3\t\t216.00\t\t99.08");
    // Range from the second draw: the starting point is IDX 1.
    g = k3::overviewGrid(k3::computeOverview(s, "130325002", "130325002"));
    EXPECT_EQ(line(7), "和值\t10\t0\t32767\t32767\t2\t\t8.00\t\t87.50");
    EXPECT_EQ(line(22), "三同号通选\t通选\t1\t1\t1\t1\t1.00\t36.00\t1.00\t100.00");
}

TEST(OverviewTable, MatchesBruteForceOnRandomHistoriesWithGaps) {
    std::mt19937 rng(7);
    for (int round = 0; round < 6; ++round) {
        // Draws under issues with gaps: some draws of each day are missing.
        auto all = k3test::generateDraws(600 + 200 * round, 40, 130101001, 1, 100 + round);
        std::vector<k3::DerivedDraw> kept;
        for (auto& d : all)
            if (rng() % 5 != 0) kept.push_back(d);
        Snapshot s = snapshotOf(kept);
        const int32_t first = s.rows.front().sqqh, last = s.rows.back().sqqh;
        // Both ends stored, a start between stored issues (P = 0), an end past the history, a range
        // inside the history, and a range holding no draw.
        std::vector<std::pair<int32_t, int32_t>> ranges = {{first, last},
                                                           {s.rows[50].sqqh, s.rows[s.size() - 60].sqqh},
                                                           {s.rows[100].sqqh + 1000, last + 5000},
                                                           {s.rows[10].sqqh, s.rows[10].sqqh},
                                                           {last + 1, last + 100}};
        int32_t missing = s.rows[200].sqqh;
        while (s.find(missing)) ++missing;
        ranges.push_back({missing, last});
        for (auto [from, to] : ranges) {
            k3::OverviewTable t = k3::computeOverview(s, std::to_string(from), std::to_string(to));
            for (int i = 0; i < 101; ++i) {
                const auto& it = k3::betItems()[i];
                Expected e = bruteForce(s, from, to, it);
                const k3::OverviewRow& r = t.rows[i];
                SCOPED_TRACE(it.play + " " + it.label + " " + std::to_string(from) + ".." + std::to_string(to));
                ASSERT_EQ(r.hits, e.hits);
                ASSERT_EQ(r.minimum, e.minimum);
                ASSERT_EQ(r.maximum, e.maximum);
                ASSERT_EQ(r.last, e.last);
                ASSERT_EQ(r.average.has_value(), e.hits > 0);
                if (e.hits) {
                    ASSERT_DOUBLE_EQ(*r.average, static_cast<double>(e.lastHit) / e.hits);
                    ASSERT_DOUBLE_EQ(*r.due, e.last / *r.average);
                }
                ASSERT_DOUBLE_EQ(r.theoretical, 216.0 / it.outcomes);
                ASSERT_NEAR(r.probability, 100 * std::pow(1 - it.outcomes / 216.0, e.last - 1), 1e-9);
            }
        }
    }
}

TEST(OverviewTable, MinimumAboveTheNoMatchValue) {
    // A single gap longer than 32767 draws is the minimum, not hidden by the no-match value.
    std::vector<k3::DerivedDraw> d;
    int64_t issue = 130101001;
    for (int i = 0; i < 40000; ++i) {
        d.push_back(k3::deriveDraw(static_cast<int32_t>(issue), 1, 2, 2, 1));
        issue = k3::nextIssue(issue, 78, false);
    }
    d.back() = k3::deriveDraw(d.back().sqqh, 6, 6, 6, 1);
    Snapshot s = snapshotOf(d);
    k3::OverviewTable t = k3::computeOverview(s, std::to_string(s.rows.front().sqqh), std::to_string(issue));
    const k3::OverviewRow& r = t.rows[*k3::findBetItem("三同号单选", "666")];
    EXPECT_EQ(r.hits, 1);
    EXPECT_EQ(r.minimum, 40000);
    EXPECT_EQ(r.maximum, 40000);
    EXPECT_EQ(r.last, 1);
}

TEST(OverviewTable, BadInput) {
    Snapshot empty;
    EXPECT_THROW(k3::computeOverview(empty, "130325001", "130325002"), k3::AnalysisError);
    const auto first = k3test::draws({{130325001, "253"}});
    Snapshot s = snapshotOf(first);
    EXPECT_THROW(k3::computeOverview(s, "", "130325002"), k3::AnalysisError);
    EXPECT_THROW(k3::computeOverview(s, "130325001", "13x"), k3::AnalysisError);
    // A stored row with an impossible die hits nothing and breaks nothing.
    k3::SnapshotBuilder b;
    b.add(first[0], 1);
    k3::DrawValues odd = k3::drawValues(first[0]);
    odd.v[k3::kNumber] = {0, 9, -1};
    b.add(130325002, 2, odd);
    s = b.build();
    k3::OverviewTable t = k3::computeOverview(s, "130325001", "130325002");
    EXPECT_EQ(t.rows[7].hits, 1);
    EXPECT_EQ(t.rows[7].last, 2);
}

TEST(OverviewTable, SortingKeepsTheFixedOrderForTies) {
    Snapshot s = snapshotOf(k3test::draws({{130325001, "253"}, {130325002, "666"}, {130325003, "123"}}));
    k3::OverviewTable t = k3::computeOverview(s, "130325001", "130325003");
    auto order = k3::overviewOrder(t, 2, true);  // 出现次数, most first
    ASSERT_EQ(order.size(), 101u);
    for (size_t i = 1; i < order.size(); ++i) {
        const auto &a = t.rows[order[i - 1]], &b = t.rows[order[i]];
        ASSERT_GE(a.hits, b.hits);
        if (a.hits == b.hits) {
            ASSERT_LT(order[i - 1], order[i]);
        }
    }
    // Hit twice (253 and 123): 二不同号 23, 单号 2 and 单号 3, in the fixed order.
    EXPECT_EQ(std::vector<int>(order.begin(), order.begin() + 4),
              (std::vector<int>{*k3::findBetItem("二不同号", "23"), *k3::findBetItem("单号", "2"),
                                *k3::findBetItem("单号", "3"), 3}));
    // Empty averages come last in both directions, in the fixed order.
    for (bool desc : {false, true}) {
        order = k3::overviewOrder(t, 6, desc);
        size_t firstEmpty = 0;
        while (firstEmpty < order.size() && t.rows[order[firstEmpty]].average) ++firstEmpty;
        for (size_t i = firstEmpty; i < order.size(); ++i) ASSERT_FALSE(t.rows[order[i]].average);
        EXPECT_TRUE(std::is_sorted(order.begin() + firstEmpty, order.end()));
        for (size_t i = 1; i < firstEmpty; ++i) {
            const double a = *t.rows[order[i - 1]].average, b = *t.rows[order[i]].average;
            ASSERT_TRUE(desc ? a >= b : a <= b);
        }
    }
    // The play column: plays in their order, reversed on request, items of a play in the fixed order.
    order = k3::overviewOrder(t, 0, true);
    EXPECT_EQ(order.front(), 95);
    EXPECT_EQ(order.back(), 15);
    EXPECT_EQ(k3::overviewGrid(t, order).rows.front()[1], "1");
    order = k3::overviewOrder(t, 1, false);
    EXPECT_TRUE(std::is_sorted(order.begin(), order.end()));
}

}  // namespace
