// Trimming on 500,000 draws: delete the newest N, delete to an issue (each through the backup file,
// with the compaction when it is due), and the rebuild of the whole history from the backup file.
#include <benchmark/benchmark.h>

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
    std::string backup = dir.file(kBackupFileName);
    Fixture() { store.replaceAll(history()); }
    // The draws a trim took away, put back outside the timing.
    void restore(size_t removed) {
        std::vector<DerivedDraw> last(history().end() - static_cast<std::ptrdiff_t>(removed), history().end());
        store.append(last);
    }
};

void BM_DeleteLastDraws(benchmark::State& state) {
    Fixture f;
    const auto n = static_cast<size_t>(state.range(0));
    for (auto _ : state) {
        TrimResult r = deleteLastDraws(f.store, static_cast<int64_t>(n), f.backup, 1);
        if (r.removed != n || r.note.warning) state.SkipWithError("trim failed");
        state.PauseTiming();
        f.restore(n);
        state.ResumeTiming();
    }
}
BENCHMARK(BM_DeleteLastDraws)->Arg(1)->Arg(1000)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_DeleteToIssue(benchmark::State& state) {
    Fixture f;
    const int64_t issue = history()[kDraws - 11].sqqh;
    for (auto _ : state) {
        TrimResult r = deleteAfterIssue(f.store, issue, f.backup, 1);
        if (r.removed != 10 || r.note.warning) state.SkipWithError("trim failed");
        state.PauseTiming();
        f.restore(10);
        state.ResumeTiming();
    }
}
BENCHMARK(BM_DeleteToIssue)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_RebuildFromBackup(benchmark::State& state) {
    Fixture f;
    std::vector<LineDraw> lines = f.store.issuesAndDice();
    writeBackup(f.backup, lines);
    for (auto _ : state)
        if (rebuildFromBackup(f.store, f.backup, 1) != kDraws) state.SkipWithError("rebuild failed");
}
BENCHMARK(BM_RebuildFromBackup)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
