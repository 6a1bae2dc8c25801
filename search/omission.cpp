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
    const std::vector<int32_t>& issues = snap.issues();
    auto lo = std::lower_bound(issues.begin(), issues.end(), range.from);
    auto hi = std::upper_bound(issues.begin(), issues.end(), range.to);
    if (hi < lo) hi = lo;
    return {static_cast<size_t>(lo - issues.begin()), static_cast<size_t>(hi - issues.begin())};
}

std::optional<int32_t> startingPoint(const Snapshot& snap, int32_t firstIssue) {
    auto i = snap.find(firstIssue);
    if (!i) return std::nullopt;
    return snap.rank(*i) - 1;
}

}  // namespace k3
