// 遗漏提醒 with 20 watched items over 15 provinces of 500,000 draws each: the first count of one history
// and of all fifteen (what the window computes in the background), a typed draw counted on the state
// at hand with the table made again (what the window does on its own thread), and k3gap-cli watch
// --all-provinces end to end, run as a new process as a user starts it, and the main window started over
// the fifteen histories with the list saved: from the window shown until the list counts every history,
// with the longest pause of the window meanwhile.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QString>
#include <QTimer>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "background_task.h"
#include "main_window.h"
#include "run_program.h"
#include "settings/settings.h"
#include "store/province.h"
#include "store/province_history.h"
#include "test_support.h"
#include "watch/watch_cache.h"
#include "watch/watch_state.h"
#include "watch/watch_table.h"
#include "watch_window.h"

namespace {

constexpr size_t kDraws = 500000;

// Twenty items as a player might keep them: sums, triples, pairs, digits, two searches.
const char* const kList =
    "和值:3; 和值:4; 和值:9; 和值:10; 和值:11; 和值:12; 和值:17; 三同号通选:通选; 三连号通选:通选@40; "
    "二同号复选:11*; 二同号复选:66*x3; 三同号单选:111; 二不同号:12; 二不同号:56; 单号:1; 单号:6x1.5; 三不同号:123; "
    "三不同号:456; --type big-small --fixed --pos 1=1 --pos 2=1 --pos 3=1 x2; --type odd-even --pos 1=1 --pos 2=0 @10";

std::shared_ptr<const k3::WatchPlan> plan() {
    static const auto p = std::make_shared<const k3::WatchPlan>(k3::parseWatchList(kList), 1);
    return p;
}

const std::vector<k3::Snapshot>& histories() {
    static const auto* h = [] {
        auto* out = new std::vector<k3::Snapshot>;
        for (int p = 0; p < k3::kProvinceCount; ++p) {
            auto draws =
                k3test::generateDraws(kDraws, k3::province(p).drawsPerDay, 80101001, 1, static_cast<unsigned>(100 + p));
            if (p == k3::kBeijingIndex)  // running numbers
                for (size_t i = 0; i < draws.size(); ++i) draws[i].sqqh = static_cast<int32_t>(100001 + i);
            out->push_back(k3::snapshotOf(draws));
        }
        return out;
    }();
    return *h;
}

void BM_WatchFirstCountOneHistory500k(benchmark::State& st) {
    const k3::Snapshot& snap = histories().front();
    for (auto _ : st) {
        k3::WatchState s(plan(), snap);
        benchmark::DoNotOptimize(s);
    }
}
BENCHMARK(BM_WatchFirstCountOneHistory500k)->Unit(benchmark::kMillisecond);

void BM_WatchFirstCount15x500k(benchmark::State& st) {
    for (auto _ : st)
        for (const k3::Snapshot& snap : histories()) {
            k3::WatchState s(plan(), snap);
            benchmark::DoNotOptimize(s);
        }
}
BENCHMARK(BM_WatchFirstCount15x500k)->Unit(benchmark::kMillisecond);

// A typed draw in one of fifteen histories: the state copied and counted one step on, the reached items
// found, and the table of all 300 rows made again.
void BM_WatchTypedDraw15x500k(benchmark::State& st) {
    std::vector<k3::WatchState> states;
    for (const k3::Snapshot& snap : histories()) states.emplace_back(plan(), snap);
    const k3::DrawValues drawn = k3::drawValues(k3::deriveDraw(0, 2, 3, 5, 1));
    for (auto _ : st) {
        k3::WatchState next = states.front();
        const auto before = next.figures();
        next.append(next.lastIssue() + 1, static_cast<int32_t>(next.draws()) + 1, drawn);
        const auto reached = k3::newlyAtThreshold(before, next.figures());
        std::vector<k3::WatchHistory> all;
        all.push_back({0, &next});
        for (size_t p = 1; p < states.size(); ++p) all.push_back({static_cast<int>(p), &states[p]});
        k3::Grid g = k3::watchGrid(*plan(), k3::watchRows(all));
        benchmark::DoNotOptimize(g);
        benchmark::DoNotOptimize(reached);
    }
}
BENCHMARK(BM_WatchTypedDraw15x500k)->Unit(benchmark::kMicrosecond);

// ---------------------------------------------------------------- k3gap-cli end to end

// The data folder is made in a temporary folder, or kept in $K3GAP_BENCH_DATA (made when it holds no
// histories yet) so that runs with perf or after a change of the program need not write it again.
struct Files {
    k3test::TempDir dir;
    std::string data = dir.file("data"), config = dir.file("config");
    Files() {
        if (const char* kept = std::getenv("K3GAP_BENCH_DATA")) {
            data = std::string(kept) + "/data";
            config = std::string(kept) + "/config";
        }
    }
};

const Files& files() {
    static Files* f = [] {
        auto* x = new Files;
        std::filesystem::create_directories(x->data);
        if (std::filesystem::exists(x->data + "/" + k3::provinceDatabaseName(k3::kProvinceCount - 1))) return x;
        for (int p = 0; p < k3::kProvinceCount; ++p) {
            std::vector<k3::IssueDice> draws;
            const k3::Snapshot& s = histories()[static_cast<size_t>(p)];
            draws.reserve(s.size());
            for (size_t i = 0; i < s.size(); ++i) draws.push_back({s.issue(i), s.die(i, 1), s.die(i, 2), s.die(i, 3)});
            k3::openProvinceHistory(x->data, p, 0).store->replaceHistory(std::move(draws), 1);
        }
        k3::Settings(QString::fromStdString(x->config + "/K3MIVLOR/K3MIVLOR.conf")).setWatchList(kList);
        return x;
    }();
    return *f;
}

// Arg 1: the run with the figures kept by a run before it; 0: without them. Five timed runs, by the clock.
void withAndWithoutKeptFigures(benchmark::internal::Benchmark* b) {
    b->ArgName("kept")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(5);
}

// Arg 1: with the figures kept by the run before (the first, untimed run keeps them); 0: without.
void BM_WatchCliAllProvinces15x500k(benchmark::State& st) {
    files();
    const std::string keptFile = k3::watchCachePath(files().data);
    const bool kept = st.range(0) == 1;
    std::filesystem::remove(keptFile);
    if (kept) k3bench::runProgram({K3GAP_CLI, "--data", files().data, "watch", "--all-provinces"}, files().config);
    for (auto _ : st) {
        if (!kept) std::filesystem::remove(keptFile);
        const double s =
            k3bench::runProgram({K3GAP_CLI, "--data", files().data, "watch", "--all-provinces"}, files().config);
        if (s < 0) {
            st.SkipWithError("k3gap-cli watch failed");
            break;
        }
        st.SetIterationTime(s);
    }
}
BENCHMARK(BM_WatchCliAllProvinces15x500k)->Apply(withAndWithoutKeptFigures);

// The main window's 遗漏提醒 has counted every history: all its rows are there.
bool watchReady(const k3::MainWindow& w, size_t rows) {
    const auto* watch = w.findChild<k3::WatchWindow*>();
    return watch && !watch->busy() && watch->rows().size() == rows;
}

void BM_WatchReadyAtWindowStart15x500k(benchmark::State& st) {
    files();
    static int argc = 1;
    static char name[] = "bench_watch";
    static char* argv[] = {name, nullptr};
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QApplication* app = new QApplication(argc, argv);
    (void)app;
    const size_t rows = k3::kProvinceCount * k3::parseWatchList(kList).size();
    const k3::AppContext ctx{QString::fromStdString(files().data),
                             QString::fromStdString(files().config + "/K3MIVLOR/K3MIVLOR.conf")};
    qint64 stall = 0;
    // Arg 1: the figures kept by the run before (one untimed start makes them); 0: none, every history
    // counted from its draws.
    const bool kept = st.range(0) == 1;
    const std::string keptFile = k3::watchCachePath(files().data);
    std::filesystem::remove(keptFile);
    if (kept) {
        auto w = std::make_unique<k3::MainWindow>(ctx);
        w->show();
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 20000 && !watchReady(*w, rows)) QApplication::processEvents(QEventLoop::AllEvents, 1);
        w.reset();
        k3::waitForBackgroundTasks();
        if (!std::filesystem::exists(keptFile)) {
            st.SkipWithError("the window kept no figures");
            return;
        }
    }
    for (auto _ : st) {
        if (!kept) std::filesystem::remove(keptFile);
        auto w = std::make_unique<k3::MainWindow>(ctx);
        w->show();
        QElapsedTimer clock;
        clock.start();
        qint64 lastBeat = 0, longest = 0;
        QTimer beat;
        beat.setInterval(10);
        beat.setTimerType(Qt::PreciseTimer);
        QObject::connect(&beat, &QTimer::timeout, [&] {
            longest = std::max(longest, clock.elapsed() - lastBeat);
            lastBeat = clock.elapsed();
        });
        beat.start();
        auto ready = [&] { return watchReady(*w, rows); };
        while (!ready() && clock.elapsed() < 20000) QApplication::processEvents(QEventLoop::AllEvents, 1);
        const double seconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
        const bool done = ready();
        // The window's closing waits for its background work: no pause of the running window.
        beat.stop();
        stall = std::max(stall, longest);
        w.reset();
        k3::waitForBackgroundTasks();
        QApplication::processEvents();
        if (!done) {
            st.SkipWithError("the list did not count every history within 20 s");
            break;
        }
        st.SetIterationTime(seconds);
    }
    st.counters["stall_ms"] = static_cast<double>(stall);
}
BENCHMARK(BM_WatchReadyAtWindowStart15x500k)->Apply(withAndWithoutKeptFigures);

}  // namespace

BENCHMARK_MAIN();
