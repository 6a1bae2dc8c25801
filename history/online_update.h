// The online update: which draws to ask for, the draws in the page's text, and storing them. Fetching and
// reading the page: history/update_page.h.
#pragma once
#include <atomic>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "history/province_fit.h"
#include "history/update_page.h"
#include "store/derive.h"
#include "store/history_store.h"

namespace k3 {

// What one update asks for and where it looks.
struct UpdatePlan {
    bool runningNumbers = false;  // Beijing: issues are running numbers, not dates
    int drawsPerDay = 78;
    int years = 6;                       // look-back window in years
    int days = 0;                        // days of draws requested
    int64_t count = 0;                   // n of the request: days x draws per day
    std::optional<int64_t> start;        // first issue searched (Beijing with an empty history: from the page)
    int64_t end = 0;                     // last issue searched (Beijing with an empty history: start + count)
    int width = 7;                       // date issues: die k of an issue found at p is the character at p + width + 2k
    std::optional<int64_t> deleteBelow;  // draws below this issue fall out of the window (date issues)
    std::string url;
    std::string dataDir;             // the history's folder: a file: address never reads one of its databases
    std::string caption = "本彩种";  // the province, as misfits are named
    // Set by the parse: when the page gave no draw, why; how the draws were read from the page; the first
    // issue on the page that cannot be the province's (a draw number above the draws per day, running
    // numbers into a date-based province or the reverse). Such issues are never taken.
    std::string emptyReason;
    std::string shape;
    std::optional<Misfit> misfit;
};

// The days between two dates (b - a).
int daysBetween(std::chrono::year_month_day a, std::chrono::year_month_day b);
// The same day `years` years earlier (29 February becomes 28 February).
std::chrono::year_month_day yearsBefore(std::chrono::year_month_day d, int years);

// Plans an update of a history whose newest issue is `newest` (nothing: empty history).
UpdatePlan planUpdate(std::optional<int32_t> newest, bool runningNumbers, int drawsPerDay, int years,
                      std::chrono::year_month_day today);

// The request address: the template with "{code}", "{n}" and "{date}" (today as YYYY-MM-DD) replaced.
std::string expandUrl(std::string_view tmpl, std::string_view code, int64_t n,
                      std::optional<std::chrono::year_month_day> today = std::nullopt);

// Whether an occurrence of `issue` in a text is taken as that issue. Date issues: the number is a real date
// YYMMDD followed by a draw number from 1 to the draws per day. Running numbers: the occurrence starts a run
// of digits and the run is the issue followed by its first die (`runLength` = digits of the issue + 1), or
// the issue alone (`runLength` = its digits), for any number of digits.
bool plausibleIssue(const UpdatePlan& plan, int64_t issue, size_t runLength, bool startsRun);

// The draws of a page text: for each issue number from start to end in ascending order, the text is
// searched from one character after the last hit (from the beginning before the first hit and after a
// miss). A date issue's hit takes its dice at hit + width + 2, + 4, + 6 (in characters). A running number's
// dice follow its own digits: glued to it, at hit + digits, + 2, + 4; apart from it, at hit + digits + 1,
// + 3, + 5, each a single digit followed by one character that is not a digit. Only plausible occurrences
// are hits (plausibleIssue); draws whose dice are not digits 1..6 are skipped. For a running-number history
// without a start, the start is the run of digits after "开奖时间" without its last digit, or the whole run
// when three separate dice follow it. No draw: plan.emptyReason says why. Runs in time proportional to the
// text, not the range; the guard is checked as it goes.
std::vector<DerivedDraw> parseUpdatePage(std::string_view utf8Text, UpdatePlan& plan, int segBase,
                                         const UpdateGuard& guard = {});

// The draws of a page in whichever shape it has: a JSON answer (an array of objects with the issue and the
// dice); else the page's text of the form above (parseUpdatePage), exactly as it reads; else the rows of its
// tables, the issue in one cell and the dice in the same row (in one cell, or one element or cell each);
// else its lines, by the shapes of players' files. The dice of an issue come from its own row only. Only the
// issues of the plan's range are taken (a running-number history without a start: every issue of the page,
// the start becoming the lowest); plan.shape says which shape was read.
std::vector<DerivedDraw> parsePage(const PageContent& page, UpdatePlan& plan, int segBase,
                                   const UpdateGuard& guard = {});

struct UpdateOutcome {
    size_t added = 0;
    size_t removed = 0;  // old draws that fell out of the window
    std::string note;    // no draw on the page: why (no issue of the range found, or no dice after it)
};
// Appends the draws and deletes those older than the window, in one transaction. No draws: no change. A
// cancel set before the first write throws UpdateCancelled and nothing is stored.
UpdateOutcome applyUpdate(HistoryStore& store, const UpdatePlan& plan, const std::vector<DerivedDraw>& draws,
                          const std::atomic<bool>* cancel = nullptr);

// One whole update for scripted use: plan, fetch, parse, apply; the time limit and the cancel cover all of
// it up to the write. Throws FetchError or UpdateCancelled (nothing changed).
struct UpdateRequest {
    std::string urlTemplate;
    std::string code;
    bool runningNumbers = false;
    int drawsPerDay = 78;
    int years = 6;
    std::chrono::year_month_day today;
    int segBase = 1;
    long timeoutSeconds = 60;
    const std::atomic<bool>* cancel = nullptr;
    std::string caption = "本彩种";  // the province, as misfits are named
    bool acceptMismatch = false;     // store the draws that fit although the page holds issues that do not
};
// The page holds issues that cannot be the province's and the request did not accept them; nothing changed.
struct MismatchError : Error {
    explicit MismatchError(const Misfit& m) : Error(m.message() + "，历史号码未作改动"), misfit(m) {}
    Misfit misfit;
};
UpdateOutcome updateHistory(HistoryStore& store, const UpdateRequest& req);

// The steps of updateHistory, for a caller that fetches away from the thread that owns the store:
// the plan (reads the newest stored issue), then the fetch and parse (touches no database).
UpdatePlan planRequest(HistoryStore& store, const UpdateRequest& req);
struct FetchedUpdate {
    UpdatePlan plan;  // as the parse left it (a running-number start found on the page)
    std::vector<DerivedDraw> draws;
};
FetchedUpdate fetchUpdate(UpdatePlan plan, const UpdateRequest& req);

}  // namespace k3
