// Reading the history into a snapshot: the two steps of the window against the one of the command
// line, rows stored out of issue order, draws stored under both segment bases, a change made by
// another program between the steps, and the footprint of a draw.
#include <gtest/gtest.h>

#include "store/history_store.h"
#include "store/issue.h"
#include "test_support.h"

using namespace k3;
using k3test::TempDir;

namespace {

// Every stored value of every row, as the analyses read it.
void expectSame(const Snapshot& a, const Snapshot& b) {
    ASSERT_EQ(a.issues(), b.issues());
    ASSERT_EQ(a.ranks(), b.ranks());
    for (size_t i = 0; i < a.size(); ++i) {
        ASSERT_EQ(a.values().of(i), b.values().of(i)) << "row " << i;
        for (int p = 1; p <= 3; ++p) ASSERT_EQ(a.die(i, p), b.die(i, p));
    }
}

Snapshot twoSteps(HistoryStore& store, unsigned types = kAllParts) {
    auto reader = store.reader();
    DrawColumns d = reader->readDraws();
    return Snapshot(std::move(d.issues), std::move(d.ranks), std::move(d.newestDice),
                    readyValues(reader->readValues(types)));
}

// A history whose table is not in issue order, with draws stored under both segment bases.
struct Mixed : ::testing::Test {
    TempDir dir;
    HistoryStore store{dir.file("gapbook.db")};
    std::vector<DerivedDraw> all = k3test::generateDraws(3000, 78, 130101001, 1, 7);
    void SetUp() override {
        std::vector<DerivedDraw> late(all.begin(), all.begin() + 500), first(all.begin() + 500, all.end());
        for (size_t i = 0; i < first.size(); i += 3)
            first[i] =
                deriveDraw(first[i].sqqh, first[i].values[0][0], first[i].values[0][1], first[i].values[0][2], 0);
        store.append(first);
        store.append(late);  // older issues after newer ones in the table
    }
};

}  // namespace

TEST_F(Mixed, TwoStepsReadWhatOneStepReads) {
    auto one = store.snapshot();
    Snapshot two = twoSteps(store);
    expectSame(*one, two);
    ASSERT_EQ(one->size(), all.size());
    for (size_t i = 0; i < all.size(); ++i) {
        ASSERT_EQ(one->issue(i), all[i].sqqh);
        ASSERT_EQ(one->rank(i), static_cast<int32_t>(i + 1));
    }
    // The stored values as they are: a draw stored with the other segment base keeps its segments.
    EXPECT_EQ(one->value(500, kSegment, 1), (all[500].values[0][0] - 1) / 2);  // stored with base 0
    EXPECT_EQ(one->value(501, kSegment, 1), (all[501].values[0][0] - 1) / 2 + 1);
    // Both segment bases: a few hundred distinct sets for 3000 draws.
    EXPECT_LE(one->values().distinct.size(), 2u * 216);
}

TEST_F(Mixed, OnlyTheTypesAskedFor) {
    auto seg = store.snapshot(typeParts(kSegment));
    auto full = store.snapshot();
    for (size_t i = 0; i < full->size(); ++i) {
        ASSERT_EQ(seg->value(i, kSegment, 3), full->value(i, kSegment, 3));
        ASSERT_EQ(seg->values(groupsPart(kSegment)).of(i).groups[kSegment], full->values().of(i).groups[kSegment]);
    }
    EXPECT_THROW(seg->value(0, kBigSmall, 1), std::logic_error);
    EXPECT_THROW(seg->die(0, 1), std::logic_error);
    auto dice = store.snapshot(kDicePart);
    EXPECT_EQ(dice->die(2999, 3), full->die(2999, 3));
    EXPECT_THROW(dice->values(groupsPart(kNumber)), std::logic_error);
    auto groups = store.snapshot(groupsPart(kOddEven));
    for (size_t i = 0; i < full->size(); ++i) {
        const DrawValues& g = groups->values(groupsPart(kOddEven)).of(i);
        ASSERT_EQ(g.groups[kOddEven], full->values().of(i).groups[kOddEven]);
        ASSERT_EQ(g.groups[kNumber] | g.groups[kBigSmall] | g.groups[kSegment], 0u);
    }
    EXPECT_THROW(groups->die(0, 1), std::logic_error);
}

TEST(SnapshotRead, TheNewestDiceComeFirstAndTheRestFollow) {
    TempDir dir;
    HistoryStore store(dir.file("gapbook.db"));
    store.append(k3test::generateDraws(kNewestDice + 40));
    auto reader = store.reader();
    DrawColumns d = reader->readDraws();
    auto values = std::make_shared<std::promise<std::shared_ptr<const SnapshotValues>>>();
    Snapshot s(std::move(d.issues), std::move(d.ranks), std::move(d.newestDice), values->get_future().share());
    auto full = store.snapshot();
    EXPECT_FALSE(s.valuesReady());
    EXPECT_FALSE(s.valuesFailed());
    EXPECT_EQ(s.newestFrom(), 40u);
    for (size_t i = 40; i < s.size(); ++i)
        ASSERT_EQ(s.die(i, 1) * 100 + s.die(i, 2) * 10 + s.die(i, 3),
                  full->die(i, 1) * 100 + full->die(i, 2) * 10 + full->die(i, 3));
    EXPECT_EQ(s.rows.back().sqqh, full->issues().back());  // the rows' issues do not wait either
    values->set_value(reader->readValues(kAllParts));
    expectSame(s, *full);
}

TEST(SnapshotRead, AChangeMadeBetweenTheStepsIsNotSeen) {
    TempDir dir;
    const std::string path = dir.file("gapbook.db");
    auto draws = k3test::generateDraws(2000);
    HistoryStore store(path);
    store.append(draws);
    auto before = store.snapshot();
    auto reader = store.reader();
    DrawColumns d = reader->readDraws();
    {
        HistoryStore other(path);  // another program deletes and adds between the two steps
        other.deleteNewest(700);
        other.append(k3test::generateDraws(900, 78, 150101001, 1, 3));
    }
    Snapshot s(std::move(d.issues), std::move(d.ranks), std::move(d.newestDice),
               readyValues(reader->readValues(kAllParts)));
    expectSame(s, *before);
    EXPECT_EQ(store.snapshot()->size(), 2200u);  // the next read sees the change
}

TEST(SnapshotRead, DrawsTypedBeforeTheValuesAreReadWaitForThem) {
    TempDir dir;
    HistoryStore store(dir.file("gapbook.db"));
    auto draws = k3test::generateDraws(1000);
    store.append(draws);
    auto reader = store.reader();
    DrawColumns d = reader->readDraws();
    auto values = std::make_shared<std::promise<std::shared_ptr<const SnapshotValues>>>();
    auto s = std::make_shared<const Snapshot>(std::move(d.issues), std::move(d.ranks), std::move(d.newestDice),
                                              values->get_future().share());
    const DerivedDraw first = deriveDraw(nextIssue(draws.back().sqqh, 78, false), 2, 5, 3, 1);
    const DerivedDraw second = deriveDraw(nextIssue(first.sqqh, 78, false), 6, 6, 1, 0);
    auto once = withNewestAppended(s, first);
    ASSERT_TRUE(once);
    EXPECT_FALSE(withNewestAppended(s, draws.back()));  // not newer than the newest
    auto twice = withNewestAppended(once, second);
    EXPECT_EQ(twice->die(1000, 2), 5);
    EXPECT_EQ(twice->die(1001, 1), 6);
    EXPECT_EQ(twice->die(999, 3), draws.back().values[0][2]);
    s.reset();  // the snapshots before are not needed for the values
    once.reset();
    values->set_value(reader->readValues(kAllParts));
    store.append({first, second});
    expectSame(*twice, *store.snapshot());
    // Once the read is done, a draw appended has its values at once.
    auto third = withNewestAppended(twice, deriveDraw(nextIssue(second.sqqh, 78, false), 1, 1, 1, 1));
    EXPECT_TRUE(third->valuesReady());
    EXPECT_EQ(third->values().of(1002), drawValues(deriveDraw(0, 1, 1, 1, 1)));
}

TEST(SnapshotRead, AFailedReadReachesWhoeverWaits) {
    TempDir dir;
    HistoryStore store(dir.file("gapbook.db"));
    store.append(k3test::generateDraws(50000));
    auto reader = store.reader();
    DrawColumns d = reader->readDraws();
    reader->interrupt();
    std::promise<std::shared_ptr<const SnapshotValues>> values;
    try {
        values.set_value(reader->readValues(kAllParts));
    } catch (...) {
        values.set_exception(std::current_exception());
    }
    Snapshot s(std::move(d.issues), std::move(d.ranks), std::move(d.newestDice), values.get_future().share());
    EXPECT_TRUE(s.valuesFailed());
    EXPECT_THROW(s.values(), StoreError);
    // The read transaction ended with the failure: another program can change the history.
    EXPECT_NO_THROW(HistoryStore(dir.file("gapbook.db")).deleteNewest(1));
}

TEST(SnapshotRead, FootprintOfADraw) {
    TempDir dir;
    HistoryStore store(dir.file("gapbook.db"));
    store.append(k3test::generateDraws(50000));
    const double perDraw = static_cast<double>(store.snapshot()->footprint()) / 50000;
    EXPECT_LE(perDraw, 13.0);
    RecordProperty("bytes_per_draw", std::to_string(perDraw));
}

// ---------------------------------------------------------------- the read through the index of the dice

namespace {

// What `parts` asks for of every row is the same in both snapshots.
void expectSameParts(const Snapshot& indexed, const Snapshot& table, unsigned parts) {
    ASSERT_EQ(indexed.issues(), table.issues());
    ASSERT_EQ(indexed.ranks(), table.ranks());
    for (size_t i = 0; i < table.size(); ++i) {
        const DrawValues &a = indexed.values(parts).of(i), &b = table.values(parts).of(i);
        for (int t = 0; t < kTypeCount; ++t) {
            if (parts & valuesPart(t)) ASSERT_EQ(a.v[t], b.v[t]) << "row " << i << " type " << t;
            if (parts & groupsPart(t)) ASSERT_EQ(a.groups[t], b.groups[t]) << "row " << i << " type " << t;
        }
    }
}

bool diceIndexed(HistoryStore& store) { return hasDiceIndex(store.db()); }

}  // namespace

TEST_F(Mixed, TheIndexOfTheDiceGivesWhatTheTableGives) {
    ASSERT_TRUE(diceIndexed(store));  // a new file has it
    std::vector<unsigned> asked{kDicePart, kAllParts};
    for (int t = 0; t < kTypeCount; ++t) asked.insert(asked.end(), {valuesPart(t), groupsPart(t), typeParts(t)});
    for (unsigned parts : asked) {
        SCOPED_TRACE(parts);
        expectSameParts(*store.valuesSnapshot(parts), *store.snapshot(parts), parts);
    }
    // Rows of both segment bases and rows stored out of issue order, renumbered: still the same after a
    // draw typed in between and the oldest ones trimmed.
    store.appendAndTrim({deriveDraw(140101001, 6, 6, 1, 0)}, all[40].sqqh);
    expectSameParts(*store.valuesSnapshot(kAllParts), *store.snapshot(kAllParts), kAllParts);
    // A whole history replaced keeps the index, built again over the new draws.
    std::vector<IssueDice> replaced;
    for (size_t i = 0; i < 700; ++i) replaced.push_back({all[i].sqqh, int(i % 6) + 1, int(i % 5) + 1, int(i % 4) + 2});
    store.replaceHistory(replaced, 0);
    ASSERT_TRUE(diceIndexed(store));
    expectSameParts(*store.valuesSnapshot(kAllParts), *store.snapshot(kAllParts), kAllParts);
}

TEST(DiceIndex, AnOlderFileIsReadWithoutItAndGetsItAtItsFirstChange) {
    TempDir dir;
    const std::string path = dir.file("gapbook.db");
    const auto draws = k3test::generateDraws(500, 78, 130101001, 1, 3);
    HistoryStore(path).append(draws);
    {
        Db db(path, false);
        db.exec("DROP INDEX k3dice");
    }
    const std::string before = k3test::fileBytes(path);
    {
        HistoryStore store(path);
        EXPECT_FALSE(diceIndexed(store));
        expectSameParts(*store.valuesSnapshot(kAllParts), *store.snapshot(kAllParts), kAllParts);
    }
    EXPECT_TRUE(k3test::fileBytes(path) == before);  // reading adds nothing
    HistoryStore store(path);
    store.append({deriveDraw(140101001, 1, 2, 3, 1)});
    EXPECT_TRUE(diceIndexed(store));
    EXPECT_EQ(store.valuesSnapshot(kDicePart)->size(), 501u);
    expectSameParts(*store.valuesSnapshot(kAllParts), *store.snapshot(kAllParts), kAllParts);
}

TEST(DiceIndex, AnIndexOfThatNameOverOtherColumnsIsNotTakenForIt) {
    TempDir dir;
    const std::string path = dir.file("gapbook.db");
    HistoryStore(path).append(k3test::generateDraws(300));
    {
        Db db(path, false);
        db.exec("DROP INDEX k3dice; CREATE INDEX k3dice ON lishi (SQQH, L3A, L2A, L1A)");
    }
    HistoryStore store(path);
    EXPECT_FALSE(diceIndexed(store));
    expectSameParts(*store.valuesSnapshot(kAllParts), *store.snapshot(kAllParts), kAllParts);
}

TEST(DiceIndex, BrokenDiceSegmentsAndIssuesAreDamageAsInTheTable) {
    const char* const cases[] = {
        "UPDATE lishi SET L2A = 7 WHERE IDX = 151",
        "UPDATE lishi SET L1A = 'x' WHERE IDX = 151",
        "UPDATE lishi SET L3A = 257 WHERE IDX = 151",
        "UPDATE lishi SET L2F = 9 WHERE IDX = 151",
        "UPDATE lishi SET L2F = L2F + 1 - 2 * (L2F - (L2A - 1) / 2) WHERE IDX = 151",
        "UPDATE lishi SET SQQH = 'abc' WHERE IDX = 151",
        "UPDATE lishi SET SQQH = 130102072.5 WHERE IDX = 151",
    };
    for (const char* statement : cases) {
        SCOPED_TRACE(statement);
        TempDir dir;
        const std::string path = dir.file("gapbook.db");
        HistoryStore(path).append(k3test::generateDraws(300));
        {
            Db db(path, false);
            db.exec(std::string("PRAGMA ignore_check_constraints=1; ") + statement);
            ASSERT_GT(db.changes(), 0);
        }
        HistoryStore store(path);
        ASSERT_TRUE(diceIndexed(store));
        auto said = [&](unsigned parts, bool indexed) {
            try {
                indexed ? store.valuesSnapshot(parts) : store.snapshot(parts);
            } catch (const StoreError& e) {
                EXPECT_EQ(e.kind(), StoreFailure::kDamaged);
                return std::string(e.what());
            }
            return std::string("no damage found");
        };
        EXPECT_EQ(said(kAllParts, true), said(kAllParts, false));
    }
}
