// History in and out on 500,000 draws: import, text export, delete the newest 10 (backup, rebuild,
// compaction), and the parse of an update page of 10,000 draws.
#include <benchmark/benchmark.h>

#include <fstream>

#include "export/history_text.h"
#include "history/online_update.h"
#include "history/text_import.h"
#include "history/trimming.h"
#include "test_support.h"

using namespace k3;

namespace {

constexpr size_t kDraws = 500000;

const std::vector<DerivedDraw>& history() {
    static const auto d = k3test::generateDraws(kDraws);
    return d;
}

struct Fixture {
    k3test::TempDir dir;
    HistoryStore store{dir.file("gapbook.db")};
    Fixture() { store.replaceAll(history()); }
};

void BM_Import500k(benchmark::State& state) {
    Fixture f;
    std::string file = f.dir.file("h.txt");
    {
        std::ofstream out(file, std::ios::binary);
        for (const auto& d : history()) out << d.sqqh << ' ' << d.txtHisLst << "\r\n";
    }
    for (auto _ : state) {
        ImportResult r = importHistoryFile(f.store, file, 1);
        if (r.stored != kDraws) state.SkipWithError("wrong count");
    }
}
BENCHMARK(BM_Import500k)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_ExportText500k(benchmark::State& state) {
    Fixture f;
    for (auto _ : state) {
        auto r = exportHistoryText(*f.store.snapshot(), false, f.dir.path().string());
        if (!r || r->lines != kDraws) state.SkipWithError("wrong count");
    }
}
BENCHMARK(BM_ExportText500k)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_DeleteNewest10(benchmark::State& state) {
    Fixture f;
    std::string backup = f.dir.file(kBackupFileName);
    std::vector<DerivedDraw> last(history().end() - 10, history().end());
    for (auto _ : state) {
        TrimResult r = deleteLastDraws(f.store, 10, backup, 1);
        if (r.removed != 10 || r.note.warning) state.SkipWithError("trim failed");
        state.PauseTiming();
        f.store.append(last);
        state.ResumeTiming();
    }
}
BENCHMARK(BM_DeleteNewest10)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_ParseUpdatePage10k(benchmark::State& state) {
    auto draws = k3test::generateDraws(10000, 78, 130101001);
    std::string html = "<html><head><title>开奖</title></head><body><table>";
    for (const auto& d : draws)
        html += "<tr><td>" + std::to_string(d.sqqh) + d.txtHisLst.substr(0, 1) + "," + d.txtHisLst.substr(1, 1) + "," +
                d.txtHisLst.substr(2, 1) + "</td><td>开奖时间 2013-01-01 09:00</td></tr>";
    html += "</table></body></html>";
    FetchedPage page{html, "text/html; charset=utf-8"};
    // Stored history up to 2012-12-31, today 2013-05-20, a six-year window.
    const std::chrono::year_month_day today{std::chrono::year{2013}, std::chrono::month{5}, std::chrono::day{20}};
    for (auto _ : state) {
        UpdatePlan plan = planUpdate(121231078, false, 78, 6, today);
        auto found = parseUpdatePage(pageText(page), plan, 1);
        if (found.size() != draws.size()) state.SkipWithError("wrong count");
        benchmark::DoNotOptimize(found);
    }
}
BENCHMARK(BM_ParseUpdatePage10k)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
