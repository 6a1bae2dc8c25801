#include "stats/fairness.h"

#include <algorithm>
#include <array>
#include <boost/math/distributions/chi_squared.hpp>
#include <boost/math/distributions/normal.hpp>
#include <cmath>
#include <cstdio>

#include "overview/overview.h"
#include "stats/stats_range.h"
#include "store/outcome.h"
#include "store/row_order.h"

namespace k3 {

namespace {

double chiSquareUpperTail(double x, int freedom) {
    return boost::math::cdf(boost::math::complement(boost::math::chi_squared(freedom), x));
}

double normalTwoSided(double z) {
    return 2 * boost::math::cdf(boost::math::complement(boost::math::normal(), std::abs(z)));
}

void conclude(FairnessTest& t, double statistic, std::optional<int> freedom, double p) {
    t.statistic = statistic;
    t.freedom = freedom;
    t.p = p;
    t.verdict = p < kSignificance ? Verdict::kDeviates : Verdict::kFits;
}

// Pearson's statistic of observed counts against expected ones.
template <size_t N>
double pearson(const std::array<int64_t, N>& observed, const std::array<double, N>& expected) {
    double x = 0;
    for (size_t k = 0; k < N; ++k) {
        const double d = static_cast<double>(observed[k]) - expected[k];
        x += d * d / expected[k];
    }
    return x;
}

std::string format(const char* spec, double v) {
    char buf[48];
    std::snprintf(buf, sizeof buf, spec, v);
    return buf;
}

using Counts = std::array<int64_t, kOutcomeCount>;
using Sums = std::array<int, kOutcomeCount>;

FairnessTest untested(const char* name, const char* question) {
    return {name, question, {}, {}, {}, Verdict::kTooFew, {}};
}

void untestable(FairnessTest& t, const char* why) {
    t.verdict = Verdict::kUntestable;
    t.untestable = why;
}

// The six faces at one position (0-2), against one sixth each.
FairnessTest facesTest(const Counts& counts, int64_t n, int pos) {
    static constexpr const char* kNames[] = {"第1位点数", "第2位点数", "第3位点数"};
    static constexpr const char* kQuestions[] = {"第1位的六个点数出现得是否一样多", "第2位的六个点数出现得是否一样多",
                                                 "第3位的六个点数出现得是否一样多"};
    FairnessTest t = untested(kNames[pos], kQuestions[pos]);
    if (n < 30) return t;
    std::array<int64_t, 6> faces{};
    for (int o = 0; o < kOutcomeCount; ++o) {
        const OutcomeDice d = diceOf(o);
        const int face = pos == 0 ? d.d1 : pos == 1 ? d.d2 : d.d3;
        faces[static_cast<size_t>(face - 1)] += counts[static_cast<size_t>(o)];
    }
    std::array<double, 6> expected;
    expected.fill(static_cast<double>(n) / 6);
    const double x = pearson(faces, expected);
    conclude(t, x, 5, chiSquareUpperTail(x, 5));
    return t;
}

// The sums 3-18 against the share of the 216 outcomes that give each.
FairnessTest sumsTest(const Counts& counts, int64_t n, const Sums& sumOf) {
    FairnessTest t = untested("和值分布", "和值3～18出现的次数是否合乎各自的组合数");
    if (n < 1080) return t;
    std::array<int64_t, 16> sums{};
    std::array<double, 16> expected{};
    for (size_t o = 0; o < counts.size(); ++o) {
        const auto s = static_cast<size_t>(sumOf[o] - 3);
        sums[s] += counts[o];
        expected[s] += static_cast<double>(n) / kOutcomeCount;
    }
    const double x = pearson(sums, expected);
    conclude(t, x, 15, chiSquareUpperTail(x, 15));
    return t;
}

// The 216 ordered outcomes against one each.
FairnessTest outcomesTest(const Counts& counts, int64_t n) {
    FairnessTest t = untested("216种结果", "216种有序结果是否出现得一样多");
    if (n < 1080) return t;
    std::array<double, kOutcomeCount> flat;
    flat.fill(static_cast<double>(n) / kOutcomeCount);
    const double x = pearson(counts, flat);
    conclude(t, x, 215, chiSquareUpperTail(x, 215));
    return t;
}

// Wald-Wolfowitz runs of 大 (sum >= 11) and 小: too few runs means streaks, too many over-alternation.
FairnessTest runsTest(std::span<const uint8_t> outcomes, const Sums& sumOf) {
    FairnessTest t = untested("和值大小游程", "大小（和值≥11为大）是否像抛硬币一样交替，不成串也不过分交替");
    const auto n = static_cast<int64_t>(outcomes.size());
    if (n < 20) return t;
    int64_t big = 0, runs = 0;
    bool previous = false;
    int minSum = 18, maxSum = 3;
    for (size_t i = 0; i < outcomes.size(); ++i) {
        const int s = sumOf[outcomes[i]];
        minSum = std::min(minSum, s);
        maxSum = std::max(maxSum, s);
        const bool b = s >= 11;
        big += b;
        if (i == 0 || b != previous) ++runs;
        previous = b;
    }
    const int64_t small = n - big;
    // Sums that never vary leave nothing to measure.
    if (minSum == maxSum) {
        untestable(t, "和值全部相同，无法检验");
    } else if (small == 0) {
        untestable(t, "和值全部为大，无法检验");
    } else if (big == 0) {
        untestable(t, "和值全部为小，无法检验");
    } else {
        const double n1 = static_cast<double>(big), n2 = static_cast<double>(small), nd = static_cast<double>(n);
        const double mu = 2 * n1 * n2 / nd + 1;
        const double var = 2 * n1 * n2 * (2 * n1 * n2 - nd) / (nd * nd * (nd - 1));
        const double z = (static_cast<double>(runs) - mu) / std::sqrt(var);
        conclude(t, z, std::nullopt, normalTwoSided(z));
    }
    return t;
}

// The lag-1 autocorrelation of the sums, r * sqrt(n) against the standard normal.
FairnessTest autocorrelationTest(std::span<const uint8_t> outcomes, const Sums& sumOf) {
    FairnessTest t = untested("和值自相关", "相邻两期的和值是否互不相关（上一期不影响下一期）");
    const auto n = static_cast<int64_t>(outcomes.size());
    if (n < 20) return t;
    int64_t total = 0;
    for (uint8_t o : outcomes) total += sumOf[o];
    const double nd = static_cast<double>(n), mean = static_cast<double>(total) / nd;
    double prev = sumOf[outcomes[0]] - mean;
    double num = 0, den = prev * prev;
    for (size_t i = 1; i < outcomes.size(); ++i) {
        const double d = sumOf[outcomes[i]] - mean;
        num += prev * d;
        den += d * d;
        prev = d;
    }
    if (den > 0) {
        const double z = num / den * std::sqrt(nd);
        conclude(t, z, std::nullopt, normalTwoSided(z));
    } else {
        untestable(t, "和值全部相同，无法检验");
    }
    return t;
}

}  // namespace

FairnessReport fairnessOf(std::span<const uint8_t> outcomes) {
    const auto n = static_cast<int64_t>(outcomes.size());
    Counts counts{};
    for (uint8_t o : outcomes) ++counts[o];
    Sums sumOf{};
    for (int o = 0; o < kOutcomeCount; ++o) {
        const auto [d1, d2, d3] = diceOf(o);
        sumOf[static_cast<size_t>(o)] = d1 + d2 + d3;
    }
    FairnessReport r;
    r.draws = static_cast<int32_t>(n);
    r.tests = {facesTest(counts, n, 0),
               facesTest(counts, n, 1),
               facesTest(counts, n, 2),
               sumsTest(counts, n, sumOf),
               outcomesTest(counts, n),
               runsTest(outcomes, sumOf),
               autocorrelationTest(outcomes, sumOf)};
    return r;
}

FairnessReport computeFairness(const Snapshot& snap, const std::string& from, const std::string& to) {
    const StatsRange range = statsRange(snap, from, to);
    return fairnessOf(rangeOutcomes(snap, range));
}

std::vector<std::string> fairnessHeader() { return {"检验", "统计量", "自由度", "p值", "结论"}; }

std::string verdictText(Verdict v) {
    switch (v) {
        case Verdict::kFits: return "符合";
        case Verdict::kDeviates: return "偏离";
        case Verdict::kTooFew: return "期数不足";
        case Verdict::kUntestable: return "无法检验";
    }
    return {};
}

std::string conclusionText(const FairnessTest& t) {
    return t.verdict == Verdict::kUntestable && !t.untestable.empty() ? t.untestable : verdictText(t.verdict);
}

Grid fairnessGrid(const FairnessReport& report, const std::vector<int>& order) {
    Grid g;
    g.header = fairnessHeader();
    g.widths = {1500, 1100, 700, 1100, 900};
    auto row = [&g](const FairnessTest& t) {
        g.rows.push_back({t.name, t.statistic ? format("%.4f", *t.statistic) : "",
                          t.freedom ? std::to_string(*t.freedom) : "", t.p ? pValueText(*t.p) : "", conclusionText(t)});
    };
    if (order.empty())
        for (const FairnessTest& t : report.tests) row(t);
    else
        for (int i : order) row(report.tests.at(static_cast<size_t>(i)));
    return g;
}

std::vector<int> fairnessOrder(const FairnessReport& report, int column, bool descending) {
    auto key = [&](int i) -> std::optional<double> {
        const FairnessTest& t = report.tests[static_cast<size_t>(i)];
        switch (column) {
            case 1: return t.statistic;
            case 2: return t.freedom ? std::optional<double>(*t.freedom) : std::nullopt;
            case 3: return t.p;
            case 4: return static_cast<double>(t.verdict);
            default: return i;
        }
    };
    return orderByKey(report.tests.size(), key, descending);
}

std::string fairnessSummary(const FairnessReport& report) {
    int done = 0, deviating = 0;
    int untestable = 0;
    for (const FairnessTest& t : report.tests) {
        untestable += t.verdict == Verdict::kUntestable;
        done += t.verdict == Verdict::kFits || t.verdict == Verdict::kDeviates;
        deviating += t.verdict == Verdict::kDeviates;
    }
    const std::string n = std::to_string(report.draws);
    const std::string notDone = untestable ? "另有 " + std::to_string(untestable) + " 项无法检验（见“结论”）。" : "";
    if (done == 0) return "共 " + n + " 期，期数太少" + (untestable ? "，和值也没有变化" : "") + "，无法检验。";
    std::string s = "共 " + n + " 期，做了 " + std::to_string(done) + " 项检验，";
    if (deviating == 0) return s + "全部符合公平骰子。" + notDone;
    s += std::to_string(deviating) + " 项 p值 小于 0.01（偏离）。";
    if (deviating == 1)
        s += "七项检验中偶尔有一项偏离，公平的骰子也会如此；换一个范围再看是否仍然偏离。";
    else
        s += "多项同时偏离，这段历史可能有误（重复或漏录的号码），请核对。";
    return s + notDone;
}

}  // namespace k3
