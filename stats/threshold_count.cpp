#include "stats/threshold_count.h"

#include <cstdio>

#include "stats/stats_range.h"

namespace k3 {

HitRate hitRateOf(int64_t hits, int64_t trials) {
    if (trials <= 0) return {};
    const Interval w = wilsonInterval(hits, trials);
    return {static_cast<double>(hits) / static_cast<double>(trials), w.lower, w.upper};
}

std::string percentText(double fraction) {
    char buf[48];
    std::snprintf(buf, sizeof buf, "%.2f", 100 * fraction);
    return buf;
}

}  // namespace k3
