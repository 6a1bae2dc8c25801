// The omission table over 500,000 draws in memory, and the omission chart of a search with about
// 70,000 hits: built from the search result and drawn offscreen, and one zoom step of a shown chart.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <memory>

#include "charts/omission_chart.h"
#include "overview/gap_series.h"
#include "overview/overview.h"
#include "search/search.h"
#include "test_support.h"

namespace {

constexpr size_t kDraws = 500000;

const k3::Snapshot& history() {
    static const k3::Snapshot* s = [] { return new k3::Snapshot(k3::snapshotOf(k3test::generateDraws(kDraws))); }();
    return *s;
}

std::string firstIssue() { return std::to_string(history().rows.front().sqqh); }
std::string lastIssue() { return std::to_string(history().rows.back().sqqh); }

void BM_OverviewTable(benchmark::State& st) {
    const k3::Snapshot& snap = history();
    const std::string from = firstIssue(), to = lastIssue();
    for (auto _ : st) {
        k3::Grid g = k3::overviewGrid(k3::computeOverview(snap, from, to));
        benchmark::DoNotOptimize(g);
    }
}
BENCHMARK(BM_OverviewTable)->Unit(benchmark::kMillisecond);

// A 1 and a 2 anywhere in the draw: 30 of the 216 outcomes, about 69,000 hits in 500,000 draws.
const k3::SearchOutput& search(k3::SearchInput& in) {
    in.selected = {true, true, false};
    in.values = {1, 2, 0};
    in.texts = {"1", "2", ""};
    in.from = firstIssue();
    in.to = lastIssue();
    static const k3::SearchOutput out = k3::runSearch(history(), in);
    return out;
}

void BM_SearchChartBuiltAndDrawn(benchmark::State& st) {
    k3::SearchInput in;
    const k3::SearchOutput& out = search(in);
    for (auto _ : st) {
        k3::GapSeries s = k3::gapSeriesOf(out, k3::theoreticalOmission(in, 1));
        QImage img = k3::renderChart(s, {1200, 600});
        benchmark::DoNotOptimize(img);
    }
    st.counters["hits"] = double(out.matches.rows.size());
}
BENCHMARK(BM_SearchChartBuiltAndDrawn)->Unit(benchmark::kMillisecond);

void BM_ItemChartBuiltAndDrawn(benchmark::State& st) {
    const int item = *k3::findBetItem("和值", "10");
    for (auto _ : st) {
        QImage img = k3::renderChart(k3::itemGapSeries(history(), firstIssue(), lastIssue(), item), {1200, 600});
        benchmark::DoNotOptimize(img);
    }
}
BENCHMARK(BM_ItemChartBuiltAndDrawn)->Unit(benchmark::kMillisecond);

// One wheel notch on a shown chart of the search, with the repaint it causes.
void BM_ChartZoomStep(benchmark::State& st) {
    k3::SearchInput in;
    k3::OmissionChart chart;
    chart.resize(1200, 600);
    chart.setSeries(k3::gapSeriesOf(search(in)));
    chart.show();
    QCoreApplication::processEvents();
    int step = 0;
    for (auto _ : st) {
        auto [lo, hi] = chart.visibleRange();
        if (hi - lo < 2000 || step % 40 == 39) chart.showAll();
        chart.zoomAt((lo + hi) / 2, 0.8);
        QPixmap shot = chart.viewport()->grab();
        benchmark::DoNotOptimize(shot);
        ++step;
    }
}
BENCHMARK(BM_ChartZoomStep)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
