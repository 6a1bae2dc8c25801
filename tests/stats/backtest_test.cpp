// The backtest against a brute-force walk over random histories with gaps (both threshold forms, range
// ends stored or not, ranks that do not run one by one), and a hand-checked example.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "overview/overview.h"
#include "search/search.h"
#include "stats/backtest.h"
#include "store/snapshot.h"
#include "test_support.h"

namespace {

using k3::Snapshot;
using k3::Threshold;

struct Counts {
    int64_t bets = 0, hits = 0;
};

// Smallest K with K × c ≥ X × 216, or the fixed K.
int32_t referenceThreshold(const Threshold& t, int c) {
    if (t.fixed) return *t.fixed;
    int32_t k = 1;
    while (k * c < t.times * 216) ++k;
    return k;
}

// Draw by draw: the omission before a draw counts from the item's previous hit in the range, or from the
// starting point (IDX of the range's first issue minus 1 when it is stored, else 0).
std::vector<Counts> bruteForce(const Snapshot& s, int32_t from, int32_t to, const Threshold& t) {
    int32_t start = 0;
    for (const auto& r : s.rows)
        if (r.sqqh == from) start = r.idx - 1;
    std::vector<Counts> out(101);
    for (int item = 0; item < 101; ++item) {
        const int32_t K = referenceThreshold(t, k3::betItems()[item].outcomes);
        int32_t previous = start;
        for (const auto& r : s.rows) {
            if (r.sqqh < from || r.sqqh > to) continue;
            const bool bet = r.idx - previous >= K;
            const bool hit = k3::itemHits(item, r.die(1), r.die(2), r.die(3));
            out[item].bets += bet;
            out[item].hits += bet && hit;
            if (hit) previous = r.idx;
        }
    }
    return out;
}

void expectSame(const Snapshot& s, int32_t from, int32_t to, const Threshold& t, const std::string& what) {
    const k3::BacktestTable table = k3::computeBacktest(s, std::to_string(from), std::to_string(to), t);
    const std::vector<Counts> want = bruteForce(s, from, to, t);
    ASSERT_EQ(table.rows.size(), 101u);
    for (int i = 0; i < 101; ++i) {
        const k3::BacktestRow& r = table.rows[i];
        EXPECT_EQ(r.threshold, referenceThreshold(t, k3::betItems()[i].outcomes)) << what << " item " << i;
        EXPECT_EQ(r.bets, want[i].bets) << what << " item " << i;
        EXPECT_EQ(r.hits, want[i].hits) << what << " item " << i;
    }
}

TEST(Backtest, MatchesBruteForceOnRandomHistoriesWithGaps) {
    std::mt19937 rng(11);
    const std::vector<Threshold> thresholds = {{}, {0.5, {}}, {1.3, {}}, {5, {}}, {2, 1}, {2, 9}, {2, 40}};
    for (int round = 0; round < 4; ++round) {
        auto all = k3test::generateDraws(700 + 300 * round, 40, 130101001, 1, 50 + round);
        std::vector<k3::DerivedDraw> kept;
        std::vector<int32_t> missing;
        for (auto& d : all) (rng() % 7 == 0 ? missing.push_back(d.sqqh) : kept.push_back(d));
        const Snapshot s = k3::snapshotOf(kept);
        for (const Threshold& t : thresholds) {
            const std::string what = "round " + std::to_string(round) + " X=" + std::to_string(t.times) +
                                     " K=" + std::to_string(t.fixed.value_or(0));
            // Whole history; stored ends inside; ends that are not stored (gaps, before the first draw).
            expectSame(s, kept.front().sqqh, kept.back().sqqh, t, what + " whole");
            expectSame(s, kept[kept.size() / 3].sqqh, kept[kept.size() * 2 / 3].sqqh, t, what + " stored ends");
            expectSame(s, missing[2], missing[missing.size() - 3], t, what + " ends not stored");
            expectSame(s, 120101001, kept[kept.size() / 2].sqqh, t, what + " from before the history");
        }
    }
}

TEST(Backtest, RanksThatDoNotRunOneByOneAndDamagedDice) {
    // A store with gaps in its ranks and a draw whose dice are not 1..6: each draw looked at.
    auto all = k3test::generateDraws(900, 78, 130101001, 1, 8);
    k3::SnapshotBuilder b;
    int32_t idx = 0;
    for (size_t i = 0; i < all.size(); ++i) {
        idx += 1 + (i % 50 == 0 ? 3 : 0);
        k3::DrawValues v = k3::drawValues(all[i]);
        if (i == 400) v.v[k3::kNumber] = {0, 7, 2};
        b.add(all[i].sqqh, idx, v);
    }
    const Snapshot s = b.build();
    for (const Threshold& t : {Threshold{}, Threshold{1, 3}})
        expectSame(s, all[10].sqqh, all[880].sqqh, t, "gapped ranks");
}

TEST(Backtest, HandCheckedRow) {
    // Four draws, a bet before each (K = 1): 和值 10 hits once in four bets.
    const Snapshot s =
        k3::snapshotOf(k3test::draws({{130325001, "253"}, {130325002, "666"}, {130325003, "123"}, {130325004, "111"}}));
    k3::BacktestTable t = k3::computeBacktest(s, "130325001", "130325004", Threshold{2, 1});
    const k3::Grid g = k3::backtestGrid(t);
    EXPECT_EQ(g.header, (std::vector<std::string>{"玩法", "号码", "门槛", "下注期数", "中奖期数", "命中率（%）",
                                                  "理论命中率（%）", "区间下限（%）", "区间上限（%）", "p值", "奖金",
                                                  "返奖率（%）", "理论返奖率（%）"}));
    // Wilson: centre (0.25 + z²/8) / (1 + z²/4), half-width z / (1 + z²/4) √(0.25·0.75/4 + z²/64);
    // p = 1 - (189/216)^4 = 0.4138; return 100 × 9 / (2 × 4) = 112.5; theoretical 100 × 9 × 27/216 / 2.
    EXPECT_EQ(g.rows[7], (std::vector<std::string>{"和值", "10", "1", "4", "1", "25.00", "12.50", "4.56", "69.94",
                                                   "0.4138", "9", "112.50", "56.25"}));
    // Not hit: p = 1, nothing returned.
    EXPECT_EQ(g.rows[1], (std::vector<std::string>{"和值", "4", "1", "4", "0", "0.00", "1.39", "0.00", "48.99", "1",
                                                   "80", "0.00", "55.56"}));
    // 单号 has no official bet.
    EXPECT_EQ(g.rows[95][10], "");
    EXPECT_EQ(g.rows[95][11], "");
    EXPECT_EQ(g.rows[95][12], "");
    // A threshold nothing reaches: no bet, the cells that need one empty.
    t = k3::computeBacktest(s, "130325001", "130325004", Threshold{2, 9});
    EXPECT_EQ(k3::backtestGrid(t).rows[7],
              (std::vector<std::string>{"和值", "10", "9", "0", "0", "", "12.50", "", "", "", "9", "", "56.25"}));
    EXPECT_EQ(k3::backtestSummaryText(t), "共 4 期，没有一个号码的遗漏达到门槛，没有下注。");
}

TEST(Backtest, ThresholdsPrizesAndTheoreticalReturns) {
    const int sum10 = *k3::findBetItem("和值", "10"), digit1 = *k3::findBetItem("单号", "1");
    EXPECT_EQ(Threshold{}.of(27), 16);          // 2 × 8
    EXPECT_EQ((Threshold{0.5, {}}.of(91)), 2);  // ⌈0.5 × 2.374⌉
    EXPECT_EQ((Threshold{2, {}}.of(91)), 5);    // ⌈4.747⌉
    EXPECT_EQ((Threshold{5, 3}.of(1)), 3);
    EXPECT_EQ((Threshold{1e12, {}}.of(1)), INT32_MAX);
    EXPECT_EQ(k3::itemPrize(sum10), 9);
    EXPECT_EQ(k3::itemPrize(*k3::findBetItem("和值", "17")), 80);
    EXPECT_EQ(k3::itemPrize(*k3::findBetItem("二同号复选", "33*")), 15);
    EXPECT_EQ(k3::itemPrize(digit1), std::nullopt);
    // Every item with a prize returns 50–60 % under fair dice.
    const Snapshot s = k3::snapshotOf(k3test::generateDraws(50));
    const auto t = k3::computeBacktest(s, std::to_string(s.issues().front()), std::to_string(s.issues().back()), {});
    for (const auto& r : t.rows)
        if (r.prize) {
            EXPECT_GT(*r.theoreticalReturn, 0.5) << r.item;
            EXPECT_LT(*r.theoreticalReturn, 0.6) << r.item;
        }
}

TEST(Backtest, LongOmissionsDoNotHitMoreOftenWithFairDice) {
    auto all = k3test::generateDraws(20000, 78, 130101001, 1, 77);
    const Snapshot s = k3::snapshotOf(all);
    const std::string from = std::to_string(all.front().sqqh), to = std::to_string(all.back().sqqh);
    const auto t = k3::computeBacktest(s, from, to, Threshold{});
    const k3::BacktestSummary sum = k3::summarize(t);
    EXPECT_EQ(sum.items, 101);
    EXPECT_LE(sum.significant, 4);
    EXPECT_NEAR(*sum.returned, *sum.theoreticalReturn, 0.05);
    const std::string text = k3::backtestSummaryText(t);
    EXPECT_NE(text.find("101 个有下注的号码中"), std::string::npos) << text;
    EXPECT_NE(text.find("纯属偶然也约有 1 个"), std::string::npos) << text;

    // The hit rate by omission bins of one item: every draw in one bin, the hits those of the item.
    const int item = *k3::findBetItem("和值", "10");
    const k3::HitRateByOmission h = k3::hitRateByOmission(s, from, to, item);
    EXPECT_EQ(h.title, "和值 10");
    EXPECT_DOUBLE_EQ(h.T, 8.0);
    ASSERT_EQ(h.bins.size(), 6u);
    std::vector<k3::OmissionBin> want(6);
    int32_t previous = 0;
    for (const auto& r : s.rows) {
        const int o = r.idx - previous;
        auto& b = want[std::min(5, o / 8)];
        ++b.draws;
        if (k3::itemHits(item, r.die(1), r.die(2), r.die(3))) {
            ++b.hits;
            previous = r.idx;
        }
    }
    for (int k = 0; k < 6; ++k) {
        EXPECT_EQ(h.bins[k].draws, want[k].draws) << k;
        EXPECT_EQ(h.bins[k].hits, want[k].hits) << k;
    }
}

TEST(Backtest, SortByColumn) {
    const Snapshot s = k3::snapshotOf(k3test::generateDraws(300, 78, 130101001, 1, 4));
    const auto t =
        k3::computeBacktest(s, std::to_string(s.issues().front()), std::to_string(s.issues().back()), Threshold{3, {}});
    auto order = k3::backtestOrder(t, 9, false);  // p值
    size_t withP = 0;
    for (size_t i = 0; i < order.size(); ++i) {
        const auto& r = t.rows[order[i]];
        if (!r.p) {
            for (size_t j = i; j < order.size(); ++j) EXPECT_FALSE(t.rows[order[j]].p);  // empty last
            break;
        }
        if (i > 0) {
            EXPECT_LE(*t.rows[order[i - 1]].p, *r.p);
        }
        ++withP;
    }
    EXPECT_GT(withP, 30u);
    order = k3::backtestOrder(t, 10, true);  // 奖金, 单号 last
    EXPECT_EQ(t.rows[order[0]].prize, 240);
    EXPECT_EQ(order.back(), 100);
    order = k3::backtestOrder(t, 0, true);  // plays reversed, items of a play in the fixed order
    EXPECT_EQ(order.front(), 95);
    EXPECT_EQ(order.back(), 15);
}

}  // namespace
