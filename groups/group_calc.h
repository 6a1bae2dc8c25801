// The group calculation: every group of k values out of the ticked values is evaluated over the
// search range (evaluateGroups walks the groups, groupStatistics computes one group's statistics and row of YL),
// and the rows are listed in result grid 3 by last omission.
#pragma once
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "store/grid.h"
#include "store/history_store.h"
#include "store/snapshot.h"

namespace k3 {

// Group size typed in Combo2: a 16-bit whole number, a fraction rounding to the nearest whole
// number (halves to even). Nothing when the text is not a number or out of range.
std::optional<int> parseGroupSize(std::string_view text);

// Values a group may hold: number 0..6, flags 0..1, segment numbers 0..3.
bool groupValueInRange(int type, int value);

// The groups of k slots out of n, as 0-based slot lists in lexicographic order (last slot fastest).
// None when k is outside 1..6 or n < k.
std::vector<std::vector<int>> groupSlots(int n, int k);

// Display texts of the values joined by one blank: "1 3 5", "小 大", "双 单", "0 2".
std::string groupContent(int type, const std::vector<int>& values);

struct GroupInput {
    int type = 0;
    std::vector<int> selection;  // values of the ticked boxes, ascending
    int groupSize = 0;
    std::string from, to;  // range texts
};

// One group's statistics as a row of YL, or why the walk of groups has to end.
struct GroupStat {
    std::optional<YLRow> row;
    std::string error;
};
GroupStat groupStatistics(const Snapshot& snap, int type, const std::vector<int>& values, const std::string& content,
                          const std::string& from, const std::string& to);

struct GroupOutcome {
    std::vector<YLRow> rows;  // in the order the groups were walked
    size_t groups = 0;        // groups the walk had to evaluate
    Note note;  // for the status bar; a warning when no group could be evaluated or a failure ended the walk early
};
GroupOutcome evaluateGroups(const Snapshot& snap, const GroupInput& in);

// The whole calculation: YL replaced by the rows of the walk, and grid 3 listing them by last omission.
// A history that cannot be written (read-only, or busy in another program) still gets its table; YL
// then keeps its old rows, the note says so, and `stored` is false.
struct GroupCalculation {
    GroupOutcome outcome;
    Grid grid;
    bool stored = true;
};
GroupCalculation runGroupCalculation(HistoryStore& store, const Snapshot& snap, const GroupInput& in);
// Its second half: YL replaced by the rows of a walk already made, and grid 3.
GroupCalculation storeGroups(HistoryStore& store, GroupOutcome outcome);

}  // namespace k3
