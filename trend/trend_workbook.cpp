#include "trend/trend_workbook.h"

#include "export/output_file.h"
#include "export/xlsx_book.h"

namespace k3 {

namespace {

// Rows between two looks at the progress: a few hundredths of a second.
constexpr size_t kBatch = 4096;

}  // namespace

void writeTrendWorkbook(const TrendChart& chart, const std::string& path, const std::string& dataDir,
                        const WorkbookProgress& progress) {
    const size_t rows = chart.rowCount() + 5;  // header, draws, four statistic rows
    if (rows > LXW_ROW_MAX)
        throw ExportError("走势图有 " + std::to_string(rows) + " 行，超过工作表的上限 " + std::to_string(LXW_ROW_MAX) +
                          " 行，未写入 " + path);
    auto keepOn = [&](size_t done) { return !progress || progress({done, chart.rowCount(), false, 0}); };
    const ExportCancelled cancelled("已取消导出走势图，未写入 " + path);
    if (!keepOn(0)) throw cancelled;
    writeOutputFile(path, dataDir, [&](const std::string& side) {
        XlsxBook book(side);
        lxw_worksheet* ws = book.sheet();
        std::array<lxw_format*, kTrendGroupCount> fill{};
        for (int g = 0; g < kTrendGroupCount; ++g) {
            lxw_format* f = workbook_add_format(book.workbook());
            format_set_bg_color(f, static_cast<lxw_color_t>(trendGroupColour(static_cast<TrendGroup>(g))));
            format_set_pattern(f, LXW_PATTERN_SOLID);
            format_set_font_color(f, LXW_COLOR_WHITE);
            format_set_bold(f);
            fill[static_cast<size_t>(g)] = f;
        }
        // A date-based issue keeps its nine digits (080101001) as the grids show it.
        lxw_format* nineDigits = workbook_add_format(book.workbook());
        format_set_num_format(nineDigits, "000000000");
        // The fill of each column's hits, looked up once.
        std::array<lxw_format*, kTrendColumns> hitFill{};
        for (int c = 0; c < kTrendColumns; ++c)
            hitFill[static_cast<size_t>(c)] = fill[static_cast<size_t>(trendItems()[static_cast<size_t>(c)].group)];
        lxw_error err = LXW_NO_ERROR;
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
        std::vector<TrendCell> cells;
        for (size_t from = 0; from < chart.rowCount() && err == LXW_NO_ERROR; from += kBatch) {
            if (!keepOn(from)) throw cancelled;
            chart.cells(from, kBatch, cells);
            for (size_t k = 0; k * kTrendColumns < cells.size(); ++k) {
                const size_t r = from + k, row = r + 1;
                const Snapshot::Dice& d = chart.dice(r);
                const int32_t issue = chart.issue(r);
                // Only an issue below 100000000 can have lost a leading zero.
                const bool zeroLed = issue < 100000000 && chart.issueText(r).size() == 9;
                number(row, 0, issue, zeroLed ? nineDigits : nullptr);
                number(row, 1, d[0] * 100 + d[1] * 10 + d[2], nullptr);
                number(row, 2, chart.sum(r), nullptr);
                const TrendCell* rowCells = &cells[k * kTrendColumns];
                for (int c = 0; c < kTrendColumns; ++c)
                    number(row, 3 + c, rowCells[c].omission,
                           rowCells[c].hit ? hitFill[static_cast<size_t>(c)] : nullptr);
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
        if (!keepOn(chart.rowCount())) throw cancelled;
        XlsxBook::PackingProgress packing;
        if (progress)
            packing = [&](int perMille) { return progress({chart.rowCount(), chart.rowCount(), true, perMille}); };
        if (!book.close(err, packing)) throw cancelled;
    });
}

}  // namespace k3
