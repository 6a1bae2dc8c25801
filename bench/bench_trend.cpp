// The trend chart over 1,000,000 draws: `k3gap-cli trend --last 100` end to end as a user starts it,
// and the window offscreen with 全部: opened until its first frame is drawn, a jump to any row with the
// frame drawn, one frame of scrolling by a wheel notch, and the memory the open window adds.
#include <benchmark/benchmark.h>

#include <unistd.h>
#include <QApplication>
#include <QComboBox>
#include <QScrollBar>
#include <QTest>
#include <fstream>
#include <memory>
#include <random>

#include "run_program.h"
#include "store/history_store.h"
#include "test_support.h"
#include "trend_window.h"

namespace {

constexpr size_t kDraws = 1000000;

struct History {
    k3test::TempDir dir;
    std::string config = dir.file("config");
    std::shared_ptr<const k3::Snapshot> snapshot;
};

History& history() {
    static History* h = [] {
        auto* x = new History;
        k3::HistoryStore store(x->dir.file("gapbook.db"));
        store.append(k3test::generateDraws(kDraws));
        x->snapshot = store.snapshot();
        x->snapshot->values();  // read whole, as the window has it once the history is read
        return x;
    }();
    return *h;
}

// Resident memory of the process in bytes.
double residentBytes() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return double(resident) * double(sysconf(_SC_PAGESIZE));
}

void BM_CliTrendLast100(benchmark::State& state) {
    History& h = history();
    for (auto _ : state) {
        const double s =
            k3bench::runProgram({K3GAP_CLI, "--data", h.dir.path().string(), "trend", "--last", "100"}, h.config);
        if (s < 0) state.SkipWithError("k3gap-cli trend failed");
        state.SetIterationTime(s);
    }
}
BENCHMARK(BM_CliTrendLast100)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

// The walk over the whole history that the window runs in the background for 全部.
void BM_ChartAll(benchmark::State& state) {
    const auto& snap = history().snapshot;
    for (auto _ : state) benchmark::DoNotOptimize(k3::TrendChart(snap, k3::trendLast(*snap, int64_t(snap->size()))));
}
BENCHMARK(BM_ChartAll)->Unit(benchmark::kMillisecond);

QApplication& app() {
    static int argc = 1;
    static char name[] = "bench_trend";
    static char* argv[] = {name, nullptr};
    static QApplication* a = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        return new QApplication(argc, argv);
    }();
    return *a;
}

// A window with 全部 over the history, its chart shown and drawn once.
std::unique_ptr<k3::TrendWindow> openAll() {
    auto w = std::make_unique<k3::TrendWindow>(QString::fromStdString(history().dir.path().string()));
    w->rowsChoice()->setCurrentIndex(w->rowsChoice()->count() - 1);  // 全部
    w->show();
    w->setHistoryAndRange(history().snapshot, "", "");
    while (w->busy() || !w->chart()) QApplication::processEvents(QEventLoop::AllEvents, 1);
    w->view()->viewport()->repaint();
    return w;
}

void BM_WindowOpenAll(benchmark::State& state) {
    app();
    history();
    for (auto _ : state) {
        auto w = openAll();
        state.PauseTiming();
        w.reset();
        QApplication::processEvents();
        state.ResumeTiming();
    }
    state.counters["rows"] = double(history().snapshot->size());
}
BENCHMARK(BM_WindowOpenAll)->Unit(benchmark::kMillisecond)->Iterations(10);

// The memory an open window with 全部 adds, after a window with the newest 100 draws was opened and
// closed once (Qt's fonts and styles are loaded by then): the first run of this program's process.
void BM_WindowMemoryAll(benchmark::State& state) {
    app();
    history();
    {
        auto warm = std::make_unique<k3::TrendWindow>(QString::fromStdString(history().dir.path().string()));
        warm->show();
        warm->setHistoryAndRange(history().snapshot, "", "");
        while (warm->busy() || !warm->chart()) QApplication::processEvents(QEventLoop::AllEvents, 1);
        warm->view()->viewport()->repaint();
    }
    QApplication::processEvents();
    for (auto _ : state) {
        const double before = residentBytes();
        auto w = openAll();
        state.counters["added_MB"] = (residentBytes() - before) / 1e6;
        state.counters["chart_MB"] = double(w->chart()->footprint()) / 1e6;
    }
}
BENCHMARK(BM_WindowMemoryAll)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_WindowJumpToAnyRow(benchmark::State& state) {
    app();
    auto w = openAll();
    QScrollBar* bar = w->view()->verticalScrollBar();
    std::mt19937 rng(3);
    for (auto _ : state) {
        bar->setValue(int(rng() % unsigned(bar->maximum() + 1)));
        w->view()->viewport()->repaint();
    }
}
BENCHMARK(BM_WindowJumpToAnyRow)->Unit(benchmark::kMillisecond);

void BM_WindowScrollOneNotch(benchmark::State& state) {
    app();
    auto w = openAll();
    QWidget* vp = w->view()->viewport();
    const QPointF at(vp->width() / 2.0, vp->height() / 2.0);
    int direction = 1;
    for (auto _ : state) {
        if (w->view()->verticalScrollBar()->value() < 1000) direction = -1;
        if (w->view()->atNewest()) direction = 1;
        QWheelEvent wheel(at, vp->mapToGlobal(at), QPoint(), QPoint(0, 120 * direction), Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(vp, &wheel);
        vp->repaint();
    }
}
BENCHMARK(BM_WindowScrollOneNotch)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
