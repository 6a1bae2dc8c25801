// Shortening the history: delete the newest draw, delete after an issue, delete the newest N, clear;
// the rebuild from the backup file (rebuildFromBackup) and the compaction of the database file (compactDatabase).
#pragma once
#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "history/text_import.h"
#include "store/derive.h"
#include "store/history_store.h"

namespace k3 {

// A trimming command could not do its work; the history is as it was before the command.
struct TrimError : Error {
    using Error::Error;
};

// A whole number above 0 typed into an input box (blanks around it allowed); nothing otherwise.
std::optional<int64_t> parsePositiveAnswer(std::string_view text);

// One backup line: the issue, one blank, then each die followed by one blank, then CR LF.
std::string backupLine(const LineDraw& d);
// Writes the draws to the backup file, replacing it. Throws TrimError.
void writeBackup(const std::string& path, std::span<const LineDraw> draws);
// Reads a backup file back into its draws, as written. A line that is not an issue followed by three
// dice 1..6 makes the whole file unreadable (TrimError).
std::vector<LineDraw> readBackupLines(const std::string& path);
// Reads a backup file back into draws derived with the segment base. A line that is not an issue
// followed by three dice 1..6 makes the whole file unreadable (TrimError).
std::vector<DerivedDraw> readBackup(const std::string& path, int segBase);

// Rebuilds the history from the backup file in one transaction. When `expected` is given, the file
// must hold exactly those draws, in that order, or nothing changes (TrimError).
size_t rebuildFromBackup(HistoryStore& store, const std::string& backupPath, int segBase,
                         std::optional<std::span<const LineDraw>> expected = std::nullopt);

// A trim compacts the file when at least this share of its pages is free.
inline constexpr double kCompactFreeShare = 0.25;

// VACUUM; returns the reason when it failed (the file is then as it was).
std::optional<std::string> compactDatabase(HistoryStore& store);

struct TrimResult {
    size_t removed = 0;
    size_t kept = 0;
    Note note;  // what was removed and kept; a warning when the compaction failed (the deletion stands)
};

// Each trim compacts the file afterwards when it freed a good part of it (kCompactFreeShare).
// Deletes the newest draw (nothing in an empty history), then compacts.
TrimResult deleteNewestDraw(HistoryStore& store);
// Keeps the draws whose issue is at most k (k > 0), rebuilt through the backup file, then compacts.
TrimResult deleteAfterIssue(HistoryStore& store, int64_t k, const std::string& backupPath, int segBase);
// Deletes the n newest draws (n > 0), the rest rebuilt through the backup file, then compacts.
TrimResult deleteLastDraws(HistoryStore& store, int64_t n, const std::string& backupPath, int segBase);
// Deletes every draw; no compaction.
size_t clearHistory(HistoryStore& store);

}  // namespace k3
