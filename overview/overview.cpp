#include "overview/overview.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

#include "search/omission.h"
#include "search/search.h"
#include "store/row_order.h"
#include "store/textfmt.h"

namespace k3 {

namespace {

enum class Rule { kSum, kTriple, kAnyTriple, kPairAny, kPairSingle, kThreeDistinct, kTwoDistinct, kStraight, kDigit };

// The definition of an item: a rule and up to three digits (the sum for kSum).
struct ItemRule {
    Rule rule;
    int a = 0, b = 0, c = 0;
};

struct Catalogue {
    std::vector<BetItem> items;
    std::vector<ItemRule> rules;
    // The items each ordered outcome (d1-1)*36 + (d2-1)*6 + (d3-1) hits, flattened: items of outcome o
    // are hitItems[hitStart[o] .. hitStart[o+1]).
    std::array<uint16_t, kOutcomeCount + 1> hitStart{};
    std::vector<uint8_t> hitItems;
};

bool hits(const ItemRule& r, int d1, int d2, int d3) {
    std::array<int, 7> n{};
    ++n[static_cast<size_t>(d1)], ++n[static_cast<size_t>(d2)], ++n[static_cast<size_t>(d3)];
    auto count = [&n](int d) { return n[static_cast<size_t>(d)]; };
    switch (r.rule) {
        case Rule::kSum: return d1 + d2 + d3 == r.a;
        case Rule::kTriple: return count(r.a) == 3;
        case Rule::kAnyTriple: return d1 == d2 && d2 == d3;
        case Rule::kPairAny: return count(r.a) == 2;
        case Rule::kPairSingle: return count(r.a) == 2 && count(r.b) == 1;
        case Rule::kThreeDistinct: return count(r.a) == 1 && count(r.b) == 1 && count(r.c) == 1;
        case Rule::kTwoDistinct: return count(r.a) >= 1 && count(r.b) >= 1;
        case Rule::kStraight: {
            int lo = std::min({d1, d2, d3});
            return lo <= 4 && count(lo) == 1 && count(lo + 1) == 1 && count(lo + 2) == 1;
        }
        case Rule::kDigit: return count(r.a) >= 1;
    }
    return false;
}

Catalogue buildCatalogue() {
    Catalogue cat;
    auto add = [&cat](const char* play, std::string label, ItemRule rule) {
        cat.items.push_back({play, std::move(label), 0});
        cat.rules.push_back(rule);
    };
    auto digit = [](int d) { return std::string(1, static_cast<char>('0' + d)); };
    for (int s = 3; s <= 18; ++s) add("和值", std::to_string(s), {Rule::kSum, s});
    for (int d = 1; d <= 6; ++d) add("三同号单选", digit(d) + digit(d) + digit(d), {Rule::kTriple, d});
    add("三同号通选", "通选", {Rule::kAnyTriple});
    for (int d = 1; d <= 6; ++d) add("二同号复选", digit(d) + digit(d) + "*", {Rule::kPairAny, d});
    for (int p = 1; p <= 6; ++p)
        for (int s = 1; s <= 6; ++s)
            if (s != p) add("二同号单选", digit(p) + digit(p) + digit(s), {Rule::kPairSingle, p, s});
    for (int a = 1; a <= 6; ++a)
        for (int b = a + 1; b <= 6; ++b)
            for (int c = b + 1; c <= 6; ++c)
                add("三不同号", digit(a) + digit(b) + digit(c), {Rule::kThreeDistinct, a, b, c});
    for (int a = 1; a <= 6; ++a)
        for (int b = a + 1; b <= 6; ++b) add("二不同号", digit(a) + digit(b), {Rule::kTwoDistinct, a, b});
    add("三连号通选", "通选", {Rule::kStraight});
    for (int d = 1; d <= 6; ++d) add("单号", digit(d), {Rule::kDigit, d});

    for (int o = 0; o < kOutcomeCount; ++o) {
        cat.hitStart[static_cast<size_t>(o)] = static_cast<uint16_t>(cat.hitItems.size());
        const auto [d1, d2, d3] = diceOf(o);
        for (size_t i = 0; i < cat.rules.size(); ++i) {
            if (!hits(cat.rules[i], d1, d2, d3)) continue;
            cat.hitItems.push_back(static_cast<uint8_t>(i));
            ++cat.items[i].outcomes;
        }
    }
    cat.hitStart[kOutcomeCount] = static_cast<uint16_t>(cat.hitItems.size());
    return cat;
}

const Catalogue& catalogue() {
    static const Catalogue cat = buildCatalogue();
    return cat;
}

// Per-item state of the walk over the range.
struct Walk {
    int32_t previous;
    int32_t hits = 0;
    int32_t minimum = std::numeric_limits<int32_t>::max();
    int32_t maximum = 0;
};

// Sort key of a cell; nothing for an empty cell.
std::optional<double> sortKey(const OverviewRow& r, int column) {
    switch (column) {
        case 0: return playRank(r.item);
        case 1: return r.item;
        case 2: return r.hits;
        case 3: return r.minimum;
        case 4: return r.maximum;
        case 5: return r.last;
        case 6: return r.average;
        case 7: return r.theoretical;
        case 8: return r.due;
        case 9: return r.probability;
        default: return r.item;
    }
}

}  // namespace

const std::vector<BetItem>& betItems() { return catalogue().items; }

int playRank(int item) {
    const auto& items = betItems();
    int rank = 0;
    for (int i = 1; i <= item; ++i)
        if (items[static_cast<size_t>(i)].play != items[static_cast<size_t>(i - 1)].play) ++rank;
    return rank;
}

bool itemHits(int item, int d1, int d2, int d3) {
    const auto& rules = catalogue().rules;
    if (item < 0 || static_cast<size_t>(item) >= rules.size()) return false;
    if (!validDie(d1) || !validDie(d2) || !validDie(d3)) return false;
    return hits(rules[static_cast<size_t>(item)], d1, d2, d3);
}

std::optional<int> findBetItem(std::string_view play, std::string_view label) {
    const auto& items = betItems();
    for (size_t i = 0; i < items.size(); ++i)
        if (items[i].play == play && items[i].label == label) return static_cast<int>(i);
    return std::nullopt;
}

IssueRange overviewRange(const Snapshot& snap, const std::string& from, const std::string& to) {
    if (snap.empty()) throw AnalysisError("历史数据库中还没有号码，无法统计遗漏");
    auto range = parseRange(from, to);
    if (!range) throw AnalysisError("统计起止期数「" + from + "」～「" + to + "」不是有效的期号，没有统计");
    return *range;
}

IssueRange orderedRange(const Snapshot& snap, const std::string& from, const std::string& to) {
    const IssueRange range = overviewRange(snap, from, to);
    if (range.from > range.to)
        throw AnalysisError("统计起止期数「" + from + "」～「" + to + "」的起始期号大于结束期号，没有统计");
    return range;
}

OverviewTable computeOverview(const Snapshot& snap, const std::string& from, const std::string& to) {
    const IssueRange range = orderedRange(snap, from, to);
    const Catalogue& cat = catalogue();
    OverviewTable table;
    table.from = from;
    table.to = to;
    table.start = startingPoint(snap, range.from).value_or(0);

    std::array<Walk, kBetItemCount> walk;
    for (Walk& w : walk) w.previous = table.start;
    auto [first, last] = rangeRows(snap, range);
    table.draws = static_cast<int32_t>(last - first);
    const std::vector<DrawValues>& dice = snap.values(kDicePart).distinct;
    const std::vector<uint32_t>& index = snap.values(kDicePart).index;
    for (size_t i = first; i < last; ++i) {
        const Snapshot::Dice& d = dice[index[i]].v[kNumber];
        const int32_t rank = snap.rank(i);
        // A stored row with a die outside 1..6 hits nothing.
        if (!validDie(d[0]) || !validDie(d[1]) || !validDie(d[2])) continue;
        const int o = (d[0] - 1) * 36 + (d[1] - 1) * 6 + (d[2] - 1);
        for (int h = cat.hitStart[static_cast<size_t>(o)]; h < cat.hitStart[static_cast<size_t>(o) + 1]; ++h) {
            Walk& w = walk[cat.hitItems[static_cast<size_t>(h)]];
            const int32_t gap = rank - w.previous;
            w.minimum = std::min(w.minimum, gap);
            w.maximum = std::max(w.maximum, gap);
            w.previous = rank;
            ++w.hits;
        }
    }

    const int32_t next = snap.ranks().back() + 1;
    table.rows.resize(kBetItemCount);
    for (int i = 0; i < kBetItemCount; ++i) {
        const Walk& w = walk[static_cast<size_t>(i)];
        const double c = cat.items[static_cast<size_t>(i)].outcomes;
        OverviewRow& r = table.rows[static_cast<size_t>(i)];
        r.item = i;
        r.hits = w.hits;
        r.minimum = w.hits ? w.minimum : kNoOmission;
        r.maximum = w.hits ? w.maximum : kNoOmission;
        r.lastHit = w.previous;
        r.last = next - w.previous;
        if (w.hits) {
            r.average = static_cast<double>(w.previous - table.start) / w.hits;
            r.due = r.last / *r.average;
        }
        r.theoretical = kOutcomeCount / c;
        r.probability = 100.0 * std::pow(1.0 - c / kOutcomeCount, r.last - 1);
    }
    return table;
}

std::vector<std::string> overviewHeader() {
    return {"玩法",     "号码",     "出现次数", "最小遗漏", "最大遗漏",
            "最后遗漏", "平均遗漏", "理论遗漏", "欲出几率", "遗漏概率（%）"};
}

std::vector<std::string> overviewHeaderTips() {
    return {"投注的玩法",
            "玩法中的号码",
            "检索范围内这个号码出现了几期",
            "各次出现的遗漏次数中最小的；没有出现时是 32767",
            "各次出现的遗漏次数中最大的；没有出现时是 32767",
            "最后一次出现之后，数到下一期（还没开奖）共几期",
            "从范围起点到最后一次出现共几期 ÷ 出现次数；没有出现时空着",
            "216 ÷ c：骰子公平时平均隔几期出现一次（c 是 216 种结果中开出这个号码的种数）",
            "最后遗漏 ÷ 平均遗漏：这次已经等了平时的几倍。它是一个比值，不是机会，"
            "说明不了下一期会不会出；没有出现时空着",
            "骰子公平时，遗漏至少有最后遗漏这么长的机会：100 × (1 − c/216)^(最后遗漏 − 1)。"
            "它说的是已经过去的这段遗漏，公平的骰子没有记忆，下一期出现的机会仍是 c/216"};
}

Grid overviewGrid(const OverviewTable& table, const std::vector<int>& order) {
    Grid g;
    g.header = overviewHeader();
    g.widths = {1200, 700, 900, 900, 900, 900, 900, 900, 900, 1300};
    const auto& items = betItems();
    auto row = [&](const OverviewRow& r) {
        const BetItem& it = items[static_cast<size_t>(r.item)];
        g.rows.push_back({it.play, it.label, std::to_string(r.hits), std::to_string(r.minimum),
                          std::to_string(r.maximum), std::to_string(r.last), r.average ? fixed2(*r.average) : "",
                          fixed2(r.theoretical), r.due ? fixed2(*r.due) : "", fixed2(r.probability)});
    };
    g.rows.reserve(table.rows.size());
    if (order.empty())
        for (const OverviewRow& r : table.rows) row(r);
    else
        for (int i : order) row(table.rows.at(static_cast<size_t>(i)));
    return g;
}

std::vector<int> overviewOrder(const OverviewTable& table, int column, bool descending) {
    return orderByKey(
        table.rows.size(), [&](int i) { return sortKey(table.rows[static_cast<size_t>(i)], column); }, descending);
}

}  // namespace k3
