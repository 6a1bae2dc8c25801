// The content token: new after every change of the draws, by this program's store and by any other
// program's connection (the file's triggers); the same after a change that failed, and after a write of
// the group table only; read with the draws in one read transaction.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <set>

#include "store/history_store.h"
#include "test_support.h"

using namespace k3;
using k3test::draws;
using k3test::TempDir;

namespace {

// Another program: a plain SQLite connection, which runs the file's triggers.
void otherProgram(const std::string& path, const char* sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
    char* error = nullptr;
    const int rc = sqlite3_exec(db, sql, nullptr, nullptr, &error);
    const std::string text = error ? error : "";
    sqlite3_free(error);
    sqlite3_close(db);
    ASSERT_EQ(rc, SQLITE_OK) << text;
}

constexpr const char* kCopyNewest =
    "INSERT INTO lishi (IDX, SQQH, L1A, L2A, L3A, L1B, L2B, L3B, L1E, L2E, L3E, L1F, L2F, L3F, txtHisLst, "
    "txtHisLstHm, txtHisLstDx, txtHisLstDs, txtHisLstDuan) SELECT IDX + 1, SQQH + 1, L1A, L2A, L3A, L1B, L2B, L3B, "
    "L1E, L2E, L3E, L1F, L2F, L3F, txtHisLst, txtHisLstHm, txtHisLstDx, txtHisLstDs, txtHisLstDuan FROM lishi "
    "ORDER BY SQQH DESC LIMIT 1";

}  // namespace

TEST(ContentToken, EveryChangeOfTheDrawsByThisProgramRenewsIt) {
    TempDir dir;
    HistoryStore s(dir.file("gapbook.db"));
    std::set<int64_t> seen;
    auto renewed = [&](const char* what) {
        const std::optional<int64_t> token = s.contentToken();
        EXPECT_TRUE(token) << what;
        EXPECT_EQ(s.lastToken(), token) << what;
        EXPECT_TRUE(token && seen.insert(*token).second) << what << ": the token was not new";
    };
    ASSERT_TRUE(s.contentToken());  // a new history has one
    seen.insert(*s.contentToken());
    s.append(k3test::generateDraws(200, 78, 130102001));
    renewed("append");
    s.append(draws({{130101001, "123"}}));  // an earlier issue: rows renumbered
    renewed("append of an earlier issue");
    s.appendAndTrim(draws({{130110001, "456"}}), 130102001);
    renewed("append and trim");
    s.deleteNewest(2);
    renewed("delete the newest");
    s.deleteAbove(130103010);
    renewed("delete above");
    s.keepOldest([](const std::vector<IssueDice>& stored) { return stored.size() - 1; }, 1);
    renewed("keep the oldest");
    s.rebuildHistory([](const std::vector<IssueDice>& stored) {
        std::vector<DerivedDraw> out;
        for (const IssueDice& d : stored) out.push_back(deriveDraw(d.issue, d.d1, d.d2, d.d3, 0));
        return out;
    });
    renewed("rebuild");
    s.replaceHistory({{130201001, 1, 2, 3}, {130201002, 4, 5, 6}}, 1);
    renewed("replace the history");
    s.replaceAll(draws({{130301001, "111"}}));
    renewed("replace all");
    s.clear();
    renewed("clear");

    // Not a change of the draws: the group table, a change that failed, a compaction.
    s.append(draws({{130401001, "222"}}));
    const std::optional<int64_t> before = s.contentToken();
    s.replaceYL({{"1X2", 1, 5, 3, 0.5f}});
    EXPECT_EQ(s.contentToken(), before);
    EXPECT_THROW(s.append(draws({{130401002, "333"}, {130401001, "444"}})), StoreError);  // a repeat
    EXPECT_EQ(s.contentToken(), before);
    s.compact();
    EXPECT_EQ(s.contentToken(), before);
}

TEST(ContentToken, AnotherProgramsChangesRenewItThroughTheTriggers) {
    TempDir dir;
    const std::string path = dir.file("gapbook.db");
    HistoryStore(path).append(k3test::generateDraws(50));
    auto token = [&] { return HistoryStore(path).contentToken(); };
    std::optional<int64_t> last = token();
    ASSERT_TRUE(last);
    for (const char* sql : {kCopyNewest, "UPDATE lishi SET L1A = 7 - L1A WHERE SQQH = 130101003",
                            "DELETE FROM lishi WHERE SQQH = 130101004", "DELETE FROM lishi"}) {
        otherProgram(path, sql);
        const std::optional<int64_t> now = token();
        ASSERT_TRUE(now) << sql;
        EXPECT_NE(now, last) << sql;
        last = now;
    }
    // The store's own change leaves the file with the token it set.
    HistoryStore s(path);
    s.append(k3test::generateDraws(20));
    EXPECT_EQ(s.contentToken(), s.lastToken());
}

TEST(ContentToken, AnOlderFileGetsItsTokenAtItsFirstChange) {
    TempDir dir;
    const std::string path = dir.file("gapbook.db");
    HistoryStore(path).append(k3test::generateDraws(30));
    otherProgram(path,
                 "DROP TRIGGER k3version_insert; DROP TRIGGER k3version_update; DROP TRIGGER k3version_delete; "
                 "DROP TABLE k3version");
    {
        HistoryStore s(path);
        EXPECT_FALSE(s.contentToken());
        EXPECT_FALSE(s.snapshot()->contentToken());
        s.append(draws({{130201001, "123"}}));
        EXPECT_TRUE(s.contentToken());
    }
    // With it came the triggers.
    const std::optional<int64_t> before = HistoryStore(path).contentToken();
    otherProgram(path, "DELETE FROM lishi WHERE SQQH = 130201001");
    EXPECT_NE(HistoryStore(path).contentToken(), before);
    // A table that holds more than one value names no content.
    otherProgram(path, "INSERT INTO k3version (token) VALUES (5)");
    EXPECT_FALSE(HistoryStore(path).contentToken());
}

TEST(ContentToken, EveryReadOfTheDrawsCarriesTheTokenItReadThem) {
    TempDir dir;
    HistoryStore s(dir.file("gapbook.db"));
    s.append(k3test::generateDraws(100));
    const std::optional<int64_t> token = s.contentToken();
    ASSERT_TRUE(token);
    EXPECT_EQ(s.snapshot()->contentToken(), token);
    EXPECT_EQ(s.valuesSnapshot(kDicePart)->contentToken(), token);
    std::unique_ptr<HistoryReader> reader = s.reader();
    EXPECT_EQ(reader->readDraws().token, token);
    reader->readValues(kDicePart);
    // A snapshot extended by a draw names the token it is given, or none.
    auto snap = s.snapshot();
    EXPECT_FALSE(withNewestAppended(snap, deriveDraw(130201001, 1, 2, 3, 1))->contentToken());
    EXPECT_EQ(withNewestAppended(snap, deriveDraw(130201001, 1, 2, 3, 1), 42)->contentToken(), 42);
}
