// The first sheet of a player's workbook as lines of text: one line per row (a row the sheet leaves out is
// an empty line, so that line numbers are row numbers), the cells separated by tabs. A number cell is
// written as a spreadsheet shows it without a format: a whole number without ".0" or an exponent
// (20191027001), other numbers as they are stored. Tabs and line breaks inside a cell become blanks.
#pragma once
#include <string>
#include <string_view>

#include "history/text_import.h"

namespace k3 {

// The file starts as a workbook of that kind (by its first bytes, whatever its name).
bool looksLikeXlsx(std::string_view bytes);  // a ZIP container
bool looksLikeXls(std::string_view bytes);   // an OLE compound file (Excel 97-2003)

// An .xlsx workbook (Excel, WPS, LibreOffice) read from its bytes; `path` only names it in messages.
// Throws ImportError when it is no workbook or cannot be read whole; ImportCancelled when the progress
// says so.
std::string xlsxText(std::string_view bytes, const std::string& path, const ImportProgress& progress = {});

// An .xls workbook, which its library opens by path itself: the checks every player's file passes before it
// is opened come first. Throws ImportError as above.
std::string xlsText(const std::string& path, const std::string& dataDir, const ImportProgress& progress = {});

}  // namespace k3
