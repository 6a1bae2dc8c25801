#include "export/workbook.h"

#include <cstdlib>

#include "export/output_file.h"
#include "export/xlsx_book.h"

namespace k3 {

namespace {

// A cell is written as a number when its text is a plain decimal that a double holds exactly as shown:
// an optional minus, an integer part without leading zeros, an optional fraction, at most 15 digits.
// "01" stays text so that a group such as segment values 0 and 1 keeps its leading zero.
bool readsAsNumber(const std::string& s, double& out) {
    size_t i = 0, n = s.size(), digits = 0;
    if (i < n && s[i] == '-') ++i;
    size_t intStart = i;
    while (i < n && s[i] >= '0' && s[i] <= '9') ++i, ++digits;
    size_t intLen = i - intStart;
    if (intLen == 0 || (intLen > 1 && s[intStart] == '0')) return false;
    if (i < n && s[i] == '.') {
        ++i;
        size_t fracStart = i;
        while (i < n && s[i] >= '0' && s[i] <= '9') ++i, ++digits;
        if (i == fracStart) return false;
    }
    if (i != n || digits > 15) return false;
    out = std::strtod(s.c_str(), nullptr);
    return true;
}

// A date-based issue of 2000-2009 (080101001): nine digits with a leading zero, written as a number
// shown with the format 000000000, so the sheet reads as the grid and still sorts as numbers.
bool readsAsZeroLedIssue(const std::string& s, double& out) {
    if (s.size() != 9 || s[0] != '0' || s.find_first_not_of("0123456789") != std::string::npos) return false;
    out = std::strtod(s.c_str(), nullptr);
    return true;
}

}  // namespace

void writeWorkbook(const Grid& grid, const std::string& path, const std::string& dataDir) {
    if (grid.rowCount() > LXW_ROW_MAX)
        throw ExportError("表格有 " + std::to_string(grid.rowCount()) + " 行，超过工作表的上限 " +
                          std::to_string(LXW_ROW_MAX) + " 行，未写入 " + path);
    if (grid.columnCount() > LXW_COL_MAX) throw ExportError("表格列数超过工作表的上限，未写入 " + path);

    writeOutputFile(path, dataDir, [&](const std::string& side) {
        XlsxBook book(side);
        lxw_worksheet* ws = book.sheet();
        lxw_format* nineDigits = workbook_add_format(book.workbook());
        format_set_num_format(nineDigits, "000000000");
        lxw_error err = LXW_NO_ERROR;
        for (size_t r = 0; r < grid.rowCount() && err == LXW_NO_ERROR; ++r) {
            const auto& cells = r == 0 ? grid.header : grid.rows[r - 1];
            for (size_t c = 0; c < cells.size() && err == LXW_NO_ERROR; ++c) {
                const std::string& text = cells[c];
                if (text.empty()) continue;
                double v = 0;
                auto row = static_cast<lxw_row_t>(r);
                auto col = static_cast<lxw_col_t>(c);
                if (readsAsNumber(text, v))
                    err = worksheet_write_number(ws, row, col, v, nullptr);
                else if (readsAsZeroLedIssue(text, v))
                    err = worksheet_write_number(ws, row, col, v, nineDigits);
                else
                    err = worksheet_write_string(ws, row, col, text.c_str(), nullptr);
            }
        }
        book.close(err);
    });
}

}  // namespace k3
