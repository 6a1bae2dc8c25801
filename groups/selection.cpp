#include "selection.h"

#include "store/derive.h"

namespace k3 {

std::optional<int> scanBound(int type) {
    switch (type) {
        case kNumber: return 9;
        case kBigSmall:
        case kOddEven: return 1;
        case kSegment: return 4;
        default: return std::nullopt;
    }
}

std::vector<ValueBox> valueBoxes(int type) {
    switch (type) {
        case kBigSmall: return {{0, kBigSmallLabels[0]}, {1, kBigSmallLabels[1]}};
        case kOddEven: return {{0, kOddEvenLabels[0]}, {1, kOddEvenLabels[1]}};
        case kSegment: return {{0, "1段"}, {1, "2段"}, {2, "3段"}};
        case kNumber: {
            std::vector<ValueBox> out;
            for (int i = 1; i <= 6; ++i) out.push_back({i, std::to_string(i)});
            return out;
        }
        default: return {};
    }
}

bool boxShown(int type, int index) {
    for (const ValueBox& b : valueBoxes(type))
        if (b.index == index) return true;
    return false;
}

void applySelectionButton(BoxTicks& ticks, int type, int button) {
    switch (button) {
        case kSelectAll:
            for (const ValueBox& b : valueBoxes(type)) ticks[b.index] = true;
            break;
        case kClearAll: ticks.fill(false); break;
        case kInvert:
            for (const ValueBox& b : valueBoxes(type)) ticks[b.index] = !ticks[b.index];
            break;
        default: break;
    }
}

int selectionCount(const BoxTicks& ticks, int bound) {
    int n = 0;
    for (int i = 0; i <= bound && i < kValueBoxes; ++i) n += ticks[i] ? 1 : 0;
    return n;
}

std::vector<int> selectionValues(const BoxTicks& ticks, int bound) {
    std::vector<int> out;
    for (int i = 0; i <= bound && i < kValueBoxes && out.size() < 6; ++i)
        if (ticks[i]) out.push_back(i);
    return out;
}

}  // namespace k3
