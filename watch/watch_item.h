// 遗漏提醒: the items a player watches, each with its threshold, and their text forms. An item is one of
// the 101 items of the omission table or a search of the main window (its type, positions and values,
// fixed or free); the threshold is a number of draws K or a multiple X of the item's theoretical
// omission, K = ⌈X × T⌉ as the backtest forms it.
//
// Text forms, as the settings keep them and k3gap-cli takes them:
//   和值:10          an item of the omission table (PLAY:ITEM, a full-width colon too), threshold 2 × T
//   和值:10@12       the same with K = 12
//   和值:10x2.5      the same with K = ⌈2.5 × T⌉
//   --type big-small --fixed --pos 1=1 --pos 3=0 @12
//                    a search in the options k3gap-cli search takes (--type, --fixed, --pos P=V), then
//                    the threshold as a word of its own or at the end of the last one
// A list is its items' texts separated by "; ".
#pragma once
#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "search/search.h"
#include "stats/backtest.h"
#include "store/error.h"

namespace k3 {

// A text that is not a watched item, or an item whose threshold cannot be formed; the message is Chinese.
struct WatchError : Error {
    using Error::Error;
};

// A search as the main window runs it: what is matched, without the range or the box texts.
struct WatchedSearch {
    int type = kNumber;
    bool free = true;                // the values anywhere in the draw, else at their positions
    std::array<bool, 3> selected{};  // positions 1..3
    std::array<int, 3> values{};     // stored codes: dice 1..6, flags 0..1, segment numbers
    bool operator==(const WatchedSearch&) const = default;
};

struct WatchItem {
    int item = -1;          // one of the 101 items of the omission table; -1 for the search
    WatchedSearch search;   // when item is -1
    Threshold threshold{};  // default: twice the theoretical omission
    bool isSearch() const { return item < 0; }
    bool operator==(const WatchItem& o) const {
        return item == o.item && (item >= 0 || search == o.search) && threshold.times == o.threshold.times &&
               threshold.fixed == o.threshold.fixed;
    }
};

// The search of the main window's input (the range and the box texts play no part).
WatchedSearch watchedSearchOf(const SearchInput& in);
// The same as the input of a search over the range texts.
SearchInput searchInputOf(const WatchedSearch& s, const std::string& from = {}, const std::string& to = {});

// The item's text form, e.g. "和值:10@12", "三同号通选:通选x2", "--type number --pos 1=2 --pos 2=2 x2". The
// threshold is always written; X in its shortest form that reads back the same.
std::string watchItemText(const WatchItem& w);
// Reads a text form; throws WatchError saying what is wrong (an unknown item, a threshold that is not
// a whole number from 1 or a number above 0, an empty value, a search without a position or with a
// value its type cannot hold).
WatchItem parseWatchItem(std::string_view text);
// The same, asking for an item of the omission table, or for a search.
WatchItem parseWatchTableItem(std::string_view text);
WatchItem parseWatchSearch(std::string_view text);
// Throws WatchError when the item is not one that can be watched (what the readers above refuse).
void checkWatchItem(const WatchItem& w);

// A threshold alone, as typed into the window: "x2.5" or "X2.5", "@12" or "12". Throws WatchError.
Threshold parseWatchThreshold(std::string_view text);
// "@12" or "x2.5".
std::string watchThresholdText(const Threshold& t);

std::string watchListText(const std::vector<WatchItem>& items);
// Reads a list; empty entries are passed over. Throws WatchError naming the first entry that is not one.
std::vector<WatchItem> parseWatchList(std::string_view text);

// The item in the table's words: its play (玩法) and what is watched (号码), e.g. "和值", "10"; a search
// "检索（大小，固定位）", "第1位大 第3位小".
std::string watchPlayText(const WatchItem& w);
std::string watchLabelText(const WatchItem& w);

// c: how many of the 216 ordered outcomes of three dice hit the item (segments read with segBase).
int watchOutcomes(const WatchItem& w, int segBase);
// K of the item; throws WatchError for a multiple of the theoretical omission of a search that fair dice
// never give (c = 0).
int32_t watchThreshold(const WatchItem& w, int segBase);

}  // namespace k3
