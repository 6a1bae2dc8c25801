// The omission-table window driven with real mouse events: sorting by header clicks, the workbook by a
// double-click, the chart of the selected row, and following the history and the range.
#include <gtest/gtest.h>

#include <QHeaderView>
#include <QLabel>
#include <QLineSeries>
#include <QScreen>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>
#include <filesystem>

#include "charts/omission_chart.h"
#include "charts_support.h"
#include "overview_window.h"
#include "qt_support.h"
#include "test_support.h"

namespace {

using k3::OverviewWindow;

class OverviewWindowTest : public ::testing::Test {
protected:
    k3test::TempDir dir;
    std::unique_ptr<k3::HistoryStore> store;
    std::unique_ptr<OverviewWindow> w;
    QStringList opened;
    std::shared_ptr<const k3::Snapshot> snap;
    QString from, to;

    // As the main window does: the history and the range given, the table made in the background.
    void give(OverviewWindow& window) {
        window.setHistoryAndRange(snap, from, to);
        ASSERT_TRUE(k3test::eventually([&] { return !window.busy(); })) << "the omission table is never made";
    }
    void setHistory(std::shared_ptr<const k3::Snapshot> s) {
        snap = std::move(s);
        give(*w);
    }
    void setRange(const QString& f, const QString& t) {
        from = f;
        to = t;
        give(*w);
    }

    void SetUp() override {
        k3test::chartApp();
        store = std::make_unique<k3::HistoryStore>(dir.file("gapbook.db"));
        store->append(k3test::draws({{130325001, "253"}, {130325002, "666"}, {130325003, "123"}}));
        w = std::make_unique<OverviewWindow>(QString::fromStdString(dir.path().string()));
        w->openUrl = [this](const QUrl& url) {
            opened << url.toLocalFile();
            return true;
        };
        snap = store->snapshot();
        from = "130325001";
        to = "130325003";
        w->show();
        give(*w);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get(), 5000)) << "the window was never shown";
    }
    QString cell(int row, int column) const {
        auto* m = w->tableView()->model();
        return m->data(m->index(row, column)).toString();
    }
    void clickHeader(int column) {
        QHeaderView* h = w->tableView()->horizontalHeader();
        QPoint at(h->sectionViewportPosition(column) + h->sectionSize(column) / 2, h->height() / 2);
        QTest::mouseClick(h->viewport(), Qt::LeftButton, {}, at);
    }
    // A user's double-click: a click, then the double-click event.
    void doubleClick(int row, int column) {
        QTest::mouseClick(w->tableView()->viewport(), Qt::LeftButton, {}, cellCentre(row, column));
        QTest::mouseDClick(w->tableView()->viewport(), Qt::LeftButton, {}, cellCentre(row, column));
    }
    QPoint cellCentre(int row, int column) const {
        QTableView* v = w->tableView();
        v->scrollTo(v->model()->index(row, column));
        return v->visualRect(v->model()->index(row, column)).center();
    }
};

TEST_F(OverviewWindowTest, ShowsTheTableInTheFixedOrder) {
    EXPECT_EQ(w->windowTitle(), "遗漏总表");
    EXPECT_FALSE(w->isModal());
    auto* m = w->tableView()->model();
    ASSERT_EQ(m->rowCount(), 101);
    ASSERT_EQ(m->columnCount(), 10);
    EXPECT_EQ(m->headerData(9, Qt::Horizontal).toString(), "遗漏概率（%）");
    QStringList row;
    for (int c = 0; c < 10; ++c) row << cell(7, c);
    EXPECT_EQ(row.join('\t'), "和值\t10\t1\t1\t1\t3\t1.00\t8.00\t3.00\t76.56");
    EXPECT_EQ(cell(22, 0), "三同号通选");
    EXPECT_EQ(cell(22, 3), "2");
    EXPECT_EQ(w->findChild<QLabel*>("lblOverviewStatus")->text(), "遗漏总表：检索范围 130325001～130325003，共 3 期");
}

TEST_F(OverviewWindowTest, HeaderClicksSortAndReverse) {
    clickHeader(2);  // 出现次数
    EXPECT_EQ(w->sortColumn(), 2);
    EXPECT_FALSE(w->sortDescending());
    EXPECT_EQ(cell(0, 2), "0");
    EXPECT_EQ(cell(0, 1), "3");  // 和值 3, first of the items never hit
    EXPECT_EQ(cell(100, 2), "2");
    EXPECT_EQ(cell(100, 1), "3");  // 单号 3, last of the items hit twice
    clickHeader(2);
    EXPECT_TRUE(w->sortDescending());
    EXPECT_EQ(cell(0, 0) + cell(0, 1), "二不同号23");
    EXPECT_EQ(cell(1, 0) + cell(1, 1), "单号2");
    EXPECT_EQ(cell(2, 0) + cell(2, 1), "单号3");
    EXPECT_EQ(w->tableView()->horizontalHeader()->sortIndicatorOrder(), Qt::DescendingOrder);
    // Another column starts ascending again.
    clickHeader(6);
    EXPECT_EQ(w->sortColumn(), 6);
    EXPECT_FALSE(w->sortDescending());
    EXPECT_EQ(cell(0, 6), "1.00");
    EXPECT_EQ(cell(100, 6), "");  // never hit: empty average last
}

TEST_F(OverviewWindowTest, SelectedRowShowsItsChartAndStaysSelected) {
    QTest::mouseClick(w->tableView()->viewport(), Qt::LeftButton, {}, cellCentre(7, 1));
    EXPECT_EQ(w->selectedItem(), 7);
    const k3::GapSeries& s = w->chart()->series();
    EXPECT_EQ(s.title, "和值 10");
    ASSERT_EQ(s.hits.size(), 1u);
    EXPECT_EQ(s.hits[0].issue, 130325001);
    EXPECT_EQ(s.lastOmission, 3);
    EXPECT_EQ(w->chart()->stems()->count(), 3);

    // Sorting moves the row; it stays selected and charted.
    clickHeader(5);
    clickHeader(5);
    EXPECT_EQ(w->selectedItem(), 7);
    const int row = w->tableView()->currentIndex().row();
    EXPECT_NE(row, 7);
    EXPECT_EQ(cell(row, 0) + cell(row, 1), "和值10");

    // A newer history is followed: the last omission grows.
    store->append(k3test::draws({{130325004, "111"}}));
    setHistory(store->snapshot());
    EXPECT_EQ(w->selectedItem(), 7);
    EXPECT_EQ(w->chart()->series().lastOmission, 4);
    EXPECT_EQ(w->chart()->series().nextPosition, 5);
}

TEST_F(OverviewWindowTest, DoubleClickWritesTheWorkbookAsShown) {
    clickHeader(2);
    clickHeader(2);
    doubleClick(3, 2);
    const std::string book = dir.file("Zongbiao.xlsx");
    ASSERT_TRUE(std::filesystem::exists(book));
    EXPECT_GT(std::filesystem::file_size(book), 1000u);
    ASSERT_EQ(opened.size(), 1);
    EXPECT_EQ(std::filesystem::path(opened[0].toStdString()), std::filesystem::path(book));

    // A folder that cannot take the file: told, nothing opened.
    OverviewWindow bad(QString::fromStdString(dir.file("no/such/folder")));
    bad.openUrl = [this](const QUrl& url) {
        opened << url.toString();
        return true;
    };
    give(bad);
    QSignalSpy said(&bad, &OverviewWindow::message);
    bad.exportWorkbook();
    ASSERT_EQ(said.size(), 1);
    EXPECT_TRUE(said[0][1].toBool());
    EXPECT_EQ(opened.size(), 1);
}

TEST_F(OverviewWindowTest, BadRangeOrHistoryEmptiesTheTableAndSaysWhy) {
    QTest::mouseClick(w->tableView()->viewport(), Qt::LeftButton, {}, cellCentre(0, 0));
    QSignalSpy said(w.get(), &OverviewWindow::message);
    setRange("2013x", "130325003");
    EXPECT_EQ(w->tableView()->model()->rowCount(), 0);
    EXPECT_EQ(w->chart()->series().hits.size(), 0u);
    ASSERT_EQ(said.size(), 1);
    EXPECT_TRUE(said[0][0].toString().contains("2013x"));
    EXPECT_TRUE(said[0][1].toBool());
    setRange("130325002", "130325003");
    EXPECT_EQ(w->tableView()->model()->rowCount(), 101);
    EXPECT_EQ(cell(7, 2), "0");  // 和值 10 drawn before the range
    ASSERT_EQ(said.size(), 2);   // the table is back: said once, not on every later change
    EXPECT_FALSE(said[1][1].toBool());
    setRange("130325001", "130325003");
    EXPECT_EQ(said.size(), 2);
    // A closed window keeps quiet.
    w->hide();
    setRange("", "");
    EXPECT_EQ(said.size(), 2);
    w->show();
    setHistory(std::make_shared<k3::Snapshot>());
    EXPECT_EQ(w->tableView()->model()->rowCount(), 0);
    QTest::mouseDClick(w->tableView()->viewport(), Qt::LeftButton, {}, {5, 5});
    EXPECT_TRUE(opened.isEmpty());
}

}  // namespace

// A click on a header sorts; a second click on the same spot reverses that column, since no width moved,
// and the view shows the first rows, wherever the selected row went.
TEST_F(OverviewWindowTest, SortKeepsColumnWidthsAndShowsTheFirstRows) {
    store->append(k3test::generateDraws(3000, 78, 130326001));
    setHistory(store->snapshot());
    setRange("130325001", "130403030");
    w->resize(900, 700);
    QCoreApplication::processEvents();
    QHeaderView* h = w->tableView()->horizontalHeader();
    auto widths = [h] {
        QList<int> out;
        for (int c = 0; c + 1 < h->count(); ++c) out << h->sectionSize(c);  // the last one stretches
        return out;
    };
    const QList<int> before = widths();
    const QPoint spot(h->sectionViewportPosition(5) + h->sectionSize(5) / 2, h->height() / 2);  // 最后遗漏
    QTest::mouseClick(h->viewport(), Qt::LeftButton, {}, spot);
    EXPECT_EQ(widths(), before);
    // A row far down is selected, then the same spot is clicked again.
    QTest::mouseClick(w->tableView()->viewport(), Qt::LeftButton, {}, cellCentre(90, 0));
    ASSERT_GE(w->selectedItem(), 0);
    QTest::mouseClick(h->viewport(), Qt::LeftButton, {}, spot);
    EXPECT_EQ(w->sortColumn(), 5);
    EXPECT_TRUE(w->sortDescending());
    EXPECT_EQ(widths(), before);
    EXPECT_EQ(w->tableView()->rowAt(0), 0);  // the first rows in view
    EXPECT_EQ(w->tableView()->verticalScrollBar()->value(), 0);
}

// The last column (遗漏概率) fills the rest of the row and stays in view however often the table is made
// again: at 900 pixels wide nothing needs a horizontal scroll bar.
TEST_F(OverviewWindowTest, TheLastColumnStaysInView) {
    store->append(k3test::generateDraws(3000, 78, 130326001));
    w->resize(900, 700);
    for (int i = 0; i < 4; ++i) {
        setHistory(store->snapshot());
        setRange("130325001", "130403030");
        QCoreApplication::processEvents();
    }
    QTableView* v = w->tableView();
    QHeaderView* h = v->horizontalHeader();
    const int last = h->count() - 1;
    EXPECT_LE(h->sectionViewportPosition(last) + h->sectionSize(last), v->viewport()->width())
        << "the last column reaches " << h->sectionViewportPosition(last) + h->sectionSize(last) << " of "
        << v->viewport()->width();
    EXPECT_FALSE(v->horizontalScrollBar()->isVisible());
}

// The window opens inside the screen's free area, with room for a window manager's frame.
TEST_F(OverviewWindowTest, OpensInsideTheScreen) {
    OverviewWindow fresh(QString::fromStdString(dir.path().string()));
    const QRect available = fresh.screen()->availableGeometry();
    EXPECT_LE(fresh.width() + 16, available.width());
    EXPECT_LE(fresh.height() + 40, available.height());
    EXPECT_LE(fresh.minimumSizeHint().height(), 540 - 40);  // 1920 x 1080 at twice the scale
}
