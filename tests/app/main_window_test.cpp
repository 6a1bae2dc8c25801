#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QRadioButton>
#include <QScrollBar>
#include <QSettings>
#include <QTabBar>
#include <QTableView>
#include <QTest>
#include <QUrl>
#include <fstream>

#include "search/search.h"
#include "store/history_store.h"
#include "window_fixture.h"

using namespace k3test;

namespace {

void fill(const std::string& db, const std::vector<k3::DerivedDraw>& d) { k3::HistoryStore(db).append(d); }

}  // namespace

TEST_F(WindowTest, EveryNamedControlExists) {
    open();
    const char* names[] = {
        "MSFlexGrid1",  "MSFlexGrid2", "MSFlexGrid3", "TabStrip1", "Frame2_1",  "Frame2_2", "Text22_1",
        "Text22_3",     "Check11_2",   "Text2_11",    "Text2_13",  "Check1_12", "Check4",   "Text4",
        "Frame1_0",     "Option1_0",   "Option1_1",   "Frame7",    "Text3_0",   "Text3_1",  "Label3_0",
        "Label3_1",     "Label4",      "Command1",    "Frame5",    "Label1",    "Combo1",   "Command2",
        "Frame6",       "Label5",      "Combo2",      "Text5",     "Check6_0",  "Check6_9", "cmdZH_0",
        "cmdZH_2",      "Command5",    "Frame3",      "Option3_3", "Text1",     "Label12",  "MaskEdBox1_1",
        "MaskEdBox1_3", "Command21",   "cmdRdLst",    "Command3",  "Command4",  "Command9", "CommonDialog1"};
    for (const char* n : names) EXPECT_NE(w->findChild<QObject*>(n), nullptr) << n;
    const char* menus[] = {"mnuLsgl",      "mnuSetup",     "mnuDssetup", "mnuCaizhong",   "mnuDcls",   "mnuErase",
                           "mnuClear",     "mnuDlzd",      "mnuEszhzd",  "mnuDscs_0",     "mnuDscs_1", "mnuSetDay",
                           "mnuUpdateUrl", "mnuFrontPage", "mnuDescrb",  "numYanshiDown", "mnuK3_0",   "mnuK3_14"};
    for (const char* n : menus) EXPECT_NE(w->findChild<QObject*>(n), nullptr) << n;
    EXPECT_EQ(w->objectName(), "frmMain");
    EXPECT_TRUE(w->windowTitle().startsWith("快3遗漏分析 — "));
    EXPECT_EQ(find<QAbstractButton>(k3::names::kSearchButton)->text(), "检索(&S)");
    EXPECT_EQ(action("mnuK3_5")->text(), "江西快3");
    EXPECT_EQ(find<QTableView>(k3::names::kHistoryGrid)->toolTip(), "鼠标双击列表可以将列表导出到EXCEL");
}

TEST_F(WindowTest, FirstStartWithoutSettingsUsesDefaults) {
    open();
    EXPECT_TRUE(action("mnuK3_0")->isChecked());
    EXPECT_FALSE(action("mnuK3_1")->isChecked());
    EXPECT_TRUE(find<QRadioButton>(k3::names::kFreePositionsOption)->isChecked());
    EXPECT_TRUE(find<QRadioButton>("Option3_0")->isChecked());
    EXPECT_TRUE(action("mnuDscs_1")->isChecked());
    EXPECT_FALSE(action("mnuDscs_0")->isChecked());
    EXPECT_EQ(find<QComboBox>(k3::names::kPartialWidthCombo)->currentText(), "2");
    trigger(k3::names::kLookBackAction);  // the look-back question is preset with 6 years
    ASSERT_EQ(questions.size(), 1);
    EXPECT_TRUE(questions[0].endsWith("|6"));
    // Number type: boxes 1..6 shown, 0 and 7..9 hidden.
    EXPECT_TRUE(find("Check6_0")->isHidden());
    EXPECT_FALSE(find("Check6_6")->isHidden());
    EXPECT_TRUE(find("Check6_7")->isHidden());
}

TEST_F(WindowTest, EmptyHistoryKeepsPresetTexts) {
    open();
    EXPECT_EQ(gridRows(k3::names::kHistoryGrid), 0);
    EXPECT_EQ(find<QTableView>(k3::names::kHistoryGrid)->model()->headerData(0, Qt::Horizontal).toString(), "期号");
    EXPECT_EQ(text(k3::names::kRangeStartEdit), "2013001");
    EXPECT_EQ(text(k3::names::kRangeEndEdit), "2013001");
    EXPECT_EQ(text(k3::names::kNextIssueEdit), "2007001");
    // The status bar tells the ways to get history in.
    EXPECT_TRUE(status().startsWith("历史数据库中还没有号码：")) << status().toStdString();
    for (const char* way : {"读取历史号文本", "历史号在线更新", "输入最新一期的三个号码"})
        EXPECT_TRUE(status().contains(way)) << way;
}

TEST_F(WindowTest, StartUpWithAFilledHistory) {
    fill(dbPath(), generateDraws(50, 82, 130325001));
    {
        QSettings s(settingsFile(), QSettings::IniFormat);
        s.setValue("IniSetting/GsZl", "2");
        s.setValue("IniSetting/intLei", "3");
    }
    open();
    EXPECT_EQ(gridRows(k3::names::kHistoryGrid), 50);
    EXPECT_EQ(text(k3::names::kRangeStartEdit), "130325001");
    EXPECT_EQ(text(k3::names::kRangeEndEdit), "130325050");
    EXPECT_EQ(text(k3::names::kChosenIssueEdit), "130325050");
    EXPECT_EQ(text(k3::names::kNextIssueEdit), "130325051");
    EXPECT_TRUE(action("mnuK3_2")->isChecked());
    EXPECT_EQ(status(), "共 50 期历史号码");
    // Segment type: three boxes captioned 1段..3段.
    EXPECT_EQ(find<QCheckBox>("Check6_0")->text(), "1段");
    EXPECT_FALSE(find("Check6_2")->isHidden());
    EXPECT_TRUE(find("Check6_3")->isHidden());
    // 51 grid rows: scrolled so the newest draw is in view.
    EXPECT_GT(find<QTableView>(k3::names::kHistoryGrid)->verticalScrollBar()->value(), 0);
}

TEST_F(WindowTest, ForeignDatabaseFileIsReportedAndKept) {
    { std::ofstream(dbPath()) << "my own notes"; }
    open();
    ASSERT_TRUE(eventually([this] { return !told.isEmpty(); })) << "the foreign file was not reported";
    ASSERT_EQ(told.size(), 1);
    EXPECT_TRUE(told[0].contains("不是历史数据库"));
    for (const char* name : {"Command1", "Command2", "Command5", "Command21", "cmdRdLst", "Command3", "Command4",
                             "MaskEdBox1_1", "MaskEdBox1_3"})
        EXPECT_FALSE(find(name)->isEnabled()) << name;
    EXPECT_FALSE(action(k3::names::kClearHistoryAction)->isEnabled());
    std::ifstream f(dbPath());
    std::string content((std::istreambuf_iterator<char>(f)), {});
    EXPECT_EQ(content, "my own notes");
}

TEST_F(WindowTest, TypedDrawIsAppendedAndIssueMovesOn) {
    fill(dbPath(), draws({{130325077, "111"}}));
    open();
    ASSERT_EQ(text(k3::names::kNextIssueEdit), "130325078");
    auto* box1 = find<QLineEdit>("MaskEdBox1_1");
    box1->setFocus();
    QTest::keyClicks(box1, "2");
    EXPECT_EQ(QApplication::focusWidget(), find("MaskEdBox1_2"));
    QTest::keyClicks(find("MaskEdBox1_2"), "5");
    QTest::keyClicks(find("MaskEdBox1_3"), "3");
    auto snap = k3::HistoryStore(dbPath()).snapshot();
    ASSERT_EQ(snap->size(), 2u);
    EXPECT_EQ(snap->rows[1].sqqh, 130325078);
    EXPECT_EQ(snap->rows[1].die(2), 5);
    EXPECT_EQ(snap->rows[1].idx, 2);
    EXPECT_EQ(gridRow(k3::names::kHistoryGrid, 1), (QStringList{"130325078", "2", "5", "3"}));
    EXPECT_EQ(status(), "已保存第 130325078 期");
    // Fujian has 78 draws a day: the next issue rolls over to the next day; the range ends past the draw.
    EXPECT_EQ(text(k3::names::kNextIssueEdit), "130326001");
    EXPECT_EQ(text(k3::names::kRangeEndEdit), "130325079");
    for (const char* name : {"MaskEdBox1_1", "MaskEdBox1_2", "MaskEdBox1_3"}) EXPECT_TRUE(text(name).isEmpty());
    EXPECT_EQ(QApplication::focusWidget(), box1);

    // A second draw goes under the new issue; letters and 7 never reach the boxes.
    QTest::keyClicks(box1, "x7");
    EXPECT_TRUE(box1->text().isEmpty());
    QTest::keyClicks(box1, "6");
    QTest::keyClicks(find("MaskEdBox1_2"), "6");
    QTest::keyClicks(find("MaskEdBox1_3"), "6");
    EXPECT_EQ(k3::HistoryStore(dbPath()).newestIssue(), 130326001);
    EXPECT_TRUE(told.isEmpty());

    // The window's copy of the history, extended in place, searches as a fresh read does: every
    // search type, fixed and free, over the typed draws.
    auto fresh = k3::HistoryStore(dbPath()).snapshot();
    type(k3::names::kRangeStartEdit, "130325077");
    type(k3::names::kRangeEndEdit, "130326001");
    click("Check11_1");
    for (int searchType = 0; searchType < 4; ++searchType) {
        click(QString("Option3_%1").arg(searchType));
        for (const char* mode : {"Option1_0", "Option1_1"}) {
            click(mode);
            type("Text22_1", "1");
            click(k3::names::kSearchButton);
            k3::SearchInput in;
            in.type = searchType;
            in.free = QString(mode) == "Option1_1";
            in.selected = {true, false, false};
            in.values = {1, 0, 0};
            in.texts = {"1", "", ""};
            in.from = "130325077";
            in.to = "130326001";
            const k3::SearchOutput expected = k3::runSearch(*fresh, in);
            ASSERT_EQ(gridRows(k3::names::kMatchesGrid), static_cast<int>(expected.matches.rows.size()));
            for (size_t r = 0; r < expected.matches.rows.size(); ++r) {
                QStringList cells;
                for (const std::string& c : expected.matches.rows[r]) cells << QString::fromStdString(c);
                EXPECT_EQ(gridRow(k3::names::kMatchesGrid, static_cast<int>(r)), cells) << searchType << mode;
            }
            EXPECT_EQ(
                gridRow(k3::names::kSummaryGrid, 0).join(' ').toStdString(),
                QString::fromStdString(k3::gridText(expected.summary)).split('\n')[1].replace('\t', ' ').toStdString());
        }
    }
}

TEST_F(WindowTest, RefusedEntriesStoreNothing) {
    fill(dbPath(), draws({{130325001, "111"}}));
    open();
    find<QLineEdit>(k3::names::kNextIssueEdit)->setText("130325001");  // already stored
    QTest::keyClicks(find("MaskEdBox1_1"), "1");
    QTest::keyClicks(find("MaskEdBox1_2"), "2");
    QTest::keyClicks(find("MaskEdBox1_3"), "3");
    ASSERT_EQ(told.size(), 1);
    EXPECT_TRUE(told[0].contains("已经存在"));
    find<QLineEdit>(k3::names::kNextIssueEdit)->setText("abc");
    find<QLineEdit>("MaskEdBox1_3")->clear();
    QTest::keyClicks(find("MaskEdBox1_3"), "4");
    ASSERT_EQ(told.size(), 2);
    EXPECT_TRUE(told[1].contains("不是有效的期号"));
    find<QLineEdit>(k3::names::kNextIssueEdit)->setText("130325002");
    find<QLineEdit>("MaskEdBox1_1")->clear();
    find<QLineEdit>("MaskEdBox1_3")->clear();
    QTest::keyClicks(find("MaskEdBox1_3"), "4");  // box 1 empty
    ASSERT_EQ(told.size(), 3);
    EXPECT_TRUE(told[2].contains("第1位"));
    EXPECT_EQ(k3::HistoryStore(dbPath()).count(), 1);
    EXPECT_TRUE(status().contains("第1位"));
}

TEST_F(WindowTest, RightClickOnHistoryGridOpensHistoryMenu) {
    open();
    auto* menu = find<QMenu>(k3::names::kHistoryMenu);
    QTest::mouseClick(find<QTableView>(k3::names::kMatchesGrid)->viewport(), Qt::RightButton);
    EXPECT_FALSE(menu->isVisible());
    QTest::mouseClick(find<QTableView>(k3::names::kHistoryGrid)->viewport(), Qt::LeftButton);
    EXPECT_FALSE(menu->isVisible());
    QTest::mouseClick(find<QTableView>(k3::names::kHistoryGrid)->viewport(), Qt::RightButton);
    EXPECT_TRUE(menu->isVisible());
    menu->hide();
}

TEST_F(WindowTest, SettingsMenusArePersisted) {
    fill(dbPath(), draws({{130325079, "111"}, {130325080, "222"}}));
    open();
    EXPECT_EQ(text(k3::names::kNextIssueEdit), "130326001");  // Fujian: past the day's 78 draws
    trigger("mnuK3_10");                                      // 河北快3, 81 draws a day: a history of its own
    EXPECT_EQ(setting("GsZl"), "10");
    EXPECT_TRUE(action("mnuK3_10")->isChecked());
    EXPECT_FALSE(action("mnuK3_0")->isChecked());
    EXPECT_TRUE(status().startsWith("河北快3（每天 81 期，gapbook-heb.db）：历史数据库中还没有号码"))
        << status().toStdString();
    EXPECT_EQ(text(k3::names::kNextIssueEdit), "2007001");
    trigger("mnuK3_0");  // back to 福建快3's history, as it was
    ASSERT_EQ(setting("GsZl"), "0") << status().toStdString() << told.join("/").toStdString();
    EXPECT_EQ(setting("GsZl"), "0");
    EXPECT_EQ(text(k3::names::kNextIssueEdit), "130326001");
    trigger("mnuK3_10");

    trigger("mnuDscs_0");
    EXPECT_EQ(setting("DsIni"), "0");
    EXPECT_TRUE(action("mnuDscs_0")->isChecked());
    EXPECT_FALSE(action("mnuDscs_1")->isChecked());

    // Look-back: 17 and a word are refused and asked again, 16 is taken.
    textAnswers = {QString("17"), QString("abc"), QString("16")};
    trigger(k3::names::kLookBackAction);
    EXPECT_EQ(told.size(), 2);
    EXPECT_TRUE(told[0].startsWith("输入有误|"));
    EXPECT_EQ(setting("IniSerchDay"), "16");
    textAnswers = {QString("")};  // an empty answer changes nothing
    trigger(k3::names::kLookBackAction);
    trigger(k3::names::kLookBackAction);
    EXPECT_TRUE(questions.last().endsWith("|16"));  // preset with the current value

    open();  // a new start reads them back
    EXPECT_TRUE(action("mnuK3_10")->isChecked());
    EXPECT_TRUE(action("mnuDscs_0")->isChecked());
    trigger(k3::names::kLookBackAction);
    EXPECT_TRUE(questions.last().endsWith("|16"));
}

TEST_F(WindowTest, HistoricalIssueTabChoosesDrawAndRange) {
    fill(dbPath(), draws({{130324078, "125"}, {130325001, "346"}, {130325003, "612"}}));
    open();
    auto* tabs = find<QTabBar>(k3::names::kValueSourceTabs);
    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(1).center());
    EXPECT_TRUE(find(k3::names::kChosenValuesFrame)->isVisible());
    EXPECT_FALSE(find(k3::names::kTypedValuesFrame)->isVisible());
    EXPECT_EQ(text("Text2_11"), "6");                // last draw by default
    type(k3::names::kChosenIssueEdit, "130325002");  // a gap: the draw before it
    find(k3::names::kRangeStartEdit)->setFocus();    // leaving the box chooses the draw
    EXPECT_EQ(text("Text2_11"), "3");
    EXPECT_EQ(text("Text2_13"), "6");
    EXPECT_EQ(text(k3::names::kRangeEndEdit), "130325003");
    click(k3::names::kOnlyBeforeChosenCheck);
    EXPECT_EQ(text(k3::names::kRangeEndEdit), "130325000");
    click(k3::names::kOnlyBeforeChosenCheck);
    EXPECT_EQ(text(k3::names::kRangeEndEdit), "130325003");
    // The chosen draw's values are searched: 3 at the first position.
    click("Check1_11");
    click(k3::names::kSearchButton);
    EXPECT_EQ(gridColumn(k3::names::kMatchesGrid, 0), (QStringList{"130325001"}));
    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(0).center());
    EXPECT_FALSE(find(k3::names::kChosenIssueEdit)->isVisible());
    EXPECT_TRUE(find(k3::names::kTypedValuesFrame)->isVisible());
}

TEST_F(WindowTest, HelpEntriesOpenShippedDocuments) {
    open();
    trigger(k3::names::kHomePageAction);
    trigger(k3::names::kManualAction);
    trigger(k3::names::kWalkthroughAction);
    ASSERT_EQ(opened.size(), 3);
    EXPECT_TRUE(opened[0].endsWith("docs/index.html"));
    EXPECT_TRUE(opened[1].endsWith("docs/manual.html"));
    EXPECT_TRUE(opened[2].endsWith("docs/walkthrough.html"));
    // Without a browser: said, with the page's full path.
    openSucceeds = false;
    trigger(k3::names::kManualAction);
    EXPECT_TRUE(status().startsWith("无法打开帮助 " + QUrl(opened[1]).toLocalFile() + "：本机没有可以打开网页的程序"))
        << status().toStdString();
}
