// The in-memory copy of the history in issue order, read by the grids and the analyses.
#pragma once
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "derive.h"

namespace k3 {

struct SnapRow {
    int32_t sqqh = 0;
    int32_t idx = 0;                                    // stored dense rank
    std::array<std::array<int8_t, 3>, kTypeCount> v{};  // stored per-position values [type][pos-1]
    // Occurrence groups of the stored pattern texts: bit (r-1)*10+v is set when the pattern text of
    // the type holds the group "rXv", i.e. a LIKE "*rXv*" on that text is true.
    std::array<uint32_t, kTypeCount> groups{};

    // True when the pattern text of `type` shows value v at least r times (r 1..3, v 0..9).
    bool hasGroup(int type, int r, int v) const {
        if (r < 1 || r > 3 || v < 0 || v > 9) return false;
        return (groups[type] >> ((r - 1) * 10 + v)) & 1u;
    }
    int die(int pos) const { return v[kNumber][pos - 1]; }
};

// Group bits of one pattern text.
uint32_t patternGroups(std::string_view text);

// The row a derived draw is stored as, with its rank.
SnapRow snapRow(const DerivedDraw& d, int32_t idx);

struct Snapshot {
    std::vector<SnapRow> rows;  // ascending SQQH

    bool empty() const { return rows.empty(); }
    size_t size() const { return rows.size(); }
    // Index of the row with exactly this issue.
    std::optional<size_t> find(int64_t sqqh) const;
};

// The snapshot after a draw newer than every stored one was appended (it takes the next rank), without
// reading the history again; nothing when the draw is not the newest.
std::shared_ptr<const Snapshot> withNewestAppended(const Snapshot& snap, const DerivedDraw& d);

}  // namespace k3
