// Trimming through the backup file, the rebuild, and the guards that keep the history when they fail.
#include <gtest/gtest.h>

#include <fstream>

#include "history/trimming.h"
#include "test_support.h"

using namespace k3;

namespace {

struct TrimTest : ::testing::Test {
    k3test::TempDir dir;
    HistoryStore store{dir.file("gapbook.db")};
    std::string backup = dir.file(kBackupFileName);
    void SetUp() override {
        store.append(k3test::draws({{130325081, "123"}, {130325082, "456"}, {130326001, "253"}, {130326002, "666"}}));
    }
    std::vector<int32_t> issues() {
        std::vector<int32_t> out;
        auto snap = store.snapshot();
        for (const SnapRow& r : snap->rows) {
            EXPECT_EQ(r.idx, static_cast<int32_t>(out.size() + 1));
            out.push_back(r.sqqh);
        }
        return out;
    }
};

}  // namespace

TEST(TrimAnswer, OnlyWholeNumbersAboveZero) {
    EXPECT_EQ(parsePositiveAnswer(" 7 "), 7);
    for (const char* bad : {"", "0", "-3", "abc", "2.5", "3x", "99999999999"})
        EXPECT_FALSE(parsePositiveAnswer(bad)) << bad;
}

TEST_F(TrimTest, DeleteNewestAndLastN) {
    EXPECT_EQ(deleteNewestDraw(store).removed, 1u);
    EXPECT_EQ(issues(), (std::vector<int32_t>{130325081, 130325082, 130326001}));
    deleteLastDraws(store, 2, backup, 1);
    EXPECT_EQ(issues(), (std::vector<int32_t>{130325081}));
    deleteLastDraws(store, 5, backup, 1);
    EXPECT_EQ(store.count(), 0);
    EXPECT_EQ(deleteNewestDraw(store).removed, 0u);
}

TEST_F(TrimTest, DeleteAfterIssue) {
    deleteAfterIssue(store, 130326001, backup, 1);
    std::ifstream f(backup, std::ios::binary);
    EXPECT_EQ(std::string((std::istreambuf_iterator<char>(f)), {}),
              "130325081 1 2 3 \r\n130325082 4 5 6 \r\n130326001 2 5 3 \r\n");
    deleteAfterIssue(store, 130325999, backup, 1);  // not stored: keeps what lies below
    EXPECT_EQ(issues(), (std::vector<int32_t>{130325081, 130325082}));
    // Above the newest nothing goes, but the draws are derived again with the base now in force.
    deleteAfterIssue(store, 999999999, backup, 0);
    EXPECT_EQ(store.count(), 2);
    EXPECT_EQ(store.snapshot()->rows[0].v[kSegment][0], 0);
    deleteAfterIssue(store, 1, backup, 1);  // below the oldest
    EXPECT_EQ(store.count(), 0);
}

TEST_F(TrimTest, FailuresChangeNothing) {
    EXPECT_THROW(deleteAfterIssue(store, 0, backup, 1), TrimError);
    EXPECT_THROW(deleteLastDraws(store, 1, dir.file("no/such/folder/lsbf.txt"), 1), TrimError);
    std::filesystem::create_directory(backup);  // cannot be written
    EXPECT_THROW(deleteAfterIssue(store, 130325081, backup, 1), TrimError);
    std::filesystem::remove(backup);

    std::ofstream(backup, std::ios::binary) << "130325081 1 2 3 \r\n130325082 4 9 6 \r\n";
    EXPECT_THROW(rebuildFromBackup(store, backup, 1), TrimError);  // a die 9: unreadable
    std::ofstream(backup, std::ios::binary | std::ios::trunc) << "130325081 1 2 3 \r\n";
    std::vector<LineDraw> expected = store.issuesAndDice();
    expected.resize(2);
    EXPECT_THROW(rebuildFromBackup(store, backup, 1, expected), TrimError);  // reads, but not the draws to keep
    EXPECT_EQ(store.count(), 4);
    EXPECT_EQ(rebuildFromBackup(store, backup, 1), 1u);
    EXPECT_EQ(clearHistory(store), 1u);
    EXPECT_FALSE(compactDatabase(store));
}
