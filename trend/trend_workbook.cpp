#include "trend/trend_workbook.h"

#include <xlsxwriter.h>

#include "export/output_file.h"

namespace k3 {

void writeTrendWorkbook(const TrendChart& chart, const std::string& path, const std::string& dataDir) {
    const size_t rows = chart.rowCount() + 5;  // header, draws, four statistic rows
    if (rows > LXW_ROW_MAX)
        throw ExportError("走势图有 " + std::to_string(rows) + " 行，超过工作表的上限 " + std::to_string(LXW_ROW_MAX) +
                          " 行，未写入 " + path);
    writeOutputFile(path, dataDir, [&](const std::string& side) {
        lxw_workbook_options opt{};
        opt.constant_memory = LXW_TRUE;  // rows go out in order; a long range needs no grid-sized memory
        lxw_workbook* wb = workbook_new_opt(side.c_str(), &opt);
        if (!wb) throw ExportError("无法创建工作簿 " + path);
        lxw_worksheet* ws = workbook_add_worksheet(wb, "Sheet1");
        std::array<lxw_format*, kTrendGroupCount> fill{};
        for (int g = 0; g < kTrendGroupCount; ++g) {
            lxw_format* f = workbook_add_format(wb);
            format_set_bg_color(f, static_cast<lxw_color_t>(trendGroupColour(static_cast<TrendGroup>(g))));
            format_set_pattern(f, LXW_PATTERN_SOLID);
            format_set_font_color(f, LXW_COLOR_WHITE);
            format_set_bold(f);
            fill[static_cast<size_t>(g)] = f;
        }
        // A date-based issue keeps its nine digits (080101001) as the grids show it.
        lxw_format* nineDigits = workbook_add_format(wb);
        format_set_num_format(nineDigits, "000000000");
        lxw_error err = ws ? LXW_NO_ERROR : LXW_ERROR_MEMORY_MALLOC_FAILED;
        auto text = [&](size_t r, int c, const std::string& s) {
            if (err == LXW_NO_ERROR && !s.empty())
                err = worksheet_write_string(ws, static_cast<lxw_row_t>(r), static_cast<lxw_col_t>(c), s.c_str(),
                                             nullptr);
        };
        auto number = [&](size_t r, int c, double v, lxw_format* f) {
            if (err == LXW_NO_ERROR)
                err = worksheet_write_number(ws, static_cast<lxw_row_t>(r), static_cast<lxw_col_t>(c), v, f);
        };
        const std::vector<std::string> header = trendHeader();
        for (size_t c = 0; c < header.size(); ++c) text(0, static_cast<int>(c), header[c]);
        const auto& items = trendItems();
        std::vector<TrendCell> cells;
        constexpr size_t kBatch = 4096;
        for (size_t from = 0; from < chart.rowCount() && err == LXW_NO_ERROR; from += kBatch) {
            chart.cells(from, kBatch, cells);
            for (size_t k = 0; k * kTrendColumns < cells.size(); ++k) {
                const size_t r = from + k, row = r + 1;
                const Snapshot::Dice& d = chart.dice(r);
                const std::string issue = chart.issueText(r);
                number(row, 0, chart.issue(r), issue.size() == 9 && issue[0] == '0' ? nineDigits : nullptr);
                number(row, 1, d[0] * 100 + d[1] * 10 + d[2], nullptr);
                number(row, 2, chart.sum(r), nullptr);
                for (int c = 0; c < kTrendColumns; ++c) {
                    const TrendCell& cell = cells[k * kTrendColumns + static_cast<size_t>(c)];
                    lxw_format* f = cell.hit ? fill[static_cast<size_t>(items[static_cast<size_t>(c)].group)] : nullptr;
                    number(row, 3 + c, cell.omission, f);
                }
            }
        }
        for (int s = 0; s < 4; ++s) {
            const size_t row = chart.rowCount() + 1 + static_cast<size_t>(s);
            text(row, 0, trendStatNames()[static_cast<size_t>(s)]);
            for (int c = 0; c < kTrendColumns; ++c) {
                const TrendColumnStats& st = chart.stats()[static_cast<size_t>(c)];
                const std::string cell = trendStatText(st, s);  // the average as shown, to two places
                if (!cell.empty()) number(row, 3 + c, std::stod(cell), nullptr);
            }
        }
        const lxw_error closed = workbook_close(wb);
        if (err == LXW_NO_ERROR) err = closed;
        if (err != LXW_NO_ERROR) throw ExportError("无法写入工作簿 " + path + "（" + lxw_strerror(err) + "）");
    });
}

}  // namespace k3
