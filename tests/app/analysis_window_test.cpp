#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QStatusBar>
#include <QTableView>
#include <QTest>

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

QStringList row(k3::GridModel* m, int r) {
    QStringList out;
    for (int c = 0; c < m->columnCount(); ++c) out << m->index(r, c).data().toString();
    return out;
}

QStringList column0(k3::GridModel* m) {
    QStringList out;
    for (int r = 0; r < m->rowCount(); ++r) out << m->index(r, 0).data().toString();
    return out;
}

void type(QLineEdit* box, const QString& text) {
    box->setFocus();
    box->clear();
    QTest::keyClicks(box, text);
}

}  // namespace

TEST_F(WindowTest, SearchFillsBothGridsAndRestoresThePointer) {
    fill(dbPath(), draws({{130325001, "253"}, {130325002, "666"}, {130325003, "225"}}));
    open();
    type(w->Text22[1], "2");
    type(w->Text22[2], "x2");  // the letter is refused
    EXPECT_EQ(w->Text22[2]->text(), "2");
    w->Check11[1]->setChecked(true);
    w->Check11[2]->setChecked(true);
    QTest::mouseClick(w->Command1, Qt::LeftButton);  // the focus moves to the button: values are read
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    ASSERT_EQ(w->resultModel()->rowCount(), 1);
    EXPECT_EQ(row(w->resultModel(), 0), (QStringList{"130325003", "2", "2", "5", "3", "1"}));
    EXPECT_EQ(row(w->summaryModel(), 0), (QStringList{"2 2 ", "3", "3", "1", "3"}));
    EXPECT_EQ(w->strDescr, "2 2 ");

    // Fixed positions: position 1 = 2 and position 2 = 5 is only the first draw.
    QTest::mouseClick(w->Option1[0], Qt::LeftButton);
    EXPECT_EQ(setting(settingsFile(), "bolZyw"), "False");
    type(w->Text22[2], "5");
    QTest::mouseClick(w->Command1, Qt::LeftButton);
    EXPECT_EQ(column0(w->resultModel()), (QStringList{"130325001"}));
    EXPECT_EQ(row(w->summaryModel(), 0)[0], "2 5 ");
}

TEST_F(WindowTest, BadSearchInputEndsWithEmptyListsAndAMessage) {
    fill(dbPath(), draws({{130325001, "253"}, {130325002, "666"}}));
    open();
    w->Check11[1]->setChecked(true);
    type(w->Text22[1], "2");
    w->Text3[0]->setText("13032500x");
    QTest::mouseClick(w->Command1, Qt::LeftButton);
    EXPECT_EQ(w->resultModel()->rowCount(), 0);
    EXPECT_EQ(w->summaryModel()->rowCount(), 0);
    EXPECT_EQ(w->resultModel()->columnCount(), 6);
    EXPECT_FALSE(w->statusBar()->currentMessage().isEmpty());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    // Choosing a position option sets the range start back to the first issue.
    QTest::mouseClick(w->Option1[1], Qt::LeftButton);
    EXPECT_EQ(w->Text3[0]->text(), "130325001");
    // A value the number type cannot hold: no match, and the status bar says why.
    type(w->Text22[1], "9");
    QTest::mouseClick(w->Command1, Qt::LeftButton);
    EXPECT_EQ(w->resultModel()->rowCount(), 0);
    EXPECT_EQ(row(w->summaryModel(), 0)[2], "32767");
    EXPECT_TRUE(w->statusBar()->currentMessage().contains("9"));
}

TEST_F(WindowTest, PartialSearchAndItsWidth) {
    fill(dbPath(), draws({{130325001, "221"}, {130325002, "425"}, {130325003, "522"}, {130325004, "234"}}));
    open();
    type(w->Text22[1], "2");
    type(w->Text22[2], "2");
    type(w->Text22[3], "5");
    w->Combo1->setFocus();
    w->Combo1->setCurrentText("abc");
    QTest::mouseClick(w->Command2, Qt::LeftButton);
    EXPECT_EQ(w->intZhW, 2);  // not a whole number: the width stays
    EXPECT_EQ(w->Combo1->currentText(), "2");
    EXPECT_EQ(column0(w->resultModel()), (QStringList{"130325001", "130325002", "130325003"}));
    EXPECT_EQ(row(w->summaryModel(), 0)[0], "2 2 5 (2)");
    w->Combo1->setFocus();
    w->Combo1->setCurrentText("3");
    QTest::mouseClick(w->Command2, Qt::LeftButton);
    EXPECT_EQ(setting(settingsFile(), "intZhWSetup"), "3");
    EXPECT_EQ(column0(w->resultModel()), (QStringList{"130325003"}));
    EXPECT_EQ(row(w->summaryModel(), 0)[0], "2 2 5 (3)");
}

TEST_F(WindowTest, GroupCalculationAndAClickThatReSorts) {
    fill(dbPath(), draws({{130325001, "123"}, {130325002, "456"}, {130325003, "111"}, {130325004, "222"}}));
    open();
    QTest::mouseClick(w->cmdZH[0], Qt::LeftButton);
    EXPECT_EQ(w->Text5->text(), "6");
    w->Combo2->setCurrentText("1");
    QTest::mouseClick(w->Command5, Qt::LeftButton);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    // Listed by last omission, equal ones in the order of the groups.
    EXPECT_EQ(column0(w->summaryModel()), (QStringList{"2", "1", "4", "5", "6", "3"}));
    EXPECT_EQ(row(w->summaryModel(), 1), (QStringList{"1", "1", "2", "2", "1"}));
    // A click on the largest-omission column sorts by it.
    w->MSFlexGrid3_Click(2);
    EXPECT_EQ(column0(w->summaryModel()), (QStringList{"3", "1", "4", "5", "6", "2"}));
    w->MSFlexGrid3_Click(4);
    EXPECT_EQ(column0(w->summaryModel()), (QStringList{"3", "4", "5", "6", "1", "2"}));
    QTest::mouseClick(w->MSFlexGrid3->viewport(), Qt::LeftButton, {},
                      w->MSFlexGrid3->visualRect(w->summaryModel()->index(0, 1)).center());
    EXPECT_EQ(column0(w->summaryModel()), (QStringList{"1", "2", "3", "4", "5", "6"}));
    // Column 0 shows the header row only.
    w->MSFlexGrid3_Click(0);
    EXPECT_EQ(w->summaryModel()->rowCount(), 0);
    EXPECT_EQ(w->summaryModel()->columnCount(), 5);

    // A first issue that is not stored: YL stays empty and the status bar says why.
    w->Text3[0]->setText("130325000");
    QTest::mouseClick(w->Command5, Qt::LeftButton);
    EXPECT_EQ(w->summaryModel()->rowCount(), 0);
    EXPECT_TRUE(w->statusBar()->currentMessage().contains("130325000"));
    w->MSFlexGrid3_Click(3);
    EXPECT_EQ(w->summaryModel()->rowCount(), 0);
}

TEST_F(WindowTest, SearchTypeClearsTicksAndLaysOutTheBoxes) {
    open();
    w->Check6[2]->click();
    w->Check6[5]->click();
    EXPECT_EQ(w->Text5->text(), "2");
    w->Check6[5]->click();
    EXPECT_EQ(w->Text5->text(), "1");
    QTest::mouseClick(w->Option3[1], Qt::LeftButton);
    EXPECT_EQ(w->intLei, 1);
    EXPECT_EQ(w->strLetter, "B");
    EXPECT_EQ(w->Text5->text(), "0");
    for (int i = 0; i < 10; ++i) EXPECT_FALSE(w->Check6[i]->isChecked()) << i;
    EXPECT_FALSE(w->Check6[0]->isHidden());
    EXPECT_EQ(w->Check6[1]->text(), "大");
    EXPECT_TRUE(w->Check6[2]->isHidden());
    EXPECT_EQ(setting(settingsFile(), "intLei"), "1");
    QTest::mouseClick(w->cmdZH[0], Qt::LeftButton);
    EXPECT_EQ(w->Text5->text(), "2");
    QTest::mouseClick(w->Option3[3], Qt::LeftButton);
    QTest::mouseClick(w->cmdZH[0], Qt::LeftButton);
    EXPECT_EQ(w->Text5->text(), "3");
    QTest::mouseClick(w->cmdZH[2], Qt::LeftButton);
    EXPECT_EQ(w->Text5->text(), "0");
}
