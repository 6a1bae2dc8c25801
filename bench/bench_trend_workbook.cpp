// The trend workbook of 1,000,000 draws against its floor: the same cells (the same numbers, the same
// fills of the hit cells, the same header and statistic rows) written by libxlsxwriter alone from
// numbers already in memory. The ratio of the two is what the workbook's own work costs.
#include <benchmark/benchmark.h>
#include <xlsxwriter.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <vector>

#include "store/history_store.h"
#include "test_support.h"
#include "trend/trend.h"
#include "trend/trend_workbook.h"

namespace {

struct History {
    k3test::TempDir dir;
    std::shared_ptr<const k3::Snapshot> snapshot;
    std::unique_ptr<k3::TrendChart> chart;
    // Every cell of the chart's rows as the workbook has it, for the floor.
    std::vector<int32_t> cells;  // per row: issue, dice, sum, then the 36 omissions
    std::vector<uint64_t> hits;  // per row: bit c set when column c is a hit
};

constexpr size_t kRowCells = 3 + k3::kTrendColumns;

History& history(size_t draws) {
    static std::unique_ptr<History> h;
    static size_t made = 0;
    if (made == draws) return *h;
    h = std::make_unique<History>();
    made = draws;
    {
        k3::HistoryStore store(h->dir.file("gapbook.db"));
        store.replaceAll(k3test::generateDraws(draws));
        h->snapshot = store.snapshot(k3::kDicePart);
    }
    const k3::TrendRange range = k3::trendLast(*h->snapshot, static_cast<int64_t>(draws));
    h->chart = std::make_unique<k3::TrendChart>(h->snapshot, range);
    h->cells.reserve(draws * kRowCells);
    h->hits.reserve(draws);
    std::vector<k3::TrendCell> cells;
    for (size_t r = 0; r < draws; ++r) {
        h->chart->cells(r, 1, cells);
        const auto& d = h->chart->dice(r);
        h->cells.push_back(h->chart->issue(r));
        h->cells.push_back(d[0] * 100 + d[1] * 10 + d[2]);
        h->cells.push_back(h->chart->sum(r));
        uint64_t mask = 0;
        for (int c = 0; c < k3::kTrendColumns; ++c) {
            h->cells.push_back(cells[static_cast<size_t>(c)].omission);
            if (cells[static_cast<size_t>(c)].hit) mask |= uint64_t{1} << c;
        }
        h->hits.push_back(mask);
    }
    return *h;
}

// libxlsxwriter alone: the header, the rows from memory, the statistic rows, as the workbook has them.
void BM_LibraryFloor(benchmark::State& state) {
    const size_t draws = static_cast<size_t>(state.range(0));
    History& h = history(draws);
    const std::string path = h.dir.file("floor.xlsx");
    const std::vector<std::string> header = k3::trendHeader();
    const auto& items = k3::trendItems();
    double closeSeconds = 0;
    for (auto _ : state) {
        lxw_workbook_options opt{};
        opt.constant_memory = LXW_TRUE;
        lxw_workbook* wb = workbook_new_opt(path.c_str(), &opt);
        lxw_worksheet* ws = workbook_add_worksheet(wb, "Sheet1");
        std::array<lxw_format*, k3::kTrendGroupCount> fill{};
        for (int g = 0; g < k3::kTrendGroupCount; ++g) {
            fill[static_cast<size_t>(g)] = workbook_add_format(wb);
            format_set_bg_color(fill[static_cast<size_t>(g)], k3::trendGroupColour(static_cast<k3::TrendGroup>(g)));
            format_set_pattern(fill[static_cast<size_t>(g)], LXW_PATTERN_SOLID);
            format_set_font_color(fill[static_cast<size_t>(g)], LXW_COLOR_WHITE);
            format_set_bold(fill[static_cast<size_t>(g)]);
        }
        for (size_t c = 0; c < header.size(); ++c)
            worksheet_write_string(ws, 0, static_cast<lxw_col_t>(c), header[c].c_str(), nullptr);
        for (size_t r = 0; r < draws; ++r) {
            const int32_t* row = &h.cells[r * kRowCells];
            const auto excelRow = static_cast<lxw_row_t>(r + 1);
            for (size_t c = 0; c < kRowCells; ++c) {
                const bool hit = c >= 3 && ((h.hits[r] >> (c - 3)) & 1u);
                worksheet_write_number(ws, excelRow, static_cast<lxw_col_t>(c), row[c],
                                       hit ? fill[static_cast<size_t>(items[c - 3].group)] : nullptr);
            }
        }
        for (int s = 0; s < 4; ++s) {
            const auto excelRow = static_cast<lxw_row_t>(draws + 1 + static_cast<size_t>(s));
            worksheet_write_string(ws, excelRow, 0, k3::trendStatNames()[static_cast<size_t>(s)], nullptr);
            for (int c = 0; c < k3::kTrendColumns; ++c)
                worksheet_write_number(ws, excelRow, static_cast<lxw_col_t>(3 + c),
                                       h.chart->stats()[static_cast<size_t>(c)].hits, nullptr);
        }
        const auto closing = std::chrono::steady_clock::now();
        if (workbook_close(wb) != LXW_NO_ERROR) state.SkipWithError("the workbook was not written");
        closeSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - closing).count();
    }
    // The part of the time the library packs the sheet into the file (workbook_close).
    state.counters["close_s"] = closeSeconds;
    state.counters["cells"] = static_cast<double>(draws * kRowCells);
    state.counters["MB"] = static_cast<double>(std::filesystem::file_size(path)) / 1e6;
}
BENCHMARK(BM_LibraryFloor)->Arg(100000)->Arg(1000000)->Unit(benchmark::kSecond)->Iterations(1);

// The trend workbook as the command and the window write it, through the one output writer.
void BM_TrendWorkbook(benchmark::State& state) {
    const size_t draws = static_cast<size_t>(state.range(0));
    History& h = history(draws);
    const std::string path = h.dir.file("trend.xlsx");
    for (auto _ : state) k3::writeTrendWorkbook(*h.chart, path, h.dir.path().string());
    state.counters["cells"] = static_cast<double>(draws * kRowCells);
    state.counters["MB"] = static_cast<double>(std::filesystem::file_size(path)) / 1e6;
}
BENCHMARK(BM_TrendWorkbook)->Arg(100000)->Arg(1000000)->Unit(benchmark::kSecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
