// Issue numbers YYMMDDNNN: the next issue, dates of issues, and the draw chosen by an issue number.
#pragma once
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace k3 {

struct Snapshot;

// A typed text without its leading and trailing blanks, as messages quote it.
std::string_view trimmedText(std::string_view text);
// Whole number of a text, or nothing when the text (blanks trimmed) is not a decimal whole number in range.
std::optional<int64_t> parseWhole(std::string_view text, int64_t lo, int64_t hi);
// An issue number typed or stored: a positive 32-bit whole number.
std::optional<int32_t> parseIssue(std::string_view text);

// Date of an issue YYMMDDNNN (year 2000 + YY); nothing when the digits are not a calendar date.
std::optional<std::chrono::year_month_day> issueDate(int64_t sqqh);
// YYMMDD000 of a date, the base of that day's issue numbers.
int64_t dayBase(std::chrono::year_month_day d);

// The issue after `last`: the next draw of the same day, or draw 001 of the following day once the
// day's last draw (drawsPerDay) is reached. Running numbers (Beijing) simply count on.
int64_t nextIssue(int64_t last, int drawsPerDay, bool runningNumbers);
// The same, or nothing when no issue follows: past 2147483647, the largest a history holds, or past the
// last draw of 2099 for a date-based issue (YY has two digits).
std::optional<int32_t> issueAfter(int64_t last, int drawsPerDay, bool runningNumbers);

// An issue as the user reads and the exports write it: a date-based issue with all nine digits, the
// leading zero of the years 2000-2009 included (080101001), also the day's base YYMMDD000 that a range
// may end at; running numbers, and numbers that read as no date, as they are.
std::string issueText(int64_t issue, bool runningNumbers);

// The draw chosen by an issue number (the "historical issue" tab): the last stored draw whose issue
// is not above the chosen one, and the end of the search range that goes with it.
struct ChosenDraw {
    std::optional<size_t> row;        // index into the snapshot; empty when there is none
    std::optional<int32_t> rangeEnd;  // new end of the search range; empty: keep the old one
};
ChosenDraw chooseDraw(const Snapshot& snap, std::string_view chosenText, bool onlyBefore);

}  // namespace k3
