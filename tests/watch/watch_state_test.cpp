// The watch list's figures against a brute-force walk over random histories with gaps (both threshold
// forms, a search pattern, ranks that do not run one by one), the same counts as the backtest for the 101
// items, and the incremental update against a recomputation.
#include <gtest/gtest.h>

#include <random>

#include "overview/overview.h"
#include "search/omission.h"
#include "stats/backtest.h"
#include "store/snapshot.h"
#include "test_support.h"
#include "watch/watch_state.h"
#include "watch/watch_table.h"

namespace {

using k3::Snapshot;
using k3::Threshold;
using k3::WatchItem;

struct Reference {
    int32_t current = 0, maximum = k3::kNoOmission;
    int64_t reached = 0, hits = 0;
};

// Whether a derived draw hits the search, read from its stored values: fixed, each value at its
// position; free, each value at least as often as the search names it.
bool searchHits(const k3::WatchedSearch& s, const std::array<int, 3>& values) {
    for (size_t p = 0; p < 3; ++p) {
        if (!s.selected[p]) continue;
        if (!s.free) {
            if (values[p] != s.values[p]) return false;
            continue;
        }
        int wanted = 0, present = 0;
        for (size_t q = 0; q < 3; ++q) {
            wanted += s.selected[q] && s.values[q] == s.values[p];
            present += values[q] == s.values[p];
        }
        if (present < wanted) return false;
    }
    return true;
}

// Draw by draw over the whole history: the omission before a draw counts from the previous hit, or from
// the rank before the first draw.
Reference bruteForce(const std::vector<int32_t>& ranks, const std::vector<bool>& hit, int32_t K) {
    Reference r;
    int32_t previous = ranks.front() - 1, maximum = 0;
    bool any = false;
    for (size_t i = 0; i < ranks.size(); ++i) {
        const bool bet = ranks[i] - previous >= K;
        r.reached += bet;
        if (!hit[i]) continue;
        r.hits += bet;
        maximum = std::max(maximum, ranks[i] - previous);
        any = true;
        previous = ranks[i];
    }
    r.current = ranks.back() + 1 - previous;
    if (any) r.maximum = maximum;
    return r;
}

int32_t referenceThreshold(const Threshold& t, int c) {
    if (t.fixed) return *t.fixed;
    int32_t k = 1;
    while (k * c < t.times * 216) ++k;
    return k;
}

struct History {
    std::vector<k3::DerivedDraw> draws;
    std::vector<int32_t> ranks;
    Snapshot snap;
};

// Draws with about one issue in seven left out; ranks one by one, or with jumps (as a store whose IDX has
// holes would hold them).
History randomHistory(size_t n, unsigned seed, bool rankJumps) {
    std::mt19937 rng(seed);
    History h;
    for (auto& d : k3test::generateDraws(n, 40, 130101001, 1, seed))
        if (rng() % 7 != 0) h.draws.push_back(d);
    k3::SnapshotBuilder b;
    int32_t idx = rankJumps ? 5 : 0;
    for (const auto& d : h.draws) {
        idx += 1 + (rankJumps && rng() % 13 == 0 ? static_cast<int32_t>(rng() % 4) : 0);
        h.ranks.push_back(idx);
        b.add(d, idx);
    }
    h.snap = b.build();
    return h;
}

std::vector<WatchItem> sampleItems() {
    std::vector<WatchItem> items;
    for (const char* text : {"和值:10", "和值:3@40", "三同号通选:通选x1.5", "二同号复选:33*@5", "单号:6x0.5",
                             "--type number --pos 1=2 --pos 2=2 x2", "--type big-small --fixed --pos 1=1 --pos 3=0 @3",
                             "--type odd-even --pos 1=1 --pos 2=1 --pos 3=1 x3", "--type segment --fixed --pos 2=2 @7",
                             "--type number --fixed --pos 3=6 x2"})
        items.push_back(k3::parseWatchItem(text));
    return items;
}

void expectMatchesBruteForce(const History& h, const std::vector<WatchItem>& items, const std::string& what) {
    auto plan = std::make_shared<const k3::WatchPlan>(items, 1);
    const k3::WatchState state(plan, h.snap);
    const auto figures = state.figures();
    ASSERT_EQ(figures.size(), items.size());
    for (size_t i = 0; i < items.size(); ++i) {
        const WatchItem& w = items[i];
        std::vector<bool> hit;
        for (const auto& d : h.draws)
            hit.push_back(w.isSearch() ? searchHits(w.search, d.values[static_cast<size_t>(w.search.type)])
                                       : k3::itemHits(w.item, d.values[0][0], d.values[0][1], d.values[0][2]));
        const int c = k3::watchOutcomes(w, 1);
        const Reference want = bruteForce(h.ranks, hit, referenceThreshold(w.threshold, c));
        const std::string at = what + " " + k3::watchItemText(w);
        EXPECT_EQ(figures[i].threshold, referenceThreshold(w.threshold, c)) << at;
        EXPECT_EQ(figures[i].current, want.current) << at;
        EXPECT_EQ(figures[i].maximum, want.maximum) << at;
        EXPECT_EQ(figures[i].reached, want.reached) << at;
        EXPECT_EQ(figures[i].hitsAfter, want.hits) << at;
        EXPECT_DOUBLE_EQ(figures[i].theoretical, c / 216.0) << at;
        EXPECT_EQ(figures[i].rate.rate.has_value(), want.reached > 0) << at;
    }
}

TEST(WatchFigures, MatchBruteForceOnRandomHistoriesWithGaps) {
    const auto items = sampleItems();
    for (unsigned round = 0; round < 4; ++round) {
        const bool jumps = round % 2 == 1;
        const History h = randomHistory(600 + 400 * round, 30 + round, jumps);
        expectMatchesBruteForce(h, items, "round " + std::to_string(round) + (jumps ? " (rank jumps)" : ""));
    }
}

TEST(WatchFigures, SearchChancesAreThoseOfFairDice) {
    // c of a search: 1=2 and 2=2 free is "two 2s somewhere": 3 × 5 + 1 = 16 outcomes; fixed big (3..6) at
    // 1 and small at 3: 4 × 6 × 2 = 48; three odd: 27; 第3位 6: 36.
    const auto items = sampleItems();
    EXPECT_EQ(k3::watchOutcomes(items[5], 1), 16);
    EXPECT_EQ(k3::watchOutcomes(items[6], 1), 48);
    EXPECT_EQ(k3::watchOutcomes(items[7], 1), 27);
    EXPECT_EQ(k3::watchOutcomes(items[9], 1), 36);
    EXPECT_EQ(k3::watchThreshold(items[5], 1), 27);  // ⌈2 × 13.5⌉
    EXPECT_EQ(k3::watchThreshold(items[7], 1), 24);  // 3 × 8
}

TEST(WatchFigures, SameCountsAsTheBacktestForEveryTableItem) {
    for (bool jumps : {false, true}) {
        const History h = randomHistory(1500, jumps ? 91 : 90, jumps);
        const std::string from = std::to_string(h.snap.issues().front()), to = std::to_string(h.snap.issues().back());
        for (const Threshold& t :
             {Threshold{}, Threshold{0.7, {}}, Threshold{3.2, {}}, Threshold{2, 1}, Threshold{2, 12}}) {
            std::vector<WatchItem> items(k3::kBetItemCount);
            for (int i = 0; i < k3::kBetItemCount; ++i) items[static_cast<size_t>(i)] = {i, {}, t};
            const k3::WatchState state(std::make_shared<const k3::WatchPlan>(items, 1), h.snap);
            const auto figures = state.figures();
            const k3::BacktestTable table = k3::computeBacktest(h.snap, from, to, t);
            const k3::OverviewTable overview = k3::computeOverview(h.snap, from, to);
            for (size_t i = 0; i < items.size(); ++i) {
                const k3::BacktestRow& b = table.rows[i];
                const std::string at = "item " + std::to_string(i) + (jumps ? " jumps" : "");
                EXPECT_EQ(figures[i].threshold, b.threshold) << at;
                EXPECT_EQ(figures[i].reached, b.bets) << at;
                EXPECT_EQ(figures[i].hitsAfter, b.hits) << at;
                EXPECT_EQ(figures[i].rate.rate, b.rate) << at;
                EXPECT_EQ(figures[i].rate.lower, b.lower) << at;
                EXPECT_EQ(figures[i].rate.upper, b.upper) << at;
                EXPECT_DOUBLE_EQ(figures[i].theoretical, b.theoretical) << at;
                // 当前遗漏 and 最大遗漏 are those of the omission table over the whole history.
                EXPECT_EQ(figures[i].current, overview.rows[i].last) << at;
                EXPECT_EQ(figures[i].maximum, overview.rows[i].maximum) << at;
            }
        }
    }
}

TEST(WatchState, AppendedDrawsGiveTheSameFiguresAsARecomputation) {
    const auto items = sampleItems();
    auto plan = std::make_shared<const k3::WatchPlan>(items, 1);
    auto all = k3test::generateDraws(1200, 82, 130101001, 1, 5);
    const std::vector<k3::DerivedDraw> head(all.begin(), all.begin() + 1000);

    // Draw by draw from the values of each typed draw.
    k3::WatchState byDraw(plan, k3::snapshotOf(head));
    for (size_t i = 1000; i < all.size(); ++i)
        byDraw.append(all[i].sqqh, static_cast<int32_t>(i + 1), k3::drawValues(all[i]));
    // From the snapshots the window makes for a typed draw.
    auto snap = std::make_shared<const Snapshot>(k3::snapshotOf(head));
    k3::WatchState bySnapshot(plan, *snap);
    for (size_t i = 1000; i < all.size(); ++i) {
        snap = k3::withNewestAppended(snap, all[i]);
        ASSERT_TRUE(snap);
        EXPECT_TRUE(bySnapshot.appendNewest(*snap)) << i;
    }
    // From an empty history on.
    k3::WatchState fromEmpty(plan);
    EXPECT_TRUE(fromEmpty.figures().empty());
    for (size_t i = 0; i < all.size(); ++i)
        fromEmpty.append(all[i].sqqh, static_cast<int32_t>(i + 1), k3::drawValues(all[i]));

    const k3::WatchState whole(plan, k3::snapshotOf(all));
    for (const k3::WatchState* s : {&byDraw, &bySnapshot, &fromEmpty}) {
        const auto got = s->figures(), want = whole.figures();
        ASSERT_EQ(got.size(), want.size());
        for (size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(got[i].current, want[i].current) << i;
            EXPECT_EQ(got[i].maximum, want[i].maximum) << i;
            EXPECT_EQ(got[i].reached, want[i].reached) << i;
            EXPECT_EQ(got[i].hitsAfter, want[i].hitsAfter) << i;
        }
        EXPECT_EQ(s->draws(), all.size());
        EXPECT_EQ(s->lastIssue(), all.back().sqqh);
    }
}

TEST(WatchState, AChangeThatIsNotAnAppendIsRecomputed) {
    auto plan = std::make_shared<const k3::WatchPlan>(sampleItems(), 1);
    auto all = k3test::generateDraws(800, 82, 130101001, 1, 6);
    k3::WatchState state(plan, k3::snapshotOf(all));
    // Trimmed: fewer draws.
    const std::vector<k3::DerivedDraw> trimmed(all.begin(), all.begin() + 700);
    EXPECT_FALSE(state.appendNewest(k3::snapshotOf(trimmed)));
    EXPECT_EQ(state.draws(), 700u);
    // Replaced by another history of more draws (an import): the draw last counted is not where it was.
    auto other = k3test::generateDraws(900, 82, 140101001, 1, 7);
    EXPECT_FALSE(state.appendNewest(k3::snapshotOf(other)));
    const auto got = state.figures(), want = k3::WatchState(plan, k3::snapshotOf(other)).figures();
    for (size_t i = 0; i < got.size(); ++i) {
        EXPECT_EQ(got[i].reached, want[i].reached) << i;
        EXPECT_EQ(got[i].current, want[i].current) << i;
    }
    // Cleared.
    EXPECT_FALSE(state.appendNewest(Snapshot()));
    EXPECT_TRUE(state.figures().empty());
}

TEST(WatchTable, ReachedRowsFirstAndEmptyCellsWithoutAReach) {
    // 和值 10 (K = 1) is reached before every draw; 和值 3 with K = 9 never in four draws.
    const Snapshot a =
        k3::snapshotOf(k3test::draws({{130325001, "253"}, {130325002, "666"}, {130325003, "123"}, {130325004, "111"}}));
    const Snapshot b = k3::snapshotOf(k3test::draws({{130325001, "111"}}));
    auto plan = std::make_shared<const k3::WatchPlan>(
        std::vector<WatchItem>{k3::parseWatchItem("和值:3@9"), k3::parseWatchItem("和值:10@1")}, 1);
    const k3::WatchState sa(plan, a), sb(plan, b), empty(plan);
    const auto rows = k3::watchRows({{0, &sa}, {3, &sb}, {5, &empty}});
    const k3::Grid g = k3::watchGrid(*plan, rows);
    EXPECT_EQ(g.header,
              (std::vector<std::string>{"省份", "玩法", "号码", "当前遗漏", "门槛", "最大遗漏", "达到次数", "其后开出",
                                        "其后命中率（%）", "理论命中率（%）", "区间下限（%）", "区间上限（%）"}));
    ASSERT_EQ(g.rows.size(), 4u);  // the empty history has no rows
    // Reached: 和值 10 in both provinces (current 4 and 2, K = 1); then 和值 3, reached in neither.
    EXPECT_EQ(g.rows[0], (std::vector<std::string>{"福建快3", "和值", "10", "4", "1", "1", "4", "1", "25.00", "12.50",
                                                   "4.56", "69.94"}));
    EXPECT_EQ(g.rows[1][0], "江苏快3");
    EXPECT_EQ(g.rows[1][2], "10");
    EXPECT_EQ(g.rows[1][5], "32767");  // never hit: the omission table's value
    EXPECT_EQ(g.rows[2],
              (std::vector<std::string>{"福建快3", "和值", "3", "1", "9", "4", "0", "0", "", "0.46", "", ""}));
    EXPECT_EQ(g.rows[3][0], "江苏快3");
    EXPECT_EQ(k3::watchRows({{0, &sa}, {3, &sb}}, true).size(), 2u);

    // What the status bar says of the items that reached their threshold with the last change.
    const auto before = sa.figures();
    k3::WatchState next = sa;
    next.append(130325005, 5, k3::drawValues(k3::deriveDraw(130325005, 2, 3, 6, 1)));
    EXPECT_TRUE(k3::newlyAtThreshold(before, next.figures()).empty());
    auto far = std::make_shared<const k3::WatchPlan>(std::vector<WatchItem>{k3::parseWatchItem("和值:10@3")}, 1);
    k3::WatchState f(far, a);  // last 10 at draw 1: current 4 ≥ 3
    const auto was = f.figures();
    f.append(130325005, 5, k3::drawValues(k3::deriveDraw(130325005, 2, 3, 5, 1)));  // hit: current 1
    EXPECT_TRUE(k3::newlyAtThreshold(was, f.figures()).empty());
    const auto hit = f.figures();
    f.append(130325006, 6, k3::drawValues(k3::deriveDraw(130325006, 1, 1, 1, 1)));
    EXPECT_TRUE(k3::newlyAtThreshold(hit, f.figures()).empty());
    const auto two = f.figures();
    f.append(130325007, 7, k3::drawValues(k3::deriveDraw(130325007, 1, 1, 1, 1)));
    ASSERT_EQ(k3::newlyAtThreshold(two, f.figures()), (std::vector<size_t>{0}));
    EXPECT_EQ(k3::reachedMessage(*far, 0, f.figures(), {0}), "福建快3：和值 10 的遗漏已达到门槛 3 期（当前遗漏 3）");
}

}  // namespace
