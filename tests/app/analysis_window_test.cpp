// The analyses through the real window: search, partial search, group calculation and its sorting.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>

#include "groups/group_calc.h"
#include "search/search.h"
#include "store/history_store.h"
#include "window_fixture.h"

using namespace k3test;

namespace {

void fill(const std::string& db, const std::vector<k3::DerivedDraw>& d) { k3::HistoryStore(db).append(d); }

}  // namespace

TEST_F(WindowTest, SearchAndPartialSearch) {
    fill(dbPath(), draws({{130325001, "253"}, {130325002, "666"}, {130325003, "225"}}));
    open();
    type("Text22_1", "2");
    type("Text22_2", "x2");  // the letter is refused
    type("Text22_3", "5");
    click("Check11_1");
    click("Check11_2");
    click(k3::names::kSearchButton);  // the focus moves to the button: the value is read
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(gridRow(k3::names::kMatchesGrid, 0), (QStringList{"130325003", "2", "2", "5", "3", "1"}));
    EXPECT_EQ(gridRow(k3::names::kSummaryGrid, 0), (QStringList{"2 2 ", "3", "3", "1", "3"}));
    // Fixed positions 2 and 5: the option is saved and the range starts at the first issue again.
    find<QLineEdit>(k3::names::kRangeStartEdit)->setText("130325002");
    click(k3::names::kFixedPositionsOption);
    EXPECT_EQ(setting("bolZyw"), "False");
    EXPECT_EQ(text(k3::names::kRangeStartEdit), "130325001");
    type("Text22_2", "5");
    click(k3::names::kSearchButton);
    EXPECT_EQ(gridColumn(k3::names::kMatchesGrid, 0), (QStringList{"130325001"}));
    // Partial search 2 5 5, fixed; a width that is not a whole number keeps the old one.
    auto* width = find<QComboBox>(k3::names::kPartialWidthCombo);
    width->setFocus();
    width->setCurrentText("abc");
    click(k3::names::kPartialSearchButton);
    EXPECT_EQ(width->currentText(), "2");
    EXPECT_EQ(gridColumn(k3::names::kMatchesGrid, 0), (QStringList{"130325001", "130325003"}));
    EXPECT_EQ(gridRow(k3::names::kSummaryGrid, 0)[0], "2 5 5 (2)");
    width->setFocus();
    width->setCurrentText("3");
    click(k3::names::kPartialSearchButton);
    EXPECT_EQ(setting("intZhWSetup"), "3");
    EXPECT_EQ(gridRows(k3::names::kMatchesGrid), 0);
}

TEST_F(WindowTest, BadSearchInputEndsWithEmptyListsAndAMessage) {
    fill(dbPath(), draws({{130325001, "253"}, {130325002, "666"}}));
    open();
    click("Check11_1");
    type("Text22_1", "2");
    find<QLineEdit>(k3::names::kRangeStartEdit)->setText("13032500x");
    click(k3::names::kSearchButton);
    EXPECT_EQ(gridRows(k3::names::kMatchesGrid), 0);
    EXPECT_EQ(gridRows(k3::names::kSummaryGrid), 0);
    EXPECT_TRUE(status().contains("13032500x"));
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    find<QLineEdit>(k3::names::kRangeStartEdit)->setText("130325001");
    type("Text22_1", "9");  // a value the number type cannot hold
    click(k3::names::kSearchButton);
    EXPECT_EQ(gridRows(k3::names::kMatchesGrid), 0);
    EXPECT_TRUE(status().contains("9"));
}

TEST_F(WindowTest, GroupCalculationAndClicksThatReSort) {
    fill(dbPath(), draws({{130325001, "123"}, {130325002, "456"}, {130325003, "111"}, {130325004, "222"}}));
    open();
    click("cmdZH_0");
    EXPECT_EQ(text(k3::names::kTickedCountEdit), "6");
    find<QComboBox>(k3::names::kGroupSizeCombo)->setCurrentText("1");
    click(k3::names::kCalculateButton);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(gridColumn(k3::names::kSummaryGrid, 0), (QStringList{"2", "1", "4", "5", "6", "3"}));  // by last omission
    EXPECT_EQ(gridRow(k3::names::kSummaryGrid, 1), (QStringList{"1", "1", "2", "2", "1"}));
    clickCell(k3::names::kSummaryGrid, 0, 4);
    EXPECT_EQ(gridColumn(k3::names::kSummaryGrid, 0), (QStringList{"3", "4", "5", "6", "1", "2"}));  // by ratio
    clickCell(k3::names::kSummaryGrid, 0, 2);
    EXPECT_EQ(gridColumn(k3::names::kSummaryGrid, 0),
              (QStringList{"3", "1", "4", "5", "6", "2"}));  // by largest omission
    clickCell(k3::names::kSummaryGrid, 0, 0);                // the groups' column has no sort key: the listing stays
    EXPECT_EQ(gridColumn(k3::names::kSummaryGrid, 0), (QStringList{"3", "1", "4", "5", "6", "2"}));
    // A first issue that is not stored: YL stays empty and the status bar says why.
    find<QLineEdit>(k3::names::kRangeStartEdit)->setText("130325000");
    click(k3::names::kCalculateButton);
    EXPECT_TRUE(status().contains("130325000"));
    EXPECT_EQ(gridRows(k3::names::kSummaryGrid), 0);
}

TEST_F(WindowTest, SearchTypeClearsTicksAndLaysOutTheBoxes) {
    open();
    click("Check6_2");
    click("Check6_5");
    EXPECT_EQ(text(k3::names::kTickedCountEdit), "2");
    click("Option3_1");
    EXPECT_EQ(text(k3::names::kTickedCountEdit), "0");
    for (int i = 0; i < 10; ++i) EXPECT_FALSE(find<QCheckBox>(QString("Check6_%1").arg(i))->isChecked()) << i;
    EXPECT_EQ(find<QCheckBox>("Check6_1")->text(), "大");
    EXPECT_TRUE(find("Check6_2")->isHidden());
    EXPECT_EQ(setting("intLei"), "1");
    click("Option3_3");
    click("cmdZH_0");
    EXPECT_EQ(text(k3::names::kTickedCountEdit), "3");
    click("cmdZH_2");
    EXPECT_EQ(text(k3::names::kTickedCountEdit), "0");
}

// The window comes up before the values of the draws are read; an analysis started at once waits for
// them and lists exactly what a full read of the history gives.
TEST_F(WindowTest, AnAnalysisStartedAtOnceGivesTheResultOfTheWholeHistory) {
    auto history = generateDraws(200000);
    fill(dbPath(), history);
    open();
    type("Text22_1", "2");
    type("Text22_2", "5");
    click("Check11_1");
    click("Check11_2");
    click(k3::names::kSearchButton);
    click("cmdZH_0");
    find<QComboBox>(k3::names::kGroupSizeCombo)->setCurrentText("3");
    click(k3::names::kCalculateButton);

    auto snap = k3::HistoryStore(dbPath()).snapshot();
    k3::SearchInput in;
    in.selected = {true, true, false};
    in.values = {2, 5, 0};
    in.texts = {"2", "5", ""};
    in.from = std::to_string(history.front().sqqh);
    in.to = std::to_string(history.back().sqqh);
    const k3::Grid matches = k3::runSearch(*snap, in).matches;
    ASSERT_EQ(gridRows(k3::names::kMatchesGrid), static_cast<int>(matches.rows.size()));
    for (int r : {0, 1000, static_cast<int>(matches.rows.size()) - 1}) {
        QStringList expected;
        for (const std::string& cell : matches.rows[static_cast<size_t>(r)]) expected << QString::fromStdString(cell);
        EXPECT_EQ(gridRow(k3::names::kMatchesGrid, r), expected);
    }
    k3::GroupOutcome groups = k3::evaluateGroups(*snap, {k3::kNumber, {1, 2, 3, 4, 5, 6}, 3, in.from, in.to});
    const k3::Grid table = k3::groupResultGrid(groups.rows, 3);
    ASSERT_EQ(gridRows(k3::names::kSummaryGrid), 20);
    for (int r = 0; r < 20; ++r) EXPECT_EQ(gridRow(k3::names::kSummaryGrid, r)[0].toStdString(), table.rows[r][0]);
}
