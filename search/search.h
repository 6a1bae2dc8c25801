// The search, the partial search and the listing of the group table: the analyses that fill
// result grid 2 (one row per match) and result grid 3 (the summary or the group table).
#pragma once
#include <array>
#include <string>
#include <vector>

#include "omission.h"
#include "store/grid.h"
#include "store/history_store.h"

namespace k3 {

// Result grid 2: "期号", "第1位", "第2位", "第3位", "遗漏次数", "序号".
Grid resultGridEmpty();
// Result grid 3 (summary and group table): "号码（分组）", "最小遗漏", "最大遗漏", "最后遗漏", "大后比".
Grid summaryGridEmpty();

// Name of a search type as its choice button reads: "号码", "大小", "单双", "段数".
const char* typeName(int type);

struct SearchInput {
    int type = kNumber;
    bool free = true;                    // values anywhere in the draw, else at their positions
    std::array<bool, 3> selected{};      // positions 1..3 ticked
    std::array<int, 3> values{};         // search values of positions 1..3 (stored codes)
    std::array<std::string, 3> texts{};  // texts of the boxes the values came from
    std::string from, to;                // range texts
};

struct PartialInput {
    int type = kNumber;
    bool free = true;
    std::array<int, 3> values{};
    std::array<std::string, 3> texts{};
    int width = 2;          // k: agreement in at least k positions
    std::string widthText;  // the width as its box shows it; empty: the number
    std::string from, to;
};

struct SearchOutput {
    bool ran = false;  // false: the input could not be searched, the grids are empty lists
    Grid matches;      // grid 2
    Grid summary;      // grid 3
    std::string description;
    std::string message;           // for the status bar: what was found, or why nothing was searched
    bool valueOutOfRange = false;  // a search value the type cannot hold: nothing could match
    Omissions stats;
};

// The search: one condition per ticked position, fixed or free; matches are the draws of the
// range that satisfy all of them.
SearchOutput runSearch(const Snapshot& snap, const SearchInput& in);

// The partial search: draws of the range that agree with the three values in at least k positions
// (fixed) or that show some k of the three values, repetitions counted (free).
SearchOutput runPartialSearch(const Snapshot& snap, const PartialInput& in);

// Grid 3 listing the group table: the rows (in the order they were written) sorted ascending by
// the statistic of the column (1 intMinYL, 2 intMaxYL, 3 intLstYl, 4 sglLlr), equal keys in their
// written order. Column 0 or any other column gives the header row only.
Grid groupResultGrid(std::vector<YLRow> rows, int column);
// Sort key of a grid 3 column, or "" for none.
const char* groupSortKey(int column);

}  // namespace k3
