// The statistics windows driven by real events: opened from the 分析 menu over the range boxes and
// following them and the history, computed in the background, sorted by header clicks, the threshold
// chosen with the keyboard, the chart of a clicked row, and the workbooks written by a double-click.
#include <QAbstractItemModel>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLegend>
#include <QLegendMarker>
#include <QLineSeries>
#include <QScatterSeries>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTableView>
#include <QTest>
#include <filesystem>

#include "background_task.h"
#include "charts/stats_chart.h"
#include "stats_windows.h"
#include "store/history_store.h"
#include "window_fixture.h"

using namespace k3test;

namespace {

// Waits, handling events, until the window's computation has ended; fails the test when it does not.
::testing::AssertionResult computed(k3::StatsWindow* w) {
    if (QTest::qWaitFor([w] { return !w->busy(); }, 10000)) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "the computation did not end within 10 s";
}

QString cell(QTableView* v, int row, int column) { return v->model()->index(row, column).data().toString(); }

QPoint cellCentre(QTableView* v, int row, int column) {
    v->scrollTo(v->model()->index(row, column));
    return v->visualRect(v->model()->index(row, column)).center();
}

void clickHeader(QTableView* v, int column) {
    QHeaderView* h = v->horizontalHeader();
    QTest::mouseClick(h->viewport(), Qt::LeftButton, {},
                      QPoint(h->sectionViewportPosition(column) + h->sectionSize(column) / 2, h->height() / 2));
}

void doubleClickAt(QTableView* v, int row, int column) {
    QTest::mouseClick(v->viewport(), Qt::LeftButton, {}, cellCentre(v, row, column));
    QTest::mouseDClick(v->viewport(), Qt::LeftButton, {}, cellCentre(v, row, column));
}

// Waits, handling events, until the window has computed what `shown` expects.
template <class Pred>
::testing::AssertionResult shows(k3::StatsWindow* w, Pred shown) {
    if (QTest::qWaitFor([&] { return !w->busy() && shown(); }, 10000)) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "the window did not show the expected table within 10 s";
}

class StatsWindowTest : public WindowTest {
protected:
    k3::FairnessWindow* fairness() const { return w->findChild<k3::FairnessWindow*>("frmFairness"); }
    k3::BacktestWindow* backtest() const { return w->findChild<k3::BacktestWindow*>("frmBacktest"); }
    void typeAndLeave(const QString& name, const QString& text) {
        type(name, text);
        QTest::keyClick(find(name), Qt::Key_Tab);
        QApplication::processEvents();
    }
    void fill(size_t n) { k3::HistoryStore(dbPath()).append(generateDraws(n, 78, 130101001, 1, 21)); }
    QString backtestSummaryLabelText() const { return backtest()->summaryLabel()->text(); }
};

}  // namespace

TEST_F(StatsWindowTest, FairnessFromTheMenuFollowsRangeAndHistory) {
    fill(1500);
    open();
    EXPECT_EQ(fairness(), nullptr);
    EXPECT_EQ(action("mnuFairness")->text(), "公平性检验(&F)");
    clickMenuEntry("mnuAnalysis", "mnuFairness");
    ASSERT_NE(fairness(), nullptr);
    EXPECT_TRUE(fairness()->isVisible());
    EXPECT_FALSE(fairness()->isModal());
    ASSERT_TRUE(computed(fairness()));
    QTableView* table = fairness()->tableView();
    ASSERT_EQ(table->model()->rowCount(), 7);
    EXPECT_EQ(table->model()->headerData(3, Qt::Horizontal).toString(), "p值");
    EXPECT_EQ(fairness()->report().draws, 1500);
    EXPECT_EQ(cell(table, 4, 2), "215");
    EXPECT_TRUE(fairness()->summaryLabel()->text().startsWith("共 1500 期，做了 7 项检验"));
    // The seven rows' columns share the table's width.
    QTableView* tests = fairness()->findChild<QTableView*>("gridFairness");
    QApplication::processEvents();
    EXPECT_GE(tests->horizontalHeader()->length(), tests->viewport()->width() - 1);
    const QString explain = fairness()->findChild<QLabel*>("lblFairnessExplain")->text();
    // One or more of seven tests below 0.01 on fair dice: 1 − 0.99^7 = 6.8 % of the time, not "often".
    EXPECT_TRUE(
        explain.contains("这 7 项一起做，公平的骰子约有 6.8% 的时候（1 − 0.99<sup>7</sup>）至少有一项小于 0.01"))
        << explain.toStdString();
    EXPECT_FALSE(explain.contains("时常"));
    EXPECT_TRUE(explain.contains("216种有序结果是否出现得一样多"));

    // A shorter range: the tests that need more draws say so.
    typeAndLeave("Text3_0", "130119001");
    ASSERT_TRUE(shows(fairness(), [this] { return fairness()->report().draws < 1080; }));
    EXPECT_LT(fairness()->report().draws, 1080);
    EXPECT_EQ(cell(table, 4, 4), "期数不足");
    EXPECT_EQ(cell(table, 4, 1), "");

    // A reversed range: the reason in the window and the main window's status bar; back when fixed.
    typeAndLeave("Text3_0", "139901001");
    ASSERT_TRUE(shows(fairness(), [this] { return !fairness()->valid(); }));
    EXPECT_EQ(table->model()->rowCount(), 0);
    EXPECT_TRUE(status().contains("起始期号大于结束期号")) << status().toStdString();
    typeAndLeave("Text3_0", "130101001");
    ASSERT_TRUE(shows(fairness(), [this] { return fairness()->valid(); }));
    EXPECT_EQ(fairness()->report().draws, 1500);

    // A typed draw extends the history and the range: keys into the three entry boxes of the main window
    // (the statistics window keeps the keyboard focus of the offscreen platform).
    QTest::mouseClick(find("MaskEdBox1_1"), Qt::LeftButton);
    for (const char* box : {"MaskEdBox1_1", "MaskEdBox1_2", "MaskEdBox1_3"}) QTest::keyClick(find(box), '1');
    ASSERT_TRUE(shows(fairness(), [this] { return fairness()->report().draws == 1501; })) << status().toStdString();

    // Sorted by p值 with header clicks, reversed by a second one.
    clickHeader(table, 3);
    for (int r = 1; r < 7; ++r) EXPECT_LE(cell(table, r - 1, 3).toDouble(), cell(table, r, 3).toDouble());
    clickHeader(table, 3);
    EXPECT_TRUE(fairness()->sortDescending());
    for (int r = 1; r < 7; ++r) EXPECT_GE(cell(table, r - 1, 3).toDouble(), cell(table, r, 3).toDouble());

    // The workbook as shown.
    doubleClickAt(table, 2, 0);
    ASSERT_EQ(opened.size(), 1);
    EXPECT_TRUE(opened[0].endsWith("Jianyan.xlsx"));
    EXPECT_TRUE(std::filesystem::exists(dir.file("Jianyan.xlsx")));
    EXPECT_TRUE(status().contains("Jianyan.xlsx"));
}

TEST_F(StatsWindowTest, BacktestThresholdChartAndWorkbook) {
    fill(3000);
    open();
    clickMenuEntry("mnuAnalysis", "mnuBacktest");
    ASSERT_NE(backtest(), nullptr);
    EXPECT_EQ(action("mnuBacktest")->text(), "遗漏回测(&B)");
    ASSERT_TRUE(computed(backtest()));
    QTableView* table = backtest()->tableView();
    ASSERT_EQ(table->model()->rowCount(), 101);
    ASSERT_EQ(table->model()->columnCount(), 13);
    EXPECT_EQ(cell(table, 7, 0) + cell(table, 7, 1) + " " + cell(table, 7, 2), "和值10 16");  // 2 × T by default
    const QString summary = backtestSummaryLabelText();
    EXPECT_TRUE(summary.contains("纯属偶然也约有 1 个"));
    // Which return is which: the actual one of every bet, the fair dice's one of the same bets, and the
    // column's of each item.
    EXPECT_TRUE(summary.contains("全部下注的实际返奖率 ")) << summary.toStdString();
    EXPECT_TRUE(summary.contains("%（奖金总额 ÷ 投注总额），同样这些注按公平骰子的理论返奖率 "));
    EXPECT_TRUE(summary.contains("（表中“理论返奖率”一列是各号码自己的）"));

    // Three times T, chosen with the keyboard.
    auto* box = find<QComboBox>("cmbThreshold");
    auto* spin = find<QSpinBox>("spnMinOmission");
    EXPECT_FALSE(spin->isEnabled());
    box->setFocus();
    QTest::keyClick(box, Qt::Key_Down);
    QTest::keyClick(box, Qt::Key_Down);
    ASSERT_TRUE(shows(backtest(), [&] { return cell(table, 7, 2) == "24"; }));
    // A fixed omission for every item.
    QTest::keyClick(box, Qt::Key_End);
    EXPECT_TRUE(spin->isEnabled());
    spin->setFocus();
    QTest::keyClick(spin, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(spin, "3");
    ASSERT_TRUE(shows(backtest(), [&] { return cell(table, 50, 2) == "3"; }));
    EXPECT_EQ(backtest()->threshold().fixed, 3);
    for (int r : {0, 50, 100}) EXPECT_EQ(cell(table, r, 2), "3");

    // A clicked row shows its chart; sorting keeps it selected.
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, cellCentre(table, 7, 1));
    EXPECT_EQ(backtest()->selectedItem(), 7);
    ASSERT_TRUE(backtest()->chart()->data().has_value());
    EXPECT_EQ(backtest()->chart()->data()->title, "和值 10");
    EXPECT_EQ(backtest()->chart()->rates()->count(), 6);
    // Each entry of the legend in a colour of its own.
    QApplication::processEvents();
    QList<QColor> colours;
    for (QLegendMarker* m : backtest()->chart()->chart()->legend()->markers())
        if (m->isVisible()) colours << m->brush().color();
    ASSERT_EQ(colours.size(), 3) << backtest()->chart()->chart()->legend()->markers().size();
    EXPECT_NE(colours[0], colours[1]);
    EXPECT_NE(colours[1], colours[2]);
    EXPECT_NE(colours[0], colours[2]);
    clickHeader(table, 9);
    EXPECT_EQ(backtest()->selectedItem(), 7);
    const int row = table->currentIndex().row();
    EXPECT_EQ(cell(table, row, 0) + cell(table, row, 1), "和值10");

    doubleClickAt(table, 0, 3);
    ASSERT_EQ(opened.size(), 1);
    EXPECT_TRUE(opened[0].endsWith("Huice.xlsx"));
    EXPECT_GT(std::filesystem::file_size(dir.file("Huice.xlsx")), 2000u);
}

TEST(StatsWindowAlone, OnlyTheNewestComputationIsShownAndAClosedWindowIsLeftAlone) {
    testApp();
    TempDir dir;
    k3::HistoryStore store(dir.file("gapbook.db"));
    store.append(generateDraws(2000, 78, 130101001, 1, 4));
    auto snap = store.snapshot();
    k3::BacktestWindow w(QString::fromStdString(dir.path().string()));
    QSignalSpy done(&w, &k3::StatsWindow::computed);
    w.setHistoryAndRange(snap, "130101001", "130126078");
    EXPECT_TRUE(w.busy());
    w.setHistoryAndRange(snap, "130110001", "130126078");
    ASSERT_TRUE(computed(&w));
    EXPECT_EQ(done.size(), 1);                 // the first result was dropped
    EXPECT_EQ(w.table().draws, 16 * 78 + 50);  // the 26th day holds 50 of the 2000 draws
    EXPECT_EQ(w.statusLabel()->text(), "遗漏回测：检索范围 130110001～130126078");

    // A window closed while it computes: the result goes nowhere.
    auto* gone = new k3::FairnessWindow(QString::fromStdString(dir.path().string()));
    gone->setHistoryAndRange(snap, "130101001", "130126078");
    delete gone;
    k3::waitForBackgroundTasks();
    QApplication::processEvents();

    // No history yet.
    k3::FairnessWindow none(QString::fromStdString(dir.path().string()));
    none.setHistoryAndRange(nullptr, "130101001", "130126078");
    EXPECT_FALSE(none.busy());
    EXPECT_EQ(none.statusLabel()->text(), "还没有打开历史数据库");
    QSignalSpy said(&none, &k3::StatsWindow::message);
    none.exportWorkbook();
    ASSERT_EQ(said.size(), 1);
    EXPECT_TRUE(said[0][1].toBool());
}

TEST(HitRateChart, BinsLabelsPointsAndPicture) {
    testApp();
    k3::HitRateByOmission d;
    d.title = "单号 1";
    d.theoretical = 91.0 / 216;
    d.T = 216.0 / 91;
    d.bins = {{100, 40}, {50, 25}, {20, 5}, {0, 0}, {4, 4}, {1, 0}};
    QStringList labels;
    for (int j = 0; j < 6; ++j) labels << k3::omissionBinLabel(d, j);
    EXPECT_EQ(labels.join(' '), "1–2 3–4 5–7 8–9 10–11 ≥12");  // ⌊omission × 91 / 216⌋ is the bin
    d.theoretical = 27.0 / 216;
    d.T = 8;
    labels.clear();
    for (int j = 0; j < 6; ++j) labels << k3::omissionBinLabel(d, j);
    EXPECT_EQ(labels.join(' '), "1–7 8–15 16–23 24–31 32–39 ≥40");

    k3::HitRateChart chart;
    chart.setData(d);
    // A bin without a draw has no point and no interval.
    EXPECT_EQ(chart.rates()->count(), 5);
    EXPECT_EQ(chart.intervals()[3]->count(), 0);
    ASSERT_EQ(chart.intervals()[4]->count(), 2);
    EXPECT_NEAR(chart.intervals()[4]->at(1).y(), 100.0, 1e-9);  // four hits in four: the upper end is 100 %
    EXPECT_NEAR(chart.rates()->at(1).y(), 50.0, 1e-9);
    EXPECT_NEAR(chart.theoreticalLine()->at(0).y(), 12.5, 1e-9);
    chart.clear();
    EXPECT_FALSE(chart.data().has_value());
    EXPECT_EQ(chart.rates()->count(), 0);
    const QImage picture = k3::renderHitRateChart(d, {600, 400});
    EXPECT_EQ(picture.size(), QSize(600, 400));
    EXPECT_TRUE(k3::hitRateChartPng(d).startsWith("\x89PNG"));
}
