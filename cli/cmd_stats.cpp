// k3gap-cli fairness and backtest: the fairness tests of the draws, and the omission backtest of the
// bet items with its hit-rate chart drawn to a PNG file.
#include <QApplication>
#include <cmath>
#include <ostream>

#include "charts/stats_chart.h"
#include "cli.h"
#include "export/output_file.h"
#include "export/workbook.h"
#include "stats/backtest.h"
#include "stats/fairness.h"
#include "store/grid.h"
#include "store/issue.h"

namespace k3cli {

namespace {

// The range texts: the whole history unless given, as the search takes it.
std::pair<std::string, std::string> rangeOf(const Args& a, const k3::Snapshot& snap) {
    return {a.value("from", snap.empty() ? std::string() : std::to_string(snap.issues().front())),
            a.value("to", snap.empty() ? std::string() : std::to_string(snap.issues().back()))};
}

k3::Threshold thresholdOf(const Args& a) {
    k3::Threshold t;
    if (a.has("times") && a.has("min-omission")) throw UsageError("give --times or --min-omission, not both");
    if (a.has("times")) {
        const std::string v = a.value("times");
        char* end = nullptr;
        const double x = v.empty() ? 0 : std::strtod(v.c_str(), &end);
        if (v.empty() || *end != '\0' || !std::isfinite(x) || x <= 0)
            throw UsageError("--times takes a number above 0, e.g. --times 2");
        t.times = x;
    }
    if (a.has("min-omission")) {
        auto k = k3::parseWhole(a.value("min-omission"), 1, INT32_MAX);
        if (!k) throw UsageError("--min-omission takes a whole number of at least 1");
        t.fixed = static_cast<int32_t>(*k);
    }
    return t;
}

void writeGridWorkbook(const Context& ctx, const k3::Grid& grid, const std::string& path) {
    if (path.empty()) throw UsageError("--xlsx needs a file name");
    k3::writeWorkbook(grid, path, ctx.dataDir);
}

int runFairness(Context& ctx, const std::vector<std::string>& args) {
    Args a(args, {"from", "to"}, {});
    if (!a.positional().empty()) throw UsageError("fairness takes no positional arguments");
    auto snap = ctx.store().snapshot(k3::kDicePart);
    auto [from, to] = rangeOf(a, *snap);
    *ctx.out << k3::gridText(k3::fairnessGrid(k3::computeFairness(*snap, from, to)));
    return kOk;
}

int runBacktest(Context& ctx, const std::vector<std::string>& args) {
    Args a(args, {"from", "to", "times", "min-omission", "xlsx", "png", "item"}, {});
    if (!a.positional().empty()) throw UsageError("backtest takes no positional arguments");
    if (a.has("item") != a.has("png")) throw UsageError("--item and --png go together");
    const k3::Threshold threshold = thresholdOf(a);
    const int item = a.has("item") ? parseItem(a.value("item")) : -1;
    if (item >= 0 && a.value("png").empty()) throw UsageError("--png needs a file name");
    auto snap = ctx.store().snapshot(k3::kDicePart);
    auto [from, to] = rangeOf(a, *snap);
    const k3::Grid grid = k3::backtestGrid(k3::computeBacktest(*snap, from, to, threshold));
    if (item >= 0) {
        if (!qobject_cast<QApplication*>(QCoreApplication::instance()))
            throw InputError("没有绘图环境，无法画命中率图");
        const QByteArray png = k3::hitRateChartPng(k3::hitRateByOmission(*snap, from, to, item));
        k3::writeOutputBytes(a.value("png"), ctx.dataDir, std::string_view(png.constData(), size_t(png.size())));
    }
    if (a.has("xlsx"))
        writeGridWorkbook(ctx, grid, a.value("xlsx"));
    else
        *ctx.out << k3::gridText(grid);
    return kOk;
}

}  // namespace

int runStatsCommand(Context& ctx, const std::string& cmd, const std::vector<std::string>& args) {
    if (cmd == "fairness") return runFairness(ctx, args);
    if (cmd == "backtest") return runBacktest(ctx, args);
    return -1;
}

}  // namespace k3cli
