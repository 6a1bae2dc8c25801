// Trimming through the backup file, the rebuild and the guards that keep the history when it fails.
#include <gtest/gtest.h>

#include <fstream>

#include "history/trimming.h"
#include "test_support.h"

using namespace k3;

namespace {

std::vector<int32_t> issues(HistoryStore& s) {
    std::vector<int32_t> out;
    auto snap = s.snapshot();
    for (size_t i = 0; i < snap->size(); ++i) {
        EXPECT_EQ(snap->rows[i].idx, static_cast<int32_t>(i + 1));
        out.push_back(snap->rows[i].sqqh);
    }
    return out;
}

struct TrimTest : ::testing::Test {
    k3test::TempDir dir;
    HistoryStore store{dir.file("gapbook.db")};
    std::string backup = dir.file(kBackupFileName);
    void SetUp() override {
        store.append(k3test::draws({{130325081, "123"}, {130325082, "456"}, {130326001, "253"}, {130326002, "666"}}));
    }
};

}  // namespace

TEST(TrimAnswer, OnlyWholeNumbersAboveZero) {
    EXPECT_EQ(parsePositiveAnswer(" 7 "), 7);
    for (const char* bad : {"", "0", "-3", "abc", "2.5", "3x", "99999999999"})
        EXPECT_FALSE(parsePositiveAnswer(bad).has_value()) << bad;
}

TEST_F(TrimTest, DeleteNewestDraw) {
    EXPECT_EQ(deleteNewestDraw(store).removed, 1u);
    EXPECT_EQ(issues(store), (std::vector<int32_t>{130325081, 130325082, 130326001}));
    store.clear();
    TrimResult r = deleteNewestDraw(store);
    EXPECT_EQ(r.removed, 0u);
    EXPECT_FALSE(r.compactError);
}

TEST_F(TrimTest, DeleteAfterIssueWritesTheBackupAndRebuilds) {
    TrimResult r = deleteAfterIssue(store, 130326001, backup, 1);
    EXPECT_EQ(r.removed, 1u);
    std::ifstream f(backup, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(f)), {});
    EXPECT_EQ(text, "130325081 1 2 3 \r\n130325082 4 5 6 \r\n130326001 2 5 3 \r\n");

    // An issue that is not stored keeps everything below it.
    deleteAfterIssue(store, 130325999, backup, 1);
    EXPECT_EQ(issues(store), (std::vector<int32_t>{130325081, 130325082}));
    // Above the newest: nothing removed, but the draws are derived again with the base in force.
    EXPECT_EQ(store.snapshot()->rows[0].v[kSegment][0], 1);
    deleteAfterIssue(store, 999999999, backup, 0);
    EXPECT_EQ(store.count(), 2);
    EXPECT_EQ(store.snapshot()->rows[0].v[kSegment][0], 0);
    // Below the oldest: empty.
    deleteAfterIssue(store, 1, backup, 1);
    EXPECT_EQ(store.count(), 0);
}

TEST_F(TrimTest, DeleteLastDraws) {
    deleteLastDraws(store, 3, backup, 1);
    EXPECT_EQ(issues(store), (std::vector<int32_t>{130325081}));
    deleteLastDraws(store, 5, backup, 1);
    EXPECT_EQ(store.count(), 0);
}

TEST_F(TrimTest, BadAnswersAndUnwritableBackupChangeNothing) {
    EXPECT_THROW(deleteAfterIssue(store, 0, backup, 1), TrimError);
    EXPECT_THROW(deleteLastDraws(store, -1, backup, 1), TrimError);
    EXPECT_THROW(deleteLastDraws(store, 1, dir.file("no/such/folder/lsbf.txt"), 1), TrimError);
    std::filesystem::create_directory(backup);  // the backup path is a folder: cannot be written
    EXPECT_THROW(deleteAfterIssue(store, 130325081, backup, 1), TrimError);
    EXPECT_EQ(store.count(), 4);
}

TEST_F(TrimTest, BackupThatDoesNotReadBackChangesNothing) {
    std::ofstream(backup, std::ios::binary) << "130325081 1 2 3 \r\n130325082 4 9 6 \r\n";
    EXPECT_THROW(readBackup(backup, 1), TrimError);
    EXPECT_THROW(Dqzd(store, backup, 1), TrimError);
    EXPECT_EQ(store.count(), 4);

    // A backup that reads but differs from the draws to keep is refused too.
    std::ofstream(backup, std::ios::binary | std::ios::trunc) << "130325081 1 2 3 \r\n";
    auto snap = store.snapshot();
    std::vector<SnapRow> expected(snap->rows.begin(), snap->rows.begin() + 2);
    EXPECT_THROW(Dqzd(store, backup, 1, &expected), TrimError);
    EXPECT_EQ(store.count(), 4);
    // Without a check it is the history's new content.
    EXPECT_EQ(Dqzd(store, backup, 1), 1u);
    EXPECT_EQ(issues(store), (std::vector<int32_t>{130325081}));
}

TEST_F(TrimTest, ClearAndCompact) {
    EXPECT_EQ(clearHistory(store), 4u);
    EXPECT_EQ(store.count(), 0);
    EXPECT_FALSE(CompactDb(store).has_value());
}
