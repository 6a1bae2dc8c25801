// How long the window stops answering while a player's command runs, on 1,000,000 draws (offscreen):
// a 10 ms heartbeat timer runs throughout, and for each command, started by a real click, key or menu
// entry, the longest time between two of its beats is reported (stall_ms), until the command has ended
// and its results are shown. Every command should stay at or below 100 ms.
#include <benchmark/benchmark.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <cstdio>
#include <deque>
#include <fstream>
#include <functional>
#include <memory>

#include "background_task.h"
#include "history_session.h"
#include "main_window.h"
#include "object_names.h"
#include "prompter.h"
#include "store/history_store.h"
#include "test_support.h"

namespace {

constexpr size_t kDraws = 1000000;

// Answers every question with OK and the queued texts; opens nothing.
struct QuietPrompter : k3::Prompter {
    std::deque<QString> texts;
    QString file;
    bool askOkCancel(const QString&, const QString&, bool) override { return true; }
    std::optional<QString> askText(const QString&, const QString&, const QString&, bool) override {
        if (texts.empty()) return std::nullopt;
        QString t = texts.front();
        texts.pop_front();
        return t;
    }
    QString askOpenFile(const QString&, const QString&) override { return file; }
    void tell(const QString&, const QString&) override {}
    bool confirmImport(const k3::ImportPreview&) override { return true; }
    std::optional<QString> askUpdateAddress(const k3::UpdateAddressQuestion&) override { return std::nullopt; }
    bool openUrl(const QUrl&) override { return true; }
};

struct Window {
    k3test::TempDir dir;
    QuietPrompter prompter;
    std::unique_ptr<k3::MainWindow> w;
    k3::HistorySession* session = nullptr;
    QTimer heartbeat;
    QElapsedTimer clock;
    qint64 lastBeat = 0, longest = 0;
};

Window& window() {
    static Window* x = [] {
        static int argc = 1;
        static char name[] = "bench_stall";
        static char* argv[] = {name, nullptr};
        qputenv("QT_QPA_PLATFORM", "offscreen");
        new QApplication(argc, argv);
        auto* win = new Window;
        const auto draws = k3test::generateDraws(kDraws);
        k3::HistoryStore(win->dir.file("gapbook.db")).append(draws);
        {
            std::ofstream f(win->dir.file("history.txt"), std::ios::binary);
            for (const auto& d : draws) f << d.sqqh << ' ' << d.txtHisLst << "\r\n";
        }
        win->prompter.file = QString::fromStdString(win->dir.file("history.txt"));
        const QString dir = QString::fromStdString(win->dir.path().string());
        win->w = std::make_unique<k3::MainWindow>(k3::AppContext{dir, dir + "/settings.ini"}, &win->prompter);
        win->w->show();
        win->w->activateWindow();
        QApplication::setActiveWindow(win->w.get());
        // Offscreen the window may never count as active; the figures do not depend on it.
        if (!QTest::qWaitForWindowActive(win->w.get())) std::fputs("the window did not become active\n", stderr);
        win->session = win->w->findChild<k3::HistorySession*>();
        while (!win->session->canChange()) QApplication::processEvents(QEventLoop::AllEvents, 5);
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

template <class T = QWidget>
T* find(const char* name) {
    return window().w->findChild<T*>(name);
}

void clickOn(QWidget* w) { QTest::mouseClick(w, Qt::LeftButton, {}, w->rect().center()); }

// Runs `act` from the event loop, as the player's input arrives, then lets the loop run until the
// window's work (the command, a search, the omission table) has ended and half a second has passed; reports the longest
// gap between beats.
void measure(benchmark::State& st, const std::function<void()>& act) {
    Window& x = window();
    for (auto _ : st) {
        // Settled first: nothing of the last command still running.
        while (x.w->busy()) QApplication::processEvents(QEventLoop::AllEvents, 5);
        QElapsedTimer quiet;
        quiet.start();
        while (quiet.elapsed() < 300) QApplication::processEvents(QEventLoop::AllEvents, 5);
        bool started = false;
        QTimer::singleShot(0, [&] {
            x.lastBeat = x.clock.elapsed();
            x.longest = 0;
            act();
            started = true;
        });
        while (!started) QApplication::processEvents(QEventLoop::AllEvents, 5);
        QElapsedTimer after;
        after.start();
        // The command's end, then half a second for what follows it (the history read again).
        while (x.w->busy() || after.elapsed() < 500) {
            QApplication::processEvents(QEventLoop::AllEvents, 5);
            if (x.w->busy()) after.restart();
        }
        st.counters["stall_ms"] = static_cast<double>(x.longest);
    }
}

void typeInto(const char* name, const QString& text) {
    auto* box = find<QLineEdit>(name);
    box->setFocus();
    box->setText(text);
}

void BM_Search(benchmark::State& st) {
    if (!find<QAbstractButton>("Check11_1")->isChecked()) clickOn(find("Check11_1"));
    typeInto("Text22_1", "1");
    measure(st, [] { clickOn(find("Command1")); });
}
void BM_PartialSearch(benchmark::State& st) {
    measure(st, [] { clickOn(find("Command2")); });
}
void BM_GroupCalculation(benchmark::State& st) {
    clickOn(find("cmdZH_0"));
    measure(st, [] { clickOn(find(k3::names::kCalculateButton)); });
}
void BM_OpenOverview(benchmark::State& st) {
    measure(st, [] { find<QAction>(k3::names::kOverviewAction)->trigger(); });
}
void BM_TypedDrawWithOverviewOpen(benchmark::State& st) {
    measure(st, [] {
        QWidget* box1 = find("MaskEdBox1_1");
        box1->setFocus();
        QTest::keyClicks(box1, "1");
        QTest::keyClicks(find("MaskEdBox1_2"), "2");
        QTest::keyClicks(find("MaskEdBox1_3"), "3");
    });
}
void BM_CloseOverview(benchmark::State& st) {
    for (QWidget* top : QApplication::topLevelWidgets())
        if (top != window().w.get() && top->isVisible() && top->inherits("k3::OverviewWindow")) top->close();
    for (auto _ : st) {
    }
}
void BM_ExportText(benchmark::State& st) {
    measure(st, [] { clickOn(find(k3::names::kExportTextButton)); });
}
void BM_ExportWorkbookFromGrid(benchmark::State& st) {
    measure(st, [] {
        auto* view = find<QTableView>(k3::names::kHistoryGrid);
        const QPoint at = view->visualRect(view->model()->index(0, 0)).center();
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, at);
    });
}
void BM_ExportMatches(benchmark::State& st) {
    measure(st, [] {
        auto* view = find<QTableView>("MSFlexGrid2");
        const QPoint at = view->visualRect(view->model()->index(0, 0)).center();
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, at);
    });
}
void BM_DeleteNewest(benchmark::State& st) {
    measure(st, [] { clickOn(find(k3::names::kDeleteNewestButton)); });
}
void BM_DeleteLast10(benchmark::State& st) {
    measure(st, [] {
        window().prompter.texts = {"10"};
        find<QAction>(k3::names::kDeleteLastAction)->trigger();
    });
}
void BM_DeleteToIssue(benchmark::State& st) {
    measure(st, [] {
        const auto& snap = window().session->snapshot();
        window().prompter.texts = {QString::number(snap->rows[snap->size() - 11].sqqh)};
        find<QAction>(k3::names::kDeleteToIssueAction)->trigger();
    });
}
void BM_Clear(benchmark::State& st) {
    measure(st, [] { find<QAction>(k3::names::kClearHistoryAction)->trigger(); });
}
void BM_Import(benchmark::State& st) {
    measure(st, [] { clickOn(find(k3::names::kImportButton)); });
}

}  // namespace

BENCHMARK(BM_Search)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_PartialSearch)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_GroupCalculation)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_ExportMatches)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_OpenOverview)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_TypedDrawWithOverviewOpen)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_CloseOverview)->Iterations(1);
BENCHMARK(BM_ExportText)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_ExportWorkbookFromGrid)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_DeleteNewest)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_DeleteLast10)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_DeleteToIssue)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_Clear)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_Import)->Unit(benchmark::kMillisecond)->Iterations(1);

BENCHMARK_MAIN();
