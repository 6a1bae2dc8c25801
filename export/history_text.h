// The history as a text file: one draw a line, "ISSUE DDD", each line ended by CR LF.
#pragma once
#include <cstdint>
#include <optional>
#include <string>

#include "export/export_error.h"
#include "store/snapshot.h"

namespace k3 {

// "更新至<newest issue>期历史号码.txt", the issue as issueText writes it.
std::string historyTextFileName(int32_t newestIssue, bool runningNumbers);

// The text of the file: per draw the issue (issueText: date-based issues with all nine digits, so
// the import reads them back), one blank, the three dice, CR LF.
std::string historyText(const Snapshot& snap, bool runningNumbers);

struct TextExport {
    std::string path;
    size_t lines = 0;
    size_t shortIssues = 0;  // issues that are not nine digits: the import will not read them back
};

// Writes the history to `path` (replacing it); an empty path means the default name in `dataDir`.
// An empty history writes nothing and returns nothing. Throws ExportError when the file cannot be
// written; a file that existed before is then left as it was. The target is checked by exportTarget
// (never the database or the backup of `dataDir`, only a regular file, a link written through).
std::optional<TextExport> exportHistoryText(const Snapshot& snap, bool runningNumbers, const std::string& dataDir,
                                            const std::string& path = {});

}  // namespace k3
