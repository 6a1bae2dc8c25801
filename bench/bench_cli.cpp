// k3gap-cli end to end on a history of 1,000,000 draws, each run a new process as a user starts it:
// the import of a history text file in issue order and shuffled, and the group calculation of the
// six numbers in threes beside a plain C program (baseline_group.c) that reads the issue and dice of
// every draw with the SQLite C API and counts the same 20 groups. BM_GroupAgainstC runs both in turn
// and reports the ratio of their best times.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "run_program.h"
#include "test_support.h"

namespace {

constexpr size_t kDraws = 1000000;

struct Files {
    k3test::TempDir dir;
    std::string data = dir.file("data"), config = dir.file("config");
    std::string inOrder = dir.file("in-order.txt"), shuffled = dir.file("shuffled.txt");
};

const Files& files() {
    static Files* f = [] {
        auto* x = new Files;
        std::filesystem::create_directories(x->data);
        std::vector<std::string> lines;
        lines.reserve(kDraws);
        for (const auto& d : k3test::generateDraws(kDraws)) lines.push_back(std::to_string(d.sqqh) + " " + d.txtHisLst);
        auto write = [](const std::string& path, const std::vector<std::string>& ls) {
            std::ofstream out(path, std::ios::binary);
            for (const std::string& l : ls) out << l << "\r\n";
        };
        write(x->inOrder, lines);
        std::shuffle(lines.begin(), lines.end(), std::mt19937(7));
        write(x->shuffled, lines);
        if (k3bench::runProgram({K3GAP_CLI, "--data", x->data, "import", x->inOrder}, x->config) < 0) std::abort();
        return x;
    }();
    return *f;
}

void import(benchmark::State& state, const std::string& file) {
    const Files& f = files();
    for (auto _ : state) {
        const double s = k3bench::runProgram({K3GAP_CLI, "--data", f.data, "import", file}, f.config);
        if (s < 0) state.SkipWithError("import failed");
        state.SetIterationTime(s);
    }
    k3bench::runProgram({K3GAP_CLI, "--data", f.data, "import", f.inOrder},
                        f.config);  // the history in issue order again
}

void BM_ImportInOrder1M(benchmark::State& state) { import(state, files().inOrder); }
BENCHMARK(BM_ImportInOrder1M)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

void BM_ImportShuffled1M(benchmark::State& state) { import(state, files().shuffled); }
BENCHMARK(BM_ImportShuffled1M)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

std::vector<std::string> groupCommand() {
    return {K3GAP_CLI, "--data", files().data, "group", "--values", "1,2,3,4,5,6", "--size", "3"};
}

void BM_GroupCli1M(benchmark::State& state) {
    for (auto _ : state) {
        const double s = k3bench::runProgram(groupCommand(), files().config);
        if (s < 0) state.SkipWithError("k3gap-cli group failed");
        state.SetIterationTime(s);
    }
}
BENCHMARK(BM_GroupCli1M)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(7);

void BM_GroupBaselineC1M(benchmark::State& state) {
    for (auto _ : state) {
        const double s = k3bench::runProgram({BASELINE_GROUP, files().data}, files().config);
        if (s < 0) state.SkipWithError("baseline_group failed");
        state.SetIterationTime(s);
    }
}
BENCHMARK(BM_GroupBaselineC1M)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(7);

// Both in turn, so that a busy moment of the machine falls on both alike; the ratio of the best times.
void BM_GroupAgainstC(benchmark::State& state) {
    double cli = 1e9, c = 1e9;
    for (auto _ : state) {
        const double a = k3bench::runProgram(groupCommand(), files().config),
                     b = k3bench::runProgram({BASELINE_GROUP, files().data}, files().config);
        if (a < 0 || b < 0) state.SkipWithError("a run failed");
        cli = std::min(cli, a);
        c = std::min(c, b);
        state.SetIterationTime(a);
    }
    state.counters["cli_ms"] = cli * 1000;
    state.counters["c_ms"] = c * 1000;
    state.counters["ratio"] = cli / c;
}
BENCHMARK(BM_GroupAgainstC)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(7);

}  // namespace

BENCHMARK_MAIN();
