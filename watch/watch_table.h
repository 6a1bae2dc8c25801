// The table of the watch list: one row per watched item and history, the rows whose omission has
// reached their threshold first, with what followed such omissions in that history beside the rate
// of fair dice.
#pragma once
#include <string>
#include <vector>

#include "store/grid.h"
#include "watch/watch_state.h"

namespace k3 {

// The sentence above the table: what it shows and what it does not.
extern const char* const kWatchExplanation;

// One history's state, with the province it belongs to.
struct WatchHistory {
    int province = 0;
    const WatchState* state = nullptr;
};

struct WatchRow {
    int province = 0;
    size_t item = 0;  // into the plan's items
    WatchFigures figures;
};

// The rows of every history (in the order given) and item (in the plan's order), those at their
// threshold first, each group keeping that order; with `reachedOnly` only those. An empty history has
// no rows.
std::vector<WatchRow> watchRows(const std::vector<WatchHistory>& histories, bool reachedOnly = false);

// Header: "省份", "玩法", "号码", "当前遗漏", "门槛", "最大遗漏", "达到次数", "其后开出", "其后命中率（%）",
// "理论命中率（%）", "区间下限（%）", "区间上限（%）".
std::vector<std::string> watchHeader();
inline constexpr int kWatchColumns = 12;
// The columns that hold whole numbers or percentages (for a workbook's numbers), from 3 on.
inline constexpr int kWatchFirstNumberColumn = 3;

// The rows as cell texts; the rate and its interval are empty where 达到次数 is 0.
Grid watchGrid(const WatchPlan& plan, const std::vector<WatchRow>& rows);

// What the status bar says when items have reached their threshold after a change of one province's
// history, e.g. "江苏快3：和值 10 的遗漏已达到门槛 16 期（当前遗漏 16）"; empty for none.
std::string reachedMessage(const WatchPlan& plan, int province, const std::vector<WatchFigures>& figures,
                           const std::vector<size_t>& items);

}  // namespace k3
