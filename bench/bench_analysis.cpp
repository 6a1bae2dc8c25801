// The analyses over a generated history of 500,000 draws, each including the building of its result
// rows; and the group calculation done by counting statements on the database, for comparison.
#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>

#include "groups/group_calc.h"
#include "search/result_memory.h"
#include "search/search.h"
#include "statement_reference.h"
#include "test_support.h"

namespace {

constexpr size_t kDraws = 500000;

struct Data {
    k3test::TempDir dir;
    std::unique_ptr<k3::HistoryStore> store;
    std::shared_ptr<const k3::Snapshot> snap;
    std::string from, to;
};

Data& data() {
    static Data* d = [] {
        auto* x = new Data;
        x->store = std::make_unique<k3::HistoryStore>(x->dir.file("gapbook.db"));
        x->store->append(k3test::generateDraws(kDraws));
        x->snap = x->store->snapshot();
        x->from = std::to_string(x->snap->rows.front().sqqh);
        x->to = std::to_string(x->snap->rows.back().sqqh);
        return x;
    }();
    return *d;
}

k3::GroupInput sixInThrees() { return {k3::kNumber, {1, 2, 3, 4, 5, 6}, 3, data().from, data().to}; }

void BM_SearchTwoFreePositions(benchmark::State& st) {
    Data& d = data();
    k3::SearchInput in;
    in.free = true;
    in.selected = {true, true, false};
    in.values = {1, 2, 0};
    in.texts = {"1", "2", ""};
    in.from = d.from;
    in.to = d.to;
    size_t rows = 0;
    for (auto _ : st) {
        k3::SearchOutput out = k3::runSearch(*d.snap, in);
        rows = out.matches.rows.size();
        benchmark::DoNotOptimize(out);
    }
    st.counters["matches"] = static_cast<double>(rows);
}
BENCHMARK(BM_SearchTwoFreePositions)->Unit(benchmark::kMillisecond);

void BM_PartialSearchWidth2(benchmark::State& st) {
    Data& d = data();
    k3::PartialInput in;
    in.values = {1, 2, 3};
    in.texts = {"1", "2", "3"};
    in.width = 2;
    in.from = d.from;
    in.to = d.to;
    size_t rows = 0;
    for (auto _ : st) {
        k3::SearchOutput out = k3::runPartialSearch(*d.snap, in);
        rows = out.matches.rows.size();
        benchmark::DoNotOptimize(out);
    }
    st.counters["matches"] = static_cast<double>(rows);
}
BENCHMARK(BM_PartialSearchWidth2)->Unit(benchmark::kMillisecond);

void BM_GroupCalculationSixInThrees(benchmark::State& st) {
    Data& d = data();
    for (auto _ : st) {
        k3::GroupCalculation calc = k3::runGroupCalculation(*d.store, *d.snap, sixInThrees());
        if (calc.grid.rows.size() != 20) st.SkipWithError("expected 20 groups");
        benchmark::DoNotOptimize(calc);
    }
}
BENCHMARK(BM_GroupCalculationSixInThrees)->Unit(benchmark::kMillisecond);

void BM_GroupTableResort(benchmark::State& st) {
    Data& d = data();
    k3::runGroupCalculation(*d.store, *d.snap, sixInThrees());
    int column = 1;
    for (auto _ : st) {
        k3::Grid g = k3::groupResultGrid(d.store->readYL(""), column);
        column = column % 4 + 1;
        benchmark::DoNotOptimize(g);
    }
}
BENCHMARK(BM_GroupTableResort)->Unit(benchmark::kMillisecond);

void BM_GroupCalculationByStatements(benchmark::State& st) {
    Data& d = data();
    const int32_t from = d.snap->rows.front().sqqh, to = d.snap->rows.back().sqqh;
    for (auto _ : st) {
        auto rows = k3ref::groups(d.store->db(), k3::kNumber, {1, 2, 3, 4, 5, 6}, 3, from, to);
        if (rows.size() != 20) st.SkipWithError("expected 20 groups");
        benchmark::DoNotOptimize(rows);
    }
}
BENCHMARK(BM_GroupCalculationByStatements)->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace

// --default-allocator measures without the allocator setting the window makes at start-up.
int main(int argc, char** argv) {
    bool tuned = true;
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--default-allocator") == 0) {
            tuned = false;
            for (int j = i; j + 1 < argc; ++j) argv[j] = argv[j + 1];
            --argc;
            break;
        }
    if (tuned) k3::keepResultMemory();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
