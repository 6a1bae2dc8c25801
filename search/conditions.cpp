#include "conditions.h"

namespace k3 {

int normalType(int type) { return type >= kNumber && type <= kSegment ? type : kNumber; }

bool hasCounter(int type, int value, CountRange range) {
    switch (normalType(type)) {
        case kBigSmall:
        case kOddEven: return value == 0 || value == 1;
        case kSegment: return value >= 0 && value <= 3;
        default: return value >= (range == CountRange::kGroups ? 0 : 1) && value <= 6;
    }
}

bool storedValueRange(int type, int value) {
    switch (normalType(type)) {
        case kBigSmall:
        case kOddEven: return value == 0 || value == 1;
        case kSegment: return value >= 0 && value <= 3;
        default: return value >= 1 && value <= 6;
    }
}

void Pattern::addFixed(int pos, int v) {
    conds_.push_back({true, pos, v, 0});
    if (pos < 1 || pos > 3 || !storedValueRange(type_, v)) {
        impossible_ = true;  // no stored field holds such a value
        return;
    }
    int& req = fixedReq_[pos - 1];
    if (req >= 0 && req != v) impossible_ = true;
    req = v;
}

void Pattern::addFree(int v, CountRange range) {
    if (!hasCounter(type_, v, range)) {
        // The counting statement of this condition cannot be formed: it never adds to the counter.
        conds_.push_back({false, 0, v, 0});
        impossible_ = true;
        return;
    }
    int r = ++count_[v];
    conds_.push_back({false, 0, v, r});
    if (r > 3) {
        impossible_ = true;  // a pattern text holds a value at most three times
        return;
    }
    freeMask_ |= 1u << ((r - 1) * 10 + v);
}

}  // namespace k3
