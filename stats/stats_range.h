// The range the statistics work on: the search's range texts and starting point, as the omission table
// takes them, with the draws of the range as outcomes of the three dice.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "search/omission.h"
#include "store/outcome.h"
#include "store/snapshot.h"

namespace k3 {

struct StatsRange {
    IssueRange issues;
    size_t first = 0, last = 0;  // rows [first, last) of the snapshot
    int32_t start = 0;           // the starting point, as the search and the omission table take it
    int32_t draws() const { return static_cast<int32_t>(last - first); }
};

// Throws AnalysisError (in Chinese) on an empty history, range texts that are not issues, a range whose
// start lies after its end, and a range without a stored draw.
StatsRange statsRange(const Snapshot& snap, const std::string& from, const std::string& to);

// The outcomes of the range's draws in issue order; a stored draw with a die outside 1..6 is left out.
std::vector<uint8_t> rangeOutcomes(const Snapshot& snap, const StatsRange& range);

// A p-value as the tables show it: four significant digits, and "<0.0001" below 0.0001, so that a
// value too small for the digits never reads as 0 (impossible) or as a power of ten nobody reads.
std::string pValueText(double p);

// 95 % Wilson score interval of `hits` in `trials` (trials > 0), as fractions.
struct Interval {
    double lower = 0, upper = 0;
};
inline constexpr double kWilsonZ = 1.959963984540054;
Interval wilsonInterval(int64_t hits, int64_t trials);

}  // namespace k3
