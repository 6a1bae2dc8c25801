// Which files are a history's, decided without opening them.
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>

#include "process_support.h"
#include "store/history_files.h"
#include "store/history_store.h"
#include "test_support.h"

using namespace k3;
using k3test::TempDir;
namespace fs = std::filesystem;

TEST(HistoryFiles, NamesOfTheDatabasesTheirSideFilesAndTheBackups) {
    for (const char* name : {"gapbook.db", "gapbook.db-wal", "gapbook.db-shm", "gapbook.db-journal", "gapbook-gd.db",
                             "gapbook-jx.db-wal", "GAPBOOK.DB", "Gapbook-GD.DB-SHM"})
        EXPECT_TRUE(isHistoryDatabaseName(name)) << name;
    for (const char* name : {"gapbook", "gapbook.dbx", "gapbook-.db", "gapbookgd.db", "xgapbook.db", "gapbook.db-wal2",
                             "gapbook.txt", "lsbf.txt", ""})
        EXPECT_FALSE(isHistoryDatabaseName(name)) << name;
    for (const char* name : {"lsbf.txt", "lsbf-gd.txt", "LSBF.TXT"}) EXPECT_TRUE(isHistoryBackupName(name)) << name;
    for (const char* name : {"lsbf.txt.bak", "xlsbf.txt", "lsbf"}) EXPECT_FALSE(isHistoryBackupName(name)) << name;
}

TEST(HistoryFiles, APathIsOneOfThemHoweverItNamesTheFile) {
    TempDir dir;
    const std::string data = dir.path().string();
    HistoryStore store(dir.file("gapbook.db"));
    store.append(k3test::draws({{130325001, "253"}}));
    HistoryStore province(dir.file("gapbook-gd.db"));
    province.append(k3test::draws({{130325001, "111"}}));
    std::ofstream(dir.file("lsbf.txt")) << "130325001 2 5 3 \r\n";
    std::ofstream(dir.file("other.txt")) << "x";
    fs::create_directory(dir.file("sub"));
    fs::create_hard_link(dir.file("gapbook.db"), dir.file("sub/copy.txt"));
    fs::create_symlink(dir.file("gapbook-gd.db-wal"), dir.file("sub/log"));
    fs::create_hard_link(dir.file("lsbf.txt"), dir.file("sub/kept.txt"));
    std::ofstream(dir.file("sub/gapbook.db")) << "another folder's";

    const std::pair<std::string, HistoryFile> cases[] = {
        {dir.file("gapbook.db"), HistoryFile::kDatabase},
        {data + "/sub/../gapbook.db-wal", HistoryFile::kDatabase},
        {dir.file("gapbook-gd.db-shm"), HistoryFile::kDatabase},
        {dir.file("sub/copy.txt"), HistoryFile::kDatabase},        // a hard link
        {dir.file("sub/log"), HistoryFile::kDatabase},             // a symbolic link
        {dir.file("gapbook.db-journal"), HistoryFile::kDatabase},  // not there, but would be taken for the journal
        {dir.file("GAPBOOK-JX.DB"), HistoryFile::kDatabase},
        {dir.file("lsbf.txt"), HistoryFile::kBackup},
        {dir.file("sub/kept.txt"), HistoryFile::kBackup},
        {dir.file("lsbf-gd.txt"), HistoryFile::kBackup},
        {dir.file("other.txt"), HistoryFile::kNone},
        {dir.file("new.txt"), HistoryFile::kNone},
        {dir.file("sub/gapbook.db"), HistoryFile::kNone},  // another folder's file of that name
        {dir.file("sub/gapbook.db-wal"), HistoryFile::kNone},
        {dir.file("sub"), HistoryFile::kNone},
    };
    for (const auto& [path, kind] : cases) EXPECT_EQ(historyFileOf(path, data), kind) << path;
    EXPECT_EQ(historyFileOf(dir.file("gapbook.db"), ""), HistoryFile::kNone);
    EXPECT_EQ(historyFileOf(dir.file("gapbook.db"), dir.file("missing")), HistoryFile::kNone);
    EXPECT_EQ(folderOf(dir.file("gapbook.db")), data);
    EXPECT_EQ(folderOf("gapbook.db"), ".");
    // Nothing of the two histories was opened by asking.
    for (const char* db : {"gapbook.db", "gapbook-gd.db"})
        EXPECT_TRUE(k3test::sqliteLockHolders(dir.file(db)).count(getpid())) << db;
}
