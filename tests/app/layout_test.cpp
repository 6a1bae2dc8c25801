// The window's layout as a user reads it: whole rows in the history grid, equal dice columns, tabs
// that move nothing below them, and the entry row as one sentence.
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QTabBar>
#include <QTableView>
#include <QTest>

#include "store/history_store.h"
#include "window_fixture.h"

using namespace k3test;

namespace {

// A control's place and size in the window's coordinates.
QRect placeIn(QWidget* window, QWidget* w) { return QRect(w->mapTo(window, QPoint(0, 0)), w->size()); }

}  // namespace

TEST_F(WindowTest, HistoryGridShowsWholeRowsAndEqualDiceColumns) {
    k3::HistoryStore(dbPath()).append(generateDraws(300));
    open();
    auto* grid = find<QTableView>(k3::names::kHistoryGrid);
    for (int height : {760, 701, 733, 650}) {
        w->resize(1180, height);
        QApplication::processEvents();
        EXPECT_EQ(grid->columnWidth(1), grid->columnWidth(2)) << height;
        EXPECT_EQ(grid->columnWidth(2), grid->columnWidth(3)) << height;
        grid->scrollToBottom();
        const int top = grid->rowAt(0);
        ASSERT_GE(top, 0);
        EXPECT_EQ(grid->visualRect(grid->model()->index(top, 0)).top(), 0) << height;
        const QRect newest = grid->visualRect(grid->model()->index(299, 0));
        EXPECT_LE(newest.bottom(), grid->viewport()->height()) << height;  // the newest draw is whole too
        EXPECT_GE(newest.top(), 0) << height;
        EXPECT_EQ(grid->viewport()->height() % grid->rowHeight(0), 0) << height;
    }
}

TEST_F(WindowTest, SwitchingValueTabsMovesNothingBelow) {
    k3::HistoryStore(dbPath()).append(draws({{130325001, "253"}, {130325002, "666"}}));
    open();
    QApplication::processEvents();
    auto* tabs = find<QTabBar>(k3::names::kValueSourceTabs);
    auto places = [this] {
        QList<QRect> r;
        for (const char* name : {"Frame6", "MSFlexGrid2", "MSFlexGrid3", "Command1", "Frame7", "MSFlexGrid1"})
            r << placeIn(w.get(), find(name));
        return r;
    };
    const QList<QRect> before = places();
    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(1).center());
    QApplication::processEvents();
    ASSERT_TRUE(find(k3::names::kChosenIssueEdit)->isVisible());
    EXPECT_EQ(places(), before);
    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(0).center());
    QApplication::processEvents();
    EXPECT_EQ(places(), before);
}

TEST_F(WindowTest, EntryRowReadsAsOneSentence) {
    k3::HistoryStore(dbPath()).append(draws({{130325001, "253"}}));
    open();
    QApplication::processEvents();
    auto* head = find<QLabel>(k3::names::kEntryLabel);
    auto* tail = find<QLabel>(k3::names::kEntryTailLabel);
    auto* issue = find<QLineEdit>(k3::names::kNextIssueEdit);
    EXPECT_EQ(head->text(), "在下面输入");
    EXPECT_EQ(tail->text(), "期历史号码:");
    EXPECT_EQ(head->accessibleName(), "在下面输入    2007001 期历史号码:");
    EXPECT_EQ(head->buddy(), issue);
    EXPECT_EQ(issue->text(), "130325002");
    const QRect h = placeIn(w.get(), head), i = placeIn(w.get(), issue), t = placeIn(w.get(), tail);
    // Left to right on one line: caption, issue, the rest of the caption; the whole issue in view.
    EXPECT_LT(h.right(), i.left());
    EXPECT_LT(i.right(), t.left());
    EXPECT_NEAR(h.center().y(), i.center().y(), 3);
    EXPECT_NEAR(t.center().y(), i.center().y(), 3);
    EXPECT_GE(issue->width(), issue->fontMetrics().horizontalAdvance("130325002"));
    // The dice boxes follow the sentence.
    EXPECT_GT(placeIn(w.get(), find("MaskEdBox1_1")).top(), i.top());
}
