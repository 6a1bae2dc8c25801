// The in-memory search and partial search give exactly what the counting statements give.
#include <gtest/gtest.h>
#include <array>

#include <random>

#include "search/search.h"
#include "statement_reference.h"
#include "test_support.h"

using namespace k3;

TEST(StatementEquivalence, SearchAndPartialSearch) {
    k3test::TempDir dir;
    HistoryStore store(dir.file("gapbook.db"));
    auto a = k3test::generateDraws(1500, 78, 130101001, 0, 7);  // segment base 0, then base 1
    auto b = k3test::generateDraws(1500, 78, 140101001, 1, 8);
    a.insert(a.end(), b.begin(), b.end());
    store.append(a);
    auto snap = store.snapshot();
    const auto& rows = snap->rows;
    // Values tried per type: the stored ones and some the type cannot hold.
    const std::vector<std::vector<int>> values{{0, 1, 2, 3, 4, 5, 6, 7}, {0, 1, 2}, {0, 1, 2}, {0, 1, 2, 3, 4}};
    std::mt19937 rng(42);
    int some = 0, none = 0;
    for (int n = 0; n < 200; ++n) {
        const int type = static_cast<int>(rng() % 4);
        const bool free = rng() % 2, isPartial = n % 4 == 3;
        const auto& vals = values[static_cast<size_t>(type)];
        std::array<int, 3> v{};
        std::array<bool, 3> sel{};
        for (size_t p = 0; p < 3; ++p) {
            v[p] = vals[rng() % (rng() % 2 ? vals.size() : 3)];  // often repeated values
            sel[p] = rng() % 3 != 0;
        }
        // Whole history, a stored start, or a start that is not stored.
        int32_t from = rows[rng() % rows.size()].sqqh + (n % 3 == 2 ? 500 : 0), to = rows.back().sqqh;
        if (n % 3 == 0) from = rows.front().sqqh;
        if (n % 5 == 1) to = rows[rng() % rows.size()].sqqh;
        k3ref::RefStats ref;
        SearchOutput out;
        if (isPartial) {
            int k = static_cast<int>(rng() % 5);
            ref = k3ref::partial(store.db(), type, free, v, k, from, to);
            const std::array<std::string, 3> texts{std::to_string(v[0]), std::to_string(v[1]), std::to_string(v[2])};
            out = runPartialSearch(*snap, {type, free, v, texts, k, {}, std::to_string(from), std::to_string(to)});
        } else {
            std::vector<k3ref::RefCond> conds;
            for (int p = 0; p < 3; ++p)
                if (sel[static_cast<size_t>(p)]) conds.push_back({!free, p + 1, v[static_cast<size_t>(p)]});
            ref = k3ref::search(store.db(), type, conds, from, to);
            out = runSearch(*snap, {type, free, sel, v, {}, std::to_string(from), std::to_string(to)});
        }
        std::vector<int32_t> idx, om;
        for (const Match& m : out.stats.matches) {
            idx.push_back(rows[m.row].idx);
            om.push_back(m.omission);
        }
        const std::string what = "case " + std::to_string(n);
        EXPECT_EQ(idx, ref.idx) << what;
        EXPECT_EQ(om, ref.omissions) << what;
        EXPECT_EQ(out.stats.minimum, ref.minimum) << what;
        EXPECT_EQ(out.stats.maximum, ref.maximum) << what;
        EXPECT_EQ(out.stats.last, ref.last) << what;
        EXPECT_EQ(out.stats.ratio, ref.ratio) << what;
        (ref.idx.empty() ? none : some)++;
    }
    EXPECT_GT(some, 80);  // both outcomes were tried many times
    EXPECT_GT(none, 20);
}
