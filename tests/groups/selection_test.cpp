#include <gtest/gtest.h>

#include "groups/selection.h"
#include "store/derive.h"

using namespace k3;

namespace {
std::vector<int> ticked(const BoxTicks& t) {
    std::vector<int> out;
    for (int i = 0; i < kValueBoxes; ++i)
        if (t[static_cast<size_t>(i)]) out.push_back(i);
    return out;
}
}  // namespace

TEST(ValueBoxes, BoxesCaptionsAndScanBoundPerType) {
    auto captions = [](int type) {
        std::vector<std::string> out;
        for (const auto& b : valueBoxes(type)) out.push_back(std::to_string(b.index) + "=" + b.caption);
        return out;
    };
    EXPECT_EQ(captions(kNumber), (std::vector<std::string>{"1=1", "2=2", "3=3", "4=4", "5=5", "6=6"}));
    EXPECT_EQ(captions(kBigSmall), (std::vector<std::string>{"0=小", "1=大"}));
    EXPECT_EQ(captions(kOddEven), (std::vector<std::string>{"0=双", "1=单"}));
    EXPECT_EQ(captions(kSegment), (std::vector<std::string>{"0=1段", "1=2段", "2=3段"}));
    EXPECT_EQ(scanBound(kNumber), 9);
    EXPECT_EQ(scanBound(kBigSmall), 1);
    EXPECT_EQ(scanBound(kOddEven), 1);
    EXPECT_EQ(scanBound(kSegment), 4);
    EXPECT_FALSE(scanBound(4));
    EXPECT_FALSE(scanBound(-1));
    EXPECT_FALSE(boxShown(kNumber, 0));
    EXPECT_TRUE(boxShown(kSegment, 2));
    EXPECT_FALSE(boxShown(kSegment, 3));
}

TEST(ValueBoxes, SelectAllInvertAndClearPerType) {
    struct Case {
        int type;
        std::vector<int> all;
    };
    for (const Case& c : {Case{kNumber, {1, 2, 3, 4, 5, 6}}, Case{kBigSmall, {0, 1}}, Case{kOddEven, {0, 1}},
                          Case{kSegment, {0, 1, 2}}}) {
        BoxTicks t{};
        int bound = *scanBound(c.type);
        applySelectionButton(t, c.type, kSelectAll);
        EXPECT_EQ(ticked(t), c.all);
        EXPECT_EQ(selectionCount(t, bound), static_cast<int>(c.all.size()));
        EXPECT_EQ(selectionValues(t, bound), c.all);
        applySelectionButton(t, c.type, kInvert);
        EXPECT_TRUE(ticked(t).empty());
        EXPECT_EQ(selectionCount(t, bound), 0);
        // Invert flips only the type's boxes.
        t[static_cast<size_t>(c.all.front())] = true;
        applySelectionButton(t, c.type, kInvert);
        std::vector<int> rest(c.all.begin() + 1, c.all.end());
        EXPECT_EQ(ticked(t), rest);
        applySelectionButton(t, c.type, kClearAll);
        EXPECT_TRUE(ticked(t).empty());
    }
    // Clear unticks every box, also boxes of another type.
    BoxTicks t{};
    t.fill(true);
    applySelectionButton(t, kBigSmall, kClearAll);
    EXPECT_TRUE(ticked(t).empty());
}

TEST(ValueBoxes, CountLooksOnlyUpToTheBound) {
    BoxTicks t{};
    t[0] = t[1] = t[5] = true;
    EXPECT_EQ(selectionCount(t, 1), 2);
    EXPECT_EQ(selectionCount(t, 9), 3);
    EXPECT_EQ(selectionValues(t, 4), (std::vector<int>{0, 1}));
    EXPECT_EQ(selectionCount(t, 0), 1);
}
