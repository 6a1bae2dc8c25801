// Whether an import should be confirmed first. An import replaces the whole history by the file; a
// file with fewer draws than are stored, or without a single stored issue, is most likely not the
// history the player means to replace (a file of only the newest draws, another province's history).
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "store/derive.h"
#include "store/history_store.h"

namespace k3 {

struct ImportComparison {
    size_t stored = 0;  // draws stored now, their first and last issue
    int32_t storedFirst = 0, storedLast = 0;
    size_t inFile = 0;  // draws of the file, their lowest and highest issue
    int32_t fileFirst = 0, fileLast = 0;
    bool sharesIssue = false;     // the file holds at least one stored issue
    bool runningNumbers = false;  // how the issues are written (issueText)

    // A history would shrink, or be replaced by one it has nothing in common with.
    bool askFirst() const { return stored > 0 && (inFile < stored || !sharesIssue); }
    // "已存 N 期（a—b），文件中 M 期（c—d）"
    std::string summary() const;
    // The summary and "：将以文件替换全部历史号码，确定吗？"
    std::string question() const;
};

// `storedIssues` in ascending order; the file's draws in any order.
ImportComparison compareImport(const std::vector<int32_t>& storedIssues, const std::vector<IssueDice>& fileDraws);
// The same against the history in the store.
ImportComparison compareImport(HistoryStore& store, const std::vector<IssueDice>& fileDraws);

}  // namespace k3
