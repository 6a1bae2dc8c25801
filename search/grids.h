// The layouts of the three grids, shared by the window, the command line and the exports: the
// history grid, result grid 2 (one row per match) and result grid 3 (summary or group table).
#pragma once
#include <string>
#include <vector>

#include "store/grid.h"
#include "store/history_store.h"
#include "store/snapshot.h"

namespace k3 {

// Header of the history grid: "期号", "第1位", "第2位", "第3位".
std::vector<std::string> historyHeader();
// The history grid of a snapshot: issue (as issueText writes it) and the three dice per draw.
Grid historyGrid(const Snapshot& snap, bool runningNumbers);

// Result grid 2: "期号", "第1位", "第2位", "第3位", "遗漏次数", "序号".
Grid resultGridEmpty();
// Result grid 3 (summary and group table): "号码（分组）", "最小遗漏", "最大遗漏", "最后遗漏", "大后比".
Grid summaryGridEmpty();

// Name of a search type as its choice button reads: "号码", "大小", "单双", "段数".
const char* typeName(int type);

// Grid 3 listing the group table: the rows (in the order they were written) sorted ascending by
// the statistic of the column (1 minimum, 2 maximum, 3 last omission, 4 ratio), equal keys in their
// written order. Column 0 or any other column gives the header row only.
Grid groupResultGrid(std::vector<YLRow> rows, int column);
// Sort key of a grid 3 column (the YL column name), or "" for none.
const char* groupSortKey(int column);

}  // namespace k3
