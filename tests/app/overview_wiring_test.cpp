// The omission table and the omission chart in the main window: the table opened from the menu over
// the range boxes and following them and the history, the chart of every search beside grid 2.
#include <QAbstractItemModel>
#include <QHeaderView>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QTableView>
#include <QTest>
#include <QToolTip>

#include "charts/omission_chart.h"
#include "overview/overview.h"
#include "overview_window.h"
#include "store/history_store.h"
#include "test_support.h"
#include "watch_window.h"
#include "window_fixture.h"

using namespace k3test;

namespace {

class OverviewWiringTest : public WindowTest {
protected:
    k3::OverviewWindow* overview() const { return w->findChild<k3::OverviewWindow*>("frmOverview"); }
    QString overviewStatus() const { return overview()->findChild<QLabel*>("lblOverviewStatus")->text(); }
    // Waits until the table (made in the background) covers `draws` draws.
    void waitForTable(int draws) {
        EXPECT_TRUE(eventually([&] { return overview() && overview()->overview().draws == draws; }))
            << "the table never covers " << draws << " draws";
    }
    // Types into a box and leaves it with Tab, as a user does.
    void typeAndLeave(const QString& name, const QString& text) {
        type(name, text);
        QTest::keyClick(find(name), Qt::Key_Tab);
        QApplication::processEvents();
    }
};

}  // namespace

TEST_F(OverviewWiringTest, MenuOpensTheTableThatFollowsRangeAndHistory) {
    k3::HistoryStore(dbPath()).append(draws({{130325001, "253"}, {130325002, "666"}, {130325003, "123"}}));
    open();
    EXPECT_EQ(overview(), nullptr);  // made when first asked for
    clickMenuEntry(k3::names::kAnalysisMenu, k3::names::kOverviewAction);
    ASSERT_NE(overview(), nullptr);
    waitForTable(3);
    EXPECT_TRUE(overview()->isVisible());
    EXPECT_FALSE(overview()->isModal());
    EXPECT_EQ(action(k3::names::kOverviewAction)->text(), "遗漏总表(&Z)");
    EXPECT_EQ(overview()->tableView()->model()->rowCount(), 101);
    EXPECT_EQ(overviewStatus(), "遗漏总表：检索范围 130325001～130325003，共 3 期");

    // Each column header says on hover what its column is.
    QHeaderView* header = overview()->tableView()->horizontalHeader();
    auto tipOf = [header](int column) {
        const QPoint at(header->sectionViewportPosition(column) + header->sectionSize(column) / 2,
                        header->height() / 2);
        QHelpEvent help(QEvent::ToolTip, at, header->viewport()->mapToGlobal(at));
        QApplication::sendEvent(header->viewport(), &help);
        return QToolTip::text();
    };
    for (int c = 0; c < k3::kOverviewColumns; ++c) EXPECT_FALSE(tipOf(c).isEmpty()) << c;
    EXPECT_TRUE(tipOf(8).startsWith("<p>最后遗漏 ÷ 平均遗漏")) << tipOf(8).toStdString();
    EXPECT_TRUE(tipOf(8).contains("不是机会"));
    EXPECT_TRUE(tipOf(9).startsWith("<p>骰子公平时，遗漏至少有最后遗漏这么长的机会")) << tipOf(9).toStdString();
    QToolTip::hideText();

    // The range boxes: taken when the user leaves a box, not while typing.
    type(k3::names::kRangeStartEdit, "13032500");
    QApplication::processEvents();
    EXPECT_EQ(overview()->overview().draws, 3);
    QTest::keyClick(find(k3::names::kRangeStartEdit), Qt::Key_2);
    QTest::keyClick(find(k3::names::kRangeStartEdit), Qt::Key_Tab);
    waitForTable(2);
    EXPECT_EQ(overviewStatus(), "遗漏总表：检索范围 130325002～130325003，共 2 期");

    // A range the table cannot use: the reason in the window's status bar; back again when fixed.
    typeAndLeave(k3::names::kRangeStartEdit, "2013x");
    EXPECT_TRUE(eventually([&] { return status().contains("2013x"); })) << status().toStdString();
    // Without a row, the chart says how to get one.
    EXPECT_EQ(overview()->findChild<k3::OmissionChart*>("chartOverview")->chart()->title(),
              "选中一行，这里显示该号码的遗漏走势");
    typeAndLeave(k3::names::kRangeStartEdit, "130325001");
    waitForTable(3);
    EXPECT_EQ(status(), "遗漏总表：检索范围 130325001～130325003，共 3 期");

    // A typed draw extends the history and the range: the table follows.
    w->activateWindow();  // the player's click goes back to the main window
    QApplication::setActiveWindow(w.get());
    QTest::mouseClick(find("MaskEdBox1_1"), Qt::LeftButton);
    typeKeys("111");
    waitForTable(4);
    EXPECT_EQ(overview()->tableView()->model()->index(22, 2).data().toString(), "2");  // 三同号通选 hit twice

    // The workbook is opened through the window; a missing program is told in the status bar.
    openSucceeds = false;
    QTableView* table = overview()->tableView();
    const QPoint at = table->visualRect(table->model()->index(0, 0)).center();
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(table->viewport(), Qt::LeftButton, {}, at);
    ASSERT_EQ(opened.size(), 1);
    EXPECT_TRUE(opened[0].endsWith("Zongbiao.xlsx"));
    EXPECT_TRUE(status().contains("Zongbiao.xlsx"));
    EXPECT_TRUE(status().contains("没有可以打开此文件的程序"));

    // Closed, it does no work; opened again, it shows the range as it is now.
    overview()->close();
    typeAndLeave(k3::names::kRangeStartEdit, "130325003");
    EXPECT_EQ(overview()->overview().draws, 4);
    clickMenuEntry(k3::names::kAnalysisMenu, k3::names::kOverviewAction);
    waitForTable(2);
}

TEST_F(OverviewWiringTest, EverySearchShowsItsChartBesideGrid2) {
    k3::HistoryStore(dbPath()).append(generateDraws(120));
    open();
    auto* chart = find<k3::OmissionChart>(k3::names::kSearchChart);
    auto* grid = find<QTableView>(k3::names::kMatchesGrid);
    EXPECT_TRUE(chart->series().empty());
    click("Check11_1");
    type("Text22_1", "2");
    click(k3::names::kSearchButton);
    QApplication::processEvents();
    // The chart's stems are the rows of grid 2: issue and omission.
    const k3::GapSeries& s = chart->series();
    ASSERT_EQ(static_cast<int>(s.hits.size()), gridRows(k3::names::kMatchesGrid));
    ASSERT_GT(s.hits.size(), 10u);
    for (size_t i = 0; i < s.hits.size(); ++i) {
        const QStringList row = gridRow(k3::names::kMatchesGrid, static_cast<int>(i));
        EXPECT_EQ(QString::number(s.hits[i].issue), row[0]);
        EXPECT_EQ(QString::number(s.hits[i].omission), row[4]);
    }
    EXPECT_EQ(QString::number(s.lastOmission), gridRow(k3::names::kSummaryGrid, 0)[3]);
    ASSERT_TRUE(s.theoretical);
    EXPECT_DOUBLE_EQ(*s.theoretical, 216.0 / 91);  // a 2 among three dice: 216 - 125 outcomes
    // Beside grid 2, in the room right of its columns.
    const QRect g(grid->mapTo(w.get(), QPoint()), grid->size());
    const QRect c(chart->mapTo(w.get(), QPoint()), chart->size());
    EXPECT_GT(c.left(), g.right());
    EXPECT_EQ(c.top(), g.top());
    EXPECT_GT(c.width(), 300);
    int columns = 0;
    for (int i = 0; i < grid->model()->columnCount(); ++i) columns += grid->columnWidth(i);
    EXPECT_LT(g.width(), columns + 40);

    // A partial search replaces it.
    const std::string searchTitle = s.title;
    type("Text22_2", "3");
    type("Text22_3", "4");
    click(k3::names::kPartialSearchButton);
    QApplication::processEvents();
    ASSERT_GT(gridRows(k3::names::kMatchesGrid), 0) << status().toStdString();
    EXPECT_EQ(static_cast<int>(chart->series().hits.size()), gridRows(k3::names::kMatchesGrid));
    EXPECT_NE(chart->series().title, searchTitle);
    EXPECT_TRUE(chart->series().theoretical);

    // A refused search clears it with the lists.
    type("Text22_1", "9");
    click(k3::names::kSearchButton);
    EXPECT_EQ(gridRows(k3::names::kMatchesGrid), 0);
    EXPECT_TRUE(chart->series().empty());
    EXPECT_EQ(chart->chart()->title(), "检索后，这里显示遗漏走势");
}

// 遗漏提醒 from the main window: a row of 遗漏总表 added by its right-click menu, the search added by the
// button beside 检索, and a typed draw that the list counts at once, as 遗漏总表 does.
TEST_F(OverviewWiringTest, ItemsReachTheWatchListFromTheTableAndTheSearch) {
    k3::HistoryStore(dbPath()).append(generateDraws(300));
    open();
    EXPECT_EQ(action("mnuTixing")->text(), "遗漏提醒(&W)");
    clickMenuEntry(k3::names::kAnalysisMenu, k3::names::kOverviewAction);
    waitForTable(300);
    QTableView* table = overview()->tableView();
    const int item = overview()->overview().rows[0].item;
    const QPoint at = table->visualRect(table->model()->index(0, 1)).center();
    QTest::mouseClick(table->viewport(), Qt::RightButton, {}, at);
    auto* menu = overview()->findChild<QMenu*>("mnuOverviewRow");
    ASSERT_NE(menu, nullptr);
    ASSERT_TRUE(eventually([&] { return menu->isVisible(); })) << "no menu on the right-click";
    QAction* add = menu->findChild<QAction*>("mnuAddToWatch");
    ASSERT_NE(add, nullptr);
    EXPECT_EQ(add->text(), "加入遗漏提醒");
    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(add).center());

    auto* watch = w->findChild<k3::WatchWindow*>();
    ASSERT_NE(watch, nullptr) << "the watch list did not open";
    ASSERT_TRUE(eventually([&] { return watch->isVisible() && !watch->busy() && !watch->rows().empty(); }))
        << "the watch list shows no row";
    ASSERT_EQ(watch->items().size(), 1u);
    EXPECT_EQ(watch->items()[0].item, item);
    // The row of the table's item (rows at their threshold come first, so it may move).
    auto currentOmission = [&]() -> std::string {
        for (size_t r = 0; r < watch->rows().size(); ++r)
            if (watch->rows()[r].item == 0) return watch->grid().rows.at(r).at(3);
        return "no row";
    };
    EXPECT_EQ(currentOmission(), std::to_string(overview()->overview().rows[0].last));

    // The search of the boxes, by the button beside 检索, back in the main window.
    w->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.get())) << "the main window did not become active";
    click("Check11_1");
    typeAndLeave("Text22_1", "2");
    click("cmdTixing");
    ASSERT_TRUE(eventually([&] { return watch->items().size() == 2u && !watch->busy(); })) << status().toStdString();
    EXPECT_TRUE(watch->items()[1].isSearch());

    // A typed draw: the list follows at once, with the omission 遗漏总表 gives.
    w->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.get())) << "the main window did not become active";
    QTest::mouseClick(find("MaskEdBox1_1"), Qt::LeftButton);
    ASSERT_TRUE(eventually([&] { return QApplication::focusWidget() == find("MaskEdBox1_1"); }))
        << "the entry box has no focus";
    typeKeys("666");
    ASSERT_TRUE(eventually([&] { return k3::HistoryStore(dbPath()).count() == 301; })) << status().toStdString();
    waitForTable(301);
    ASSERT_TRUE(eventually([&] {
        return !watch->busy() && currentOmission() == std::to_string(overview()->overview().rows[0].last);
    })) << currentOmission();
}
