// Smaller faults a player met, driven as a player drives the window: an empty value box for the partial
// search, the status bar's result across an opened menu, 取消 as the default answer of the questions that
// delete history, and the file type of the import dialog in Chinese.
#include <QAbstractButton>
#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

#include "store/history_store.h"
#include "window_fixture.h"

using namespace k3test;

TEST_F(WindowTest, PartialSearchNamesTheEmptyBox) {
    k3::HistoryStore(dbPath()).append(draws({{130325001, "253"}, {130325002, "225"}, {130325003, "666"}}));
    open();
    type("Text22_1", "2");
    type("Text22_3", "5");
    click("Command2");
    EXPECT_EQ(status(), "第2位的值是空的，没有分部检索：请先填入三个位置的值");
    EXPECT_EQ(gridRows("MSFlexGrid2"), 0);
    type("Text22_2", "2");
    click("Command2");
    EXPECT_TRUE(status().startsWith("分部检索完成")) << status().toStdString();
    EXPECT_GT(gridRows("MSFlexGrid2"), 0);
}

TEST_F(WindowTest, OpeningAMenuKeepsTheResultInTheStatusBar) {
    k3::HistoryStore(dbPath()).append(draws({{130325001, "253"}, {130325002, "225"}}));
    open();
    click("Check11_1");
    type("Text22_1", "2");
    click("Command1");
    const QString result = status();
    ASSERT_TRUE(result.startsWith("检索完成")) << result.toStdString();
    for (const char* name : {"mnuLsgl", "mnuAnalysis", "mnuSetup"}) {
        auto* menu = find<QMenu>(name);
        QMenuBar* bar = w->menuBar();
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(menu->menuAction()).center());
        ASSERT_TRUE(QTest::qWaitForWindowExposed(menu, 1000)) << name;
        // The pointer passes over the entries, then the menu is closed.
        for (QAction* a : menu->actions())
            if (!a->isSeparator()) QTest::mouseMove(menu, menu->actionGeometry(a).center());
        QTest::keyClick(menu, Qt::Key_Escape);
        ASSERT_TRUE(eventually([&] { return !menu->isVisible(); }, 5000)) << "the menu did not close";
        if (bar->activeAction()) QTest::keyClick(bar, Qt::Key_Escape);
        EXPECT_EQ(status(), result) << name;
    }
}

TEST_F(WindowTest, QuestionsThatDeleteHistoryHaveCancelAsTheirDefault) {
    k3::HistoryStore(dbPath()).append(draws({{130325001, "253"}, {130325002, "225"}, {130325003, "666"}}));
    openWithDialogs();
    // Enter answers each question with its default button: nothing is deleted.
    QString defaultButton;
    auto pressEnter = [&defaultButton](QWidget* dialog) {
        for (auto* b : dialog->findChildren<QPushButton*>())
            if (b->isDefault()) defaultButton = b->text();
        // To the dialog's own focus widget: under load the application's focus may still be elsewhere.
        QWidget* focus = dialog->focusWidget() ? dialog->focusWidget() : dialog;
        // An answer typed over the preset first, as a player does ("4", then Enter).
        if (qobject_cast<QLineEdit*>(focus)) QTest::keyClicks(focus, "4");
        QTest::keyClick(focus, Qt::Key_Return);
    };
    for (const char* entry : {"mnuClear", "mnuDlzd", "mnuEszhzd"}) {
        defaultButton.clear();
        onNextDialog(pressEnter);
        clickMenuEntry("mnuLsgl", entry);
        ASSERT_TRUE(eventually([&] { return !defaultButton.isEmpty(); }, 5000)) << "no question was asked";
        EXPECT_EQ(defaultButton, "取消") << entry;
        ASSERT_TRUE(eventually([&] { return QApplication::activeModalWidget() == nullptr; }, 5000))
            << "the question stayed open";
        EXPECT_EQ(gridRows("MSFlexGrid1"), 3) << entry;
        EXPECT_EQ(status(), "未删除任何号码") << entry;
    }
    // The open-file dialog of the import names its files in Chinese.
    auto* files = find<QFileDialog>("CommonDialog1");
    onNextDialog([](QWidget* d) { QTest::keyClick(d, Qt::Key_Escape); }, "QMessageBox");
    click("cmdRdLst");
    ASSERT_TRUE(eventually([&] { return QApplication::activeModalWidget() == nullptr; }, 5000))
        << "the import question stayed open";
    QString filter;
    onNextDialog(
        [&filter, files](QWidget*) {
            filter = files->nameFilters().join(";");
            files->reject();
        },
        "QFileDialog");
    onNextDialog([](QWidget* d) { QTest::keyClick(d, Qt::Key_Return); }, "QMessageBox");
    click("cmdRdLst");
    ASSERT_TRUE(eventually([&] { return !filter.isEmpty(); }, 5000)) << "the open-file dialog did not open";
    EXPECT_EQ(filter, "历史号码文本 (*.txt);表格 (*.csv *.xlsx *.xls);所有文件 (*)");
}
