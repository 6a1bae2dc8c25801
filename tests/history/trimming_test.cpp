// Trimming through the backup file, the rebuild, and the guards that keep the history when they fail.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

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

TEST_F(TrimTest, BackupWithAByteOrderMark) {
    std::ofstream(backup, std::ios::binary) << "\xEF\xBB\xBF"
                                               "130325081 1 2 3 \r\n130325082 4 5 6 \r\n";
    EXPECT_EQ(rebuildFromBackup(store, backup, 1), 2u);
    EXPECT_EQ(issues(), (std::vector<int32_t>{130325081, 130325082}));
}

// Another program adds a draw while a trim works: the trim holds the database from its read of the
// history to the replace, so the draw waits and goes in after it, instead of being deleted unseen.
TEST(SharedTrimming, ADrawAddedMeanwhileIsKept) {
    k3test::TempDir dir;
    const std::string db = dir.file("gapbook.db");
    const auto base = k3test::generateDraws(5);
    HistoryStore(db).append(base);
    // The backup is a pipe also reachable under a second name: the trim stops when it opens the backup
    // to write it, and goes on once the test opens the pipe to read.
    const std::string pipe = dir.file("pipe"), backup = dir.file(kBackupFileName);
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    ASSERT_EQ(link(pipe.c_str(), backup.c_str()), 0);
    pid_t trim = fork();
    if (trim == 0) {
        try {
            HistoryStore s(db);
            _exit(deleteLastDraws(s, 2, backup, 1).kept == 3 ? 0 : 1);
        } catch (...) {
            _exit(2);
        }
    }
    bool held = false;
    {
        Db probe(db, false);
        sqlite3_busy_timeout(probe.handle(), 0);
        for (int i = 0; i < 300 && !held; ++i) try {
                probe.exec("BEGIN IMMEDIATE; ROLLBACK;");
                usleep(10000);
            } catch (const StoreError&) {
                held = true;
            }
    }
    EXPECT_TRUE(held) << "the trim read the history without holding the database";

    const DerivedDraw added = deriveDraw(140101001, 6, 6, 6, 1);
    pid_t adder = fork();
    if (adder == 0) {
        try {
            HistoryStore s(db);
            s.append({added});
            _exit(0);
        } catch (...) {
            _exit(2);
        }
    }
    usleep(300000);  // time for the other program to reach its wait
    // The backup's name now holds what the trim writes, as a regular file it can read back.
    std::string lines;
    for (size_t i = 0; i < 3; ++i)
        lines += backupLine(
            {base[i].sqqh, base[i].values[kNumber][0], base[i].values[kNumber][1], base[i].values[kNumber][2]});
    std::ofstream(dir.file("next"), std::ios::binary) << lines;
    std::filesystem::rename(dir.file("next"), backup);
    {
        std::ifstream drain(pipe, std::ios::binary);
        EXPECT_EQ(std::string((std::istreambuf_iterator<char>(drain)), {}), lines);
    }
    int status = 0;
    waitpid(trim, &status, 0);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    waitpid(adder, &status, 0);
    EXPECT_EQ(WEXITSTATUS(status), 0);

    HistoryStore s(db);
    auto snap = s.snapshot();
    std::vector<int32_t> got;
    for (const SnapRow& r : snap->rows) got.push_back(r.sqqh);
    EXPECT_EQ(got, (std::vector<int32_t>{base[0].sqqh, base[1].sqqh, base[2].sqqh, added.sqqh}));
    EXPECT_EQ(snap->rows.back().idx, 4);
}
