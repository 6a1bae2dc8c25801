#include "history/province_fit.h"

#include "history/text_import.h"
#include "store/issue.h"

namespace k3 {

ProvinceRule provinceRule(int index) {
    const Province& p = province(index);
    return {p.caption, p.drawsPerDay, index == kBeijingIndex};
}

std::optional<std::string> misfitOfDated(const ReadIssue& issue, const ProvinceRule& rule) {
    if (!issue.dated())
        return "不是按日期编的期号（" + rule.caption + "的期号是日期加当天的第几期，每天 " +
               std::to_string(rule.drawsPerDay) + " 期）";
    if (issue.issue % 1000 > rule.drawsPerDay)
        return "超过了" + rule.caption + "每天的 " + std::to_string(rule.drawsPerDay) + " 期";
    return std::nullopt;
}

ReadIssue ownIssue(int64_t issue) {
    const bool dated = issue % 1000 >= 1 && issueDate(issue).has_value();
    return {issue, dated ? IssueForm::kNine : IssueForm::kRunning};
}

std::string datedIntoRunning(const ProvinceRule& rule) {
    return "是按日期编的期号，" + rule.caption + "的期号是连续编号（文件中的期号都是这样）";
}

std::string Misfit::message() const {
    std::string where = line > 0 ? "第 " + std::to_string(line) + " 行「" + reportedLine(text) + "」的期号"
                                 : "页面中的期号 " + text + " ";
    return where + why + "：这些号码可能是另一个省的";
}

void FitCheck::draw(const ReadIssue& issue, size_t line, std::string_view text) {
    ++draws_;
    if (rule_.runningNumbers) {
        if (!issue.dated()) return;
        if (dated_++ == 0) firstDated_ = Misfit{line, std::string(text), datedIntoRunning(rule_)};
        return;
    }
    if (first_) return;
    if (auto why = misfitOfDated(issue, rule_)) first_ = Misfit{line, std::string(text), *why};
}

std::optional<Misfit> FitCheck::result() const {
    if (rule_.runningNumbers) return draws_ > 0 && dated_ == draws_ ? firstDated_ : std::nullopt;
    return first_;
}

}  // namespace k3
