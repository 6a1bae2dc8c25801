#include "export/history_text.h"

#include <charconv>
#include <filesystem>

#include "export/output_file.h"
#include "store/issue.h"

namespace k3 {

std::string historyTextFileName(int32_t newestIssue, bool runningNumbers) {
    return "更新至" + issueText(newestIssue, runningNumbers) + "期历史号码.txt";
}

std::string historyText(const Snapshot& snap, bool runningNumbers) {
    std::string out;
    out.reserve(snap.size() * 16);
    char buf[16];
    for (size_t i = 0; i < snap.size(); ++i) {
        const int32_t issue = snap.issue(i);
        if (issue >= 100000000 || runningNumbers) {
            auto [end, ec] = std::to_chars(buf, buf + sizeof buf, issue);
            out.append(buf, end);
        } else {
            out += issueText(issue, false);
        }
        out += ' ';
        for (int p = 1; p <= 3; ++p) out += static_cast<char>('0' + snap.die(i, p));
        out += "\r\n";
    }
    return out;
}

std::optional<TextExport> exportHistoryText(const Snapshot& snap, bool runningNumbers, const std::string& dataDir,
                                            const std::string& path) {
    namespace fs = std::filesystem;
    if (snap.empty()) return std::nullopt;
    TextExport res;
    res.path =
        path.empty()
            ? (fs::path(dataDir) / fs::u8path(historyTextFileName(snap.issues().back(), runningNumbers))).string()
            : path;
    res.lines = snap.size();
    for (int32_t issue : snap.issues())
        if (issue < 100000000 && issueText(issue, runningNumbers).size() != 9) ++res.shortIssues;

    writeOutputBytes(res.path, dataDir, historyText(snap, runningNumbers));
    return res;
}

}  // namespace k3
