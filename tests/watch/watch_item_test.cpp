// The text forms of watched items, as the settings keep them and k3gap-cli takes them: every item of the
// omission table and searches read back as written; what is not an item or not a threshold refused with
// a message that says what is wrong.
#include <gtest/gtest.h>

#include "overview/overview.h"
#include "watch/watch_item.h"
#include "watch/watch_state.h"

namespace {

using k3::WatchError;
using k3::WatchItem;

std::string refusal(const std::string& text) {
    try {
        k3::parseWatchItem(text);
    } catch (const WatchError& e) {
        return e.what();
    }
    return "(taken)";
}

TEST(WatchItemText, EveryTableItemAndThresholdReadsBack) {
    std::vector<k3::Threshold> thresholds = {{}, {2, 7}, {2.5, {}}, {1.0 / 3, {}}, {0.1, {}}, {2, 1}, {2, 2147483647}};
    for (int i = 0; i < k3::kBetItemCount; ++i)
        for (const auto& t : thresholds) {
            const WatchItem w{i, {}, t};
            const std::string text = k3::watchItemText(w);
            EXPECT_EQ(k3::parseWatchItem(text), w) << text;
            EXPECT_EQ(k3::parseWatchTableItem(text), w) << text;
        }
    EXPECT_EQ(k3::watchItemText({*k3::findBetItem("和值", "10"), {}, {}}), "和值:10x2");
    EXPECT_EQ(k3::watchItemText({*k3::findBetItem("二同号复选", "33*"), {}, {2, 5}}), "二同号复选:33*@5");
    // A full-width colon, blanks around the parts, and no threshold (twice the theoretical omission).
    const WatchItem sum10 = k3::parseWatchItem("  和值： 10 ");
    EXPECT_EQ(sum10.item, *k3::findBetItem("和值", "10"));
    EXPECT_FALSE(sum10.threshold.fixed);
    EXPECT_EQ(sum10.threshold.times, 2);
    EXPECT_EQ(k3::parseWatchItem("和值:10X3").threshold.times, 3);
    EXPECT_EQ(k3::watchThreshold(sum10, 1), 16);
}

TEST(WatchItemText, SearchesReadBack) {
    WatchItem w = k3::parseWatchItem("--type=big-small --fixed --pos=1=1 --pos 3=0 @12");
    ASSERT_TRUE(w.isSearch());
    EXPECT_EQ(w.search.type, k3::kBigSmall);
    EXPECT_FALSE(w.search.free);
    EXPECT_EQ(w.search.selected, (std::array<bool, 3>{true, false, true}));
    EXPECT_EQ(w.search.values, (std::array<int, 3>{1, 0, 0}));
    EXPECT_EQ(*w.threshold.fixed, 12);
    EXPECT_EQ(k3::watchItemText(w), "--type big-small --fixed --pos 1=1 --pos 3=0 @12");
    EXPECT_EQ(k3::parseWatchItem(k3::watchItemText(w)), w);
    EXPECT_EQ(k3::watchPlayText(w), "检索（大小，固定位）");
    EXPECT_EQ(k3::watchLabelText(w), "第1位大 第3位小");

    // Free positions, the threshold glued to the last value, the type left out (numbers).
    w = k3::parseWatchItem("--pos 1=2 --pos 2=2x2.5");
    EXPECT_EQ(w.search.type, k3::kNumber);
    EXPECT_TRUE(w.search.free);
    EXPECT_EQ(w.threshold.times, 2.5);
    EXPECT_EQ(k3::watchItemText(w), "--type number --pos 1=2 --pos 2=2 x2.5");
    EXPECT_EQ(k3::watchLabelText(w), "2 2");
    EXPECT_EQ(k3::watchPlayText(w), "检索（号码，自由位）");

    // The main window's search and back: the box texts and the range play no part.
    k3::SearchInput in;
    in.type = k3::kOddEven;
    in.free = false;
    in.selected = {false, true, true};
    in.values = {5, 1, 0};
    in.texts = {"", "单", "双"};
    in.from = "130101001";
    const k3::WatchedSearch s = k3::watchedSearchOf(in);
    EXPECT_EQ(s.values, (std::array<int, 3>{0, 1, 0}));  // an unticked box is not watched
    const k3::SearchInput back = k3::searchInputOf(s);
    EXPECT_EQ(back.selected, in.selected);
    EXPECT_EQ(back.texts[1], "单");
    EXPECT_EQ(k3::watchedSearchOf(back), s);
}

TEST(WatchItemText, RefusalsSayWhatIsWrong) {
    EXPECT_EQ(refusal("和值:19"), "遗漏总表中没有玩法「和值」的号码「19」");
    EXPECT_EQ(refusal("和值 10"), "「和值 10」不是遗漏总表的号码：写成 玩法:号码，例如 和值:10");
    EXPECT_EQ(refusal("和值:"), "「和值:」缺少号码：写成 玩法:号码，例如 和值:10");
    EXPECT_EQ(refusal(""), "遗漏提醒的号码是空的：写成 玩法:号码，例如 和值:10");
    for (const char* k : {"和值:10@0", "和值:10@1.5", "和值:10@", "和值:10@-3", "和值:10@2147483648"})
        EXPECT_NE(refusal(k).find("期数要写 1 以上的整数"), std::string::npos) << k << ": " << refusal(k);
    for (const char* x :
         {"和值:10x0", "和值:10x-1", "和值:10xabc", "和值:10x", "和值:10xinf", "和值:10xnan", "和值:10x1e999"})
        EXPECT_NE(refusal(x).find("理论遗漏的倍数要写大于 0 的数"), std::string::npos) << x << ": " << refusal(x);
    EXPECT_EQ(refusal("--type number"), "检索没有选位置，每一期都符合，不能加入遗漏提醒");
    EXPECT_EQ(refusal("--type number --fixed --pos 1=7"),
              "第1位的值 7 不是号码的取值，没有号码能符合，不能加入遗漏提醒");
    EXPECT_NE(refusal("--pos 4=1").find("位置是 1～3"), std::string::npos);
    EXPECT_NE(refusal("--pos 1=2 --pos 1=3").find("第1位给了两次"), std::string::npos);
    EXPECT_NE(refusal("--type colour --pos 1=1").find("检索类型「colour」不对"), std::string::npos);
    EXPECT_NE(refusal("--pos 1=").find("第1位的值是空的"), std::string::npos);
    EXPECT_NE(refusal("--pos 1=2 --from 130101001").find("「--from」不认得"), std::string::npos);
    EXPECT_THROW(k3::parseWatchTableItem("--pos 1=2"), WatchError);
    EXPECT_THROW(k3::parseWatchSearch("和值:10"), WatchError);

    // A segment that the segment base never gives has no theoretical omission: only a number of draws.
    const WatchItem never = k3::parseWatchItem("--type segment --pos 1=0");
    EXPECT_EQ(k3::watchOutcomes(never, 1), 0);
    EXPECT_THROW(k3::WatchPlan({never}, 1), WatchError);
    EXPECT_NO_THROW(k3::WatchPlan({k3::parseWatchItem("--type segment --pos 1=0 @20")}, 1));
    EXPECT_EQ(k3::watchOutcomes(never, 0), 152);  // with base 0 a segment 0 is a die of 1 or 2: 216 - 4³
}

TEST(WatchItemText, ListsKeepTheirOrderAndNameTheEntryThatIsWrong) {
    const auto list = k3::parseWatchList("和值:10@12; ;--type number --pos 1=1 x3;三同号通选:通选");
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(k3::watchListText(list), "和值:10@12; --type number --pos 1=1 x3; 三同号通选:通选x2");
    EXPECT_EQ(k3::parseWatchList(k3::watchListText(list)), list);
    EXPECT_TRUE(k3::parseWatchList("").empty());
    try {
        k3::parseWatchList("和值:10; 和值:99@3");
        FAIL() << "taken";
    } catch (const WatchError& e) {
        EXPECT_EQ(std::string(e.what()),
                  "遗漏提醒的第 2 项「和值:99@3」读不出：遗漏总表中没有玩法「和值」的号码「99」");
    }
}

}  // namespace
