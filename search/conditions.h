// Patterns of conditions on the stored values of a draw, evaluated in memory over the snapshot.
// A fixed condition asks for a value at one position (the per-position field of the search type);
// a free condition asks for a value to occur at least r times (a group "rXv" of the pattern text).
// A row matches a pattern when it satisfies every condition, exactly as a row whose hit counter
// reaches the number of conditions after one counting statement per condition.
#pragma once
#include <cstdint>
#include <vector>

#include "store/snapshot.h"

namespace k3 {

// Which occurrence counters exist: the searches count dice 1..6, the group calculation 0..6;
// both count flags 0..1 and segment numbers 0..3. A free condition on a value without a counter
// can never be satisfied.
enum class CountRange { kSearch, kGroups };
bool hasCounter(int type, int value, CountRange range);

// The values a stored field of the type can hold: dice 1..6, flags 0..1, segment numbers 0..3.
bool storedValueRange(int type, int value);

// The search type, with anything outside 0..3 read as the number type.
int normalType(int type);

struct Condition {
    bool fixed = false;
    int pos = 0;  // fixed: position 1..3
    int value = 0;
    int r = 0;  // free: occurrence number; 0 when the value has no counter
};

class Pattern {
public:
    explicit Pattern(int type) : type_(normalType(type)) {}

    int type() const { return type_; }
    // Value v at position pos (1..3).
    void addFixed(int pos, int v);
    // Value v somewhere in the draw, for the r-th time, r counting the free conditions on v so far.
    void addFree(int v, CountRange range);

    size_t size() const { return conds_.size(); }
    const std::vector<Condition>& conditions() const { return conds_; }
    // True when no row can match (a condition that is never satisfied).
    bool impossible() const { return impossible_; }

    bool matches(const DrawValues& d) const {
        if (impossible_) return false;
        if ((d.groups[static_cast<size_t>(type_)] & freeMask_) != freeMask_) return false;
        for (int p = 0; p < 3; ++p)
            if (fixedReq_[p] >= 0 && d.v[static_cast<size_t>(type_)][static_cast<size_t>(p)] != fixedReq_[p])
                return false;
        return true;
    }

private:
    int type_;
    std::vector<Condition> conds_;
    bool impossible_ = false;
    uint32_t freeMask_ = 0;
    int fixedReq_[3] = {-1, -1, -1};  // value required at each position, -1 for none
    int count_[10] = {};              // free occurrence counts by value
};

}  // namespace k3
