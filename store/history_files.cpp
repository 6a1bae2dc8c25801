#include "store/history_files.h"

#include <filesystem>
#include <optional>

#include "store/platform.h"

namespace fs = std::filesystem;

namespace k3 {

namespace {

bool startsWithNoCase(std::string_view s, std::string_view prefix) {
    if (s.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
        char c = s[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != prefix[i]) return false;
    }
    return true;
}

bool endsWithNoCase(std::string_view s, std::string_view suffix) {
    return s.size() >= suffix.size() && startsWithNoCase(s.substr(s.size() - suffix.size()), suffix);
}

HistoryFile kindOfName(std::string_view name) {
    if (isHistoryDatabaseName(name)) return HistoryFile::kDatabase;
    if (isHistoryBackupName(name)) return HistoryFile::kBackup;
    return HistoryFile::kNone;
}

}  // namespace

bool isHistoryDatabaseName(std::string_view name) {
    for (std::string_view side : {"-wal", "-shm", "-journal"})
        if (endsWithNoCase(name, side)) {
            name.remove_suffix(side.size());
            break;
        }
    if (!endsWithNoCase(name, ".db")) return false;
    name.remove_suffix(3);
    // gapbook, or gapbook- and the province's code
    return name.size() == 7 ? startsWithNoCase(name, "gapbook") : name.size() > 8 && startsWithNoCase(name, "gapbook-");
}

bool isHistoryBackupName(std::string_view name) {
    return startsWithNoCase(name, "lsbf") && endsWithNoCase(name, ".txt");
}

HistoryFile historyFileOf(const std::string& path, const std::string& dataDir) {
    if (dataDir.empty() || path.empty()) return HistoryFile::kNone;
    const std::optional<FileIdentity> data = fileIdentity(dataDir);
    if (!data) return HistoryFile::kNone;
    // In the data folder under a history file's name: one of them, or it would become one.
    const fs::path p(path);
    const HistoryFile named = kindOfName(p.filename().string());
    if (named != HistoryFile::kNone && fileIdentity(p.has_parent_path() ? p.parent_path().string() : ".") == data)
        return named;
    // Any other name of one of them (a link, a hard link): the same file. Listing the folder reads its
    // entries, not the files.
    const std::optional<FileIdentity> target = fileIdentity(path);
    if (!target) return HistoryFile::kNone;
    std::error_code ec;
    for (fs::directory_iterator it(dataDir, ec), end; !ec && it != end; it.increment(ec)) {
        const HistoryFile kind = kindOfName(it->path().filename().string());
        if (kind != HistoryFile::kNone && fileIdentity(it->path().string()) == target) return kind;
    }
    return HistoryFile::kNone;
}

std::string folderOf(const std::string& path) {
    const fs::path p(std::u8string(path.begin(), path.end()));
    if (!p.has_parent_path()) return ".";
    const std::u8string folder = p.parent_path().u8string();
    return std::string(folder.begin(), folder.end());
}

}  // namespace k3
