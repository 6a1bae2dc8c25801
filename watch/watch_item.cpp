#include "watch/watch_item.h"

#include <charconv>
#include <cmath>
#include <optional>

#include "overview/gap_series.h"
#include "overview/overview.h"
#include "search/conditions.h"
#include "search/grids.h"
#include "store/issue.h"

namespace k3 {

namespace {

// The names of the search types as k3gap-cli search takes them.
constexpr std::array<const char*, kTypeCount> kTypeOptions{"number", "big-small", "odd-even", "segment"};

bool blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && blank(s.front())) s.remove_prefix(1);
    while (!s.empty() && blank(s.back())) s.remove_suffix(1);
    return s;
}

std::vector<std::string_view> words(std::string_view s) {
    std::vector<std::string_view> out;
    size_t i = 0;
    while (i < s.size()) {
        while (i < s.size() && blank(s[i])) ++i;
        size_t j = i;
        while (j < s.size() && !blank(s[j])) ++j;
        if (j > i) out.push_back(s.substr(i, j - i));
        i = j;
    }
    return out;
}

std::string shortest(double x) {
    char buf[40];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, x);
    return std::string(buf, end);
}

// The text and its threshold: after the last "@", else after the last "x" (or "X") that follows a digit,
// a "*", a blank or the end of a Chinese label, so that the x of "--fixed" is not taken for one.
std::pair<std::string_view, std::string_view> splitThreshold(std::string_view text) {
    size_t at = text.rfind('@');
    if (at == std::string_view::npos) {
        for (size_t i = text.size(); i-- > 0;) {
            if (text[i] != 'x' && text[i] != 'X') continue;
            const unsigned char before = i == 0 ? ' ' : static_cast<unsigned char>(text[i - 1]);
            if ((before >= '0' && before <= '9') || before == '*' || blank(static_cast<char>(before)) ||
                before >= 0x80) {
                at = i;
                break;
            }
        }
    }
    if (at == std::string_view::npos) return {text, {}};
    return {text.substr(0, at), text.substr(at)};
}

Threshold parseThreshold(std::string_view text) {
    Threshold t;
    if (text.empty()) return t;
    const std::string shown(text);
    const std::string_view number = trimmed(text.substr(1));
    if (text.front() == '@') {
        auto k = parseWhole(number, 1, INT32_MAX);
        if (!k) throw WatchError("门槛「" + shown + "」不对：期数要写 1 以上的整数，例如 @12");
        t.fixed = static_cast<int32_t>(*k);
        return t;
    }
    double x = 0;
    auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), x);
    if (number.empty() || ec != std::errc() || end != number.data() + number.size() || !std::isfinite(x) || x <= 0)
        throw WatchError("门槛「" + shown + "」不对：理论遗漏的倍数要写大于 0 的数，例如 x2.5");
    t.times = x;
    return t;
}

std::string thresholdText(const Threshold& t) {
    return t.fixed ? "@" + std::to_string(*t.fixed) : "x" + shortest(t.times);
}

void checkThreshold(const Threshold& t) {
    if (t.fixed && *t.fixed < 1) throw WatchError("门槛 " + std::to_string(*t.fixed) + " 不对：期数要是 1 以上的整数");
    if (!t.fixed && !(std::isfinite(t.times) && t.times > 0))
        throw WatchError("门槛的倍数 " + shortest(t.times) + " 不对：理论遗漏的倍数要大于 0");
}

std::string positionName(size_t i) { return "第" + std::to_string(i + 1) + "位"; }

// A value as typed into a value box: a 16-bit whole number.
int typedValue(std::string_view text, size_t pos) {
    if (trimmed(text).empty())
        throw WatchError(positionName(pos) + "的值是空的：写成 --pos " + std::to_string(pos + 1) + "=2 这样");
    auto v = parseWhole(text, -32768, 32767);
    if (!v) throw WatchError(positionName(pos) + "的值「" + std::string(text) + "」不是 -32768～32767 的整数");
    return static_cast<int>(*v);
}

void checkSearch(const WatchedSearch& s) {
    if (s.type < kNumber || s.type > kSegment) throw WatchError("检索类型 " + std::to_string(s.type) + " 不对");
    bool any = false;
    for (size_t i = 0; i < 3; ++i) {
        if (!s.selected[i]) continue;
        any = true;
        const int v = s.values[i];
        const bool ok = s.free ? hasCounter(s.type, v, CountRange::kSearch) : storedValueRange(s.type, v);
        if (!ok)
            throw WatchError(positionName(i) + "的值 " + std::to_string(v) + " 不是" + typeName(s.type) +
                             "的取值，没有号码能符合，不能加入遗漏提醒");
    }
    if (!any) throw WatchError("检索没有选位置，每一期都符合，不能加入遗漏提醒");
}

}  // namespace

WatchedSearch watchedSearchOf(const SearchInput& in) {
    WatchedSearch s;
    s.type = normalType(in.type);
    s.free = in.free;
    s.selected = in.selected;
    for (size_t i = 0; i < 3; ++i) s.values[i] = in.selected[i] ? in.values[i] : 0;
    return s;
}

SearchInput searchInputOf(const WatchedSearch& s, const std::string& from, const std::string& to) {
    SearchInput in;
    in.type = s.type;
    in.free = s.free;
    in.selected = s.selected;
    in.values = s.values;
    for (size_t i = 0; i < 3; ++i) in.texts[i] = valueLabel(s.type, s.values[i]);
    in.from = from;
    in.to = to;
    return in;
}

std::string watchItemText(const WatchItem& w) {
    if (!w.isSearch()) {
        const BetItem& it = betItems().at(static_cast<size_t>(w.item));
        return it.play + ":" + it.label + thresholdText(w.threshold);
    }
    std::string text = std::string("--type ") + kTypeOptions[static_cast<size_t>(normalType(w.search.type))];
    if (!w.search.free) text += " --fixed";
    for (size_t i = 0; i < 3; ++i)
        if (w.search.selected[i]) text += " --pos " + std::to_string(i + 1) + "=" + std::to_string(w.search.values[i]);
    return text + " " + thresholdText(w.threshold);
}

WatchItem parseWatchTableItem(std::string_view text) {
    const std::string shown(trimmed(text));
    auto [body, threshold] = splitThreshold(trimmed(text));
    body = trimmed(body);
    size_t colon = body.find(':'), width = 1;
    if (colon == std::string_view::npos) {
        colon = body.find("：");
        width = std::string_view("：").size();
    }
    if (shown.empty()) throw WatchError("遗漏提醒的号码是空的：写成 玩法:号码，例如 和值:10");
    if (colon == std::string_view::npos || trimmed(body.substr(0, colon)).empty())
        throw WatchError("「" + shown + "」不是遗漏总表的号码：写成 玩法:号码，例如 和值:10");
    const std::string play(trimmed(body.substr(0, colon))), label(trimmed(body.substr(colon + width)));
    if (label.empty()) throw WatchError("「" + shown + "」缺少号码：写成 玩法:号码，例如 和值:10");
    auto item = findBetItem(play, label);
    if (!item) throw WatchError("遗漏总表中没有玩法「" + play + "」的号码「" + label + "」");
    WatchItem w;
    w.item = *item;
    w.threshold = parseThreshold(threshold);
    return w;
}

WatchItem parseWatchSearch(std::string_view text) {
    const std::string shown(trimmed(text));
    auto [body, threshold] = splitThreshold(trimmed(text));
    WatchItem w;
    w.threshold = parseThreshold(threshold);
    const std::vector<std::string_view> ws = words(body);
    // An option's value: after "=" in the same word, else the next word.
    auto valueOf = [&](size_t& i, std::string_view option) -> std::optional<std::string_view> {
        if (ws[i].size() > option.size()) return ws[i].substr(option.size() + 1);
        if (i + 1 >= ws.size()) return std::nullopt;
        return ws[++i];
    };
    auto is = [&](size_t i, std::string_view option) {
        return ws[i] == option || (ws[i].size() > option.size() && ws[i].substr(0, option.size()) == option &&
                                   ws[i][option.size()] == '=');
    };
    for (size_t i = 0; i < ws.size(); ++i) {
        if (ws[i] == "--fixed") {
            w.search.free = false;
        } else if (is(i, "--type")) {
            auto name = valueOf(i, "--type");
            int type = -1;
            for (size_t t = 0; t < kTypeOptions.size() && name; ++t)
                if (*name == kTypeOptions[t]) type = static_cast<int>(t);
            if (type < 0)
                throw WatchError("检索类型「" + std::string(name.value_or("")) +
                                 "」不对：可以是 number、big-small、odd-even、segment");
            w.search.type = type;
        } else if (is(i, "--pos")) {
            auto pv = valueOf(i, "--pos");
            if (!pv) throw WatchError("--pos 后面要写 位置=值，例如 --pos 1=2");
            const size_t eq = pv->find('=');
            auto pos = eq == std::string_view::npos ? std::nullopt : parseWhole(pv->substr(0, eq), 1, 3);
            if (!pos)
                throw WatchError("「--pos " + std::string(*pv) + "」不对：写成 位置=值，位置是 1～3，例如 --pos 1=2");
            const size_t p = static_cast<size_t>(*pos - 1);
            if (w.search.selected[p]) throw WatchError(positionName(p) + "给了两次");
            w.search.selected[p] = true;
            w.search.values[p] = typedValue(pv->substr(eq + 1), p);
        } else {
            throw WatchError("检索「" + shown + "」中的「" + std::string(ws[i]) +
                             "」不认得：遗漏提醒的检索只写 --type、--fixed、--pos 位置=值 和门槛");
        }
    }
    checkSearch(w.search);
    return w;
}

WatchItem parseWatchItem(std::string_view text) {
    return trimmed(text).substr(0, 2) == "--" ? parseWatchSearch(text) : parseWatchTableItem(text);
}

void checkWatchItem(const WatchItem& w) {
    if (!w.isSearch() && w.item >= kBetItemCount)
        throw WatchError("遗漏总表中没有第 " + std::to_string(w.item) + " 个号码");
    if (w.isSearch()) checkSearch(w.search);
    checkThreshold(w.threshold);
}

Threshold parseWatchThreshold(std::string_view text) {
    const std::string_view t = trimmed(text);
    if (t.empty()) throw WatchError("门槛是空的：写期数（例如 12），或理论遗漏的倍数（例如 x2）");
    if (t.front() == '@' || t.front() == 'x' || t.front() == 'X') return parseThreshold(t);
    return parseThreshold("@" + std::string(t));
}

std::string watchThresholdText(const Threshold& t) { return thresholdText(t); }

std::string watchListText(const std::vector<WatchItem>& items) {
    std::string text;
    for (const WatchItem& w : items) text += (text.empty() ? "" : "; ") + watchItemText(w);
    return text;
}

std::vector<WatchItem> parseWatchList(std::string_view text) {
    std::vector<WatchItem> out;
    size_t at = 0;
    while (at <= text.size()) {
        size_t semi = text.find(';', at);
        if (semi == std::string_view::npos) semi = text.size();
        const std::string_view entry = trimmed(text.substr(at, semi - at));
        if (!entry.empty()) {
            try {
                out.push_back(parseWatchItem(entry));
            } catch (const WatchError& e) {
                throw WatchError("遗漏提醒的第 " + std::to_string(out.size() + 1) + " 项「" + std::string(entry) +
                                 "」读不出：" + e.what());
            }
        }
        at = semi + 1;
    }
    return out;
}

std::string watchPlayText(const WatchItem& w) {
    if (!w.isSearch()) return betItems().at(static_cast<size_t>(w.item)).play;
    return std::string("检索（") + typeName(w.search.type) + "，" + (w.search.free ? "自由位" : "固定位") + "）";
}

std::string watchLabelText(const WatchItem& w) {
    if (!w.isSearch()) return betItems().at(static_cast<size_t>(w.item)).label;
    std::string text;
    for (size_t i = 0; i < 3; ++i) {
        if (!w.search.selected[i]) continue;
        if (!text.empty()) text += " ";
        if (!w.search.free) text += positionName(i);
        text += valueLabel(w.search.type, w.search.values[i]);
    }
    return text;
}

int watchOutcomes(const WatchItem& w, int segBase) {
    if (!w.isSearch()) return betItems().at(static_cast<size_t>(w.item)).outcomes;
    // T as the main window computes it for the search's chart: 216 / c.
    const std::optional<double> T = theoreticalOmission(searchInputOf(w.search), segBase);
    return T ? static_cast<int>(std::lround(kOutcomeCount / *T)) : 0;
}

int32_t watchThreshold(const WatchItem& w, int segBase) {
    if (w.threshold.fixed) return *w.threshold.fixed;
    const int c = watchOutcomes(w, segBase);
    if (c <= 0)
        throw WatchError("检索「" + watchLabelText(w) + "」用公平的骰子开不出，没有理论遗漏：门槛只能写期数，例如 @20");
    return w.threshold.of(c);
}

}  // namespace k3
