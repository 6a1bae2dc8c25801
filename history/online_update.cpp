#include "history/online_update.h"

#include <algorithm>

#include "store/history_files.h"
#include "store/issue.h"

namespace k3 {

using namespace std::chrono;

int daysBetween(year_month_day a, year_month_day b) { return static_cast<int>((sys_days{b} - sys_days{a}).count()); }

year_month_day yearsBefore(year_month_day d, int years) {
    year_month_day r{d.year() - std::chrono::years{years}, d.month(), d.day()};
    if (!r.ok()) r = year_month_day{year_month_day_last{r.year(), month_day_last{r.month()}}};
    return r;
}

UpdatePlan planUpdate(std::optional<int32_t> newest, bool runningNumbers, int drawsPerDay, int years,
                      year_month_day today) {
    UpdatePlan p;
    p.runningNumbers = runningNumbers;
    p.drawsPerDay = drawsPerDay;
    p.years = years;
    const year_month_day cutoff = yearsBefore(today, years);
    const int windowDays = daysBetween(cutoff, today);
    if (runningNumbers) {
        // Running numbers carry no date: the request covers the whole window; the range starts after
        // the newest stored draw, or at the first issue of the page when the history is empty.
        p.width = 3;
        p.days = windowDays;
        p.count = int64_t{p.days} * drawsPerDay;
        if (newest) {
            p.start = int64_t{*newest} + 1;
            p.end = *p.start + p.count;
        }
        return p;
    }
    p.width = 7;
    p.deleteBelow = dayBase(cutoff);
    p.end = dayBase(today) + drawsPerDay;
    std::optional<year_month_day> newestDate = newest ? issueDate(*newest) : std::nullopt;
    if (!newest) {
        p.days = windowDays;
        p.start = dayBase(cutoff) + 1;
        p.count = int64_t{p.days} * drawsPerDay;
    } else {
        p.start = int64_t{*newest} + 1;
        int since = newestDate ? std::clamp(daysBetween(*newestDate, today), 0, windowDays) : windowDays;
        p.days = since;
        // The newest draw's own day is asked for too, so its later draws are not missed.
        p.count = int64_t{since + 1} * drawsPerDay;
    }
    return p;
}

std::string expandUrl(std::string_view tmpl, std::string_view code, int64_t n) {
    std::string out;
    const std::string num = std::to_string(n);
    for (size_t i = 0; i < tmpl.size();) {
        if (tmpl.substr(i, 6) == "{code}") {
            out += code;
            i += 6;
        } else if (tmpl.substr(i, 3) == "{n}") {
            out += num;
            i += 3;
        } else {
            out += tmpl[i++];
        }
    }
    return out;
}

// ---------------------------------------------------------------- parse

namespace {

// UTF-8 to code points, so that positions count characters as the page shows them.
std::u32string decodeUtf8(std::string_view s) {
    std::u32string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size();) {
        auto b = static_cast<unsigned char>(s[i]);
        int len = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
        char32_t cp = len == 1 ? b : len == 2 ? (b & 0x1F) : len == 3 ? (b & 0x0F) : (b & 0x07);
        bool ok = len > 0 && i + static_cast<size_t>(len) <= s.size();
        for (int k = 1; ok && k < len; ++k) {
            auto c = static_cast<unsigned char>(s[i + static_cast<size_t>(k)]);
            if ((c & 0xC0) != 0x80) ok = false;
            cp = (cp << 6) | (c & 0x3F);
        }
        if (!ok) {
            out += U'\uFFFD';
            ++i;
        } else {
            out += cp;
            i += static_cast<size_t>(len);
        }
    }
    return out;
}

bool isDigit(char32_t c) { return c >= U'0' && c <= U'9'; }

int digitCount(int64_t v) {
    int n = 1;
    while (v >= 10) v /= 10, ++n;
    return n;
}

// Three dice apart from what precedes them: at `at`, `at` + 2 and `at` + 4 single digits, each followed
// by one character that is not a digit (or the end of the text).
bool separateDiceAt(const std::u32string& text, size_t at) {
    for (size_t k = 0; k < 3; ++k, at += 2) {
        if (at >= text.size() || text[at] < U'1' || text[at] > U'6') return false;
        if (at + 1 < text.size() && isDigit(text[at + 1])) return false;
        if (k < 2 && at + 1 >= text.size()) return false;
    }
    return true;
}

constexpr size_t kGuardStride = 1u << 20;  // characters between two looks at the guard
const char* const kParsePage = "分析页面";

}  // namespace

bool plausibleIssue(const UpdatePlan& plan, int64_t issue, size_t runLength, bool startsRun) {
    const auto digits = static_cast<size_t>(digitCount(issue));
    if (plan.runningNumbers) return startsRun && (runLength == digits + 1 || runLength == digits);
    const int64_t draw = issue % 1000;
    return draw >= 1 && draw <= plan.drawsPerDay && issueDate(issue).has_value();
}

std::vector<DerivedDraw> parseUpdatePage(std::string_view utf8Text, UpdatePlan& plan, int segBase,
                                         const UpdateGuard& guard) {
    std::vector<DerivedDraw> out;
    guard.check(kParsePage);
    const std::u32string text = decodeUtf8(utf8Text);
    const size_t n = text.size();
    guard.check(kParsePage);

    plan.emptyReason.clear();
    if (!plan.start) {
        // Running numbers, empty history: the first draw follows "开奖时间"; its run of digits is the
        // issue followed by the first die, or the issue alone when three separate dice follow it.
        size_t at = text.find(U"开奖时间");
        if (at == std::u32string::npos) {
            plan.emptyReason = "页面中没有“开奖时间”，找不到第一期的期号";
            return out;
        }
        size_t d = at;
        while (d < n && !isDigit(text[d])) ++d;
        size_t e = d;
        while (e < n && isDigit(text[e])) ++e;
        const size_t issueEnd = separateDiceAt(text, e + 1) ? e : e - 1;
        int64_t v = 0;
        for (size_t i = d; i < issueEnd && e - d <= 10; ++i) v = v * 10 + (text[i] - U'0');
        if (e - d < 2 || e - d > 10 || v <= 0 || v > INT32_MAX) {
            plan.emptyReason = "页面中“开奖时间”后面没有期号";
            return out;
        }
        plan.start = v;
        plan.end = v + plan.count;
    }
    const int64_t start = *plan.start, end = std::min<int64_t>(plan.end, INT32_MAX);
    if (start > end || start <= 0) return out;

    // Every place where the decimal text of a plausible number of the range begins: within a run of digits,
    // a substring of one of the range's lengths that has no leading zero.
    const int lenLo = digitCount(start), lenHi = digitCount(end);
    std::vector<std::pair<int64_t, size_t>> hits;  // (issue, character index)
    size_t nextLook = kGuardStride;
    for (size_t i = 0; i < n;) {
        if (i >= nextLook) {
            guard.check(kParsePage);
            nextLook = i + kGuardStride;
        }
        if (!isDigit(text[i])) {
            ++i;
            continue;
        }
        size_t runEnd = i;
        while (runEnd < n && isDigit(text[runEnd])) ++runEnd;
        // Running numbers begin a run; date issues may begin anywhere in one.
        const size_t lastStart = plan.runningNumbers ? i + 1 : runEnd;
        for (size_t s = i; s < lastStart; ++s) {
            if (text[s] == U'0') continue;
            int64_t v = 0;
            for (int len = 1; len <= lenHi && s + static_cast<size_t>(len) <= runEnd; ++len) {
                v = v * 10 + (text[s + static_cast<size_t>(len) - 1] - U'0');
                if (len >= lenLo && v >= start && v <= end && plausibleIssue(plan, v, runEnd - s, s == i))
                    hits.emplace_back(v, s);
            }
        }
        i = runEnd;
    }
    guard.check(kParsePage);
    std::sort(hits.begin(), hits.end());

    // The walk over start..end, visiting only the numbers that occur: a number that does not occur at all
    // (any gap between two occurring numbers) is a miss and sends the next search back to the beginning.
    size_t from = 0;           // next search begins at this character
    int64_t prev = start - 1;  // last number walked
    size_t found = 0;          // hits, with dice after them or not
    std::optional<int64_t> firstFound;
    for (size_t g = 0; g < hits.size();) {
        const int64_t v = hits[g].first;
        size_t gEnd = g;
        while (gEnd < hits.size() && hits[gEnd].first == v) ++gEnd;
        if (v > prev + 1) from = 0;
        auto it = std::lower_bound(hits.begin() + static_cast<std::ptrdiff_t>(g),
                                   hits.begin() + static_cast<std::ptrdiff_t>(gEnd), std::make_pair(v, from));
        if (it == hits.begin() + static_cast<std::ptrdiff_t>(gEnd)) {
            from = 0;  // not found after the last hit
        } else {
            const size_t p = it->second;
            from = p + 1;
            ++found;
            if (!firstFound) firstFound = v;
            int dice[3];
            bool ok = true;
            // Date issues: the dice at fixed places after the 9 digits. Running numbers: right after the
            // issue's own digits, glued to it ("1234576,3,4") or apart from it ("123457 6 3 4").
            size_t first = p + static_cast<size_t>(plan.width) + 2;
            if (plan.runningNumbers) {
                first = p + static_cast<size_t>(digitCount(v));
                if (first < n && !isDigit(text[first])) ok = separateDiceAt(text, ++first);
            }
            for (int k = 0; k < 3 && ok; ++k) {
                size_t at = first + 2 * static_cast<size_t>(k);
                ok = at < n && text[at] >= U'1' && text[at] <= U'6';
                if (ok) dice[k] = static_cast<int>(text[at] - U'0');
            }
            if (ok) out.push_back(deriveDraw(static_cast<int32_t>(v), dice[0], dice[1], dice[2], segBase));
        }
        prev = v;
        g = gEnd;
    }
    if (out.empty())
        plan.emptyReason = found == 0
                               ? "页面中没有找到要更新的期号（从 " + std::to_string(start) + " 起）"
                               : "页面中找到了期号 " + std::to_string(*firstFound) + "，但它后面没有三个 1～6 的号码";
    return out;
}

UpdateOutcome applyUpdate(HistoryStore& store, const UpdatePlan& plan, const std::vector<DerivedDraw>& draws,
                          const std::atomic<bool>* cancel) {
    UpdateOutcome res;
    if (cancel && cancel->load()) throw UpdateCancelled();
    res.note = plan.emptyReason;
    if (draws.empty()) return res;
    std::optional<int32_t> below;
    if (plan.runningNumbers) {
        // No dates: the window keeps as many draws as its years hold.
        int64_t newest = draws.back().sqqh;
        if (auto stored = store.newestIssue()) newest = std::max<int64_t>(newest, *stored);
        int64_t keep = int64_t{plan.years} * 365 * plan.drawsPerDay;
        if (newest - keep + 1 > 0) below = static_cast<int32_t>(newest - keep + 1);
    } else if (plan.deleteBelow) {
        below = static_cast<int32_t>(*plan.deleteBelow);
    }
    int64_t before = store.count();
    if (cancel && cancel->load()) throw UpdateCancelled();
    store.appendAndTrim(draws, below);
    res.added = draws.size();
    res.removed = static_cast<size_t>(before + static_cast<int64_t>(draws.size()) - store.count());
    return res;
}

UpdatePlan planRequest(HistoryStore& store, const UpdateRequest& req) {
    UpdatePlan plan = planUpdate(store.newestIssue(), req.runningNumbers, req.drawsPerDay, req.years, req.today);
    plan.url = expandUrl(req.urlTemplate, req.code, plan.count);
    plan.dataDir = folderOf(store.path());
    return plan;
}

FetchedUpdate fetchUpdate(UpdatePlan plan, const UpdateRequest& req) {
    const UpdateGuard guard(req.timeoutSeconds, req.cancel);
    FetchedPage page = fetchUrl(plan.url, guard, plan.dataDir);
    std::vector<DerivedDraw> draws = parseUpdatePage(pageText(page, guard), plan, req.segBase, guard);
    return {std::move(plan), std::move(draws)};
}

UpdateOutcome updateHistory(HistoryStore& store, const UpdateRequest& req) {
    FetchedUpdate fetched = fetchUpdate(planRequest(store, req), req);
    return applyUpdate(store, fetched.plan, fetched.draws, req.cancel);
}

}  // namespace k3
