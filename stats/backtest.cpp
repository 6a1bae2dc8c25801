#include "stats/backtest.h"

#include <algorithm>
#include <array>
#include <boost/math/distributions/binomial.hpp>
#include <cmath>
#include <cstdio>
#include <limits>

#include "overview/overview.h"
#include "stats/stats_range.h"
#include "stats/threshold_count.h"
#include "store/row_order.h"
#include "store/textfmt.h"

namespace k3 {

namespace {

// The items each ordered outcome hits, by the omission table's own rules.
struct HitLists {
    std::array<uint16_t, kOutcomeCount + 1> start{};
    std::vector<uint8_t> items;
};

const HitLists& hitLists() {
    static const HitLists lists = [] {
        HitLists h;
        for (int o = 0; o < kOutcomeCount; ++o) {
            h.start[static_cast<size_t>(o)] = static_cast<uint16_t>(h.items.size());
            const auto [d1, d2, d3] = diceOf(o);
            for (int i = 0; i < kBetItemCount; ++i)
                if (itemHits(i, d1, d2, d3)) h.items.push_back(static_cast<uint8_t>(i));
        }
        h.start[kOutcomeCount] = static_cast<uint16_t>(h.items.size());
        return h;
    }();
    return lists;
}

// Per row of the range its outcome, -1 for a draw with a die outside 1..6 (it hits nothing).
std::vector<int16_t> outcomesByRow(const Snapshot& snap, const StatsRange& range) {
    const SnapshotValues& values = snap.values(kDicePart);
    std::vector<int16_t> bySet(values.distinct.size());
    for (size_t k = 0; k < bySet.size(); ++k) {
        const auto& d = values.distinct[k].v[kNumber];
        bySet[k] = static_cast<int16_t>(outcomeOf(d[0], d[1], d[2]));
    }
    std::vector<int16_t> out(range.last - range.first);
    for (size_t i = range.first; i < range.last; ++i) out[i - range.first] = bySet[values.index[i]];
    return out;
}

// P(X >= k) for X ~ Binomial(n, q).
double atLeast(int64_t k, int64_t n, double q) {
    if (k <= 0) return 1;
    return boost::math::cdf(
        boost::math::complement(boost::math::binomial(static_cast<double>(n), q), static_cast<double>(k - 1)));
}

}  // namespace

int32_t Threshold::of(int outcomes) const {
    if (fixed) return *fixed;
    const double k = std::ceil(times * kOutcomeCount / outcomes);
    if (!(k < std::numeric_limits<int32_t>::max())) return std::numeric_limits<int32_t>::max();
    return std::max<int32_t>(1, static_cast<int32_t>(k));
}

std::optional<int> itemPrize(int item) {
    if (item < 0 || item >= kBetItemCount) return std::nullopt;
    const BetItem& it = betItems()[static_cast<size_t>(item)];
    if (it.play == "和值") {
        static const std::array<int, 8> bySum = {240, 80, 40, 25, 16, 12, 10, 9};  // sums 3..10, mirrored
        int s = std::stoi(it.label);
        return bySum[static_cast<size_t>(std::min(s, 21 - s) - 3)];
    }
    if (it.play == "三同号单选") return 240;
    if (it.play == "三同号通选") return 40;
    if (it.play == "二同号复选") return 15;
    if (it.play == "二同号单选") return 80;
    if (it.play == "三不同号") return 40;
    if (it.play == "二不同号") return 8;
    if (it.play == "三连号通选") return 10;
    return std::nullopt;  // 单号: no official bet
}

BacktestTable computeBacktest(const Snapshot& snap, const std::string& from, const std::string& to,
                              const Threshold& threshold) {
    const StatsRange range = statsRange(snap, from, to);
    const std::vector<int16_t> outcomes = outcomesByRow(snap, range);
    const HitLists& lists = hitLists();
    const auto& items = betItems();

    BacktestTable table;
    table.draws = range.draws();
    table.threshold = threshold;
    std::vector<ThresholdCount> counts(kBetItemCount);
    for (int i = 0; i < kBetItemCount; ++i) {
        counts[static_cast<size_t>(i)].threshold = threshold.of(items[static_cast<size_t>(i)].outcomes);
        counts[static_cast<size_t>(i)].previous = range.start;
    }
    countThresholds(snap.ranks(), range.first, range.last, counts, [&](size_t row, auto&& hit) {
        const int o = outcomes[row - range.first];
        if (o < 0) return;  // a die outside 1..6 hits nothing
        for (int h = lists.start[static_cast<size_t>(o)]; h < lists.start[static_cast<size_t>(o) + 1]; ++h)
            hit(lists.items[static_cast<size_t>(h)]);
    });

    table.rows.resize(kBetItemCount);
    for (int i = 0; i < kBetItemCount; ++i) {
        BacktestRow& r = table.rows[static_cast<size_t>(i)];
        const double c = items[static_cast<size_t>(i)].outcomes;
        r.item = i;
        r.threshold = counts[static_cast<size_t>(i)].threshold;
        r.bets = counts[static_cast<size_t>(i)].reached;
        r.hits = counts[static_cast<size_t>(i)].hitsAfter;
        r.theoretical = c / kOutcomeCount;
        r.prize = itemPrize(i);
        if (r.prize) r.theoreticalReturn = *r.prize * r.theoretical / 2;
        if (r.bets > 0) {
            const HitRate rate = hitRateOf(r.hits, r.bets);
            r.rate = rate.rate;
            r.lower = rate.lower;
            r.upper = rate.upper;
            r.p = atLeast(r.hits, r.bets, r.theoretical);
            if (r.prize) r.returned = static_cast<double>(r.hits) * *r.prize / (2.0 * static_cast<double>(r.bets));
        }
    }
    return table;
}

std::vector<std::string> backtestHeader() {
    return {"玩法",          "号码",          "门槛", "下注期数", "中奖期数",    "命中率（%）",    "理论命中率（%）",
            "区间下限（%）", "区间上限（%）", "p值",  "奖金",     "返奖率（%）", "理论返奖率（%）"};
}

Grid backtestGrid(const BacktestTable& table, const std::vector<int>& order) {
    Grid g;
    g.header = backtestHeader();
    g.widths = {1200, 700, 700, 900, 900, 1000, 1300, 1200, 1200, 900, 700, 1100, 1300};
    const auto& items = betItems();
    auto percent = [](const std::optional<double>& v) { return v ? percentText(*v) : std::string(); };
    auto row = [&](const BacktestRow& r) {
        const BetItem& it = items[static_cast<size_t>(r.item)];
        g.rows.push_back({it.play, it.label, std::to_string(r.threshold), std::to_string(r.bets),
                          std::to_string(r.hits), percent(r.rate), percentText(r.theoretical), percent(r.lower),
                          percent(r.upper), r.p ? pValueText(*r.p) : "", r.prize ? std::to_string(*r.prize) : "",
                          percent(r.returned), percent(r.theoreticalReturn)});
    };
    g.rows.reserve(table.rows.size());
    if (order.empty())
        for (const BacktestRow& r : table.rows) row(r);
    else
        for (int i : order) row(table.rows.at(static_cast<size_t>(i)));
    return g;
}

std::vector<int> backtestOrder(const BacktestTable& table, int column, bool descending) {
    auto key = [&](const BacktestRow& r) -> std::optional<double> {
        auto d = [](const auto& v) { return v ? std::optional<double>(*v) : std::nullopt; };
        switch (column) {
            case 0: return playRank(r.item);
            case 2: return r.threshold;
            case 3: return static_cast<double>(r.bets);
            case 4: return static_cast<double>(r.hits);
            case 5: return r.rate;
            case 6: return r.theoretical;
            case 7: return r.lower;
            case 8: return r.upper;
            case 9: return r.p;
            case 10: return d(r.prize);
            case 11: return r.returned;
            case 12: return r.theoreticalReturn;
            default: return r.item;
        }
    };
    return orderByKey(
        table.rows.size(), [&](int i) { return key(table.rows[static_cast<size_t>(i)]); }, descending);
}

BacktestSummary summarize(const BacktestTable& table) {
    BacktestSummary s;
    double won = 0, expected = 0;
    int64_t staked = 0;
    for (const BacktestRow& r : table.rows) {
        if (r.bets == 0) continue;
        ++s.items;
        s.significant += r.p && *r.p < 0.01;
        s.bets += r.bets;
        s.hits += r.hits;
        if (!r.prize) continue;
        staked += r.bets;
        won += static_cast<double>(r.hits) * *r.prize;
        expected += static_cast<double>(r.bets) * *r.prize * r.theoretical;
    }
    if (staked > 0) {
        s.returned = won / (2.0 * static_cast<double>(staked));
        s.theoreticalReturn = expected / (2.0 * static_cast<double>(staked));
    }
    return s;
}

std::string backtestSummaryText(const BacktestTable& table) {
    const BacktestSummary s = summarize(table);
    const std::string n = std::to_string(table.draws);
    if (s.items == 0) return "共 " + n + " 期，没有一个号码的遗漏达到门槛，没有下注。";
    char chance[32];
    std::snprintf(chance, sizeof chance, "%.0f", 0.01 * s.items);
    std::string text = "共 " + n + " 期，" + std::to_string(s.items) + " 个有下注的号码中 " +
                       std::to_string(s.significant) + " 个 p值 小于 0.01（纯属偶然也约有 " + chance + " 个）";
    // The actual return of every bet, beside what fair dice return on the same bets (the column 理论返奖率
    // gives that of each item alone).
    if (s.returned)
        text += "；遗漏达到门槛才下注，全部下注的实际返奖率 " + fixed2(100 * *s.returned) +
                "%（奖金总额 ÷ 投注总额），同样这些注按公平骰子的理论返奖率 " + fixed2(100 * *s.theoreticalReturn) +
                "%（表中“理论返奖率”一列是各号码自己的）";
    return text + "。";
}

HitRateByOmission hitRateByOmission(const Snapshot& snap, const std::string& from, const std::string& to, int item) {
    const StatsRange range = statsRange(snap, from, to);
    const BetItem& it = betItems().at(static_cast<size_t>(item));
    HitRateByOmission h;
    h.title = it.play + " " + it.label;
    h.theoretical = static_cast<double>(it.outcomes) / kOutcomeCount;
    h.T = static_cast<double>(kOutcomeCount) / it.outcomes;
    h.bins.resize(kOmissionBins);
    const std::vector<int16_t> outcomes = outcomesByRow(snap, range);
    const HitLists& lists = hitLists();
    std::array<bool, kOutcomeCount> hitBy{};
    for (int o = 0; o < kOutcomeCount; ++o)
        for (int k = lists.start[static_cast<size_t>(o)]; k < lists.start[static_cast<size_t>(o) + 1]; ++k)
            if (lists.items[static_cast<size_t>(k)] == item) hitBy[static_cast<size_t>(o)] = true;
    int64_t previous = range.start;
    for (size_t i = range.first; i < range.last; ++i) {
        const int64_t omission = snap.rank(i) - previous;
        // floor(omission / T) in whole numbers: omission × c / 216.
        const int64_t bin = std::clamp<int64_t>(omission * it.outcomes / kOutcomeCount, 0, kOmissionBins - 1);
        OmissionBin& b = h.bins[static_cast<size_t>(bin)];
        ++b.draws;
        const int o = outcomes[i - range.first];
        if (o >= 0 && hitBy[static_cast<size_t>(o)]) {
            ++b.hits;
            previous = snap.rank(i);
        }
    }
    return h;
}

}  // namespace k3
