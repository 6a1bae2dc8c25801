// Opening without writing, files that are refused untouched, and one kind of error per cause.
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>

#include "process_support.h"
#include "store/history_store.h"
#include "test_support.h"

using namespace k3;
using k3test::fileBytes;
using k3test::TempDir;
namespace fs = std::filesystem;

namespace {

StoreFailure failureOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const StoreError& e) {
        return e.kind();
    }
    ADD_FAILURE() << "no StoreError";
    return StoreFailure::kOther;
}

std::string messageOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const StoreError& e) {
        return e.what();
    }
    return "";
}

bool sideFiles(const std::string& db) { return fs::exists(db + "-wal") || fs::exists(db + "-shm"); }

// A history file as an older version kept it: rollback journal, no YL, no application id.
std::string olderHistoryFile(const TempDir& dir) {
    std::string path = dir.file("gapbook.db");
    {
        HistoryStore s(path);
        s.append(k3test::generateDraws(200));
    }
    Db db(path, false);
    db.exec("PRAGMA journal_mode=DELETE; DROP TABLE YL; PRAGMA application_id=0;");
    return path;
}

}  // namespace

TEST(StoreOpen, ReadingAnExistingFileWritesNothing) {
    TempDir dir;
    const std::string path = olderHistoryFile(dir);
    const std::string before = fileBytes(path);
    {
        HistoryStore s(path);
        EXPECT_FALSE(s.readOnly());
        EXPECT_EQ(s.count(), 200);
        EXPECT_EQ(s.snapshot()->size(), 200u);
        s.checkIntegrity();
    }
    EXPECT_TRUE(fileBytes(path) == before);
    EXPECT_FALSE(sideFiles(path));
    // The first change sets WAL mode and adds what the older file lacks.
    HistoryStore s(path);
    s.append(k3test::draws({{300101001, "123"}}));
    EXPECT_EQ(s.db().scalarText("PRAGMA journal_mode"), "wal");
    EXPECT_EQ(s.db().scalarInt("PRAGMA application_id"), 1261650737);
    EXPECT_TRUE(s.readYL("").empty());
}

// The write that fails after waiting is shown by the command-line test of the same case.
TEST(StoreOpen, ReadsWhileAnotherProgramWrites) {
    TempDir dir;
    const std::string path = dir.file("gapbook.db");
    HistoryStore(path).append(k3test::generateDraws(100));
    k3test::HeldWrite writer(path);  // has deleted every draw, not committed
    HistoryStore s(path);
    EXPECT_EQ(s.snapshot()->size(), 100u);
    EXPECT_EQ(s.newestIssue(), k3test::generateDraws(100).back().sqqh);
}

TEST(StoreOpen, ForeignDatabasesAreRefusedUntouched) {
    TempDir dir;
    auto refusedUntouched = [&](const std::string& name, const std::string& sql) {
        std::string path = dir.file(name);
        {
            Db db(path, true);
            db.exec("PRAGMA journal_mode=WAL;");
            db.exec(sql);
        }
        const std::string before = fileBytes(path);
        EXPECT_EQ(failureOf([&] { HistoryStore s(path); }), StoreFailure::kNotHistory) << name;
        EXPECT_NE(messageOf([&] { HistoryStore s(path); }).find("不是历史数据库"), std::string::npos) << name;
        EXPECT_TRUE(fileBytes(path) == before) << name;
        EXPECT_FALSE(sideFiles(path)) << name;
    };
    // A view named lishi with every field of the table.
    refusedUntouched("view.db",
                     "CREATE TABLE t (IDX, SQQH, L1A, L2A, L3A, L1B, L2B, L3B, L1E, L2E, L3E, L1F, L2F, L3F, "
                     "txtHisLst, txtHisLstHm, txtHisLstDx, txtHisLstDs, txtHisLstDuan); "
                     "CREATE VIEW lishi AS SELECT * FROM t;");
    // The table without its unique index, holding one issue twice.
    refusedUntouched("twice.db",
                     "CREATE TABLE lishi (IDX, SQQH, L1A, L2A, L3A, L1B, L2B, L3B, L1E, L2E, L3E, L1F, L2F, L3F, "
                     "txtHisLst, txtHisLstHm, txtHisLstDx, txtHisLstDs, txtHisLstDuan); "
                     "INSERT INTO lishi (SQQH) VALUES (130325001), (130325001);");
}

TEST(StoreOpen, DamageIsFoundBeforeTheFirstWrite) {
    TempDir dir;
    const std::string path = dir.file("gapbook.db");
    HistoryStore(path).append(k3test::generateDraws(5000));
    k3test::damageMiddlePage(path);
    const std::string before = fileBytes(path);
    HistoryStore s(path);
    EXPECT_FALSE(s.integrityChecked());
    std::string msg = messageOf([&] { s.checkIntegrity(); });
    for (const std::string& part : {path, std::string("已损坏"), std::string("重新读入历史号码文本文件")})
        EXPECT_NE(msg.find(part), std::string::npos) << msg;
    EXPECT_EQ(failureOf([&] { s.append(k3test::draws({{300101001, "123"}})); }), StoreFailure::kDamaged);
    EXPECT_EQ(failureOf([&] { s.deleteNewest(1); }), StoreFailure::kDamaged);
    EXPECT_EQ(failureOf([&] { s.compact(); }), StoreFailure::kDamaged);
    EXPECT_TRUE(fileBytes(path) == before);
}

// Writing the group table looks for damage only where it writes: damaged draws do not stop it (and the
// check of the whole file stays due for the next change of the history); a damaged table YL does.
TEST(StoreOpen, TheGroupTableIsCheckedWhereItIsWritten) {
    TempDir dir;
    const std::string path = dir.file("gapbook.db");
    const std::vector<YLRow> rows{{"1 2", 1, 5, 2, 2.5f}, {"1 3", 2, 7, 1, 7.0f}};
    HistoryStore(path).append(k3test::generateDraws(5000));
    k3test::damageMiddlePage(path);
    {
        HistoryStore s(path);
        EXPECT_NO_THROW(s.replaceYL(rows));
        EXPECT_EQ(s.readYL("").size(), 2u);
        EXPECT_FALSE(s.integrityChecked());
        EXPECT_EQ(failureOf([&] { s.append(k3test::draws({{300101001, "123"}})); }), StoreFailure::kDamaged);
    }
    const std::string other = dir.file("other.db");
    int64_t root = 0;
    {
        HistoryStore s(other);
        s.append(k3test::generateDraws(100));
        s.replaceYL(std::vector<YLRow>(2000, rows[0]));
        s.db().exec("PRAGMA wal_checkpoint(TRUNCATE)");
        root = s.db().scalarInt("SELECT rootpage FROM sqlite_schema WHERE name = 'YL'");
    }
    {
        std::fstream f(other, std::ios::binary | std::ios::in | std::ios::out);
        f.seekp((root - 1) * 4096);
        for (int i = 0; i < 64; ++i) f.put(static_cast<char>(0xA5 ^ i));
    }
    const std::string before = fileBytes(other);
    HistoryStore s(other);
    EXPECT_EQ(failureOf([&] { s.replaceYL(rows); }), StoreFailure::kDamaged);
    EXPECT_TRUE(fileBytes(other) == before);
}

TEST(StoreOpen, EachCauseItsKind) {
    TempDir dir;
    std::string text = dir.file("notes.db");
    std::ofstream(text) << "a user's notes, not a database\n";
    EXPECT_EQ(failureOf([&] { HistoryStore s(text); }), StoreFailure::kNotHistory);
    EXPECT_EQ(fileBytes(text), "a user's notes, not a database\n");
    fs::create_directory(dir.file("folder.db"));
    EXPECT_EQ(failureOf([&] { HistoryStore s(dir.file("folder.db")); }), StoreFailure::kCannotOpen);
    EXPECT_EQ(failureOf([&] { HistoryStore s(dir.file("missing/gapbook.db")); }), StoreFailure::kCannotOpen);
    EXPECT_FALSE(fs::exists(dir.file("missing")));
}

TEST(StoreRead, AHugeRowidSizesNothing) {
    TempDir dir;
    HistoryStore s(dir.file("gapbook.db"));
    s.append(k3test::generateDraws(3));
    s.db().exec(
        "INSERT INTO lishi (rowid, IDX, SQQH, L1A, L2A, L3A, L1B, L2B, L3B, L1E, L2E, L3E, L1F, L2F, L3F, txtHisLst, "
        "txtHisLstHm, txtHisLstDx, txtHisLstDs, txtHisLstDuan) SELECT 4611686018427387904, 4, 300101001, L1A, L2A, "
        "L3A, L1B, L2B, L3B, L1E, L2E, L3E, L1F, L2F, L3F, txtHisLst, txtHisLstHm, txtHisLstDx, txtHisLstDs, "
        "txtHisLstDuan FROM lishi LIMIT 1");
    auto snap = s.snapshot();
    ASSERT_EQ(snap->size(), 4u);
    EXPECT_EQ(snap->rows.back().sqqh, 300101001);
}

TEST(StoreWrite, CompactionEmptiesTheLog) {
    TempDir dir;
    const std::string path = dir.file("gapbook.db");
    HistoryStore s(path);
    s.append(k3test::generateDraws(20000));
    s.deleteNewest(15000);
    s.compact();
    EXPECT_EQ(fs::file_size(path + "-wal"), 0u);  // while the store is still open
    EXPECT_LT(fs::file_size(path), 1024u * 1024u);
    EXPECT_EQ(s.count(), 5000);
}

// A log of changes without its index, on a full disk, is read from a private copy. The copy is made
// through SQLite: a copy by other means would open and close the database and drop every lock this
// process holds on it, here the writer's, which still has the file open.
TEST(StoreOpen, APrivateCopyOfALogLeavesTheLocksOfThisProcessAlone) {
    TempDir dir;
    const std::string small = dir.file("small");
    fs::create_directory(small);
    auto report = k3test::onSmallDisk(small, 1 << 20, [&]() -> std::string {
        const std::string db = small + "/gapbook.db";
        HistoryStore writer(db);
        writer.append(k3test::generateDraws(50));
        if (fs::file_size(db + "-wal") == 0) return "the draws are not in the log";
        if (!k3test::sqliteLockHolders(db).count(getpid())) return "the writer holds no lock to begin with";
        fs::remove(db + "-shm");
        {
            std::ofstream filler(small + "/filler", std::ios::binary);
            const std::string block(4096, 'x');
            while (filler.write(block.data(), static_cast<std::streamsize>(block.size()))) {
            }
        }
        std::string problems;
        Db reader(db, Db::Mode::kReadOnly);
        if (reader.scalarInt("SELECT COUNT(*) FROM lishi") != 50) problems += "the copy lacks the draws of the log\n";
        if (!k3test::sqliteLockHolders(db).count(getpid())) problems += "the copy dropped the writer's lock\n";
        if (fs::exists(db + "-shm")) problems += "an index was made on the full disk\n";
        return problems;
    });
    if (!report) GTEST_SKIP() << "no mount namespace with a tmpfs here";
    EXPECT_EQ(*report, "");
}
