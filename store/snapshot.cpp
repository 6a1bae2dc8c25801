#include "snapshot.h"

#include <algorithm>

namespace k3 {

uint32_t patternGroups(std::string_view t) {
    uint32_t bits = 0;
    for (size_t i = 0; i + 2 < t.size(); ++i) {
        char r = t[i], x = t[i + 1], v = t[i + 2];
        if (x == 'X' && r >= '1' && r <= '3' && v >= '0' && v <= '9') bits |= 1u << ((r - '1') * 10 + (v - '0'));
    }
    return bits;
}

std::optional<size_t> Snapshot::find(int64_t sqqh) const {
    auto it = std::lower_bound(rows.begin(), rows.end(), sqqh,
                               [](const SnapRow& r, int64_t v) { return r.sqqh < v; });
    if (it == rows.end() || it->sqqh != sqqh) return std::nullopt;
    return static_cast<size_t>(it - rows.begin());
}

}  // namespace k3
