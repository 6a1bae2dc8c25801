// The in-memory analyses give exactly what the counting statements give on the database.
#include <gtest/gtest.h>

#include <random>

#include "search/search.h"
#include "sql_reference.h"
#include "test_support.h"

using namespace k3;

namespace {

class StatementEquivalence : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir = new k3test::TempDir;
        store = new HistoryStore(dir->file("gapbook.db"));
        // Segment base 0 for the first half, 1 for the second: both kinds of stored segment numbers.
        auto a = k3test::generateDraws(1500, 78, 130101001, 0, 7);
        auto b = k3test::generateDraws(1500, 78, 140101001, 1, 8);
        a.insert(a.end(), b.begin(), b.end());
        store->append(a);
        snap = store->snapshot();
    }
    static void TearDownTestSuite() {
        snap.reset();
        delete store;
        delete dir;
    }

    // A range: sometimes the whole history, sometimes a stored issue or a gap inside it.
    std::pair<int32_t, int32_t> randomRange(std::mt19937& rng) {
        const auto& rows = snap->rows;
        std::uniform_int_distribution<size_t> pick(0, rows.size() - 1);
        switch (rng() % 4) {
            case 0: return {rows.front().sqqh, rows.back().sqqh};
            case 1: return {rows[pick(rng)].sqqh, rows.back().sqqh};
            case 2: {
                size_t i = pick(rng), j = pick(rng);
                return {rows[std::min(i, j)].sqqh, rows[std::max(i, j)].sqqh};
            }
            default: return {rows[pick(rng)].sqqh + 500, rows[pick(rng)].sqqh};  // start not stored
        }
    }

    void expectSame(const k3ref::RefStats& ref, const SearchOutput& out, const std::string& what) {
        ASSERT_TRUE(out.ran) << what;
        std::vector<int32_t> idx, om;
        for (const Match& m : out.stats.matches) {
            idx.push_back(snap->rows[m.row].idx);
            om.push_back(m.omission);
        }
        EXPECT_EQ(idx, ref.idx) << what;
        EXPECT_EQ(om, ref.omissions) << what;
        EXPECT_EQ(out.stats.minimum, ref.minimum) << what;
        EXPECT_EQ(out.stats.maximum, ref.maximum) << what;
        EXPECT_EQ(out.stats.last, ref.last) << what;
        EXPECT_EQ(out.stats.ratio, ref.ratio) << what;
    }

    static k3test::TempDir* dir;
    static HistoryStore* store;
    static std::shared_ptr<const Snapshot> snap;
};
k3test::TempDir* StatementEquivalence::dir = nullptr;
HistoryStore* StatementEquivalence::store = nullptr;
std::shared_ptr<const Snapshot> StatementEquivalence::snap;

// Values tried per type: the stored ones and some without a counter or a stored field.
const std::vector<std::vector<int>> kTryValues{{0, 1, 2, 3, 4, 5, 6, 7}, {0, 1, 2}, {0, 1, 2}, {0, 1, 2, 3, 4}};

}  // namespace

TEST_F(StatementEquivalence, Search) {
    std::mt19937 rng(42);
    int some = 0, none = 0;
    for (int n = 0; n < 160; ++n) {
        int type = static_cast<int>(rng() % 4);
        bool free = rng() % 2;
        const auto& vals = kTryValues[static_cast<size_t>(type)];
        SearchInput in;
        in.type = type;
        in.free = free;
        std::vector<k3ref::RefCond> conds;
        for (int p = 0; p < 3; ++p) {
            in.selected[p] = rng() % 3 != 0;
            // Mostly likely values, so that repeated free values occur often.
            in.values[p] = vals[rng() % (rng() % 2 ? vals.size() : std::min<size_t>(vals.size(), 3))];
            if (in.selected[p]) conds.push_back({!free, p + 1, in.values[p]});
        }
        auto [from, to] = randomRange(rng);
        in.from = std::to_string(from);
        in.to = std::to_string(to);
        auto ref = k3ref::search(store->db(), type, conds, from, to);
        expectSame(ref, runSearch(*snap, in), "search #" + std::to_string(n));
        (ref.idx.empty() ? none : some)++;
    }
    // Both outcomes were tried many times.
    EXPECT_GT(some, 60);
    EXPECT_GT(none, 10);
}

TEST_F(StatementEquivalence, PartialSearch) {
    std::mt19937 rng(43);
    int some = 0, none = 0;
    for (int n = 0; n < 60; ++n) {
        PartialInput in;
        in.type = static_cast<int>(rng() % 4);
        in.free = rng() % 2;
        const auto& vals = kTryValues[static_cast<size_t>(in.type)];
        for (int p = 0; p < 3; ++p) in.values[p] = vals[rng() % std::min<size_t>(vals.size(), rng() % 4 ? 3 : 8)];
        in.width = static_cast<int>(rng() % 5);
        auto [from, to] = randomRange(rng);
        in.from = std::to_string(from);
        in.to = std::to_string(to);
        auto ref = k3ref::partial(store->db(), in.type, in.free, in.values, in.width, from, to);
        expectSame(ref, runPartialSearch(*snap, in), "partial #" + std::to_string(n));
        (ref.idx.empty() ? none : some)++;
    }
    EXPECT_GT(some, 15);
    EXPECT_GT(none, 5);
}
