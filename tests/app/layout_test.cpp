// The window's layout as a user reads it: whole rows in the history grid, equal dice columns, tabs
// that move nothing below them, and the entry row as one sentence.
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QScrollArea>
#include <QScrollBar>
#include <QStatusBar>
#include <QTabBar>
#include <QTableView>
#include <QTest>
#include <QWheelEvent>

#include "store/history_store.h"
#include "window_fixture.h"

using namespace k3test;

namespace {

// A control's place and size in the window's coordinates.
QRect placeIn(QWidget* window, QWidget* w) { return QRect(w->mapTo(window, QPoint(0, 0)), w->size()); }

// The window's controls a player uses, by name (the frames around them apart).
const char* const kControls[] = {
    "MSFlexGrid1", "MSFlexGrid2",  "MSFlexGrid3",  "TabStrip1",    "Text22_1",     "Text22_2",  "Text22_3",
    "Check11_1",   "Check11_2",    "Check11_3",    "Option1_0",    "Option1_1",    "Text3_0",   "Text3_1",
    "Label3_0",    "Label3_1",     "Label4",       "Command1",     "Label1",       "Combo1",    "Command2",
    "Label5",      "Combo2",       "Text5",        "Check6_1",     "Check6_6",     "cmdZH_0",   "cmdZH_1",
    "cmdZH_2",     "Command5",     "Option3_0",    "Option3_1",    "Option3_2",    "Option3_3", "Text1",
    "Label12",     "lblEntryTail", "MaskEdBox1_1", "MaskEdBox1_2", "MaskEdBox1_3", "Command21", "cmdRdLst",
    "Command3",    "Command4",     "Command9",     "chartSearch"};

// The screens players have, as the window sees them (logical pixels): 1024 x 768, 1920 x 1080 at twice
// the scale (960 x 540), and 1920 x 1080.
const QRect kSmallScreen(0, 0, 1024, 768), kScaledScreen(0, 0, 960, 540), kWideScreen(0, 0, 1920, 1080);

// The part of a control the scroll area shows, in the window's coordinates.
QRect shownPart(QWidget* window, QScrollArea* area, QWidget* control) {
    const QRect viewport(area->viewport()->mapTo(window, QPoint(0, 0)), area->viewport()->size());
    return placeIn(window, control) & viewport;
}

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

// The newest draw is in view when the window opens, and stays there when the window's height changes
// (the grid's rows are laid out again); a grid the player scrolled up stays where the player left it.
TEST_F(WindowTest, TheNewestDrawStaysInViewWhenTheWindowOpensAndResizes) {
    k3::HistoryStore(dbPath()).append(generateDraws(300));
    open();
    auto* grid = find<QTableView>(k3::names::kHistoryGrid);
    auto newestWhole = [grid] {
        const QRect newest = grid->visualRect(grid->model()->index(299, 0));
        return newest.top() >= 0 && newest.bottom() <= grid->viewport()->height();
    };
    EXPECT_TRUE(newestWhole());
    for (int height : {700, 760, 640, 733}) {
        w->resize(1180, height);
        QApplication::processEvents();
        EXPECT_TRUE(newestWhole()) << height;
    }
    QWheelEvent up(QPointF(20, 20), QPointF(grid->viewport()->mapToGlobal(QPoint(20, 20))), {}, {0, 120}, Qt::NoButton,
                   {}, Qt::NoScrollPhase, false);
    QApplication::sendEvent(grid->viewport(), &up);
    const int top = grid->verticalScrollBar()->value();
    w->resize(1180, 700);
    QApplication::processEvents();
    EXPECT_EQ(grid->verticalScrollBar()->value(), top);
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

// Before it is shown, the window keeps room for the frame a window manager adds.
TEST(WindowPlacement, OpensInsideTheScreenWithRoomForTheFrame) {
    k3test::testApp();
    k3test::TempDir dir;
    k3::MainWindow window(
        k3::AppContext{QString::fromStdString(dir.path().string()), QString::fromStdString(dir.file("settings.ini"))});
    for (const QRect& screen : {kSmallScreen, kScaledScreen, QRect(100, 50, 1920, 1040)}) {
        window.fitInto(screen);
        const QRect withFrame(window.pos(), window.size() + k3::MainWindow::kFrameAllowance);
        EXPECT_TRUE(screen.contains(withFrame)) << screen.width();
    }
    EXPECT_EQ(window.size(), k3::MainWindow::kPreferredSize);
}

TEST_F(WindowTest, OpensInsideTheScreenWithEveryControlInView) {
    k3::HistoryStore(dbPath()).append(generateDraws(300));
    open();
    QScrollArea* area = w->panelsArea();
    for (const QRect& screen : {kSmallScreen, kWideScreen}) {
        w->fitInto(screen);
        QApplication::processEvents();
        EXPECT_TRUE(screen.contains(w->frameGeometry())) << screen.width();
        if (screen == kWideScreen) {
            EXPECT_EQ(w->size(), k3::MainWindow::kPreferredSize);
        }
        // No scrolling: every control whole in view, none squeezed below the size it needs.
        EXPECT_FALSE(area->horizontalScrollBar()->isVisible()) << screen.width();
        EXPECT_FALSE(area->verticalScrollBar()->isVisible()) << screen.width();
        for (const char* name : kControls) {
            QWidget* c = find(name);
            ASSERT_TRUE(c->isVisible()) << name;
            EXPECT_EQ(shownPart(w.get(), area, c), placeIn(w.get(), c)) << name << " at " << screen.width();
            EXPECT_GE(c->width(), c->minimumSizeHint().width()) << name << " at " << screen.width();
        }
        EXPECT_TRUE(w->rect().contains(placeIn(w.get(), w->statusBar()))) << screen.width();
    }
}

TEST_F(WindowTest, OnAScaledSmallScreenEveryControlCanBeScrolledToAndNoneOverlaps) {
    k3::HistoryStore(dbPath()).append(generateDraws(300));
    open();
    // The smallest the window can be still shows its menus, a scrolled part of its panels and its
    // status bar: it fits a 1920 x 1080 screen at twice the scale.
    EXPECT_LE(w->minimumSizeHint().width(), kScaledScreen.width() - k3::MainWindow::kFrameAllowance.width());
    EXPECT_LE(w->minimumSizeHint().height(), kScaledScreen.height() - k3::MainWindow::kFrameAllowance.height());
    w->fitInto(kScaledScreen);
    QApplication::processEvents();
    EXPECT_TRUE(kScaledScreen.contains(w->frameGeometry()));
    QScrollArea* area = w->panelsArea();
    EXPECT_TRUE(w->rect().contains(placeIn(w.get(), w->statusBar())));
    EXPECT_TRUE(w->rect().contains(placeIn(w.get(), w->menuBar())));
    const QSize viewport = area->viewport()->size();
    for (const char* name : kControls) {
        QWidget* c = find(name);
        area->ensureWidgetVisible(c, 0, 0);
        QApplication::processEvents();
        // Scrolled to, the control shows whole, or as much of it as the view can hold.
        const QRect shown = shownPart(w.get(), area, c);
        EXPECT_GE(shown.width(), std::min(c->width(), viewport.width())) << name;
        EXPECT_GE(shown.height(), std::min(c->height(), viewport.height())) << name;
        EXPECT_GE(c->width(), c->minimumSizeHint().width()) << name;
    }
    // No control covers another.
    for (size_t i = 0; i < std::size(kControls); ++i)
        for (size_t j = i + 1; j < std::size(kControls); ++j)
            EXPECT_FALSE(placeIn(w.get(), find(kControls[i])).intersects(placeIn(w.get(), find(kControls[j]))))
                << kControls[i] << " overlaps " << kControls[j];
}
