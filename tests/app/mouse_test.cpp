// Mouse paths as a user takes them: clicks on the dice boxes and the grids, the wheel and the
// touchpad over any grid, and exports that no program on the machine can open.
#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QScrollBar>
#include <QTableView>
#include <QTest>
#include <QWheelEvent>

#include "store/history_store.h"
#include "window_fixture.h"

using namespace k3test;

namespace {

void fill(const std::string& db, const std::vector<k3::DerivedDraw>& d) { k3::HistoryStore(db).append(d); }

// A wheel event at the middle of a widget (a grid's cells or one of its scroll bars).
void wheel(QWidget* over, QPoint angleDelta) {
    const QPoint pos = over->rect().center();
    QWheelEvent ev(pos, over->mapToGlobal(pos), QPoint(), angleDelta, Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase,
                   false);
    QApplication::sendEvent(over, &ev);
}

void clickHeader(QTableView* grid, int column) {
    QHeaderView* h = grid->horizontalHeader();
    QTest::mouseClick(h->viewport(), Qt::LeftButton, {},
                      QPoint(h->sectionViewportPosition(column) + h->sectionSize(column) / 2, h->height() / 2));
}

}  // namespace

TEST_F(WindowTest, DiceBoxesTakeANewEntryOverTheOldDigits) {
    fill(dbPath(), draws({{130325001, "111"}}));
    open();
    auto* box1 = find<QLineEdit>("MaskEdBox1_1");
    auto* box2 = find<QLineEdit>("MaskEdBox1_2");
    find<QLineEdit>(k3::names::kNextIssueEdit)->setText("130325001");  // already stored: the entry is refused
    QTest::mouseClick(box1, Qt::LeftButton, {}, box1->rect().center());
    typeKeys("123");
    ASSERT_EQ(told.size(), 1);
    EXPECT_EQ(text("MaskEdBox1_3"), "3");  // the refused digits stay in view
    EXPECT_EQ(QApplication::focusWidget(), box1);
    EXPECT_EQ(box1->selectedText(), "1");

    // The user corrects the issue, clicks the first box and types three digits again.
    type(k3::names::kNextIssueEdit, "130325002");
    QTest::mouseClick(box1, Qt::LeftButton, {}, box1->rect().center());
    EXPECT_EQ(box1->selectedText(), "1");
    typeKeys("456");
    ASSERT_EQ(told.size(), 1);
    auto snap = k3::HistoryStore(dbPath()).snapshot();
    ASSERT_EQ(snap->size(), 2u);
    EXPECT_EQ(snap->rows[1].sqqh, 130325002);
    EXPECT_EQ(snap->rows[1].die(1) * 100 + snap->rows[1].die(2) * 10 + snap->rows[1].die(3), 456);

    // A click on a box that holds a digit selects it, wherever the click lands; a digit replaces it.
    typeKeys("2");
    EXPECT_EQ(QApplication::focusWidget(), box2);
    QTest::mouseClick(box1, Qt::LeftButton, {}, QPoint(2, box1->height() / 2));
    EXPECT_EQ(box1->selectedText(), "2");
    typeKeys("3");
    EXPECT_EQ(text("MaskEdBox1_1"), "3");
    EXPECT_EQ(QApplication::focusWidget(), box2);
    EXPECT_EQ(k3::HistoryStore(dbPath()).count(), 2);
}

TEST_F(WindowTest, ClicksOnTheGroupColumnLeaveTheListing) {
    fill(dbPath(), draws({{130325001, "123"}, {130325002, "456"}, {130325003, "111"}, {130325004, "222"}}));
    open();
    click("cmdZH_0");
    find<QComboBox>(k3::names::kGroupSizeCombo)->setCurrentText("1");
    click(k3::names::kCalculateButton);
    const QStringList listed = gridColumn(k3::names::kSummaryGrid, 0);
    ASSERT_EQ(listed.size(), 6);
    auto* grid = find<QTableView>(k3::names::kSummaryGrid);
    clickCell(k3::names::kSummaryGrid, 2, 0);
    EXPECT_EQ(gridColumn(k3::names::kSummaryGrid, 0), listed);
    clickHeader(grid, 0);
    EXPECT_EQ(gridColumn(k3::names::kSummaryGrid, 0), listed);
    clickHeader(grid, 2);  // the other headers sort as their cells do
    EXPECT_EQ(gridColumn(k3::names::kSummaryGrid, 0), (QStringList{"3", "1", "4", "5", "6", "2"}));

    // After a search, a click on the summary's first cell keeps the summary.
    click("Check11_1");
    type("Text22_1", "1");
    click(k3::names::kSearchButton);
    const QStringList summary = gridRow(k3::names::kSummaryGrid, 0);
    clickCell(k3::names::kSummaryGrid, 0, 0);
    EXPECT_EQ(gridRow(k3::names::kSummaryGrid, 0), summary);
}

TEST_F(WindowTest, WheelMovesTheGridUnderThePointerByOneRow) {
    fill(dbPath(), generateDraws(200));
    open();
    auto* history = find<QTableView>(k3::names::kHistoryGrid);
    QScrollBar* bar = history->verticalScrollBar();
    find(k3::names::kNextIssueEdit)->setFocus();  // no grid has the focus
    bar->setValue(0);
    wheel(history->viewport(), {0, -120});
    EXPECT_EQ(bar->value(), 1);
    wheel(history->viewport(), {0, -360});  // a large delta is still one row
    EXPECT_EQ(bar->value(), 2);
    wheel(bar, {0, -120});  // over the scroll bar too
    EXPECT_EQ(bar->value(), 3);
    wheel(history->viewport(), {0, 120});
    EXPECT_EQ(bar->value(), 2);
    bar->setValue(0);
    wheel(history->viewport(), {0, 120});  // away from the user at the top: nothing moves
    EXPECT_EQ(bar->value(), 0);

    // A touchpad's small steps make one row per notch.
    for (int i = 0; i < 3; ++i) wheel(history->viewport(), {0, -40});
    EXPECT_EQ(bar->value(), 1);
    wheel(history->viewport(), {0, -40});
    wheel(history->viewport(), {0, 40});  // a turn back starts counting again
    wheel(history->viewport(), {0, 40});
    EXPECT_EQ(bar->value(), 1);

    // Sideways wheel or swipe: nothing scrolls, over the cells or the scroll bar, focused or not.
    bar->setValue(0);
    clickCell(k3::names::kHistoryGrid, 0, 0);
    bar->setValue(5);
    for (QWidget* over : {history->viewport(), static_cast<QWidget*>(bar)}) {
        wheel(over, {-120, 0});
        wheel(over, {120, 0});
        wheel(over, {-120, 10});
    }
    EXPECT_EQ(bar->value(), 5);
    EXPECT_EQ(history->horizontalScrollBar()->value(), 0);

    // The wheel over another grid moves that grid, not the focused one.
    auto* matches = find<QTableView>(k3::names::kMatchesGrid);
    click("Check11_1");
    type("Text22_1", "1");
    click(k3::names::kSearchButton);
    QApplication::processEvents();  // the view lays out its rows as the event loop runs
    ASSERT_GT(matches->verticalScrollBar()->maximum(), 2)
        << status().toStdString() << gridRows(k3::names::kMatchesGrid);
    bar->setValue(0);
    clickCell(k3::names::kHistoryGrid, 0, 0);
    bar->setValue(5);
    wheel(matches->viewport(), {0, -120});
    EXPECT_EQ(matches->verticalScrollBar()->value(), 1);
    EXPECT_EQ(bar->value(), 5);
}

TEST_F(WindowTest, ExportThatNoProgramOpensSaysWhereItIs) {
    fill(dbPath(), draws({{130325001, "253"}, {130325002, "666"}}));
    open();
    openSucceeds = false;
    doubleClickCell(k3::names::kHistoryGrid, 0, 0);
    const QString path = QString::fromStdString(dir.file("lishi.xlsx"));
    // The failure first, with the full path: a status line cut at its end still says it.
    EXPECT_TRUE(status().startsWith("无法打开 " + path + "：本机没有可以打开此文件的程序")) << status().toStdString();
    EXPECT_TRUE(status().endsWith("（已导出 3 行）")) << status().toStdString();  // the header too
    click(k3::names::kExportTextButton);
    EXPECT_TRUE(status().startsWith("无法打开 " + QString::fromStdString(dir.file("更新至130325002期历史号码.txt"))))
        << status().toStdString();
    EXPECT_TRUE(status().contains("没有可以打开此文件的程序"));
    openSucceeds = true;
    doubleClickCell(k3::names::kHistoryGrid, 0, 0);
    EXPECT_EQ(status(), "已导出 3 行到 " + path);
}
