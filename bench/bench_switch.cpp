// The switch between two provinces' histories of 1,000,000 draws each, offscreen: 彩种 chosen, until the
// history grid shows the other province's history (the time of each iteration), and until the commands that
// change the history are on again (changes_on_ms). /0: the next switch as soon as the window is idle,
// while the history shown is still being checked and its values read in the background (a player who
// switches back at once); /1: after that background work has ended. A beat every 10 ms on the window's event loop gives
// the longest pause of the window during the switch (stall_ms, the largest of all iterations).
// The databases are made once by a child process, so that their making does not count in this one's memory.
#include <benchmark/benchmark.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QAbstractItemModel>
#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTableView>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <memory>

#include "history_session.h"
#include "main_window.h"
#include "test_support.h"

namespace {

constexpr size_t kDraws = 1000000;
constexpr int kFujian = 0, kJiangsu = 3;

const k3test::TempDir& dataDir() {
    static k3test::TempDir dir;
    static bool made = [] {
        pid_t pid = fork();
        if (pid == 0) {
            k3::HistoryStore(dir.file("gapbook.db"), "fj").replaceAll(k3test::generateDraws(kDraws, 78, 130101001));
            k3::HistoryStore(dir.file("gapbook-js.db"), "js")
                .replaceAll(k3test::generateDraws(kDraws, 82, 130201001, 1, 7));
            _exit(0);
        }
        int status = 0;
        waitpid(pid, &status, 0);
        return WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }();
    if (!made) std::abort();
    return dir;
}

struct Window {
    std::unique_ptr<k3::MainWindow> w;
    k3::HistorySession* session = nullptr;
    QTableView* grid = nullptr;
    QTimer heartbeat;
    QElapsedTimer clock;
    qint64 lastBeat = 0, longest = 0;
};

Window& window() {
    static Window* x = [] {
        static int argc = 1;
        static char name[] = "bench_switch";
        static char* argv[] = {name, nullptr};
        qputenv("QT_QPA_PLATFORM", "offscreen");
        new QApplication(argc, argv);
        auto* win = new Window;
        const QString dir = QString::fromStdString(dataDir().path().string());
        win->w = std::make_unique<k3::MainWindow>(k3::AppContext{dir, dir + "/settings.ini"});
        win->w->show();
        win->session = win->w->findChild<k3::HistorySession*>();
        win->grid = win->w->findChild<QTableView*>("MSFlexGrid1");
        while (!win->session->canChange() || win->w->busy()) QApplication::processEvents(QEventLoop::AllEvents, 5);
        win->clock.start();
        win->heartbeat.setInterval(10);
        win->heartbeat.setTimerType(Qt::PreciseTimer);
        QObject::connect(&win->heartbeat, &QTimer::timeout, [win] {
            const qint64 now = win->clock.elapsed();
            win->longest = std::max(win->longest, now - win->lastBeat);
            win->lastBeat = now;
        });
        win->heartbeat.start();
        return win;
    }();
    return *x;
}

// The grid shows the history whose first issue is `first`, all of it.
bool shows(const Window& x, const QString& first) {
    const QAbstractItemModel* m = x.grid->model();
    return m->rowCount() == static_cast<int>(kDraws) && m->index(0, 0).data().toString() == first;
}

bool changesOn(const k3::MainWindow& w) {
    for (const char* name : {"Command21", "cmdRdLst", "Command3", "MaskEdBox1_1"})
        if (!w.findChild<QWidget*>(name)->isEnabled()) return false;
    return w.findChild<QAction*>("mnuClear")->isEnabled();
}

void BM_SwitchProvince1M(benchmark::State& state) {
    Window& x = window();
    qint64 stall = 0;
    double changesOnTotal = 0;
    int runs = 0;
    const bool settled = state.range(0) == 1;
    for (auto _ : state) {
        const bool toJiangsu = x.session->lotteryIndex() == kFujian;
        const QString first = toJiangsu ? "130201001" : "130101001";
        QAction* entry = x.w->findChild<QAction*>(QString("mnuK3_%1").arg(toJiangsu ? kJiangsu : kFujian));
        QElapsedTimer quiet;
        quiet.start();
        while (quiet.elapsed() < 300) QApplication::processEvents(QEventLoop::AllEvents, 5);
        if (settled) {
            while (x.session->access() == k3::HistoryAccess::kChecking)
                QApplication::processEvents(QEventLoop::AllEvents, 5);
            x.session->snapshot()->values();
        }
        x.lastBeat = x.clock.elapsed();
        x.longest = 0;
        const auto start = std::chrono::steady_clock::now();
        entry->trigger();
        QElapsedTimer limit;
        limit.start();
        while (!shows(x, first) && limit.elapsed() < 20000) QApplication::processEvents(QEventLoop::AllEvents, 1);
        const auto shown = std::chrono::steady_clock::now();
        while (!changesOn(*x.w) && limit.elapsed() < 20000) QApplication::processEvents(QEventLoop::AllEvents, 1);
        const auto on = std::chrono::steady_clock::now();
        // What follows the switch (the values read in the background) counts towards the stall too.
        while (x.w->busy() && limit.elapsed() < 20000) QApplication::processEvents(QEventLoop::AllEvents, 5);
        QElapsedTimer after;
        after.start();
        while (after.elapsed() < 500) QApplication::processEvents(QEventLoop::AllEvents, 5);
        if (!shows(x, first)) {
            state.SkipWithError("the other province's history was not shown within 20 s");
            break;
        }
        state.SetIterationTime(std::chrono::duration<double>(shown - start).count());
        changesOnTotal += std::chrono::duration<double, std::milli>(on - start).count();
        stall = std::max(stall, x.longest);
        ++runs;
    }
    if (runs) state.counters["changes_on_ms"] = changesOnTotal / runs;
    state.counters["stall_ms"] = static_cast<double>(stall);
}
BENCHMARK(BM_SwitchProvince1M)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(6)->Arg(0)->Arg(1);

}  // namespace

BENCHMARK_MAIN();
