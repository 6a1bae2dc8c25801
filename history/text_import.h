// Reading a history text file: one draw a line, "ISSUE DDD" (nine-digit issue, three dice 1..6).
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "store/derive.h"
#include "store/history_store.h"

namespace k3 {

// The file could not be opened or read; the history was not touched.
struct ImportError : Error {
    using Error::Error;
};

// Thrown by parseHistoryText when its progress callback asks to stop.
struct ImportCancelled : Error {
    ImportCancelled() : Error("已取消读入") {}
};

struct SkippedLine {
    size_t number = 0;  // 1-based line number in the file
    std::string text;   // the line without its line end
};

struct ParsedHistory {
    std::vector<DerivedDraw> draws;    // in file order
    std::vector<SkippedLine> skipped;  // lines that are not blank and yield no draw
};

// Called with the bytes read so far and the total; returning false cancels (nothing is changed).
using ImportProgress = std::function<bool(size_t done, size_t total)>;

// Called with the file's draws once they are read, before anything is stored; returning false leaves
// the history as it was and the import counts as cancelled.
using ImportConfirm = std::function<bool(const std::vector<DerivedDraw>& draws)>;

// The draw of one line, when the line carries its own nine-digit issue (columns 1-9) followed by its own
// three dice 1..6: the part after the issue, columns 10-14, with blanks trimmed, must be exactly the
// three dice. Columns after 14 are ignored.
using LineDraw = IssueDice;
std::optional<LineDraw> parseHistoryLine(std::string_view line);

// The derived draws of read lines, in their order.
std::vector<DerivedDraw> deriveAll(const std::vector<LineDraw>& lines, int segBase);

// Applies the line rules to a whole text. A line ends at CR LF, a lone CR or a lone LF. Lines without
// a draw and lines repeating an issue already read are skipped (and listed); blank lines are ignored.
ParsedHistory parseHistoryText(std::string_view text, int segBase, const ImportProgress& progress = {});

// Reads a file whole; throws ImportError when it cannot be opened or read.
std::string readWholeFile(const std::string& path);

struct ImportResult {
    size_t stored = 0;
    std::vector<SkippedLine> skipped;
    bool cancelled = false;
    bool refused = false;  // lines but not one draw: most likely the wrong file, so nothing was replaced
};

// Replaces the whole history by the draws of the file, in one transaction. A file that cannot be read,
// a cancel, or a file whose lines yield not a single draw leaves the history as it was. An empty file
// (no lines but blank ones) empties the history. `confirm`, when given, may still decline the replacement.
ImportResult importHistoryFile(HistoryStore& store, const std::string& path, int segBase,
                               const ImportProgress& progress = {}, const ImportConfirm& confirm = {});

}  // namespace k3
