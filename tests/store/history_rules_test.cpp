// Histories changed by another tool so that they break their own rules, while SQLite finds nothing wrong
// with the file: every read and every check for damage says the history is damaged and names the row.
#include <gtest/gtest.h>

#include "store/history_rules.h"
#include "store/history_store.h"
#include "store/issue.h"
#include "test_support.h"

using namespace k3;
using k3test::TempDir;

namespace {

constexpr size_t kDraws = 300;

const std::vector<DerivedDraw>& history() {
    static const std::vector<DerivedDraw> draws = k3test::generateDraws(kDraws);
    return draws;
}

// The table as another tool may leave it: no NOT NULL, no CHECK (the issue index stays).
void dropConstraints(Db& db) {
    db.exec(
        "PRAGMA journal_mode=DELETE; BEGIN; CREATE TABLE t AS SELECT * FROM lishi; DROP TABLE lishi; "
        "ALTER TABLE t RENAME TO lishi; CREATE UNIQUE INDEX SQQH ON lishi (SQQH); COMMIT;");
}

struct Broken {
    const char* statement;  // run on the file, constraints off
    const char* said;       // in the message
    int row = 150;          // the row named by its issue (-1: by its rowid)
};

// The message of the StoreError `f` throws: kDamaged, or a failure of the test.
std::string damageOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const StoreError& e) {
        EXPECT_EQ(e.kind(), StoreFailure::kDamaged) << e.what();
        return e.what();
    }
    ADD_FAILURE() << "no damage found";
    return {};
}

std::string issue(size_t row) { return std::to_string(history()[row].sqqh); }

}  // namespace

TEST(HistoryRules, EveryBrokenRuleIsDamageNamingTheFirstBadRow) {
    const std::vector<Broken> cases = {
        {"UPDATE lishi SET IDX = 301 - IDX", "的 IDX 是 300，应为 1（IDX 是按期号排列的序号 1～300）", 0},
        {"UPDATE lishi SET IDX = IDX + 1 WHERE IDX >= 200", "的 IDX 是 201，应为 200", 199},
        {"UPDATE lishi SET SQQH = 'abc' WHERE IDX = 151", "rowid 151 的期号 SQQH 是 'abc'，应为 1～2147483647 的整数",
         -1},
        {"UPDATE lishi SET SQQH = 9999999999 WHERE IDX = 151", "rowid 151 的期号 SQQH 是 9999999999", -1},
        {"UPDATE lishi SET SQQH = -5 WHERE IDX = 151", "rowid 151 的期号 SQQH 是 -5", -1},
        {"UPDATE lishi SET SQQH = 130102072.5 WHERE IDX = 151", "rowid 151 的期号 SQQH 是 130102072.5", -1},
        {"UPDATE lishi SET SQQH = NULL WHERE IDX = 151", "rowid 151 的期号 SQQH 是 NULL", -1},
        {"UPDATE lishi SET IDX = NULL WHERE IDX = 151", "的 IDX 是 NULL，应为整数"},
        {"UPDATE lishi SET L1A = NULL WHERE IDX = 151", "的 L1A 是 NULL，应为 1～6 的整数"},
        {"UPDATE lishi SET L2A = 7 WHERE IDX = 151", "的 L2A 是 7，应为 1～6 的整数"},
        {"UPDATE lishi SET L3A = 257 WHERE IDX = 151", "的 L3A 是 257"},  // not read as a die 1
        {"UPDATE lishi SET L1A = 'x' WHERE IDX = 151", "的 L1A 是 'x'"},
        {"UPDATE lishi SET L2B = 1 - L2B WHERE IDX = 151", "的 L2B 是"},
        {"UPDATE lishi SET L3E = 1 - L3E WHERE IDX = 151", "的 L3E 是"},
        {"UPDATE lishi SET L2F = L2F + 1 - 2 * (L2F - (L2A - 1) / 2) WHERE IDX = 151", "的 L2F 是"},
        {"UPDATE lishi SET txtHisLstHm = '1X1 1X2 1X3 ' WHERE IDX = 151 AND txtHisLst <> '123'", "的 txtHisLstHm 是"},
        {"UPDATE lishi SET txtHisLstDs = NULL WHERE IDX = 151", "的 txtHisLstDs 是 NULL"},
        {"UPDATE lishi SET txtHisLst = '666' WHERE IDX = 151 AND txtHisLst <> '666'", "的 txtHisLst 是 '666'"},
        {"UPDATE lishi SET txtHisLst = NULL WHERE IDX = 151", "的 txtHisLst 是 NULL"},
    };
    for (const Broken& c : cases) {
        SCOPED_TRACE(c.statement);
        TempDir dir;
        const std::string path = dir.file("gapbook.db");
        HistoryStore(path).append(history());
        {
            Db db(path, false);
            dropConstraints(db);
            db.exec(c.statement);
            ASSERT_GT(db.changes(), 0);
        }
        const std::string before = k3test::fileBytes(path);
        HistoryStore store(path);
        const std::string said = damageOf([&] { store.checkIntegrity(); });
        EXPECT_NE(said.find(c.said), std::string::npos) << said;
        EXPECT_NE(said.find(path), std::string::npos) << said;
        EXPECT_NE(said.find("改名或移走"), std::string::npos) << said;  // the remedy
        if (c.row >= 0) {
            EXPECT_NE(said.find("期号 " + issue(static_cast<size_t>(c.row)) + " 的 "), std::string::npos) << said;
        }
        // Every read that takes what is broken says the same, and so do the other checks.
        EXPECT_EQ(damageOf([&] { store.snapshot(kAllParts | kDiceTextChecked); }), said);
        EXPECT_EQ(damageOf([&] { store.damageCheck()->run(); }), said);
        EXPECT_EQ(damageOf([&] {
                      auto reader = store.reader();
                      reader->readDraws();
                      reader->readValues(kAllParts | kDiceTextChecked);
                  }),
                  said);
        EXPECT_EQ(damageOf([&] { store.append({deriveDraw(140101001, 1, 2, 3, 1)}); }), said);
        EXPECT_TRUE(k3test::fileBytes(path) == before);
    }
}

TEST(HistoryRules, AReadOfWhatIsSoundIsNotRefused) {
    TempDir dir;
    const std::string path = dir.file("gapbook.db");
    HistoryStore(path).append(history());
    {
        Db db(path, false);
        db.exec("UPDATE lishi SET IDX = 301 - IDX; PRAGMA ignore_check_constraints=1; UPDATE lishi SET L1B = 5");
    }
    HistoryStore store(path);
    // The issues and dice of a history whose ranks and flags are broken: what the text export writes.
    auto snap = store.snapshot(kDicePart, Ranks::kUnchecked);
    ASSERT_EQ(snap->size(), kDraws);
    for (size_t i = 0; i < kDraws; ++i) {
        ASSERT_EQ(snap->issue(i), history()[i].sqqh);
        for (int p = 1; p <= 3; ++p) ASSERT_EQ(snap->die(i, p), history()[i].values[kNumber][p - 1]);
    }
    // The ranks are checked unless told otherwise; the big/small flags only where they are read.
    EXPECT_NE(damageOf([&] { store.snapshot(kDicePart); }).find("的 IDX 是 300"), std::string::npos);
    EXPECT_NE(damageOf([&] { store.snapshot(valuesPart(kBigSmall), Ranks::kUnchecked); }).find("的 L1B 是 5"),
              std::string::npos);
}

TEST(HistoryRules, TheNewestIssueIsChecked) {
    TempDir dir;
    const std::string path = dir.file("gapbook.db");
    HistoryStore(path).append(history());
    {
        Db db(path, false);
        db.exec("UPDATE lishi SET SQQH = 'x' WHERE IDX = 10");
    }
    HistoryStore store(path);
    // A text sorts after every number: `next` would have taken it for the newest issue, as 0.
    EXPECT_NE(damageOf([&] { store.newestIssue(); }).find("的期号 SQQH 是 'x'"), std::string::npos);
}

TEST(HistoryRules, SoundHistoriesPass) {
    TempDir dir;
    const std::string path = dir.file("gapbook.db");
    {
        // Rows out of issue order, both segment bases, every outcome of the dice.
        HistoryStore s(path);
        std::vector<DerivedDraw> draws;
        int32_t issue = 130101001;
        for (int o = 0; o < 216; ++o) {
            draws.push_back(deriveDraw(issue, o / 36 + 1, o / 6 % 6 + 1, o % 6 + 1, o % 2));
            issue = static_cast<int32_t>(nextIssue(issue, 78, false));
        }
        s.append(std::vector<DerivedDraw>(draws.begin() + 100, draws.end()));
        s.append(std::vector<DerivedDraw>(draws.begin(), draws.begin() + 100));
    }
    HistoryStore store(path);
    EXPECT_NO_THROW(store.checkIntegrity());
    EXPECT_NO_THROW(store.damageCheck()->run());
    EXPECT_EQ(store.snapshot(kAllParts | kDiceTextChecked)->size(), 216u);
}
