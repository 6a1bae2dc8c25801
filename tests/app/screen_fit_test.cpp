// The windows on the screens players have, each test run once per screen (K3GAP_TEST_SCREEN: 1280 x 800,
// 1024 x 768, and 1920 x 1080 at twice the scale): every analysis window opens inside the screen's free
// area, as the main window does, with every text it holds whole in view, its closing lines and its
// scroll bars included; a long message (a file's full path) wraps instead of widening the window.
#include <QAbstractScrollArea>
#include <QHeaderView>
#include <QLabel>
#include <QScreen>
#include <QScrollBar>
#include <QStatusBar>
#include <QTableView>
#include <QTest>

#include "stats_windows.h"
#include "store/history_store.h"
#include "trend_window.h"
#include "window_fixture.h"

using namespace k3test;

namespace {

QRect placeIn(QWidget* window, QWidget* w) { return QRect(w->mapTo(window, QPoint(0, 0)), w->size()); }

class ScreenFitTest : public WindowTest {
protected:
    QRect available() const { return w->screen()->availableGeometry(); }

    // The main window as the program opens it on this screen.
    void openOnScreen() {
        k3::HistoryStore(dbPath()).append(generateDraws(1500, 78, 130101001, 1, 7));
        open();
        w->fitInto(available());
        QApplication::processEvents();
        ASSERT_TRUE(available().contains(w->frameGeometry()));
    }

    // Opens an analysis window from the 分析 menu and waits until it has computed what it shows.
    QWidget* openFromMenu(const char* entry, const char* windowName) {
        clickMenuEntry(k3::names::kAnalysisMenu, entry);
        QWidget* window = w->findChild<QWidget*>(windowName);
        if (!window) {
            ADD_FAILURE() << entry << " opened no window " << windowName;
            return nullptr;
        }
        EXPECT_TRUE(QTest::qWaitForWindowExposed(window, 5000)) << windowName;
        EXPECT_TRUE(eventually([this] { return !busy(); })) << windowName << " did not finish computing";
        QApplication::processEvents();
        return window;
    }

    bool busy() const {
        if (w->busy()) return true;
        for (auto* s : w->findChildren<k3::StatsWindow*>())
            if (s->busy()) return true;
        for (auto* t : w->findChildren<k3::TrendWindow*>())
            if (t->busy()) return true;
        return false;
    }

    // The window inside the screen's free area; every text it holds and every scroll bar whole in it.
    void expectWholeOnScreen(QWidget* window, const std::string& when) {
        SCOPED_TRACE(window->objectName().toStdString() + " " + when);
        EXPECT_TRUE(available().contains(window->frameGeometry()))
            << "frame " << window->frameGeometry().width() << "x" << window->frameGeometry().height() << " on "
            << available().width() << "x" << available().height();
        EXPECT_GE(window->width(), window->minimumSizeHint().width());
        EXPECT_GE(window->height(), window->minimumSizeHint().height());
        for (QLabel* label : window->findChildren<QLabel*>()) {
            if (!label->isVisibleTo(window) || label->text().isEmpty() || label->window() != window) continue;
            const std::string name = label->objectName().isEmpty() ? label->text().left(12).toStdString()
                                                                   : label->objectName().toStdString();
            EXPECT_TRUE(window->rect().contains(placeIn(window, label))) << name << " is cut by the window's edge";
            if (label->wordWrap()) {
                EXPECT_GE(label->height(), label->heightForWidth(label->width())) << name << " is cut off";
            } else {
                EXPECT_GE(label->width(), label->sizeHint().width()) << name << " is cut off";
            }
        }
        for (QAbstractScrollArea* area : window->findChildren<QAbstractScrollArea*>()) {
            if (!area->isVisibleTo(window) || area->window() != window) continue;
            EXPECT_TRUE(window->rect().contains(placeIn(window, area))) << area->objectName().toStdString();
            QScrollBar* bar = area->verticalScrollBar();
            if (bar->isVisibleTo(window)) {
                EXPECT_TRUE(window->rect().contains(placeIn(window, bar))) << area->objectName().toStdString();
            }
        }
    }

    // The start of the message of an export that no program opens.
    QString notOpened(const char* file) const {
        return "无法打开 " + QString::fromStdString(dir.file(file)) + "：本机没有可以打开此文件的程序";
    }

    // A double-click at the middle of the first row of a window's table (or a point of its chart view).
    void doubleClickOn(QAbstractScrollArea* view, QPoint at) {
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, at);
    }
};

QPoint firstRow(QTableView* v) { return v->visualRect(v->model()->index(0, 0)).center(); }

}  // namespace

// On a first start the status bar tells, whole, how to get history in.
TEST_F(ScreenFitTest, TheFirstStartsHintFitsTheStatusBar) {
    open();
    w->fitInto(available());
    QApplication::processEvents();
    QStatusBar* bar = w->statusBar();
    ASSERT_TRUE(status().contains("读取历史号文本")) << status().toStdString();
    EXPECT_LE(bar->fontMetrics().horizontalAdvance(status()) + 12, bar->width()) << status().toStdString();
}

TEST_F(ScreenFitTest, TheAnalysisWindowsOpenInsideTheScreenWithEveryTextInView) {
    openOnScreen();
    const struct {
        const char* entry;
        const char* window;
    } windows[] = {{"mnuTrend", "frmTrend"},
                   {"mnuBacktest", "frmBacktest"},
                   {"mnuFairness", "frmFairness"},
                   {k3::names::kOverviewAction, "frmOverview"}};
    for (const auto& entry : windows) {
        QWidget* window = openFromMenu(entry.entry, entry.window);
        ASSERT_NE(window, nullptr);
        expectWholeOnScreen(window, "opened");
    }
}

// The message of an export that no program opens says so first, with the file's full path, and wraps in
// the window.
TEST_F(ScreenFitTest, AnExportNoProgramOpensKeepsTheWindowOnTheScreen) {
    openOnScreen();
    openSucceeds = false;
    {
        QWidget* window = openFromMenu("mnuBacktest", "frmBacktest");
        ASSERT_NE(window, nullptr);
        doubleClickOn(window->findChild<QTableView*>("gridBacktest"),
                      firstRow(window->findChild<QTableView*>("gridBacktest")));
        ASSERT_TRUE(eventually([this] { return status().contains("Huice.xlsx"); })) << status().toStdString();
        EXPECT_TRUE(status().startsWith(notOpened("Huice.xlsx"))) << status().toStdString();
        EXPECT_EQ(window->findChild<QLabel*>("lblBacktestStatus")->text(), status());
        QApplication::processEvents();
        expectWholeOnScreen(window, "after the export");
    }
    {
        QWidget* window = openFromMenu("mnuFairness", "frmFairness");
        ASSERT_NE(window, nullptr);
        doubleClickOn(window->findChild<QTableView*>("gridFairness"),
                      firstRow(window->findChild<QTableView*>("gridFairness")));
        ASSERT_TRUE(eventually([this] { return status().contains("Jianyan.xlsx"); })) << status().toStdString();
        EXPECT_TRUE(status().startsWith(notOpened("Jianyan.xlsx"))) << status().toStdString();
        QApplication::processEvents();
        expectWholeOnScreen(window, "after the export");
    }
    {
        QWidget* window = openFromMenu(k3::names::kOverviewAction, "frmOverview");
        ASSERT_NE(window, nullptr);
        doubleClickOn(window->findChild<QTableView*>("gridOverview"),
                      firstRow(window->findChild<QTableView*>("gridOverview")));
        ASSERT_TRUE(eventually([this] { return status().contains("Zongbiao.xlsx"); })) << status().toStdString();
        EXPECT_TRUE(status().startsWith(notOpened("Zongbiao.xlsx"))) << status().toStdString();
        QApplication::processEvents();
        expectWholeOnScreen(window, "after the export");
    }
    {
        auto* window = static_cast<k3::TrendWindow*>(openFromMenu("mnuTrend", "frmTrend"));
        ASSERT_NE(window, nullptr);
        const auto at = window->view()->cellCentre(window->chart()->rowCount() - 1, 0);
        ASSERT_TRUE(at);
        doubleClickOn(window->view(), *at);
        ASSERT_TRUE(eventually([this] { return status().contains("Zoushi.xlsx"); })) << status().toStdString();
        EXPECT_TRUE(status().startsWith(notOpened("Zoushi.xlsx"))) << status().toStdString();
        ASSERT_TRUE(eventually([this] { return !busy(); }));
        QApplication::processEvents();
        expectWholeOnScreen(window, "after the export");
    }
}
