#include "omission.h"

#include <algorithm>

#include "store/issue.h"

namespace k3 {

std::optional<IssueRange> parseRange(std::string_view from, std::string_view to) {
    auto a = parseIssue(from), b = parseIssue(to);
    if (!a || !b) return std::nullopt;
    return IssueRange{*a, *b};
}

std::pair<size_t, size_t> rangeRows(const Snapshot& snap, IssueRange range) {
    auto lo = std::lower_bound(snap.rows.begin(), snap.rows.end(), range.from,
                               [](const SnapRow& r, int32_t v) { return r.sqqh < v; });
    auto hi = std::upper_bound(snap.rows.begin(), snap.rows.end(), range.to,
                               [](int32_t v, const SnapRow& r) { return v < r.sqqh; });
    if (hi < lo) hi = lo;
    return {static_cast<size_t>(lo - snap.rows.begin()), static_cast<size_t>(hi - snap.rows.begin())};
}

std::optional<int32_t> startingPoint(const Snapshot& snap, int32_t firstIssue) {
    auto i = snap.find(firstIssue);
    if (!i) return std::nullopt;
    return snap.rows[*i].idx - 1;
}

}  // namespace k3
