#include <gtest/gtest.h>

#include <fstream>

#include "store/history_store.h"
#include "test_support.h"

using namespace k3;
using k3test::draws;
using k3test::TempDir;

namespace {
std::vector<std::pair<int32_t, int32_t>> issuesAndIdx(HistoryStore& s) {
    std::vector<std::pair<int32_t, int32_t>> out;
    Stmt st = s.db().prepare("SELECT SQQH, IDX FROM lishi ORDER BY SQQH");
    while (st.step()) out.emplace_back(static_cast<int32_t>(st.colInt(0)), static_cast<int32_t>(st.colInt(1)));
    return out;
}
std::string readFile(const std::string& p) {
    std::ifstream f(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), {}};
}
}  // namespace

TEST(HistoryStore, CreatesMissingFileFromSchema) {
    TempDir dir;
    HistoryStore s(dir.file("gapbook.db"));
    EXPECT_EQ(s.count(), 0);
    EXPECT_FALSE(s.newestIssue());
    EXPECT_TRUE(s.snapshot()->empty());
    EXPECT_TRUE(s.readYL("intLstYl").empty());
}

TEST(HistoryStore, ForeignFilesAreReportedAndLeftAlone) {
    TempDir dir;
    std::string text = dir.file("notes.db");
    { std::ofstream(text) << "this is not a database, but a user's file\n"; }
    EXPECT_THROW(HistoryStore{text}, StoreError);
    EXPECT_EQ(readFile(text), "this is not a database, but a user's file\n");

    std::string other = dir.file("other.db");
    {
        Db db(other, true);
        db.exec("CREATE TABLE lishi (a INTEGER); INSERT INTO lishi VALUES (7);");
    }
    std::string before = readFile(other);
    try {
        HistoryStore s(other);
        FAIL() << "accepted a database without the history fields";
    } catch (const StoreError& e) {
        EXPECT_NE(std::string(e.what()).find("不是历史数据库"), std::string::npos);
    }
    EXPECT_EQ(readFile(other), before);
}

TEST(HistoryStore, SchemaChecksDice) {
    TempDir dir;
    HistoryStore s(dir.file("gapbook.db"));
    EXPECT_THROW(s.db().exec("INSERT INTO lishi (SQQH, L1A, L2A, L3A, L1B, L2B, L3B, L1E, L2E, L3E, L1F, L2F, L3F, "
                             "txtHisLst, txtHisLstHm, txtHisLstDx, txtHisLstDs, txtHisLstDuan) "
                             "VALUES (1, 7, 1, 1, 0, 0, 0, 1, 1, 1, 0, 0, 0, '', '', '', '', '')"),
                 StoreError);
}

TEST(HistoryStore, IdxFollowsIssueOrderAfterOutOfOrderAppends) {
    TempDir dir;
    HistoryStore s(dir.file("gapbook.db"));
    s.append(draws({{130325003, "111"}, {130325005, "222"}}));
    s.append(draws({{130325001, "333"}}));                      // earlier than everything
    s.append(draws({{130325004, "444"}, {130325002, "555"}}));  // unsorted batch in the middle
    s.append(draws({{130325006, "666"}}));                      // after the newest
    std::vector<std::pair<int32_t, int32_t>> want{{130325001, 1}, {130325002, 2}, {130325003, 3},
                                                  {130325004, 4}, {130325005, 5}, {130325006, 6}};
    EXPECT_EQ(issuesAndIdx(s), want);
    auto snap = s.snapshot();
    ASSERT_EQ(snap->size(), 6u);
    EXPECT_EQ(snap->rows[0].die(1), 3);
    EXPECT_EQ(snap->rows[5].idx, 6);
}

TEST(HistoryStore, AppendAfterNewestWritesOnlyTheNewRows) {
    TempDir dir;
    HistoryStore s(dir.file("gapbook.db"));
    s.append(k3test::generateDraws(100));
    int before = sqlite3_total_changes(s.db().handle());
    s.append(draws({{140101001, "123"}}));
    // The new row, and the one row of the content token replaced (deleted and written): no renumbering.
    EXPECT_EQ(sqlite3_total_changes(s.db().handle()) - before, 3);
    EXPECT_EQ(issuesAndIdx(s).back(), (std::pair<int32_t, int32_t>{140101001, 101}));
}

TEST(HistoryStore, DuplicateIssueStoresNothingOfTheBatch) {
    TempDir dir;
    HistoryStore s(dir.file("gapbook.db"));
    s.append(draws({{130325001, "253"}}));
    try {
        s.append(draws({{130325002, "111"}, {130325001, "666"}}));
        FAIL();
    } catch (const StoreError& e) {
        EXPECT_NE(std::string(e.what()).find("130325001"), std::string::npos);
    }
    EXPECT_EQ(s.count(), 1);
    EXPECT_EQ(s.snapshot()->rows[0].die(2), 5);
}

TEST(HistoryStore, HoldsMoreThan32766Draws) {
    TempDir dir;
    HistoryStore s(dir.file("gapbook.db"));
    auto many = k3test::generateDraws(40000);
    s.append(many);
    s.append(draws({{120101001, "123"}}));  // earlier than all: every row moves up one
    auto snap = s.snapshot();
    ASSERT_EQ(snap->size(), 40001u);
    EXPECT_EQ(snap->rows[0].sqqh, 120101001);
    EXPECT_EQ(snap->rows.back().idx, 40001);
    EXPECT_EQ(snap->rows[32767].idx, 32768);
    EXPECT_EQ(snap->rows.back().sqqh, many.back().sqqh);
}

TEST(HistoryStore, DeletingFromTheNewestEndKeepsIdxDense) {
    TempDir dir;
    HistoryStore s(dir.file("gapbook.db"));
    s.append(k3test::generateDraws(10));
    s.deleteNewest(3);
    EXPECT_EQ(s.count(), 7);
    EXPECT_EQ(issuesAndIdx(s).back().second, 7);
    s.deleteAbove(issuesAndIdx(s)[4].first);
    EXPECT_EQ(s.count(), 5);
    s.deleteNewest(99);
    EXPECT_EQ(s.count(), 0);
    s.deleteNewest(1);  // empty history: nothing to delete, no failure
    s.compact();
    EXPECT_EQ(s.count(), 0);
}

TEST(HistoryStore, AppendAndTrimRenumbersInOneGo) {
    TempDir dir;
    HistoryStore s(dir.file("gapbook.db"));
    s.append(draws({{130101001, "111"}, {130102001, "222"}, {130103001, "333"}}));
    s.appendAndTrim(draws({{130104001, "444"}}), 130102001);
    std::vector<std::pair<int32_t, int32_t>> want{{130102001, 1}, {130103001, 2}, {130104001, 3}};
    EXPECT_EQ(issuesAndIdx(s), want);
}

TEST(HistoryStore, YLKeepsInsertionOrderForEqualKeys) {
    TempDir dir;
    HistoryStore s(dir.file("gapbook.db"));
    s.replaceYL({{"1 2", 1, 9, 4, 2.25f}, {"1 3", 2, 5, 3, 5.0f / 3}, {"2 3", 1, 7, 4, 1.75f}});
    auto byLast = s.readYL("intLstYl");
    ASSERT_EQ(byLast.size(), 3u);
    EXPECT_EQ(byLast[0].content, "1 3");
    EXPECT_EQ(byLast[1].content, "1 2");
    EXPECT_EQ(byLast[2].content, "2 3");
    EXPECT_EQ(s.readYL("intMinYL")[1].content, "2 3");
    EXPECT_FLOAT_EQ(s.readYL("sglLlr")[0].ratio, 5.0f / 3);
    EXPECT_EQ(s.readYL("content; DROP TABLE YL")[0].content, "1 2");  // unknown key: written order
    s.replaceYL({});
    EXPECT_TRUE(s.readYL("intMaxYL").empty());
}
