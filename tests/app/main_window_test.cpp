#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSettings>
#include <QStatusBar>
#include <QTabBar>
#include <QTableView>
#include <QTest>
#include <QWheelEvent>
#include <fstream>

#include "store/history_store.h"
#include "window_fixture.h"

using namespace k3test;

namespace {

void fill(const std::string& db, const std::vector<k3::DerivedDraw>& d) {
    k3::HistoryStore s(db);
    s.append(d);
}

QString setting(const QString& file, const char* key) {
    return QSettings(file, QSettings::IniFormat).value(QString("IniSetting/") + key).toString();
}

void sendWheel(QTableView* grid, int delta) {
    QPoint pos(5, 5);
    QWheelEvent ev(pos, grid->viewport()->mapToGlobal(pos), QPoint(), QPoint(0, delta), Qt::NoButton, Qt::NoModifier,
                   Qt::NoScrollPhase, false);
    QApplication::sendEvent(grid->viewport(), &ev);
}

}  // namespace

TEST_F(WindowTest, EveryNamedControlExists) {
    open();
    const char* names[] = {
        "MSFlexGrid1",   "MSFlexGrid2",  "MSFlexGrid3",  "TabStrip1", "Frame2_1", "Frame2_2", "Text22_1",  "Text22_3",
        "Check11_2",     "Text2_11",     "Text2_13",     "Check1_12", "Check4",   "Text4",    "Frame1_0",  "Option1_0",
        "Option1_1",     "Frame7",       "Text3_0",      "Text3_1",   "Label3_0", "Label3_1", "Label4",    "Command1",
        "Frame5",        "Label1",       "Combo1",       "Command2",  "Frame6",   "Label5",   "Combo2",    "Text5",
        "Check6_0",      "Check6_9",     "cmdZH_0",      "cmdZH_2",   "Command5", "Frame3",   "Option3_3", "Text1",
        "Label12",       "MaskEdBox1_1", "MaskEdBox1_3", "Command21", "cmdRdLst", "Command3", "Command4",  "Command9",
        "CommonDialog1", "WebBrowser1"};
    for (const char* n : names) EXPECT_NE(w->findChild<QObject*>(n), nullptr) << n;
    const char* menus[] = {"mnuDcls",       "mnuErase",  "mnuClear",  "mnuDlzd",      "mnuEszhzd",
                           "mnuDscs_0",     "mnuDscs_1", "mnuSetDay", "mnuFrontPage", "mnuDescrb",
                           "numYanshiDown", "mnuK3_0",   "mnuK3_14"};
    for (const char* n : menus) EXPECT_NE(w->findChild<QAction*>(n), nullptr) << n;
    EXPECT_EQ(w->windowTitle(), "快3遗漏分析");
    EXPECT_EQ(w->Command1->text(), "检索(&S)");
    EXPECT_EQ(w->mnuK3[5]->text(), "江西快3");
    EXPECT_EQ(w->MSFlexGrid1->toolTip(), "鼠标双击列表可以将列表导出到EXCEL");
}

TEST_F(WindowTest, FirstStartWithoutSettingsUsesDefaults) {
    open();
    EXPECT_TRUE(w->mnuK3[0]->isChecked());
    EXPECT_FALSE(w->mnuK3[1]->isChecked());
    EXPECT_TRUE(w->Option1[1]->isChecked());
    EXPECT_TRUE(w->Option3[0]->isChecked());
    EXPECT_TRUE(w->mnuDscs[1]->isChecked());
    EXPECT_FALSE(w->mnuDscs[0]->isChecked());
    EXPECT_EQ(w->Combo1->currentText(), "2");
    EXPECT_EQ(w->intSerchDay, 6);
    // Number type: boxes 1..6 shown, 0 and 7..9 hidden.
    EXPECT_TRUE(w->Check6[0]->isHidden());
    EXPECT_FALSE(w->Check6[6]->isHidden());
    EXPECT_TRUE(w->Check6[7]->isHidden());
}

TEST_F(WindowTest, EmptyHistoryKeepsPresetTexts) {
    open();
    EXPECT_EQ(w->MSFlexGrid1->model()->rowCount(), 0);
    EXPECT_EQ(w->MSFlexGrid1->model()->headerData(0, Qt::Horizontal).toString(), "期号");
    EXPECT_EQ(w->Text3[0]->text(), "2013001");
    EXPECT_EQ(w->Text3[1]->text(), "2013001");
    EXPECT_EQ(w->Text1->text(), "2007001");
}

TEST_F(WindowTest, StartUpWithAFilledHistory) {
    fill(dbPath(), generateDraws(50, 82, 130325001));
    {
        QSettings s(settingsFile(), QSettings::IniFormat);
        s.setValue("IniSetting/GsZl", "2");
        s.setValue("IniSetting/intLei", "3");
    }
    open();
    EXPECT_EQ(w->MSFlexGrid1->model()->rowCount(), 50);
    EXPECT_EQ(w->Text3[0]->text(), "130325001");
    EXPECT_EQ(w->Text3[1]->text(), "130325050");
    EXPECT_EQ(w->Text4->text(), "130325050");
    EXPECT_EQ(w->Text1->text(), "130325051");
    EXPECT_TRUE(w->mnuK3[2]->isChecked());
    EXPECT_EQ(w->intDrawsPerDay, 82);
    // Segment type: three boxes captioned 1段..3段.
    EXPECT_EQ(w->Check6[0]->text(), "1段");
    EXPECT_FALSE(w->Check6[2]->isHidden());
    EXPECT_TRUE(w->Check6[3]->isHidden());
    // 51 grid rows: scrolled so the newest draw is in view.
    EXPECT_GT(w->MSFlexGrid1->verticalScrollBar()->value(), 0);
}

TEST_F(WindowTest, ForeignDatabaseFileIsReportedAndKept) {
    { std::ofstream(dbPath()) << "my own notes"; }
    open();
    QTest::qWait(20);
    ASSERT_EQ(told.size(), 1);
    EXPECT_TRUE(told[0].contains("不是历史数据库"));
    EXPECT_FALSE(w->Command1->isEnabled());
    EXPECT_FALSE(w->MaskEdBox1[1]->isEnabled());
    std::ifstream f(dbPath());
    std::string content((std::istreambuf_iterator<char>(f)), {});
    EXPECT_EQ(content, "my own notes");
}

TEST_F(WindowTest, TypedDrawIsAppendedAndIssueMovesOn) {
    fill(dbPath(), draws({{130325077, "111"}}));
    open();
    ASSERT_EQ(w->Text1->text(), "130325078");
    w->activateWindow();
    w->MaskEdBox1[1]->setFocus();
    QTest::keyClicks(w->MaskEdBox1[1], "2");
    EXPECT_EQ(QApplication::focusWidget(), w->MaskEdBox1[2]);
    QTest::keyClicks(w->MaskEdBox1[2], "5");
    QTest::keyClicks(w->MaskEdBox1[3], "3");
    k3::HistoryStore s(dbPath());
    auto snap = s.snapshot();
    ASSERT_EQ(snap->size(), 2u);
    EXPECT_EQ(snap->rows[1].sqqh, 130325078);
    EXPECT_EQ(snap->rows[1].die(2), 5);
    EXPECT_EQ(snap->rows[1].idx, 2);
    EXPECT_EQ(w->MSFlexGrid1->model()->rowCount(), 2);
    // Fujian has 78 draws a day: the next issue rolls over to the next day.
    EXPECT_EQ(w->Text1->text(), "130326001");
    for (int i = 1; i <= 3; ++i) EXPECT_TRUE(w->MaskEdBox1[i]->text().isEmpty());
    EXPECT_EQ(QApplication::focusWidget(), w->MaskEdBox1[1]);

    // A second draw goes under the new issue; letters and 7 never reach the boxes.
    QTest::keyClicks(w->MaskEdBox1[1], "x7");
    EXPECT_TRUE(w->MaskEdBox1[1]->text().isEmpty());
    QTest::keyClicks(w->MaskEdBox1[1], "6");
    QTest::keyClicks(w->MaskEdBox1[2], "6");
    QTest::keyClicks(w->MaskEdBox1[3], "6");
    EXPECT_EQ(k3::HistoryStore(dbPath()).newestIssue(), 130326001);
    EXPECT_TRUE(told.isEmpty());

    // The window's copy of the history, extended in place, is what a fresh read gives.
    auto fresh = k3::HistoryStore(dbPath()).snapshot();
    ASSERT_EQ(w->snapshot()->size(), fresh->size());
    for (size_t i = 0; i < fresh->size(); ++i) {
        const k3::SnapRow &a = w->snapshot()->rows[i], &b = fresh->rows[i];
        EXPECT_EQ(a.sqqh, b.sqqh);
        EXPECT_EQ(a.idx, b.idx);
        EXPECT_EQ(a.v, b.v);
        EXPECT_EQ(a.groups, b.groups);
    }
}

TEST_F(WindowTest, RefusedEntriesStoreNothing) {
    fill(dbPath(), draws({{130325001, "111"}}));
    open();
    w->Text1->setText("130325001");  // already stored
    QTest::keyClicks(w->MaskEdBox1[1], "1");
    QTest::keyClicks(w->MaskEdBox1[2], "2");
    QTest::keyClicks(w->MaskEdBox1[3], "3");
    ASSERT_EQ(told.size(), 1);
    EXPECT_TRUE(told[0].contains("已经存在"));
    w->Text1->setText("abc");
    w->MaskEdBox1[3]->clear();
    QTest::keyClicks(w->MaskEdBox1[3], "4");
    ASSERT_EQ(told.size(), 2);
    EXPECT_TRUE(told[1].contains("不是有效的期号"));
    w->Text1->setText("130325002");
    w->MaskEdBox1[1]->clear();
    w->MaskEdBox1[3]->clear();
    QTest::keyClicks(w->MaskEdBox1[3], "4");  // box 1 empty
    ASSERT_EQ(told.size(), 3);
    EXPECT_TRUE(told[2].contains("第1位"));
    EXPECT_EQ(k3::HistoryStore(dbPath()).count(), 1);
    EXPECT_TRUE(w->statusBar()->currentMessage().contains("第1位"));
}

TEST_F(WindowTest, WheelMovesTheFocusedGridByOneRow) {
    fill(dbPath(), generateDraws(200));
    open();
    QTableView* g = w->MSFlexGrid1;
    g->verticalScrollBar()->setValue(0);
    // No grid has the focus: the wheel event goes on unchanged.
    w->Text1->setFocus();
    QApplication::processEvents();
    EXPECT_EQ(w->wheelTarget, nullptr);
    g->setFocus();
    QApplication::processEvents();
    ASSERT_EQ(w->wheelTarget, g);
    sendWheel(g, 120);  // away from the user at the top: nothing moves
    EXPECT_EQ(g->verticalScrollBar()->value(), 0);
    sendWheel(g, -120);
    sendWheel(g, -360);  // a large delta is still one row
    EXPECT_EQ(g->verticalScrollBar()->value(), 2);
    sendWheel(g, 120);
    EXPECT_EQ(g->verticalScrollBar()->value(), 1);
}

TEST_F(WindowTest, RightClickOnHistoryGridOpensHistoryMenu) {
    open();
    QTest::mouseClick(w->MSFlexGrid2->viewport(), Qt::RightButton);
    EXPECT_FALSE(w->mnuLsgl->isVisible());
    QTest::mouseClick(w->MSFlexGrid1->viewport(), Qt::LeftButton);
    EXPECT_FALSE(w->mnuLsgl->isVisible());
    QTest::mouseClick(w->MSFlexGrid1->viewport(), Qt::RightButton);
    EXPECT_TRUE(w->mnuLsgl->isVisible());
    w->mnuLsgl->hide();
}

TEST_F(WindowTest, SettingsMenusArePersisted) {
    fill(dbPath(), draws({{130325079, "111"}, {130325080, "222"}}));
    open();
    EXPECT_EQ(w->Text1->text(), "130326001");  // Fujian: past the day's 78 draws
    w->mnuK3[10]->trigger();                   // 河北快3, 81 draws a day
    EXPECT_EQ(setting(settingsFile(), "GsZl"), "10");
    EXPECT_TRUE(w->mnuK3[10]->isChecked());
    EXPECT_FALSE(w->mnuK3[0]->isChecked());
    EXPECT_EQ(w->Text1->text(), "130326001");  // nothing changes until the next history command
    w->QihaoXianshi();
    EXPECT_EQ(w->Text1->text(), "130325081");

    w->mnuDscs[0]->trigger();
    EXPECT_EQ(setting(settingsFile(), "DsIni"), "0");
    EXPECT_TRUE(w->mnuDscs[0]->isChecked());
    EXPECT_FALSE(w->mnuDscs[1]->isChecked());

    // Look-back: 17 and a word are refused and asked again, 16 is taken.
    textAnswers = {QString("17"), QString("abc"), QString("16")};
    w->mnuSetDay->trigger();
    EXPECT_EQ(told.size(), 2);
    EXPECT_TRUE(told[0].startsWith("输入有误|"));
    EXPECT_EQ(setting(settingsFile(), "IniSerchDay"), "16");
    textAnswers = {QString("")};  // an empty answer changes nothing
    w->mnuSetDay->trigger();
    EXPECT_EQ(w->intSerchDay, 16);
    ASSERT_FALSE(questions.isEmpty());
    EXPECT_TRUE(questions.last().endsWith("|16"));  // preset with the current value

    open();  // a new start reads them back
    EXPECT_TRUE(w->mnuK3[10]->isChecked());
    EXPECT_TRUE(w->mnuDscs[0]->isChecked());
    EXPECT_EQ(w->intSerchDay, 16);
}

TEST_F(WindowTest, HistoricalIssueTabChoosesDrawAndRange) {
    fill(dbPath(), draws({{130324078, "125"}, {130325001, "346"}, {130325003, "612"}}));
    open();
    w->TabStrip1->setCurrentIndex(1);
    EXPECT_FALSE(w->Frame2[2]->isHidden());
    EXPECT_TRUE(w->Frame2[1]->isHidden());
    EXPECT_FALSE(w->bolManual);
    EXPECT_EQ(w->Text2[11]->text(), "6");  // last draw by default
    w->Text4->setText("130325002");        // a gap: the draw before it
    w->Text4_LostFocus();
    EXPECT_EQ(w->Text2[11]->text(), "3");
    EXPECT_EQ(w->intValues[3], 6);
    EXPECT_EQ(w->Text3[1]->text(), "130325003");
    w->Check4->click();
    EXPECT_EQ(w->Text3[1]->text(), "130325000");
    w->Check4->click();
    EXPECT_EQ(w->Text3[1]->text(), "130325003");
    w->TabStrip1->setCurrentIndex(0);
    EXPECT_TRUE(w->bolManual);
    EXPECT_TRUE(w->Text4->isHidden());
}

TEST_F(WindowTest, HelpEntriesOpenShippedDocuments) {
    open();
    w->mnuFrontPage->trigger();
    w->mnuDescrb->trigger();
    w->numYanshiDown->trigger();
    ASSERT_EQ(opened.size(), 3);
    EXPECT_TRUE(opened[0].endsWith("docs/index.html"));
    EXPECT_TRUE(opened[1].endsWith("docs/manual.html"));
    EXPECT_TRUE(opened[2].endsWith("docs/walkthrough.html"));
}
