// The trend chart in the main window: opened from the menu, the choice of rows, the toggles, the tooltip,
// the workbook by a double-click and a typed draw appearing, all by real events.
#include <QCheckBox>
#include <QComboBox>
#include <QHelpEvent>
#include <QLabel>
#include <QProgressDialog>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QToolTip>
#include <filesystem>

#include "store/history_store.h"
#include "trend_window.h"
#include "window_fixture.h"

using namespace k3test;
using k3::TrendGeometry;

namespace {

class TrendWindowTest : public WindowTest {
protected:
    k3::TrendWindow* trend() const { return w->findChild<k3::TrendWindow*>("frmTrend"); }
    k3::TrendView* view() const { return trend()->view(); }
    // Waits until the chart asked for last is shown.
    ::testing::AssertionResult settled() const {
        if (QTest::qWaitFor([this] { return !trend()->busy() && trend()->chart(); }, 10000))
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure()
               << "no chart after 10 s: " << trend()->findChild<QLabel*>("lblTrendStatus")->text().toStdString();
    }
    size_t rows() const { return trend()->chart() ? trend()->chart()->rowCount() : 0; }
    // Picks a choice of rows with the keyboard, as a user does on a focused combo box.
    void chooseRows(int index) {
        QComboBox* box = trend()->rowsChoice();
        box->setFocus();
        QTest::keyClick(box, Qt::Key_Home);
        for (int i = 0; i < index; ++i) QTest::keyClick(box, Qt::Key_Down);
    }
    void toggle(const char* name) {
        auto* box = trend()->findChild<QCheckBox*>(name);
        QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(8, box->height() / 2));
    }
    QImage picture() const { return view()->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32); }
    // A cell of the last row in view that misses, and one that hits.
    std::pair<int, int> missAndHitOfLastRow() const {
        std::vector<k3::TrendCell> cells;
        trend()->chart()->cells(rows() - 1, 1, cells);
        int miss = -1, hit = -1;
        for (int c = 0; c < k3::kTrendColumns; ++c) (cells[size_t(c)].hit ? hit : miss) = c;
        return {miss, hit};
    }
};

}  // namespace

TEST_F(TrendWindowTest, MenuOpensTheChartThatFollowsTheHistoryAndTheChoices) {
    const auto history = generateDraws(150);
    k3::HistoryStore(dbPath()).append(history);
    open();
    EXPECT_EQ(trend(), nullptr);
    clickMenuEntry("mnuAnalysis", "mnuTrend");
    ASSERT_NE(trend(), nullptr);
    EXPECT_EQ(action("mnuTrend")->text(), "走势图(&T)");
    EXPECT_TRUE(trend()->isVisible());
    EXPECT_FALSE(trend()->isModal());
    ASSERT_TRUE(settled());
    // The newest 100 draws, scrolled to the newest.
    EXPECT_EQ(rows(), 100u);
    EXPECT_EQ(trend()->chart()->issue(99), history.back().sqqh);
    EXPECT_TRUE(view()->atNewest());
    EXPECT_GT(view()->verticalScrollBar()->maximum(), 0);

    chooseRows(6);  // 全部
    ASSERT_TRUE(settled());
    EXPECT_EQ(rows(), 150u);
    chooseRows(0);  // 最近30期
    ASSERT_TRUE(settled());
    EXPECT_EQ(rows(), 30u);
    // 检索范围: the range boxes, followed when they change.
    chooseRows(5);
    ASSERT_TRUE(settled());
    EXPECT_EQ(rows(), 150u);
    type("Text3_0", QString::number(history[10].sqqh));
    QTest::keyClick(find("Text3_0"), Qt::Key_Tab);
    QApplication::processEvents();
    ASSERT_TRUE(settled());
    EXPECT_EQ(rows(), 140u);
    EXPECT_EQ(trend()->chart()->range().start, 10);  // counted from the draw before the range
    // A range the chart cannot use: no chart, and why; back again when the box is mended.
    type("Text3_0", "2013x");
    QTest::keyClick(find("Text3_0"), Qt::Key_Tab);
    QApplication::processEvents();
    EXPECT_EQ(trend()->chart(), nullptr);
    EXPECT_TRUE(trend()->findChild<QLabel*>("lblTrendStatus")->text().contains("2013x"));
    type("Text3_0", QString::number(history[10].sqqh));
    QTest::keyClick(find("Text3_0"), Qt::Key_Tab);
    QApplication::processEvents();
    ASSERT_TRUE(settled());
    EXPECT_EQ(rows(), 140u);

    // A typed draw appears at once as the newest row, in view.
    chooseRows(0);
    ASSERT_TRUE(settled());
    w->activateWindow();  // back to the main window, as a user clicks on it
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.get(), 1000));
    QTest::mouseClick(find("MaskEdBox1_1"), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return QApplication::focusWidget() == find("MaskEdBox1_1"); }, 1000));
    typeKeys("111");
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return !trend()->busy() && rows() == 30 && trend()->chart()->snapshot()->size() == 151; }, 10000));
    EXPECT_EQ(trend()->chart()->dice(29), (k3::Snapshot::Dice{1, 1, 1}));
    EXPECT_TRUE(view()->atNewest());
    std::vector<k3::TrendCell> cells;
    trend()->chart()->cells(29, 1, cells);
    EXPECT_TRUE(cells[28].hit);  // 三同号

    // A double-click on the chart writes Zoushi.xlsx and opens it.
    const auto at = view()->cellCentre(29, 0);
    ASSERT_TRUE(at);
    QTest::mouseClick(view()->viewport(), Qt::LeftButton, {}, *at);
    QTest::mouseDClick(view()->viewport(), Qt::LeftButton, {}, *at);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !opened.isEmpty(); }, 10000)) << status().toStdString();
    EXPECT_TRUE(opened[0].endsWith("Zoushi.xlsx"));
    EXPECT_GT(std::filesystem::file_size(dir.file("Zoushi.xlsx")), 1000u);
    EXPECT_TRUE(status().contains("已导出 30 期走势图")) << status().toStdString();
}

TEST_F(TrendWindowTest, TogglesTooltipAndScrolling) {
    k3::HistoryStore(dbPath()).append(generateDraws(600));
    open();
    clickMenuEntry("mnuAnalysis", "mnuTrend");
    ASSERT_TRUE(QTest::qWaitForWindowExposed(trend(), 1000));
    // Every column in view, as on a screen wider than the tests' one.
    trend()->resize(TrendGeometry().fullWidth() + 40, 760);
    ASSERT_TRUE(settled());
    const auto [miss, hit] = missAndHitOfLastRow();
    ASSERT_GE(miss, 0);
    ASSERT_GE(hit, 0);

    // 显示遗漏 off: a miss cell holds no grey digits any more.
    auto inkIn = [&](const QImage& img, int column) {
        const QPoint c = *view()->cellCentre(rows() - 1, column);
        int ink = 0;
        for (int y = c.y() - 6; y <= c.y() + 6; ++y)
            for (int x = c.x() - 8; x <= c.x() + 8; ++x) ink += qGray(img.pixel(x, y)) < 200;
        return ink;
    };
    const QImage shown = picture();
    EXPECT_GT(inkIn(shown, miss), 0);
    toggle("chkTrendOmission");
    EXPECT_FALSE(view()->options().showOmission);
    const QImage hidden = picture();
    EXPECT_EQ(inkIn(hidden, miss), 0);
    EXPECT_GT(inkIn(hidden, hit), 0);  // the ball stays

    // 遗漏分层 and 折线 each change the picture; off again, it is as before.
    toggle("chkTrendLayers");
    EXPECT_TRUE(view()->options().layers);
    const QImage layered = picture();
    EXPECT_NE(layered, hidden);
    toggle("chkTrendLine");
    EXPECT_TRUE(view()->options().line);
    EXPECT_NE(picture(), layered);
    toggle("chkTrendLine");
    toggle("chkTrendLayers");
    toggle("chkTrendOmission");
    EXPECT_EQ(picture(), shown);

    // The tooltip of a cell: issue, item, omission and the theoretical omission.
    const QPoint at = *view()->cellCentre(rows() - 1, 7);  // 和值10
    QHelpEvent help(QEvent::ToolTip, at, view()->viewport()->mapToGlobal(at));
    QApplication::sendEvent(view()->viewport(), &help);
    const QString tip = QToolTip::text();
    std::vector<k3::TrendCell> cells;
    trend()->chart()->cells(rows() - 1, 1, cells);
    EXPECT_TRUE(tip.contains(QString("期号 %1").arg(trend()->chart()->issue(rows() - 1)))) << tip.toStdString();
    EXPECT_TRUE(tip.contains("和值10"));
    EXPECT_TRUE(tip.contains(QString("遗漏 %1").arg(cells[7].omission)));
    EXPECT_TRUE(tip.contains("理论遗漏 8.00"));

    // The header and the statistic rows stay in place while the rows scroll: one wheel notch moves the
    // rows, the header's and the statistics' pixels stay.
    const QImage before = picture();
    QWheelEvent wheel(QPointF(at), view()->viewport()->mapToGlobal(QPointF(at)), QPoint(), QPoint(0, 120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(view()->viewport(), &wheel);
    QApplication::processEvents();
    EXPECT_FALSE(view()->atNewest());
    const QImage after = picture();
    auto statsOf = [](const QImage& img) {
        const int h = TrendGeometry::kStatRows * TrendGeometry::kRowHeight;
        return img.copy(0, img.height() - h, img.width(), h);
    };
    auto headerOf = [](const QImage& img) { return img.copy(0, 0, img.width(), TrendGeometry::kHeaderHeight); };
    EXPECT_EQ(headerOf(before), headerOf(after));
    EXPECT_EQ(statsOf(before), statsOf(after));
    EXPECT_NE(before, after);
    // The last row is no longer at the bottom: its cell is further down or gone.
    const auto moved = view()->cellCentre(rows() - 1, 7);
    EXPECT_TRUE(!moved || moved->y() > at.y());
}

// One notch of the wheel moves the chart by one row, as in the history grid; a touchpad's small steps
// add up to a notch.
TEST_F(TrendWindowTest, OneWheelNotchMovesOneRow) {
    k3::HistoryStore(dbPath()).append(generateDraws(600));
    open();
    clickMenuEntry("mnuAnalysis", "mnuTrend");
    ASSERT_TRUE(QTest::qWaitForWindowExposed(trend(), 1000));
    ASSERT_TRUE(settled());
    QScrollBar* bar = view()->verticalScrollBar();
    ASSERT_TRUE(view()->atNewest());
    const int newest = bar->value();
    ASSERT_GT(newest, 2 * TrendGeometry::kRowHeight);
    const QPoint at = view()->viewport()->rect().center();
    auto turn = [&](int delta) {
        QWheelEvent wheel(QPointF(at), view()->viewport()->mapToGlobal(QPointF(at)), QPoint(), QPoint(0, delta),
                          Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(view()->viewport(), &wheel);
    };
    turn(120);  // towards the older rows
    EXPECT_EQ(bar->value(), newest - TrendGeometry::kRowHeight);
    turn(-120);
    EXPECT_EQ(bar->value(), newest);
    turn(60);
    EXPECT_EQ(bar->value(), newest);
    turn(60);
    EXPECT_EQ(bar->value(), newest - TrendGeometry::kRowHeight);
    turn(240);  // a fast turn of two notches
    EXPECT_EQ(bar->value(), newest - 3 * TrendGeometry::kRowHeight);
}

// The workbook of a long chart: the progress box follows the rows, 取消 stops it with nothing written,
// not even the files it had begun beside the target.
TEST_F(TrendWindowTest, ALongWorkbookShowsProgressAndCanBeCancelled) {
    k3::HistoryStore(dbPath()).append(generateDraws(60000));
    open();
    clickMenuEntry("mnuAnalysis", "mnuTrend");
    ASSERT_NE(trend(), nullptr);
    chooseRows(6);  // 全部
    ASSERT_TRUE(settled());
    ASSERT_EQ(rows(), 60000u);
    const auto at = view()->cellCentre(rows() - 1, 0);
    ASSERT_TRUE(at);
    QTest::mouseDClick(view()->viewport(), Qt::LeftButton, {}, *at);
    QProgressDialog* progress = nullptr;
    ASSERT_TRUE(eventually([&] {
        progress = trend()->findChild<QProgressDialog*>(k3::names::kTaskProgress);
        return progress && progress->isVisible() && progress->value() > 0;
    })) << "no progress while the workbook is written: "
        << status().toStdString();
    EXPECT_EQ(progress->windowTitle(), "导出走势图");
    QPushButton* cancel = progress->findChild<QPushButton*>();
    ASSERT_NE(cancel, nullptr);
    QTest::mouseClick(cancel, Qt::LeftButton);
    ASSERT_TRUE(eventually([&] { return !trend()->busy(); }, 60000)) << "the export did not stop";
    EXPECT_TRUE(status().contains("已取消导出，未写入")) << status().toStdString();
    EXPECT_TRUE(opened.isEmpty());
    EXPECT_FALSE(std::filesystem::exists(dir.file("Zoushi.xlsx")));
    for (const auto& e : std::filesystem::directory_iterator(dir.path()))
        EXPECT_NE(e.path().filename().string()[0], '.') << e.path();  // no side file, no folder of its own
    EXPECT_EQ(trend()->findChild<QProgressDialog*>(k3::names::kTaskProgress), nullptr);
}
