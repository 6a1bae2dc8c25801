// Omission statistics of a pattern over a range of issues: the matches of the range in issue order,
// the omission of each (distance in IDX to the previous match), the smallest, largest and last
// omission and the ratio largest / last.
#pragma once
#include <cstdint>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "store/snapshot.h"

namespace k3 {

// Minimum and maximum when nothing matches; with a match, both are the true values, also above 32767.
inline constexpr int32_t kNoOmission = 32767;

// A search range as two issue numbers, both ends included.
struct IssueRange {
    int32_t from = 0;
    int32_t to = 0;
};
// The range of two range texts; nothing when either text is not an issue number.
std::optional<IssueRange> parseRange(std::string_view from, std::string_view to);

// Row indices [first, last) of the snapshot rows whose issue lies in the range.
std::pair<size_t, size_t> rangeRows(const Snapshot& snap, IssueRange range);

// IDX of the range's first issue minus 1; nothing when that issue is not stored.
std::optional<int32_t> startingPoint(const Snapshot& snap, int32_t firstIssue);

struct Match {
    uint32_t row;  // index into the snapshot
    int32_t omission;
};

struct Omissions {
    std::vector<Match> matches;  // filled only when asked for
    int32_t count = 0;
    int32_t start = 0;  // previous-match position before the first match
    int32_t minimum = kNoOmission;
    int32_t maximum = 0;
    int32_t last = 0;
    double ratio = 0;
};

// Walks the rows of the range in order; a row matches when `hit(i)` is true for its row index i.
// `start` is the previous-match position before the first match. The last omission is measured to the
// end of the stored history (last stored IDX + 1), also when the range ends earlier. Nothing matched:
// minimum and maximum 32767. The snapshot must not be empty.
template <class Hit>
Omissions omissionsOf(const Snapshot& snap, IssueRange range, int32_t start, Hit&& hit, bool keepMatches) {
    Omissions om;
    om.start = start;
    auto [first, last] = rangeRows(snap, range);
    const std::vector<int32_t>& ranks = snap.ranks();
    int32_t p = start;
    for (size_t i = first; i < last; ++i) {
        if (!hit(i)) continue;
        int32_t o = ranks[i] - p;
        if (o > om.maximum) om.maximum = o;
        if (om.count == 0 || o < om.minimum) om.minimum = o;
        p = ranks[i];
        ++om.count;
        if (keepMatches) om.matches.push_back({static_cast<uint32_t>(i), o});
    }
    if (om.count == 0) om.minimum = om.maximum = kNoOmission;
    om.last = ranks.back() + 1 - p;
    om.ratio = static_cast<double>(om.maximum) / static_cast<double>(om.last);
    return om;
}

// The same with a predicate on the `parts` of a draw's values, `pred(const DrawValues&)`: it is asked
// once for each distinct set of values of the snapshot (waiting for them to be read), not once per draw.
template <class Pred>
Omissions omissions(const Snapshot& snap, unsigned parts, IssueRange range, int32_t start, Pred&& pred,
                    bool keepMatches) {
    const SnapshotValues& values = snap.values(parts);
    std::vector<uint8_t> hitBySet(values.distinct.size());
    for (size_t k = 0; k < hitBySet.size(); ++k) hitBySet[k] = pred(values.distinct[k]) ? 1 : 0;
    const uint32_t* index = values.index.data();
    return omissionsOf(
        snap, range, start, [&](size_t i) { return hitBySet[index[i]] != 0; }, keepMatches);
}

}  // namespace k3
