#include "issue.h"

#include <algorithm>
#include <charconv>

#include "snapshot.h"

namespace k3 {

using namespace std::chrono;

std::string_view trimmedText(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r' || text.back() == '\n'))
        text.remove_suffix(1);
    return text;
}

std::optional<int64_t> parseWhole(std::string_view text, int64_t lo, int64_t hi) {
    text = trimmedText(text);
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    if (text.empty()) return std::nullopt;
    int64_t v = 0;
    auto [p, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc() || p != text.data() + text.size() || v < lo || v > hi) return std::nullopt;
    return v;
}

std::optional<int32_t> parseIssue(std::string_view text) {
    auto v = parseWhole(text, 1, INT32_MAX);
    if (!v) return std::nullopt;
    return static_cast<int32_t>(*v);
}

std::optional<year_month_day> issueDate(int64_t sqqh) {
    if (sqqh <= 0) return std::nullopt;
    int64_t yymmdd = sqqh / 1000;
    int yy = static_cast<int>(yymmdd / 10000), mm = static_cast<int>(yymmdd / 100 % 100),
        dd = static_cast<int>(yymmdd % 100);
    if (yy > 99) return std::nullopt;
    year_month_day d{year{2000 + yy}, month{static_cast<unsigned>(mm)}, day{static_cast<unsigned>(dd)}};
    if (!d.ok()) return std::nullopt;
    return d;
}

int64_t dayBase(year_month_day d) {
    int yy = static_cast<int>(d.year()) - 2000;
    return (static_cast<int64_t>(yy) * 10000 + static_cast<unsigned>(d.month()) * 100 +
            static_cast<unsigned>(d.day())) *
           1000;
}

int64_t nextIssue(int64_t last, int drawsPerDay, bool runningNumbers) {
    if (runningNumbers) return last + 1;
    auto date = issueDate(last);
    // A draw number at or past the day's count rolls over; a number that is no date just counts on.
    if (date && last % 1000 >= drawsPerDay) return dayBase(year_month_day{sys_days{*date} + days{1}}) + 1;
    return last + 1;
}

std::optional<int32_t> issueAfter(int64_t last, int drawsPerDay, bool runningNumbers) {
    const int64_t next = nextIssue(last, drawsPerDay, runningNumbers);
    if (next > INT32_MAX) return std::nullopt;
    if (!runningNumbers && issueDate(last) && !issueDate(next)) return std::nullopt;
    return static_cast<int32_t>(next);
}

std::string issueText(int64_t issue, bool runningNumbers) {
    std::string text = std::to_string(issue);
    if (runningNumbers || issue <= 0 || text.size() >= 9 || !issueDate(issue)) return text;
    return std::string(9 - text.size(), '0') + text;
}

ChosenDraw chooseDraw(const Snapshot& snap, std::string_view chosenText, bool onlyBefore) {
    ChosenDraw out;
    if (snap.empty()) return out;
    const std::vector<int32_t>& issues = snap.issues();
    if (!onlyBefore) out.rangeEnd = issues.back();
    auto t = parseWhole(chosenText, INT32_MIN, INT32_MAX);
    if (!t) return out;
    // Last row whose issue is not above the chosen one.
    auto it = std::upper_bound(issues.begin(), issues.end(), *t, [](int64_t v, int32_t issue) { return v < issue; });
    if (it == issues.begin()) return out;
    --it;
    out.row = static_cast<size_t>(it - issues.begin());
    if (onlyBefore) out.rangeEnd = *it - 1;
    return out;
}

}  // namespace k3
