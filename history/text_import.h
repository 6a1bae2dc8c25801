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

// The report of skipped lines is kept short, whatever the file: the first lines, each cut (with "…"),
// and the count of all of them.
inline constexpr size_t kSkippedListLimit = 1000;
inline constexpr size_t kSkippedTextLimit = 200;  // characters (UTF-8 code points)

// A skipped line as the report lists it: at most kSkippedTextLimit characters, then "…".
std::string reportedLine(std::string_view line);

struct ParsedHistory {
    std::vector<DerivedDraw> draws;    // in file order
    std::vector<SkippedLine> skipped;  // the first kSkippedListLimit lines that are not blank and yield no draw
    size_t skippedCount = 0;           // all of them
};

// Called with the bytes read so far and the total; returning false cancels (nothing is changed).
using ImportProgress = std::function<bool(size_t done, size_t total)>;

// Called with the file's draws once they are read, before anything is stored; returning false leaves
// the history as it was and the import counts as cancelled.
using ImportConfirm = std::function<bool(const std::vector<IssueDice>& draws)>;

// The draw of one line, when the line carries its own nine-digit issue (columns 1-9) followed by its own
// three dice 1..6: the part after the issue, columns 10-14, with blanks trimmed, must be exactly the
// three dice. Columns after 14 are ignored.
using LineDraw = IssueDice;
std::optional<LineDraw> parseHistoryLine(std::string_view line);

// The derived draws of read lines, in their order.
std::vector<DerivedDraw> deriveAll(const std::vector<LineDraw>& lines, int segBase);

struct ParsedLines {
    std::vector<LineDraw> draws;       // in issue order, each issue from the first line that carries it
    std::vector<SkippedLine> skipped;  // as in ParsedHistory
    size_t skippedCount = 0;
};

// Applies the line rules to a whole text. A line ends at CR LF, a lone CR or a lone LF. Lines without
// a draw and lines repeating an issue already read are skipped (and listed); blank lines are ignored.
ParsedLines parseHistoryLines(std::string_view text, const ImportProgress& progress = {});
// The same, with the draws derived and in file order.
ParsedHistory parseHistoryText(std::string_view text, int segBase, const ImportProgress& progress = {});

// Refuses (ImportError naming it) a history database of `dataDir` or one of its side files, however
// the path names it, without opening it: only SQLite may open those. Every reader of a player's file
// calls it before opening the file.
void refuseHistoryDatabase(const std::string& path, const std::string& dataDir);

// Reads a regular file whole; throws ImportError when it cannot be opened or read, and refuses what is
// not a regular file: a folder, a device (/dev/zero), a pipe, or a file whose content does not match
// its size (/proc/self/cmdline), and a history database of `dataDir` (refuseHistoryDatabase). Opening
// never waits for a pipe's writer. Every player's file is opened here, and only here.
std::string readWholeFile(const std::string& path, const std::string& dataDir);
// The checks readWholeFile makes of a name before it opens it (a history database of `dataDir`, a folder,
// a device, a pipe); a reader that opens a player's file by path itself (FreeXL for .xls) makes them first
// too. Throws ImportError.
void checkPlayerFileBeforeOpen(const std::string& path, const std::string& dataDir);

// The text of a file as lines can be read from it: a UTF-8 byte-order mark is dropped, and a UTF-16
// file (byte-order mark FF FE or FE FF) is turned into UTF-8. Any other text stays as it is.
std::string decodeText(std::string bytes);
// readWholeFile, then decodeText.
std::string readTextFile(const std::string& path, const std::string& dataDir);

struct ImportResult {
    size_t stored = 0;
    std::vector<SkippedLine> skipped;  // the first kSkippedListLimit skipped lines, each cut
    size_t skippedCount = 0;           // all skipped lines
    bool cancelled = false;
    bool refused = false;  // lines but not one draw: most likely the wrong file, so nothing was replaced
};

// Replaces the whole history by the draws of a file in the program's own format, in one transaction (files of
// other shapes: readPlayerFile). A file
// that cannot be read, a cancel, or a file whose lines yield not a single draw leaves the history as it was. An empty
// file (no lines but blank ones) empties the history. A history that cannot be changed is reported, as StoreError: a
// read-only one before the file is read, a damaged one before anything is stored. `confirm`, when given, may still
// decline the replacement.
ImportResult importHistoryFile(HistoryStore& store, const std::string& path, int segBase,
                               const ImportProgress& progress = {}, const ImportConfirm& confirm = {});

}  // namespace k3
