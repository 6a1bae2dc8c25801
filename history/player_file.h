// A player's history file of whatever shape, read as draws: the program's own format by its line rules when
// they read any line of the file; any other text, or the first sheet of a workbook, by the shape recognised
// from its lines. With what a preview shows before anything is stored.
#pragma once
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "history/province_fit.h"
#include "history/shape_recognition.h"
#include "history/text_import.h"

namespace k3 {

// One of the first lines of the file beside what it yields.
struct PreviewLine {
    enum class Kind { kDraw, kRepeat, kHeader, kSkipped };
    size_t number = 0;  // 1-based line (the row of a workbook)
    std::string text;   // the line as read, cut; a workbook's cells separated by tabs
    Kind kind = Kind::kSkipped;
    IssueDice draw{0, 0, 0, 0};  // kDraw and kRepeat
};
inline constexpr size_t kPreviewLines = 12;

struct PlayerFile {
    bool ownFormat = false;
    std::optional<ColumnShape> shape;  // the recognised shape, when not the own format
    std::string source;                // "UTF-8 文本", "GBK 文本", "xlsx 工作簿", ...
    size_t headerLines = 0;            // lines recognised as headers (not counted as skipped)
    ParsedLines parsed;                // draws in issue order, each issue once; the skipped lines
    std::vector<PreviewLine> preview;  // the first kPreviewLines lines that are not blank
    std::optional<Misfit> misfit;      // the first draw that cannot be the province's (when one was given)

    // The shape in words, for the first line of a report: "期号 11 位，号码以逗号分隔，第 2、3 列（逗号分列，
    // UTF-8 文本，有标题行）" or "本程序的历史号码格式（期号 9 位，空格，3 位号码；UTF-8 文本）".
    std::string shapeText() const;
};

struct PlayerFileOptions {
    std::optional<int> province;  // the province index the draws are checked against; none: no check
    ImportProgress progress;      // as the line rules take it; false cancels (ImportCancelled)
    std::string dataDir;          // the history's folder: none of its databases is ever opened as a file
};

// Reads a file (through readWholeFile; an .xls through checkPlayerFileBeforeOpen and FreeXL). A workbook is
// known by its first bytes, whatever its name. Throws ImportError, ImportCancelled.
PlayerFile readPlayerFile(const std::string& path, const PlayerFileOptions& options = {});
// The same for the bytes of a text or an .xlsx workbook already read; `name` only names it in messages.
PlayerFile readPlayerBytes(std::string bytes, const PlayerFileOptions& options = {}, const std::string& name = "");

}  // namespace k3
