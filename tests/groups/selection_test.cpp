#include <gtest/gtest.h>

#include "groups/selection.h"
#include "store/derive.h"

using namespace k3;

TEST(ValueBoxes, SelectionButtonsPerType) {
    struct Case {
        int type, bound;
        std::vector<int> boxes;
        std::string captions;
    };
    for (const Case& c : {Case{kNumber, 9, {1, 2, 3, 4, 5, 6}, "123456"}, Case{kBigSmall, 1, {0, 1}, "小大"},
                          Case{kOddEven, 1, {0, 1}, "双单"}, Case{kSegment, 4, {0, 1, 2}, "1段2段3段"}}) {
        std::string captions;
        for (const auto& b : valueBoxes(c.type)) captions += b.caption;
        EXPECT_EQ(captions, c.captions);
        EXPECT_EQ(scanBound(c.type), c.bound);
        BoxTicks t{};
        applySelectionButton(t, c.type, kSelectAll);
        EXPECT_EQ(selectionValues(t, c.bound), c.boxes);
        applySelectionButton(t, c.type, kInvert);
        EXPECT_EQ(selectionCount(t, c.bound), 0);
        t[static_cast<size_t>(c.boxes[0])] = true;  // invert flips only the type's boxes
        applySelectionButton(t, c.type, kInvert);
        EXPECT_EQ(selectionValues(t, 9), std::vector<int>(c.boxes.begin() + 1, c.boxes.end()));
    }
    EXPECT_FALSE(scanBound(4));
    BoxTicks all{};
    all.fill(true);
    applySelectionButton(all, kBigSmall, kClearAll);  // clear unticks all ten boxes
    EXPECT_EQ(selectionCount(all, 9), 0);
    all[0] = all[5] = true;
    EXPECT_EQ(selectionCount(all, 1), 1);  // only boxes up to the bound count
}
