// The main window over 500,000 draws, offscreen, as a user drives it: a search by its button (the
// search, both result grids and the omission chart beside grid 2), and a typed draw while 遗漏总表 is
// open (the history extended, the grids and the table made again).
#include <benchmark/benchmark.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QStatusBar>
#include <QTest>
#include <cstdio>
#include <memory>

#include "main_window.h"
#include "store/history_store.h"
#include "test_support.h"

namespace {

constexpr size_t kDraws = 500000;

struct Window {
    k3test::TempDir dir;
    std::unique_ptr<k3::MainWindow> w;
};

Window& window() {
    static Window* x = [] {
        static int argc = 1;
        static char name[] = "bench_window";
        static char* argv[] = {name, nullptr};
        qputenv("QT_QPA_PLATFORM", "offscreen");
        new QApplication(argc, argv);
        auto* win = new Window;
        k3::HistoryStore(win->dir.file("gapbook.db")).append(k3test::generateDraws(kDraws));
        const QString dir = QString::fromStdString(win->dir.path().string());
        win->w = std::make_unique<k3::MainWindow>(k3::AppContext{dir, dir + "/settings.ini"});
        win->w->show();
        win->w->activateWindow();
        QApplication::setActiveWindow(win->w.get());
        // Offscreen the window may never count as active; the figures do not depend on it.
        if (!QTest::qWaitForWindowActive(win->w.get())) std::fputs("the window did not become active\n", stderr);
        // The typed entry is on once the check for damage, run in the background, has passed.
        QWidget* entry = win->w->findChild<QWidget*>("MaskEdBox1_1");
        while (!entry->isEnabled()) QApplication::processEvents(QEventLoop::AllEvents, 5);
        return win;
    }();
    return *x;
}

template <class T = QWidget>
T* find(const char* name) {
    return window().w->findChild<T*>(name);
}

void clickOn(QWidget* w) { QTest::mouseClick(w, Qt::LeftButton, {}, w->rect().center()); }

// About 212,000 matches: a 1 anywhere among the dice.
void BM_SearchWithChart(benchmark::State& st) {
    Window& x = window();
    if (!find<QCheckBox>("Check11_1")->isChecked()) clickOn(find("Check11_1"));
    auto* value = find<QLineEdit>("Text22_1");
    value->setFocus();
    value->setText("1");  // read when the click moves the focus to the button
    for (auto _ : st) {
        clickOn(find("Command1"));
        while (x.w->busy()) QApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    st.SetLabel(x.w->statusBar()->currentMessage().toStdString());
}
BENCHMARK(BM_SearchWithChart)->Unit(benchmark::kMillisecond);

void BM_TypedDrawWithOverviewOpen(benchmark::State& st) {
    Window& x = window();
    x.w->findChild<QAction*>("mnuOverview")->trigger();
    QWidget* box1 = find("MaskEdBox1_1");
    for (auto _ : st) {
        box1->setFocus();
        QTest::keyClicks(box1, "1");
        QTest::keyClicks(find("MaskEdBox1_2"), "2");
        QTest::keyClicks(find("MaskEdBox1_3"), "3");
        // The table is made again after the command.
        while (x.w->busy()) QApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    st.SetLabel(x.w->statusBar()->currentMessage().toStdString());
}
BENCHMARK(BM_TypedDrawWithOverviewOpen)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
