// The value boxes Check6(0..9) of the group calculation: which boxes a search type shows, the scan
// bound, the selection buttons and the count. Plain rules, kept apart from the window.
#pragma once
#include <array>
#include <optional>
#include <string>
#include <vector>

namespace k3 {

inline constexpr int kValueBoxes = 10;
using BoxTicks = std::array<bool, kValueBoxes>;

// Highest box index the count and the selection look at: 9 number, 1 big/small and odd/even,
// 4 segment; nothing for a type outside 0..3 (the bound then stays as it was).
std::optional<int> scanBound(int type);

// The boxes shown for a type, ascending, with their captions.
struct ValueBox {
    int index;
    std::string caption;
};
std::vector<ValueBox> valueBoxes(int type);
bool boxShown(int type, int index);

enum SelectionButton : int { kSelectAll = 0, kClearAll = 1, kInvert = 2 };
// 全选 ticks the type's boxes, 清空 unticks all ten, 反选 flips the type's boxes.
void applySelectionButton(BoxTicks& ticks, int type, int button);

// Ticked boxes from index 0 to the bound.
int selectionCount(const BoxTicks& ticks, int bound);
// Their indices (the values of the boxes), ascending; at most six slots.
std::vector<int> selectionValues(const BoxTicks& ticks, int bound);

}  // namespace k3
