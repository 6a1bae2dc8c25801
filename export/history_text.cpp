#include "export/history_text.h"

#include <charconv>
#include <filesystem>

#include "export/output_file.h"

namespace k3 {

std::string historyTextFileName(int32_t newestIssue) {
    return "更新至" + std::to_string(newestIssue) + "期历史号码.txt";
}

std::string historyText(const Snapshot& snap) {
    std::string out;
    out.reserve(snap.size() * 16);
    char buf[16];
    for (size_t i = 0; i < snap.size(); ++i) {
        auto [end, ec] = std::to_chars(buf, buf + sizeof buf, snap.issue(i));
        out.append(buf, end);
        out += ' ';
        for (int p = 1; p <= 3; ++p) out += static_cast<char>('0' + snap.die(i, p));
        out += "\r\n";
    }
    return out;
}

std::optional<TextExport> exportHistoryText(const Snapshot& snap, const std::string& dataDir, const std::string& path) {
    namespace fs = std::filesystem;
    if (snap.empty()) return std::nullopt;
    TextExport res;
    res.path =
        path.empty() ? (fs::path(dataDir) / fs::u8path(historyTextFileName(snap.issues().back()))).string() : path;
    res.lines = snap.size();
    for (int32_t issue : snap.issues())
        if (issue < 100000000 || issue > 999999999) ++res.shortIssues;

    writeOutputBytes(res.path, dataDir, historyText(snap));
    return res;
}

}  // namespace k3
