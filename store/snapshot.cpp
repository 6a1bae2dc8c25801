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

SnapRow snapRow(const DerivedDraw& d, int32_t idx) {
    SnapRow r;
    r.sqqh = d.sqqh;
    r.idx = idx;
    for (int t = 0; t < kTypeCount; ++t) {
        for (int p = 0; p < 3; ++p) r.v[t][p] = static_cast<int8_t>(d.values[t][p]);
        r.groups[t] = patternGroups(d.pattern[t]);
    }
    return r;
}

std::shared_ptr<const Snapshot> withNewestAppended(const Snapshot& snap, const DerivedDraw& d) {
    if (!snap.rows.empty() && d.sqqh <= snap.rows.back().sqqh) return nullptr;
    auto out = std::make_shared<Snapshot>();
    out->rows.reserve(snap.rows.size() + 1);
    out->rows = snap.rows;
    out->rows.push_back(snapRow(d, static_cast<int32_t>(snap.rows.size()) + 1));
    return out;
}

std::optional<size_t> Snapshot::find(int64_t sqqh) const {
    auto it = std::lower_bound(rows.begin(), rows.end(), sqqh, [](const SnapRow& r, int64_t v) { return r.sqqh < v; });
    if (it == rows.end() || it->sqqh != sqqh) return std::nullopt;
    return static_cast<size_t>(it - rows.begin());
}

}  // namespace k3
