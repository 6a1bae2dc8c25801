// The update page on arbitrary bytes: the page text (HTML or plain, with or without a charset), then the draws
// in it. The text is UTF-8 or the page is refused with a FetchError; the draws are exactly those of the walk
// over every issue number of the range, counting only plausible occurrences (a real date and a draw number
// of the day; for running numbers a run of digits that is the issue and its first die), in ascending order,
// with dice 1..6. The same page as a file: address updates a history by exactly the draws the page gives in
// whichever shape it has (the text above first), or not at all.
//
// Input: byte 0 chooses the content type, the numbering, the draws per day and the range; byte 1 the range's
// length; the rest is the page.
#include <algorithm>
#include <chrono>
#include <optional>

#include "fuzz_support.h"
#include "history/online_update.h"
#include "store/issue.h"

using namespace k3fuzz;
using namespace std::chrono;

namespace {

const char* const kTypes[] = {"text/html", "text/plain; charset=GBK", "", "text/html; charset=GBK"};
const int kDrawsPerDay[] = {73, 78, 80, 82, 84, 87, 1, 999};
constexpr year_month_day kToday{year{2013}, month{3}, day{26}};

std::optional<std::u32string> decode(const std::string& s) {
    std::u32string out;
    for (size_t i = 0; i < s.size();) {
        const auto b = static_cast<unsigned char>(s[i]);
        const size_t len = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
        if (len == 0 || i + len > s.size()) return std::nullopt;
        char32_t cp = len == 1 ? b : len == 2 ? (b & 0x1F) : len == 3 ? (b & 0x0F) : (b & 0x07);
        for (size_t k = 1; k < len; ++k) {
            const auto c = static_cast<unsigned char>(s[i + k]);
            if ((c & 0xC0) != 0x80) return std::nullopt;
            cp = (cp << 6) | (c & 0x3F);
        }
        out += cp;
        i += len;
    }
    return out;
}

bool digit(char32_t c) { return c >= U'0' && c <= U'9'; }

std::u32string decimal(int64_t x) {
    const std::string s = std::to_string(x);
    return std::u32string(s.begin(), s.end());
}

bool plausibleAt(const std::u32string& text, size_t f, int64_t x, const k3::UpdatePlan& plan) {
    if (plan.runningNumbers) {
        size_t end = f;
        while (end < text.size() && digit(text[end])) ++end;
        return (f == 0 || !digit(text[f - 1])) && (end - f == decimal(x).size() + 1 || end - f == decimal(x).size());
    }
    const year_month_day d{year{2000 + static_cast<int>(x / 10000000)}, month{static_cast<unsigned>(x / 100000 % 100)},
                           day{static_cast<unsigned>(x / 1000 % 100)}};
    return x < 1000000000 && d.ok() && x % 1000 >= 1 && x % 1000 <= plan.drawsPerDay;
}

// For each number of the range, the first plausible occurrence one character after the last hit (from the
// start after a miss), and the dice at hit + width + 2, 4, 6.
Rows walk(const std::u32string& text, int64_t start, int64_t end, const k3::UpdatePlan& plan) {
    Rows out;
    const size_t w = static_cast<size_t>(plan.width);
    size_t pos = 0;
    for (int64_t x = start; x <= end; ++x) {
        size_t f = text.find(decimal(x), pos);
        while (f != std::u32string::npos && !plausibleAt(text, f, x, plan)) f = text.find(decimal(x), f + 1);
        pos = f == std::u32string::npos ? 0 : f + 1;
        // Running numbers: the dice right after the issue's digits, or apart from it as lone digits.
        size_t first = f + w + 2;
        bool apart = false;
        if (plan.runningNumbers) {
            first = f + decimal(x).size();
            apart = first < text.size() && !digit(text[first]);
            first += apart;
        }
        std::string dice;
        bool lone = true;
        for (size_t k = 0; pos && k < 3; ++k) {
            const size_t at = first + 2 * k;
            if (at < text.size() && text[at] >= U'1' && text[at] <= U'6') dice += static_cast<char>(text[at]);
            if (apart && (at + 1 < text.size() ? digit(text[at + 1]) : k < 2)) lone = false;
        }
        if (dice.size() == 3 && lone) out.emplace_back(static_cast<int32_t>(x), dice);
    }
    return out;
}

// Running numbers without a stored draw: the digits after "开奖时间" without the last one.
std::optional<int64_t> startAfterDrawTime(const std::u32string& text) {
    const size_t at = text.find(U"开奖时间");
    if (at == std::u32string::npos) return std::nullopt;
    size_t d = at;
    while (d < text.size() && !digit(text[d])) ++d;
    size_t e = d;
    while (e < text.size() && digit(text[e])) ++e;
    if (e - d < 2 || e - d > 10) return std::nullopt;
    int64_t v = 0;
    // The whole run when three lone dice follow it apart.
    bool apart = true;
    for (size_t k = 0, at = e + 1; k < 3 && apart; ++k, at += 2)
        apart = at < text.size() && text[at] >= U'1' && text[at] <= U'6' &&
                (at + 1 < text.size() ? !digit(text[at + 1]) : k == 2);
    for (size_t i = d; i < (apart ? e : e - 1); ++i) v = v * 10 + (text[i] - U'0');
    if (v <= 0 || v > INT32_MAX) return std::nullopt;
    return v;
}

void checkParse(const std::string& text, uint8_t mode, uint8_t span) {
    const auto chars = decode(text);
    require(chars.has_value(), "the page text is not UTF-8");
    k3::UpdatePlan plan;
    plan.runningNumbers = mode & 4;
    plan.drawsPerDay = kDrawsPerDay[(mode >> 3) & 7];
    if (plan.runningNumbers) {
        plan.width = 3;
        plan.count = span;
        if (!(mode & 0x40)) plan.start = 10000 + span * 37, plan.end = *plan.start + 300;
    } else {
        plan.start = mode & 0x40 ? 70326001 : 130325001;
        plan.end = *plan.start + span * 12;
    }
    const bool fromPage = !plan.start;
    const auto draws = k3::parseUpdatePage(text, plan, 1);
    if (fromPage) {
        const auto start = startAfterDrawTime(*chars);
        require(plan.start == start, "the first issue is not the one after 开奖时间");
        if (!start) {
            require(draws.empty(), "draws without a first issue");
            return;
        }
    }
    for (size_t i = 0; i < draws.size(); ++i) {
        requireDerived(draws[i], 1);
        require(i == 0 || draws[i - 1].sqqh < draws[i].sqqh, "draws not in ascending order");
        require(draws[i].sqqh >= *plan.start && draws[i].sqqh <= plan.end, "a draw outside the range");
    }
    require(rowsOf(draws) == walk(*chars, *plan.start, plan.end, plan), "the draws are not those of the walk");
}

// The page as a file: address: the history gains exactly the page's draws, or stays as it was.
void checkUpdate(const uint8_t* page, size_t size, uint8_t mode) {
    static FixedHistory history;
    const std::string path = writeInput("page", page, size);
    k3::UpdateRequest req;
    req.urlTemplate = "file://" + path;
    req.code = "fj";
    req.runningNumbers = mode & 4;
    req.drawsPerDay = kDrawsPerDay[(mode >> 3) & 7];
    req.years = 2;
    req.today = kToday;
    req.timeoutSeconds = 30;
    std::optional<k3::UpdateOutcome> outcome;
    std::vector<k3::DerivedDraw> expected;
    try {
        k3::UpdatePlan plan =
            k3::planUpdate(history.store().newestIssue(), req.runningNumbers, req.drawsPerDay, req.years, req.today);
        expected = k3::parsePage(k3::readPage(k3::FetchedPage{std::string(page, page + size), ""}), plan, 1);
        outcome = k3::updateHistory(history.store(), req);
    } catch (const k3::FetchError&) {
    } catch (const k3::MismatchError&) {  // issues that cannot be the province's: nothing stored
    }
    if (!outcome) {
        require(history.unchanged(), "a failed update changed the history");
        return;
    }
    // Draws older than the window go: by date, or for running numbers all but as many as the years hold.
    int64_t below = k3::dayBase(k3::yearsBefore(kToday, req.years));
    if (req.runningNumbers && !expected.empty())
        below = std::max<int64_t>(expected.back().sqqh, 130325077) - int64_t{req.years} * 365 * req.drawsPerDay + 1;
    Rows want;
    for (const auto& row : rowsOf(FixedHistory::base()))
        if (expected.empty() || row.first >= below) want.push_back(row);
    const size_t removed = FixedHistory::base().size() - want.size();
    require(outcome->added == expected.size() && outcome->removed == removed, "the update reports other numbers");
    for (const auto& row : rowsOf(expected)) want.push_back(row);
    require(history.rows() == want, "the history is not the old draws and the page's");
    history.restore();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const uint8_t mode = data[0], span = data[1];
    const k3::FetchedPage page{std::string(data + 2, data + size), kTypes[mode & 3]};
    try {
        checkParse(k3::pageText(page), mode, span);
    } catch (const k3::FetchError&) {
    }
    if (mode & 0x80) checkUpdate(data + 2, size - 2, mode);
    return 0;
}
