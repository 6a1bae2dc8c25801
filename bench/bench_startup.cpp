// The window's start on a history of 1,000,000 draws, offscreen: the main window built over the data
// folder, shown, and its history grid painted with the newest draw in view. The others time the start
// until the analyses have everything they need in memory (and the snapshot's bytes per draw), until the
// commands that change the history are on, until the check for damage has passed, and the start on an
// empty data folder.
// The database is made once by a child process, so that its memory does not count in this one's; the
// memory counters are the growth of this process (the first benchmark's is the telling one).
#include <benchmark/benchmark.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QFile>
#include <QPushButton>
#include <QTableView>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>

#include "history_session.h"
#include "main_window.h"
#include "test_support.h"

namespace {

constexpr size_t kDraws = 1000000;

const k3test::TempDir& dataDir() {
    static k3test::TempDir dir;
    static bool made = [] {
        pid_t pid = fork();
        if (pid == 0) {
            k3::HistoryStore(dir.file("gapbook.db")).replaceAll(k3test::generateDraws(kDraws));
            _exit(0);
        }
        int status = 0;
        waitpid(pid, &status, 0);
        return WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }();
    if (!made) std::abort();
    return dir;
}

QApplication& app() {
    static int argc = 1;
    static char name[] = "bench_startup";
    static char* argv[] = {name, nullptr};
    static QApplication* a = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        return new QApplication(argc, argv);
    }();
    return *a;
}

// Notices the first paint of a widget.
class PaintWatch : public QObject {
public:
    bool painted = false;
    bool eventFilter(QObject* o, QEvent* e) override {
        if (e->type() == QEvent::Paint) painted = true;
        return QObject::eventFilter(o, e);
    }
};

long memoryMB(const char* field) {
    std::ifstream f("/proc/self/status");
    std::string line;
    while (std::getline(f, line))
        if (line.rfind(field, 0) == 0) return std::atol(line.c_str() + std::strlen(field)) / 1024;
    return 0;
}

struct Started {
    std::unique_ptr<k3::MainWindow> window;
    QTableView* grid = nullptr;
};

// Builds and shows the window, and returns once its history grid has been painted.
Started start(const QString& dir, const QString& settings) {
    Started s;
    s.window = std::make_unique<k3::MainWindow>(k3::AppContext{dir, settings});
    s.grid = s.window->findChild<QTableView*>("MSFlexGrid1");
    PaintWatch watch;
    s.grid->viewport()->installEventFilter(&watch);
    s.window->show();
    while (!watch.painted) QApplication::processEvents(QEventLoop::AllEvents, 5);
    s.grid->viewport()->removeEventFilter(&watch);
    return s;
}

void BM_WindowStart1M(benchmark::State& state) {
    const QString dir = QString::fromStdString(dataDir().path().string());
    const QString settings = QString::fromStdString(dataDir().file("settings.ini"));
    app();
    const long before = memoryMB("VmRSS:");
    long grown = 0;
    for (auto _ : state) {
        Started s = start(dir, settings);
        state.PauseTiming();
        auto* model = s.grid->model();
        const QModelIndex newest = model->index(model->rowCount() - 1, 0);
        std::string why;
        if (model->rowCount() != static_cast<int>(kDraws))
            why = "the grid holds " + std::to_string(model->rowCount()) + " rows";
        else if (!s.grid->viewport()->rect().intersects(s.grid->visualRect(newest)))
            why = "the newest draw is not in view";
        else if (!s.window->findChild<QPushButton*>("Command1")->isEnabled())
            why = "the search is disabled";
        grown = memoryMB("VmRSS:") - before;
        s.window.reset();
        QApplication::processEvents();
        // A skipped run stops here: timing is not resumed after the error.
        if (!why.empty()) {
            state.SkipWithError(why.c_str());
            break;
        }
        state.ResumeTiming();
    }
    state.counters["rss_growth_MB"] = static_cast<double>(grown);
}
BENCHMARK(BM_WindowStart1M)->Unit(benchmark::kMillisecond)->Iterations(5);

// Until the analyses could run without waiting: the values of every draw read in the background.
void BM_WindowStartUntilValues1M(benchmark::State& state) {
    const QString dir = QString::fromStdString(dataDir().path().string());
    const QString settings = QString::fromStdString(dataDir().file("settings.ini"));
    app();
    const long before = memoryMB("VmRSS:");
    long grown = 0;
    for (auto _ : state) {
        Started s = start(dir, settings);
        const auto& session = *s.window->findChild<k3::HistorySession*>();
        session.snapshot()->values();
        state.PauseTiming();
        grown = memoryMB("VmRSS:") - before;
        state.counters["snapshot_bytes_per_draw"] =
            static_cast<double>(session.snapshot()->footprint()) / static_cast<double>(kDraws);
        s.window.reset();
        QApplication::processEvents();
        state.ResumeTiming();
    }
    state.counters["rss_growth_MB"] = static_cast<double>(grown);
}
BENCHMARK(BM_WindowStartUntilValues1M)->Unit(benchmark::kMillisecond)->Iterations(5);

// Handles events until `ready` holds or 10 s have passed; false then.
bool waitFor(const std::function<bool()>& ready) {
    QElapsedTimer clock;
    clock.start();
    while (!ready()) {
        if (clock.elapsed() > 10000) return false;
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

// The buttons, boxes and menu entries that change the history are on.
bool changesOn(const k3::MainWindow& window) {
    for (const char* name : {"Command21", "cmdRdLst", "Command3", "MaskEdBox1_1"})
        if (!window.findChild<QWidget*>(name)->isEnabled()) return false;
    return window.findChild<QAction*>("mnuClear")->isEnabled();
}

// Until the commands that change the history are on. A change started before the check for damage of
// the whole file has given its verdict waits for it in the background.
void BM_WindowStartUntilChangesOn1M(benchmark::State& state) {
    const QString dir = QString::fromStdString(dataDir().path().string());
    const QString settings = QString::fromStdString(dataDir().file("settings.ini"));
    app();
    for (auto _ : state) {
        Started s = start(dir, settings);
        const bool on = waitFor([&s] { return changesOn(*s.window); });
        state.PauseTiming();
        s.window.reset();
        QApplication::processEvents();
        if (!on) {
            state.SkipWithError("the commands that change the history stayed off");
            break;
        }
        state.ResumeTiming();
    }
}
BENCHMARK(BM_WindowStartUntilChangesOn1M)->Unit(benchmark::kMillisecond)->Iterations(5);

// Until the check for damage of the whole file, run in the background once the window is up, has passed.
void BM_WindowStartUntilChecked1M(benchmark::State& state) {
    const QString dir = QString::fromStdString(dataDir().path().string());
    const QString settings = QString::fromStdString(dataDir().file("settings.ini"));
    app();
    for (auto _ : state) {
        Started s = start(dir, settings);
        const auto& session = *s.window->findChild<k3::HistorySession*>();
        const bool ended = waitFor([&session] { return session.access() != k3::HistoryAccess::kChecking; });
        state.PauseTiming();
        const bool passed = ended && session.access() == k3::HistoryAccess::kWritable;
        s.window.reset();
        QApplication::processEvents();
        if (!passed) {
            state.SkipWithError(ended ? "the check did not pass" : "the check gave no verdict within 10 s");
            break;
        }
        state.ResumeTiming();
    }
}
BENCHMARK(BM_WindowStartUntilChecked1M)->Unit(benchmark::kMillisecond)->Iterations(5);

// A first start on an empty data folder: the window shown with its commands on (gapbook.db is made by the
// first run and found empty by the others).
void BM_WindowStartEmpty(benchmark::State& state) {
    static k3test::TempDir empty;
    const QString dir = QString::fromStdString(empty.path().string());
    const QString settings = QString::fromStdString(empty.file("settings.ini"));
    app();
    for (auto _ : state) {
        Started s = start(dir, settings);
        const bool on = waitFor([&s] { return changesOn(*s.window); });
        state.PauseTiming();
        const int rows = s.grid->model()->rowCount();
        s.window.reset();
        QApplication::processEvents();
        if (!on || rows != 0) {
            state.SkipWithError(!on ? "the commands that change the history stayed off" : "the history is not empty");
            break;
        }
        state.ResumeTiming();
    }
}
BENCHMARK(BM_WindowStartEmpty)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

BENCHMARK_MAIN();
