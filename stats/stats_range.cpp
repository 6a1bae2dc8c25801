#include "stats/stats_range.h"

#include <cmath>
#include <cstdio>

#include "overview/overview.h"
#include "search/search.h"

namespace k3 {

StatsRange statsRange(const Snapshot& snap, const std::string& from, const std::string& to) {
    StatsRange r;
    r.issues = orderedRange(snap, from, to);
    std::tie(r.first, r.last) = rangeRows(snap, r.issues);
    if (r.first >= r.last) throw AnalysisError("统计起止期数「" + from + "」～「" + to + "」内没有开奖号码，没有统计");
    r.start = startingPoint(snap, r.issues.from).value_or(0);
    return r;
}

std::vector<uint8_t> rangeOutcomes(const Snapshot& snap, const StatsRange& range) {
    const SnapshotValues& values = snap.values(kDicePart);
    std::vector<int16_t> bySet(values.distinct.size());
    for (size_t k = 0; k < bySet.size(); ++k) {
        const auto& d = values.distinct[k].v[kNumber];
        bySet[k] = static_cast<int16_t>(outcomeOf(d[0], d[1], d[2]));
    }
    std::vector<uint8_t> out;
    out.reserve(range.last - range.first);
    for (size_t i = range.first; i < range.last; ++i) {
        const int o = bySet[values.index[i]];
        if (o >= 0) out.push_back(static_cast<uint8_t>(o));
    }
    return out;
}

std::string pValueText(double p) {
    if (p < 0.0001) return "<0.0001";
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.4g", p);
    return buf;
}

Interval wilsonInterval(int64_t hits, int64_t trials) {
    const double n = static_cast<double>(trials), p = static_cast<double>(hits) / n, z2 = kWilsonZ * kWilsonZ;
    const double denom = 1 + z2 / n;
    const double centre = (p + z2 / (2 * n)) / denom;
    const double half = kWilsonZ / denom * std::sqrt(p * (1 - p) / n + z2 / (4 * n * n));
    return {std::max(0.0, centre - half), std::min(1.0, centre + half)};
}

}  // namespace k3
