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

void fill(const std::string& db, const std::vector<k3::DerivedDraw>& d) { k3::HistoryStore(db).append(d); }

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

TEST_F(WindowTest, SearchAndPartialSearch) {
    fill(dbPath(), draws({{130325001, "253"}, {130325002, "666"}, {130325003, "225"}}));
    open();
    type(w->Text22[1], "2");
    type(w->Text22[2], "x2");  // the letter is refused
    type(w->Text22[3], "5");
    w->Check11[1]->setChecked(true);
    w->Check11[2]->setChecked(true);
    QTest::mouseClick(w->Command1, Qt::LeftButton);  // the focus moves to the button: the value is read
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(row(w->resultModel(), 0), (QStringList{"130325003", "2", "2", "5", "3", "1"}));
    EXPECT_EQ(row(w->summaryModel(), 0), (QStringList{"2 2 ", "3", "3", "1", "3"}));
    // Fixed positions 2 and 5: the option is saved and the range starts at the first issue again.
    w->Text3[0]->setText("130325002");
    QTest::mouseClick(w->Option1[0], Qt::LeftButton);
    EXPECT_EQ(setting(settingsFile(), "bolZyw"), "False");
    EXPECT_EQ(w->Text3[0]->text(), "130325001");
    type(w->Text22[2], "5");
    QTest::mouseClick(w->Command1, Qt::LeftButton);
    EXPECT_EQ(column0(w->resultModel()), (QStringList{"130325001"}));
    // Partial search 2 5 5, fixed; a width that is not a whole number keeps the old one.
    w->Combo1->setFocus();
    w->Combo1->setCurrentText("abc");
    QTest::mouseClick(w->Command2, Qt::LeftButton);
    EXPECT_EQ(w->Combo1->currentText(), "2");
    EXPECT_EQ(column0(w->resultModel()), (QStringList{"130325001", "130325003"}));
    EXPECT_EQ(row(w->summaryModel(), 0)[0], "2 5 5 (2)");
    w->Combo1->setFocus();
    w->Combo1->setCurrentText("3");
    QTest::mouseClick(w->Command2, Qt::LeftButton);
    EXPECT_EQ(setting(settingsFile(), "intZhWSetup"), "3");
    EXPECT_EQ(w->resultModel()->rowCount(), 0);
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
    EXPECT_TRUE(w->statusBar()->currentMessage().contains("13032500x"));
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    w->Text3[0]->setText("130325001");
    type(w->Text22[1], "9");  // a value the number type cannot hold
    QTest::mouseClick(w->Command1, Qt::LeftButton);
    EXPECT_EQ(w->resultModel()->rowCount(), 0);
    EXPECT_TRUE(w->statusBar()->currentMessage().contains("9"));
}

TEST_F(WindowTest, GroupCalculationAndClicksThatReSort) {
    fill(dbPath(), draws({{130325001, "123"}, {130325002, "456"}, {130325003, "111"}, {130325004, "222"}}));
    open();
    QTest::mouseClick(w->cmdZH[0], Qt::LeftButton);
    EXPECT_EQ(w->Text5->text(), "6");
    w->Combo2->setCurrentText("1");
    QTest::mouseClick(w->Command5, Qt::LeftButton);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(column0(w->summaryModel()), (QStringList{"2", "1", "4", "5", "6", "3"}));  // by last omission
    EXPECT_EQ(row(w->summaryModel(), 1), (QStringList{"1", "1", "2", "2", "1"}));
    w->MSFlexGrid3_Click(4);
    EXPECT_EQ(column0(w->summaryModel()), (QStringList{"3", "4", "5", "6", "1", "2"}));
    QTest::mouseClick(w->MSFlexGrid3->viewport(), Qt::LeftButton, {},
                      w->MSFlexGrid3->visualRect(w->summaryModel()->index(0, 2)).center());
    EXPECT_EQ(column0(w->summaryModel()), (QStringList{"3", "1", "4", "5", "6", "2"}));  // by largest omission
    w->MSFlexGrid3_Click(0);
    EXPECT_EQ(w->summaryModel()->rowCount(), 0);
    // A first issue that is not stored: YL stays empty and the status bar says why.
    w->Text3[0]->setText("130325000");
    QTest::mouseClick(w->Command5, Qt::LeftButton);
    EXPECT_TRUE(w->statusBar()->currentMessage().contains("130325000"));
    EXPECT_EQ(w->summaryModel()->rowCount(), 0);
}

TEST_F(WindowTest, SearchTypeClearsTicksAndLaysOutTheBoxes) {
    open();
    w->Check6[2]->click();
    w->Check6[5]->click();
    EXPECT_EQ(w->Text5->text(), "2");
    QTest::mouseClick(w->Option3[1], Qt::LeftButton);
    EXPECT_EQ(w->strLetter, "B");
    EXPECT_EQ(w->Text5->text(), "0");
    for (int i = 0; i < 10; ++i) EXPECT_FALSE(w->Check6[i]->isChecked()) << i;
    EXPECT_EQ(w->Check6[1]->text(), "大");
    EXPECT_TRUE(w->Check6[2]->isHidden());
    EXPECT_EQ(setting(settingsFile(), "intLei"), "1");
    QTest::mouseClick(w->Option3[3], Qt::LeftButton);
    QTest::mouseClick(w->cmdZH[0], Qt::LeftButton);
    EXPECT_EQ(w->Text5->text(), "3");
    QTest::mouseClick(w->cmdZH[2], Qt::LeftButton);
    EXPECT_EQ(w->Text5->text(), "0");
}
