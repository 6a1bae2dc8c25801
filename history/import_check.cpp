#include "history/import_check.h"

#include <algorithm>

#include "store/issue.h"

namespace k3 {

namespace {

std::string counted(size_t n, int32_t first, int32_t last, bool runningNumbers) {
    std::string s = std::to_string(n) + " 期";
    if (n > 0) s += "（" + issueText(first, runningNumbers) + "—" + issueText(last, runningNumbers) + "）";
    return s;
}

}  // namespace

std::string ImportComparison::summary() const {
    return "已存 " + counted(stored, storedFirst, storedLast, runningNumbers) + "，文件中 " +
           counted(inFile, fileFirst, fileLast, runningNumbers);
}

std::string ImportComparison::question() const { return summary() + "：将以文件替换全部历史号码，确定吗？"; }

ImportComparison compareImport(const std::vector<int32_t>& storedIssues, const std::vector<IssueDice>& fileDraws) {
    ImportComparison c;
    c.stored = storedIssues.size();
    if (!storedIssues.empty()) {
        c.storedFirst = storedIssues.front();
        c.storedLast = storedIssues.back();
    }
    c.inFile = fileDraws.size();
    for (size_t i = 0; i < fileDraws.size(); ++i) {
        const int32_t issue = fileDraws[i].issue;
        c.fileFirst = i == 0 ? issue : std::min(c.fileFirst, issue);
        c.fileLast = i == 0 ? issue : std::max(c.fileLast, issue);
        if (!c.sharesIssue) c.sharesIssue = std::binary_search(storedIssues.begin(), storedIssues.end(), issue);
    }
    return c;
}

ImportComparison compareImport(HistoryStore& store, const std::vector<IssueDice>& fileDraws) {
    return compareImport(store.issues(), fileDraws);
}

}  // namespace k3
