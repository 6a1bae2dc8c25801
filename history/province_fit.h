// Whether the draws of a file or a page can be the province's own: a date-based province numbers its draws
// by the date and the draw of the day (at most its draws per day); 北京快3 counts them on.
#pragma once
#include <cstdint>
#include <optional>
#include <string>

#include "history/shape_recognition.h"
#include "store/province.h"

namespace k3 {

struct ProvinceRule {
    std::string caption;  // 福建快3
    int drawsPerDay = 78;
    bool runningNumbers = false;
};
ProvinceRule provinceRule(int index);

// Why an issue cannot be one of a date-based province's, or nothing when it can: it is not written as a
// date, or its draw number is above the draws per day. A running-number province is decided over all the
// draws at once (firstDatedOfRunning).
std::optional<std::string> misfitOfDated(const ReadIssue& issue, const ProvinceRule& rule);

// How an issue of the program's own format (nine digits) reads: a date with a draw number 1..999, or not.
ReadIssue ownIssue(int64_t issue);

// The misfit said of a running-number province when every draw of a file or page is numbered by date.
std::string datedIntoRunning(const ProvinceRule& rule);

// The first line whose draw does not fit, as it is named to the player.
struct Misfit {
    size_t line = 0;   // 1-based line or row; 0 for a page
    std::string text;  // the line, or the issue on a page
    std::string why;   // "超过了福建快3每天的 78 期"
    // "第 12 行「191027079 135」的期号超过了福建快3每天的 78 期：这些号码可能是另一个省的"
    std::string message() const;
};

// Tracks the draws of a file as they are read, in file order, and keeps the first that does not fit.
class FitCheck {
public:
    explicit FitCheck(ProvinceRule rule) : rule_(std::move(rule)) {}
    void draw(const ReadIssue& issue, size_t line, std::string_view text);
    // The first misfit; for a running-number province, the first line when every draw was dated.
    std::optional<Misfit> result() const;
    const ProvinceRule& rule() const { return rule_; }

private:
    ProvinceRule rule_;
    std::optional<Misfit> first_;
    std::optional<Misfit> firstDated_;
    size_t draws_ = 0, dated_ = 0;
};

}  // namespace k3
