// The statistics over 1,000,000 draws: the seven fairness tests and the backtest of the 101 items in
// memory (what the windows compute in the background), the hit-rate data of one item (what a click on a
// row of 遗漏回测 computes on the GUI thread), and k3gap-cli fairness and backtest end to end, each run
// a new process as a user starts it.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>
#include <vector>

#include "overview/overview.h"
#include "run_program.h"
#include "stats/backtest.h"
#include "stats/fairness.h"
#include "store/history_store.h"
#include "test_support.h"

namespace {

constexpr size_t kDraws = 1000000;

const std::vector<k3::DerivedDraw>& draws() {
    static const auto* d = new std::vector<k3::DerivedDraw>(k3test::generateDraws(kDraws));
    return *d;
}

const k3::Snapshot& history() {
    static const k3::Snapshot* s = new k3::Snapshot(k3::snapshotOf(draws()));
    return *s;
}

std::string firstIssue() { return std::to_string(history().issues().front()); }
std::string lastIssue() { return std::to_string(history().issues().back()); }

void BM_Fairness1M(benchmark::State& st) {
    const std::string from = firstIssue(), to = lastIssue();
    for (auto _ : st) {
        k3::Grid g = k3::fairnessGrid(k3::computeFairness(history(), from, to));
        benchmark::DoNotOptimize(g);
    }
}
BENCHMARK(BM_Fairness1M)->Unit(benchmark::kMillisecond);

void backtest(benchmark::State& st, k3::Threshold t) {
    const std::string from = firstIssue(), to = lastIssue();
    for (auto _ : st) {
        const k3::BacktestTable table = k3::computeBacktest(history(), from, to, t);
        k3::Grid g = k3::backtestGrid(table);
        std::string summary = k3::backtestSummaryText(table);
        benchmark::DoNotOptimize(g);
        benchmark::DoNotOptimize(summary);
    }
}
void BM_BacktestTwiceT1M(benchmark::State& st) { backtest(st, k3::Threshold{}); }
BENCHMARK(BM_BacktestTwiceT1M)->Unit(benchmark::kMillisecond);
void BM_BacktestFixedK1M(benchmark::State& st) { backtest(st, k3::Threshold{2, 10}); }
BENCHMARK(BM_BacktestFixedK1M)->Unit(benchmark::kMillisecond);

void BM_HitRateOfOneItem1M(benchmark::State& st) {
    const std::string from = firstIssue(), to = lastIssue();
    const int item = *k3::findBetItem("和值", "10");
    for (auto _ : st) {
        k3::HitRateByOmission h = k3::hitRateByOmission(history(), from, to, item);
        benchmark::DoNotOptimize(h);
    }
}
BENCHMARK(BM_HitRateOfOneItem1M)->Unit(benchmark::kMillisecond);

// ---------------------------------------------------------------- k3gap-cli end to end

struct Files {
    k3test::TempDir dir;
    std::string data = dir.file("data"), config = dir.file("config");
};

const Files& files() {
    static Files* f = [] {
        auto* x = new Files;
        std::filesystem::create_directories(x->data);
        k3::HistoryStore(x->data + "/gapbook.db").append(draws());
        return x;
    }();
    return *f;
}

// Runs k3gap-cli on the benchmark's history; the seconds it took, or a negative number on failure.
double run(std::vector<std::string> args) {
    args.insert(args.begin(), {K3GAP_CLI, "--data", files().data});
    return k3bench::runProgram(args, files().config);
}

void cli(benchmark::State& st, const std::vector<std::string>& args) {
    files();
    for (auto _ : st) {
        const double s = run(args);
        if (s < 0) st.SkipWithError("k3gap-cli failed");
        st.SetIterationTime(s);
    }
}
void BM_FairnessCli1M(benchmark::State& st) { cli(st, {"fairness"}); }
BENCHMARK(BM_FairnessCli1M)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(5);
void BM_BacktestCli1M(benchmark::State& st) { cli(st, {"backtest"}); }
BENCHMARK(BM_BacktestCli1M)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(5);
void BM_BacktestCliWithChart1M(benchmark::State& st) {
    cli(st, {"backtest", "--item", "和值:10", "--png", files().dir.file("chart.png")});
}
BENCHMARK(BM_BacktestCliWithChart1M)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(5);

}  // namespace

BENCHMARK_MAIN();
