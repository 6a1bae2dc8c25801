// The play-type omission table (遗漏总表): one row per bet item of the K3 plays, in a fixed order,
// with the omission statistics of the item over a range of issues and its chances under fair dice.
#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "search/omission.h"
#include "store/grid.h"
#include "store/outcome.h"
#include "store/snapshot.h"

namespace k3 {

// One bet item: its play (玩法), its label (号码) and how many of the 216 ordered outcomes hit it.
struct BetItem {
    std::string play;
    std::string label;
    int outcomes = 0;  // c
};

// The 101 items in their fixed order.
const std::vector<BetItem>& betItems();
inline constexpr int kBetItemCount = 101;
// The place of the item's play in the fixed order of the plays (和值 0, 三同号通选 1, ...).
int playRank(int item);

// Whether the dice (1..6 each, in any order) hit the item.
bool itemHits(int item, int d1, int d2, int d3);

// The item of a play and a label, e.g. ("和值", "10"); nothing when there is none.
std::optional<int> findBetItem(std::string_view play, std::string_view label);

// The statistics of one item over the range. Omissions are IDX differences from the starting point,
// as in the search.
struct OverviewRow {
    int item = 0;
    int32_t hits = 0;
    int32_t minimum = 0;            // 32767 when nothing hit
    int32_t maximum = 0;            // 32767 when nothing hit
    int32_t last = 0;               // to the next, not yet drawn issue
    int32_t lastHit = 0;            // IDX of the last hit; the starting point when nothing hit
    std::optional<double> average;  // (lastHit - start) / hits
    double theoretical = 0;         // 216 / c
    std::optional<double> due;      // 欲出几率: last / average
    double probability = 0;         // 遗漏概率 in percent: 100 (1 - c/216)^(last - 1)
};

struct OverviewTable {
    std::vector<OverviewRow> rows;  // in the fixed order
    int32_t start = 0;              // the starting point P of the range
    int32_t draws = 0;              // draws of the range
    std::string from, to;           // the range texts
};

// The range of the range texts, checked as the table needs it. Throws AnalysisError on an empty
// history or range texts that are not issue numbers.
IssueRange overviewRange(const Snapshot& snap, const std::string& from, const std::string& to);
// The same, and a range whose start lies after its end is refused too (the table, its charts and the
// statistics; a search over such a range finds nothing, as it always has).
IssueRange orderedRange(const Snapshot& snap, const std::string& from, const std::string& to);

// The table over the range texts of the search. Throws AnalysisError as orderedRange does.
OverviewTable computeOverview(const Snapshot& snap, const std::string& from, const std::string& to);

// Header: "玩法", "号码", "出现次数", "最小遗漏", "最大遗漏", "最后遗漏", "平均遗漏", "理论遗漏",
// "欲出几率", "遗漏概率（%）".
std::vector<std::string> overviewHeader();
// What each column is, one text per column of overviewHeader() (the tips of the window's headers).
std::vector<std::string> overviewHeaderTips();
inline constexpr int kOverviewColumns = 10;

// The table as a grid, rows in `order` (indices into table.rows), the fixed order when empty.
Grid overviewGrid(const OverviewTable& table, const std::vector<int>& order = {});

// The order of the rows sorted by a column (0..9), ascending or descending; rows with equal keys keep
// the fixed order, and empty cells come last either way. Columns 0 and 1 sort by the fixed order.
std::vector<int> overviewOrder(const OverviewTable& table, int column, bool descending);

}  // namespace k3
