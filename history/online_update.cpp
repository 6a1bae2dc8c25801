#include "history/online_update.h"

#include <algorithm>
#include <cstdio>

#include "history/json_page.h"
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

std::string expandUrl(std::string_view tmpl, std::string_view code, int64_t n, std::optional<year_month_day> today) {
    std::string out;
    const std::string num = std::to_string(n);
    std::string date;
    if (today) {
        char buf[16];
        std::snprintf(buf, sizeof buf, "%04d-%02u-%02u", static_cast<int>(today->year()),
                      static_cast<unsigned>(today->month()), static_cast<unsigned>(today->day()));
        date = buf;
    }
    for (size_t i = 0; i < tmpl.size();) {
        if (tmpl.substr(i, 6) == "{code}") {
            out += code;
            i += 6;
        } else if (tmpl.substr(i, 3) == "{n}") {
            out += num;
            i += 3;
        } else if (today && tmpl.substr(i, 6) == "{date}") {
            out += date;
            i += 6;
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

// A date issue at `at` whose draw number is above the draws per day, followed by dice where the issue's
// would be.
bool misfitAt(const std::u32string& text, size_t at, int64_t v, const UpdatePlan& plan) {
    if (v % 1000 <= plan.drawsPerDay || !issueDate(v)) return false;
    for (size_t k = 0; k < 3; ++k) {
        const size_t d = at + static_cast<size_t>(plan.width) + 2 + 2 * k;
        if (d >= text.size() || text[d] < U'1' || text[d] > U'6') return false;
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
    // Date issues of the range's days with a draw number above the draws per day, dice after them: another
    // province's draws. The first is named; none is taken.
    const int64_t misfitEnd = plan.runningNumbers ? 0 : end - plan.drawsPerDay + 999;
    plan.misfit.reset();
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
                else if (len == 9 && !plan.misfit && v >= start && v <= misfitEnd && misfitAt(text, s, v, plan))
                    plan.misfit =
                        Misfit{0, std::to_string(v),
                               "超过了" + plan.caption + "每天的 " + std::to_string(plan.drawsPerDay) + " 期"};
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

namespace {

constexpr size_t kSampleRows = 2000;

// The draws of rows read in a shape that fit the province and fall into the plan's range, each issue once,
// in issue order.
std::vector<DerivedDraw> takeRows(const std::vector<RowDraw>& rows, UpdatePlan& plan, int segBase) {
    FitCheck fit(ProvinceRule{plan.caption, plan.drawsPerDay, plan.runningNumbers});
    for (const RowDraw& r : rows) fit.draw(r.issue, 0, std::to_string(r.issue.issue));
    if (std::optional<Misfit> m = fit.result()) plan.misfit = m;
    std::vector<const RowDraw*> taken;
    for (const RowDraw& r : rows) {
        if (plan.runningNumbers ? r.issue.dated() : misfitOfDated(r.issue, fit.rule()).has_value()) continue;
        if (r.issue.issue > INT32_MAX || (plan.start && (r.issue.issue < *plan.start || r.issue.issue > plan.end)))
            continue;
        taken.push_back(&r);
    }
    std::stable_sort(taken.begin(), taken.end(),
                     [](const RowDraw* a, const RowDraw* b) { return a->issue.issue < b->issue.issue; });
    taken.erase(std::unique(taken.begin(), taken.end(),
                            [](const RowDraw* a, const RowDraw* b) { return a->issue.issue == b->issue.issue; }),
                taken.end());
    std::vector<DerivedDraw> out;
    out.reserve(taken.size());
    for (const RowDraw* r : taken)
        out.push_back(deriveDraw(static_cast<int32_t>(r->issue.issue), r->d1, r->d2, r->d3, segBase));
    if (!plan.start && !out.empty()) {
        // Running numbers without a stored draw: the range starts at the page's lowest issue and is as long
        // as the request.
        plan.start = out.front().sqqh;
        plan.end = *plan.start + plan.count;
        while (!out.empty() && out.back().sqqh > plan.end) out.pop_back();
    }
    plan.emptyReason.clear();
    if (out.empty())
        plan.emptyReason = "页面中读出 " + std::to_string(rows.size()) + " 期（" + plan.shape +
                           "），但没有要更新的期号" +
                           (plan.start ? "（从 " + std::to_string(*plan.start) + " 起）" : std::string());
    return out;
}

// Rows of a shape over rows already cut into cells, read after it is recognised from the first ones.
std::vector<RowDraw> rowsOfTables(const std::vector<PageRow>& rows, std::optional<ColumnShape>& shape) {
    std::vector<FieldRow> fields(rows.size());
    for (size_t i = 0; i < rows.size(); ++i)
        for (const PageCell& cell : rows[i]) fields[i].push_back({cell.text, &cell.parts});
    shape = recogniseRows(std::vector<FieldRow>(fields.begin(), fields.begin() + std::min(fields.size(), kSampleRows)));
    std::vector<RowDraw> out;
    if (!shape) return out;
    for (const FieldRow& row : fields)
        if (auto d = drawOfRow(*shape, row)) out.push_back(*d);
    return out;
}

std::vector<RowDraw> rowsOfLines(std::string_view text, std::optional<ColumnShape>& shape) {
    std::vector<std::string_view> lines;
    for (size_t pos = 0; pos < text.size();) {
        size_t end = text.find_first_of("\r\n", pos);
        if (end == std::string_view::npos) end = text.size();
        if (end > pos) lines.push_back(text.substr(pos, end - pos));
        pos = end + 1;
    }
    shape = recogniseLines(
        std::vector<std::string_view>(lines.begin(), lines.begin() + std::min(lines.size(), kSampleRows)));
    std::vector<RowDraw> out;
    if (!shape) return out;
    FieldRow row;
    std::vector<std::string> scratch;
    for (std::string_view line : lines) {
        splitLine(line, shape->delimiter, row, scratch, shape->columnsNeeded());
        if (auto d = drawOfRow(*shape, row)) out.push_back(*d);
    }
    return out;
}

}  // namespace

std::vector<DerivedDraw> parsePage(const PageContent& page, UpdatePlan& plan, int segBase, const UpdateGuard& guard) {
    plan.shape.clear();
    plan.misfit.reset();
    if (std::optional<JsonDraws> json = jsonDraws(page.text, guard); json && !json->draws.empty()) {
        plan.shape = json->shape;
        return takeRows(json->draws, plan, segBase);
    }
    std::vector<DerivedDraw> draws = parseUpdatePage(page.text, plan, segBase, guard);
    if (!draws.empty()) {
        plan.shape = "期号后紧跟三个号码（页面文字）";
        return draws;
    }
    // Nothing of that form: the tables, then the lines. What the text said stays when they give nothing.
    const std::string reason = plan.emptyReason;
    const std::optional<Misfit> misfit = plan.misfit;
    const std::optional<int64_t> start = plan.start;
    const int64_t end = plan.end;
    guard.check("分析页面");
    plan.misfit.reset();
    std::optional<ColumnShape> shape;
    std::vector<RowDraw> rows = rowsOfTables(page.rows, shape);
    std::string where = "（网页表格）";
    if (rows.empty()) {
        guard.check("分析页面");
        rows = rowsOfLines(page.text, shape);
        where = "（页面文字，" + (shape ? describeDelimiter(shape->delimiter) : std::string()) + "）";
    }
    if (!rows.empty()) {
        plan.shape = describeShape(*shape) + where;
        draws = takeRows(rows, plan, segBase);
        if (!draws.empty()) return draws;
    }
    if (!plan.misfit) plan.misfit = misfit;
    plan.emptyReason = rows.empty() ? reason : plan.emptyReason;
    if (rows.empty()) plan.shape.clear();
    plan.start = start;
    plan.end = end;
    return draws;
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
    plan.url = expandUrl(req.urlTemplate, req.code, plan.count, req.today);
    plan.dataDir = folderOf(store.path());
    plan.caption = req.caption;
    return plan;
}

FetchedUpdate fetchUpdate(UpdatePlan plan, const UpdateRequest& req) {
    const UpdateGuard guard(req.timeoutSeconds, req.cancel);
    FetchedPage page = fetchUrl(plan.url, guard, plan.dataDir);
    std::vector<DerivedDraw> draws = parsePage(readPage(page, guard), plan, req.segBase, guard);
    return {std::move(plan), std::move(draws)};
}

UpdateOutcome updateHistory(HistoryStore& store, const UpdateRequest& req) {
    FetchedUpdate fetched = fetchUpdate(planRequest(store, req), req);
    if (fetched.plan.misfit && !req.acceptMismatch) throw MismatchError(*fetched.plan.misfit);
    return applyUpdate(store, fetched.plan, fetched.draws, req.cancel);
}

}  // namespace k3
