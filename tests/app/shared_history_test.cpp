// The history shared with another program: a change committed through a second connection (as
// k3gap-cli or a second window makes it) is seen by the session and the window's next command.
#include <QComboBox>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <fstream>
#include <sstream>

#include "history_session.h"
#include "window_fixture.h"

using namespace k3test;
namespace fs = std::filesystem;

namespace {

class SharedHistoryTest : public WindowTest {
protected:
    void storeElsewhere(std::initializer_list<std::pair<int, const char*>> list) {
        k3::HistoryStore(dbPath()).append(draws(list));
    }
    std::unique_ptr<k3::HistorySession> session() {
        testApp();
        return std::make_unique<k3::HistorySession>(QString::fromStdString(dir.path().string()), settingsFile());
    }
};

std::vector<int32_t> issues(const k3::Snapshot& s) {
    std::vector<int32_t> out;
    for (const k3::SnapRow& r : s.rows) out.push_back(r.sqqh);
    return out;
}

}  // namespace

TEST_F(SharedHistoryTest, SessionReadsAgainOnlyWhenAnotherConnectionCommitted) {
    storeElsewhere({{130325001, "123"}});
    auto s = session();
    ASSERT_TRUE(s->isOpen());
    QList<k3::HistoryOrigin> origins;
    QObject::connect(s.get(), &k3::HistorySession::historyChanged,
                     [&](const auto&, k3::HistoryOrigin origin) { origins << origin; });
    EXPECT_FALSE(s->catchUp());
    storeElsewhere({{130325002, "456"}});
    EXPECT_TRUE(s->catchUp());
    EXPECT_EQ(issues(*s->snapshot()), (std::vector<int32_t>{130325001, 130325002}));
    EXPECT_FALSE(s->catchUp());
    // The session's own commits are not "elsewhere"; it reads them when told to.
    s->store().append(draws({{130325003, "111"}}));
    EXPECT_FALSE(s->catchUp());
    s->reload();
    EXPECT_EQ(s->snapshot()->size(), 3u);
    EXPECT_EQ(origins, (QList<k3::HistoryOrigin>{k3::HistoryOrigin::kElsewhere, k3::HistoryOrigin::kCommand}));
}

TEST_F(SharedHistoryTest, TypedDrawAfterAChangeElsewhereKeepsBoth) {
    storeElsewhere({{130325001, "123"}});
    auto s = session();
    storeElsewhere({{130325002, "456"}});
    s->addTypedDraw("130325003", "2", "5", "3");
    auto fresh = k3::HistoryStore(dbPath()).snapshot();
    ASSERT_EQ(issues(*s->snapshot()), issues(*fresh));
    for (size_t i = 0; i < fresh->size(); ++i) {
        EXPECT_EQ(s->snapshot()->rows[i].idx, fresh->rows[i].idx);
        EXPECT_EQ(s->snapshot()->values().of(i), fresh->values().of(i));
    }
    // The issue a draw is typed under is the one given, even when the history moved meanwhile.
    storeElsewhere({{130325004, "666"}});
    EXPECT_THROW(s->addTypedDraw("130325004", "1", "1", "1"), k3::Error);
    EXPECT_EQ(s->snapshot()->size(), 4u);
}

TEST_F(SharedHistoryTest, ClosedSessionHasAnEmptyHistory) {
    { std::ofstream(dbPath()) << "not a database"; }
    auto s = session();
    EXPECT_FALSE(s->isOpen());
    EXPECT_FALSE(s->openError().isEmpty());
    ASSERT_NE(s->snapshot(), nullptr);
    EXPECT_TRUE(s->snapshot()->empty());
    EXPECT_FALSE(s->catchUp());
    EXPECT_FALSE(s->nextIssue());
}

TEST_F(SharedHistoryTest, WindowsNextCommandsSeeAChangeMadeElsewhere) {
    storeElsewhere({{130325001, "123"}, {130325002, "456"}, {130325003, "123"}});
    open();
    find<QLineEdit>(k3::names::kRangeStartEdit)->setText("130325002");  // a range start the user chose stays
    storeElsewhere({{130325004, "666"}});
    EXPECT_EQ(gridRows(k3::names::kHistoryGrid), 3);  // nothing is read until a command needs the history

    click("Check11_1");
    type("Text22_1", "6");
    click(k3::names::kSearchButton);
    EXPECT_EQ(gridColumn(k3::names::kMatchesGrid, 0), (QStringList{"130325002", "130325004"}));
    EXPECT_EQ(gridRows(k3::names::kHistoryGrid), 4);
    EXPECT_EQ(text(k3::names::kRangeStartEdit), "130325002");
    EXPECT_EQ(text(k3::names::kRangeEndEdit), "130325004");  // the end showed the newest issue: it follows
    EXPECT_EQ(text(k3::names::kNextIssueEdit), "130325005");

    storeElsewhere({{130325005, "555"}});
    click(k3::names::kExportTextButton);
    std::ifstream exported(fs::u8path(dir.file("更新至130325005期历史号码.txt")), std::ios::binary);
    std::stringstream content;
    content << exported.rdbuf();
    EXPECT_EQ(content.str().substr(content.str().size() - 15), "130325005 555\r\n");

    // A draw stored elsewhere, then one typed here under the next issue: the window keeps both.
    storeElsewhere({{130325006, "222"}});
    find<QLineEdit>(k3::names::kNextIssueEdit)->setText("130325007");
    QTest::keyClicks(find("MaskEdBox1_1"), "3");
    QTest::keyClicks(find("MaskEdBox1_2"), "3");
    QTest::keyClicks(find("MaskEdBox1_3"), "3");
    EXPECT_TRUE(told.isEmpty());
    EXPECT_EQ(gridColumn(k3::names::kHistoryGrid, 0).mid(4), (QStringList{"130325005", "130325006", "130325007"}));
    type("Text22_1", "2");
    click(k3::names::kSearchButton);
    EXPECT_EQ(gridColumn(k3::names::kMatchesGrid, 0), (QStringList{"130325003", "130325006"}));

    // The issue shown when the dice were typed was stored elsewhere meanwhile: refused, nothing dropped.
    storeElsewhere({{130325008, "444"}});
    QTest::keyClicks(find("MaskEdBox1_1"), "1");
    QTest::keyClicks(find("MaskEdBox1_2"), "1");
    QTest::keyClicks(find("MaskEdBox1_3"), "1");
    ASSERT_EQ(told.size(), 1);
    EXPECT_TRUE(told[0].contains("已经存在"));
    EXPECT_EQ(gridRows(k3::names::kHistoryGrid), 8);
    EXPECT_EQ(text(k3::names::kNextIssueEdit), "130325009");
}

// The group calculation writes YL on a connection of its own: that is no change of the draws, so the
// next command does not read the whole history again; a draw stored elsewhere afterwards still is read.
TEST_F(SharedHistoryTest, TheGroupTablesOwnWriteIsNotAChangeElsewhere) {
    storeElsewhere({{130325001, "123"}, {130325002, "456"}, {130325003, "111"}});
    open();
    QList<k3::HistoryOrigin> origins;
    QObject::connect(&WindowTest::session(), &k3::HistorySession::historyChanged,
                     [&](const auto&, k3::HistoryOrigin origin) { origins << origin; });
    const auto before = WindowTest::session().snapshot();
    click("cmdZH_0");
    find<QComboBox>(k3::names::kGroupSizeCombo)->setCurrentText("1");
    click(k3::names::kCalculateButton);
    ASSERT_TRUE(eventually([&] { return status().contains("分组计算完成"); }, 10000)) << status().toStdString();
    ASSERT_EQ(k3::HistoryStore(dbPath()).readYL("").size(), 6u);
    EXPECT_FALSE(WindowTest::session().catchUp());
    EXPECT_EQ(WindowTest::session().snapshot(), before);

    storeElsewhere({{130325004, "666"}});
    EXPECT_TRUE(WindowTest::session().catchUp());
    EXPECT_EQ(gridRows(k3::names::kHistoryGrid), 4);
    EXPECT_EQ(origins, QList<k3::HistoryOrigin>{k3::HistoryOrigin::kElsewhere});
}
