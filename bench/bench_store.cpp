// Opening a history of 500,000 draws and filling the history grid's model; appending one typed draw; the
// check of the whole file for damage that runs before the first change, and its parts.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <filesystem>

#include "grid_models.h"
#include "history/manual_entry.h"
#include "store/history_store.h"
#include "test_support.h"

namespace {

constexpr size_t kDraws = 500000;

const std::string& historyFile() {
    static k3test::TempDir dir;
    static std::string path = [] {
        std::string p = dir.file("gapbook.db");
        k3::HistoryStore s(p);
        s.append(k3test::generateDraws(kDraws));
        return p;
    }();
    return path;
}

QApplication& app() {
    static int argc = 1;
    static char name[] = "bench";
    static char* argv[] = {name, nullptr};
    static QApplication* a = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        return new QApplication(argc, argv);
    }();
    return *a;
}

void BM_OpenAndFillHistoryModel(benchmark::State& state) {
    const std::string& path = historyFile();
    app();
    for (auto _ : state) {
        k3::HistoryStore s(path);
        k3::HistoryModel model;
        model.setSnapshot(s.snapshot());
        benchmark::DoNotOptimize(model.data(model.index(static_cast<int>(kDraws) - 1, 0), Qt::DisplayRole));
    }
    state.counters["draws"] = kDraws;
}
BENCHMARK(BM_OpenAndFillHistoryModel)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_AppendTypedDraw(benchmark::State& state) {
    k3::HistoryStore s(historyFile());
    int64_t issue = *s.newestIssue();
    for (auto _ : state) {
        issue += 1;
        k3::addManualDraw(s, std::to_string(issue), "2", "5", "3", 1);
    }
    s.deleteNewest(static_cast<int64_t>(state.iterations()));  // after the timed loop
}
BENCHMARK(BM_AppendTypedDraw)->Unit(benchmark::kMillisecond)->Iterations(50);

void BM_CheckIntegrity(benchmark::State& state) {
    const std::string& path = historyFile();
    for (auto _ : state) {
        state.PauseTiming();
        k3::HistoryStore s(path);  // a check passes once per store
        state.ResumeTiming();
        s.checkIntegrity();
    }
    state.counters["draws"] = kDraws;
}
BENCHMARK(BM_CheckIntegrity)->Unit(benchmark::kMillisecond)->Iterations(5);

// The two parts of that check alone: the file's pages, and the history's rules.
void BM_QuickCheck(benchmark::State& state) {
    k3::HistoryStore s(historyFile());
    for (auto _ : state) k3::quickCheck(s.db(), s.path());
    state.counters["draws"] = kDraws;
}
BENCHMARK(BM_QuickCheck)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_CheckHistoryRules(benchmark::State& state) {
    k3::HistoryStore s(historyFile());
    for (auto _ : state) k3::checkHistoryRules(s.db(), s.path());
    state.counters["draws"] = kDraws;
}
BENCHMARK(BM_CheckHistoryRules)->Unit(benchmark::kMillisecond)->Iterations(5);

// The read the window's background makes of every value, with the rules checked on it, and without.
void BM_ReadAllValues(benchmark::State& state) {
    k3::HistoryStore s(historyFile());
    for (auto _ : state) benchmark::DoNotOptimize(s.snapshot(static_cast<unsigned>(state.range(0))));
    state.counters["draws"] = kDraws;
}
BENCHMARK(BM_ReadAllValues)
    ->Arg(k3::kAllParts)
    ->Arg(k3::kAllParts | k3::kDiceTextChecked)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);

}  // namespace

BENCHMARK_MAIN();
