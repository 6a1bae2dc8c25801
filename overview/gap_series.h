// The data of an omission chart (遗漏走势图): the gaps of one pattern along the history, one point per
// hit, with the current gap and the reference lines the chart draws.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "search/search.h"
#include "store/snapshot.h"

namespace k3 {

struct GapPoint {
    int32_t position = 0;  // IDX of the hit: its place in the history
    int32_t issue = 0;
    int32_t omission = 0;
};

struct GapSeries {
    std::string title;                  // what the gaps are of, e.g. "和值 10"
    std::vector<GapPoint> hits;         // in history order
    int32_t start = 0;                  // the starting point: the position before the range
    int32_t nextPosition = 0;           // position of the next, not yet drawn issue
    int32_t lastOmission = 0;           // the gap still growing, measured to nextPosition
    std::optional<double> average;      // (position of the last hit - start) / hits
    std::optional<double> theoretical;  // 216 / c when the pattern has a chance under fair dice
    std::optional<int32_t> maximum;     // the largest omission of the hits
    bool runningNumbers = false;        // the issues count on rather than name a date (issueText)

    bool empty() const { return hits.empty() && lastOmission == 0; }
};

// The series of a search or partial search, read from its result grid 2 (issue and omission of each
// match) and its statistics (starting point and last omission). Throws AnalysisError when the grid
// holds a cell that is not a number.
GapSeries gapSeriesOf(const SearchOutput& out, std::optional<double> theoretical = std::nullopt);

// 216 / c, where c counts the ordered dice outcomes the search would match when drawn (segments read
// with segBase); nothing when none would.
std::optional<double> theoreticalOmission(const SearchInput& in, int segBase);
std::optional<double> theoreticalOmission(const PartialInput& in, int segBase);

// The series of one item of the omission table over the range texts; the same statistics as its row.
// Throws AnalysisError as computeOverview does.
GapSeries itemGapSeries(const Snapshot& snap, const std::string& from, const std::string& to, int item);

}  // namespace k3
