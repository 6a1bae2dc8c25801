// 遗漏回测: for every item of the omission table, a player who bets on it whenever its omission has
// reached a threshold; how often did those bets hit, against fair dice, and what did the prizes return?
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "store/grid.h"
#include "store/snapshot.h"

namespace k3 {

// The threshold K of each item: ⌈times × T⌉ with T = 216 / c, or the same whole number for every item.
struct Threshold {
    double times = 2;                // used when `fixed` is empty; > 0
    std::optional<int32_t> fixed;    // >= 1
    int32_t of(int outcomes) const;  // K for an item with c = outcomes
};

struct BacktestRow {
    int item = 0;
    int32_t threshold = 0;                     // K
    int64_t bets = 0;                          // draws before which the item's omission was >= K
    int64_t hits = 0;                          // of those, the draws that hit it
    std::optional<double> rate, lower, upper;  // hit rate and its 95 % Wilson interval, fractions
    double theoretical = 0;                    // c / 216
    std::optional<double> p;                   // P(X >= hits), X ~ Binomial(bets, c/216)
    std::optional<int> prize;                  // yuan for one 2-yuan bet; none for 单号
    std::optional<double> returned;            // hits × prize / (2 × bets)
    std::optional<double> theoreticalReturn;   // prize × c / 216 / 2
};

struct BacktestTable {
    std::vector<BacktestRow> rows;  // the 101 items in the fixed order
    int32_t draws = 0;
    Threshold threshold;
};

// The prize of one 2-yuan bet on the item under the national K3 rules; nothing for 单号.
std::optional<int> itemPrize(int item);

// The backtest over the range texts (the range and starting point of the omission table). Throws
// AnalysisError as statsRange does.
BacktestTable computeBacktest(const Snapshot& snap, const std::string& from, const std::string& to,
                              const Threshold& threshold);

// Header: "玩法", "号码", "门槛", "下注期数", "中奖期数", "命中率（%）", "理论命中率（%）", "区间下限（%）",
// "区间上限（%）", "p值", "奖金", "返奖率（%）", "理论返奖率（%）".
std::vector<std::string> backtestHeader();
inline constexpr int kBacktestColumns = 13;
Grid backtestGrid(const BacktestTable& table, const std::vector<int>& order = {});
// Sorted by a column; equal keys keep the fixed order, empty cells last. Columns 0 and 1 sort by the
// fixed order.
std::vector<int> backtestOrder(const BacktestTable& table, int column, bool descending);

// Over all bets: how many items have p < 0.01, and the return of every bet on an item with a prize
// against the return fair dice would give those same bets.
struct BacktestSummary {
    int items = 0;        // items with a bet
    int significant = 0;  // of those, p < 0.01
    int64_t bets = 0, hits = 0;
    std::optional<double> returned, theoreticalReturn;  // fractions, over the items with a prize
};
BacktestSummary summarize(const BacktestTable& table);
std::string backtestSummaryText(const BacktestTable& table);

// The hit rate of one item by its omission before the draw, in bins of T: [1, T), [T, 2T), … [4T, 5T),
// and ≥ 5T.
struct OmissionBin {
    int64_t draws = 0, hits = 0;
};
struct HitRateByOmission {
    std::string title;       // e.g. "和值 10"
    double theoretical = 0;  // c / 216
    double T = 0;
    std::vector<OmissionBin> bins;  // 6
};
inline constexpr int kOmissionBins = 6;
HitRateByOmission hitRateByOmission(const Snapshot& snap, const std::string& from, const std::string& to, int item);

}  // namespace k3
