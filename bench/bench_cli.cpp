// k3gap-cli end to end on a history of 1,000,000 draws, each run a new process as a user starts it:
// the import of a history text file in issue order and shuffled, and the group calculation of the
// six numbers in threes beside a plain C program (baseline_group.c) that reads the issue and dice of
// every draw with the SQLite C API and counts the same 20 groups. BM_GroupAgainstC runs both in turn
// and reports the ratio of their best times.
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/wait.h>

#include <fcntl.h>
#include <algorithm>
#include <chrono>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "test_support.h"

extern char** environ;

namespace {

constexpr size_t kDraws = 1000000;

struct Files {
    k3test::TempDir dir;
    std::string data = dir.file("data"), config = dir.file("config");
    std::string inOrder = dir.file("in-order.txt"), shuffled = dir.file("shuffled.txt");
};

// Runs a program with its output thrown away; the seconds it took, or a negative number on failure.
double run(const std::vector<std::string>& args, const std::string& configDir) {
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    std::vector<std::string> env{"XDG_CONFIG_HOME=" + configDir, "PATH=/usr/bin:/bin"};
    std::vector<char*> envp;
    for (const std::string& e : env) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    int status = -1;
    const bool spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) == 0;
    if (spawned) waitpid(pid, &status, 0);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    posix_spawn_file_actions_destroy(&actions);
    return spawned && WIFEXITED(status) && WEXITSTATUS(status) == 0 ? seconds : -1;
}

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
        if (run({K3GAP_CLI, "--data", x->data, "import", x->inOrder}, x->config) < 0) std::abort();
        return x;
    }();
    return *f;
}

void import(benchmark::State& state, const std::string& file) {
    const Files& f = files();
    for (auto _ : state) {
        const double s = run({K3GAP_CLI, "--data", f.data, "import", file}, f.config);
        if (s < 0) state.SkipWithError("import failed");
        state.SetIterationTime(s);
    }
    run({K3GAP_CLI, "--data", f.data, "import", f.inOrder}, f.config);  // the history in issue order again
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
        const double s = run(groupCommand(), files().config);
        if (s < 0) state.SkipWithError("k3gap-cli group failed");
        state.SetIterationTime(s);
    }
}
BENCHMARK(BM_GroupCli1M)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(7);

void BM_GroupBaselineC1M(benchmark::State& state) {
    for (auto _ : state) {
        const double s = run({BASELINE_GROUP, files().data}, files().config);
        if (s < 0) state.SkipWithError("baseline_group failed");
        state.SetIterationTime(s);
    }
}
BENCHMARK(BM_GroupBaselineC1M)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(7);

// Both in turn, so that a busy moment of the machine falls on both alike; the ratio of the best times.
void BM_GroupAgainstC(benchmark::State& state) {
    double cli = 1e9, c = 1e9;
    for (auto _ : state) {
        const double a = run(groupCommand(), files().config), b = run({BASELINE_GROUP, files().data}, files().config);
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
