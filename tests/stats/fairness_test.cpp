// The fairness tests against hand-checked histories and an independent computation (closed forms of the
// chi-square and normal tails), and against what they are for: a loaded die, a history that repeats its
// draws, a fair history.
#include <gtest/gtest.h>

#include <cmath>
#include <numeric>
#include <random>

#include "search/search.h"
#include "stats/fairness.h"
#include "stats/stats_range.h"
#include "store/snapshot.h"
#include "test_support.h"

namespace {

using k3::FairnessReport;
using k3::Verdict;

int outcome(int a, int b, int c) { return (a - 1) * 36 + (b - 1) * 6 + (c - 1); }

// Upper tail of chi-square with an odd number of degrees of freedom, in closed form.
double chiSquareTailOdd(double x, int k) {
    double s = std::erfc(std::sqrt(x / 2)), t = std::sqrt(2 * x / M_PI) * std::exp(-x / 2);
    for (int j = 1; j <= (k - 1) / 2; ++j) {
        s += t;
        t *= x / (2 * j + 1);
    }
    return s;
}
double normalTwoSided(double z) { return std::erfc(std::abs(z) / std::sqrt(2.0)); }

// The seven statistics computed the plain way from the dice.
struct Reference {
    std::array<double, 7> statistic{};
    std::array<bool, 7> done{};
};
Reference reference(const std::vector<std::array<int, 3>>& dice) {
    Reference r;
    const double n = static_cast<double>(dice.size());
    auto chi = [](const std::vector<double>& obs, const std::vector<double>& exp) {
        double x = 0;
        for (size_t k = 0; k < obs.size(); ++k) x += (obs[k] - exp[k]) * (obs[k] - exp[k]) / exp[k];
        return x;
    };
    if (dice.size() >= 30)
        for (int pos = 0; pos < 3; ++pos) {
            std::vector<double> obs(6, 0);
            for (auto& d : dice) obs[d[pos] - 1] += 1;
            r.statistic[pos] = chi(obs, std::vector<double>(6, n / 6));
            r.done[pos] = true;
        }
    if (dice.size() >= 1080) {
        std::vector<double> obs(16, 0), exp(16, 0), flat(216, 0);
        for (int a = 1; a <= 6; ++a)
            for (int b = 1; b <= 6; ++b)
                for (int c = 1; c <= 6; ++c) exp[a + b + c - 3] += n / 216;
        for (auto& d : dice) {
            obs[d[0] + d[1] + d[2] - 3] += 1;
            flat[outcome(d[0], d[1], d[2])] += 1;
        }
        r.statistic[3] = chi(obs, exp);
        r.statistic[4] = chi(flat, std::vector<double>(216, n / 216));
        r.done[3] = r.done[4] = true;
    }
    std::vector<double> s;
    for (auto& d : dice) s.push_back(d[0] + d[1] + d[2]);
    if (dice.size() >= 20) {
        double n1 = 0, runs = 1;
        for (size_t t = 0; t < s.size(); ++t) {
            n1 += s[t] >= 11;
            if (t > 0 && (s[t] >= 11) != (s[t - 1] >= 11)) runs += 1;
        }
        const double n2 = n - n1;
        if (n1 >= 1 && n2 >= 1) {
            const double mu = 2 * n1 * n2 / n + 1, var = 2 * n1 * n2 * (2 * n1 * n2 - n) / (n * n * (n - 1));
            r.statistic[5] = (runs - mu) / std::sqrt(var);
            r.done[5] = true;
        }
        const double mean = std::accumulate(s.begin(), s.end(), 0.0) / n;
        double num = 0, den = 0;
        for (size_t t = 0; t < s.size(); ++t) {
            den += (s[t] - mean) * (s[t] - mean);
            if (t + 1 < s.size()) num += (s[t] - mean) * (s[t + 1] - mean);
        }
        if (den > 0) {
            r.statistic[6] = num / den * std::sqrt(n);
            r.done[6] = true;
        }
    }
    return r;
}

std::vector<uint8_t> outcomesOf(const std::vector<std::array<int, 3>>& dice) {
    std::vector<uint8_t> out;
    for (auto& d : dice) out.push_back(static_cast<uint8_t>(outcome(d[0], d[1], d[2])));
    return out;
}

std::vector<std::array<int, 3>> fairDice(size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> die(1, 6);
    std::vector<std::array<int, 3>> dice(n);
    for (auto& d : dice) d = {die(rng), die(rng), die(rng)};
    return dice;
}

void expectMatchesReference(const std::vector<std::array<int, 3>>& dice) {
    const FairnessReport got = k3::fairnessOf(outcomesOf(dice));
    const Reference want = reference(dice);
    const std::array<int, 5> freedom = {5, 5, 5, 15, 215};
    ASSERT_EQ(got.tests.size(), 7u);
    for (size_t t = 0; t < 7; ++t) {
        const k3::FairnessTest& g = got.tests[t];
        ASSERT_EQ(g.statistic.has_value(), want.done[t]) << g.name << " n=" << dice.size();
        if (!want.done[t]) {
            EXPECT_EQ(g.verdict, Verdict::kTooFew);
            EXPECT_FALSE(g.p || g.freedom);
            continue;
        }
        EXPECT_NEAR(*g.statistic, want.statistic[t], 1e-9 * std::max(1.0, std::abs(want.statistic[t]))) << g.name;
        const double p = t < 5 ? chiSquareTailOdd(want.statistic[t], freedom[t]) : normalTwoSided(want.statistic[t]);
        EXPECT_NEAR(*g.p, p, 1e-9 + 1e-7 * p) << g.name;
        if (t < 5) {
            EXPECT_EQ(g.freedom, freedom[t]);
        } else {
            EXPECT_FALSE(g.freedom);
        }
        EXPECT_EQ(g.verdict, *g.p < 0.01 ? Verdict::kDeviates : Verdict::kFits);
    }
}

TEST(Fairness, HandCheckedSmallHistories) {
    // 30 draws: the first die shows 1 ten times, 2..4 five times, 5 three times, 6 twice;
    // chi-square (25 + 0 + 0 + 0 + 4 + 9) / 5 = 7.6 with 5 degrees of freedom, p = 0.1797.
    std::vector<std::array<int, 3>> dice;
    const int firstFaces[6] = {10, 5, 5, 5, 3, 2};
    for (int f = 0; f < 6; ++f)
        for (int k = 0; k < firstFaces[f]; ++k)
            dice.push_back({f + 1, int(dice.size() % 6) + 1, 6 - int(dice.size() % 6)});
    FairnessReport r = k3::fairnessOf(outcomesOf(dice));
    EXPECT_NEAR(*r.tests[0].statistic, 7.6, 1e-12);
    EXPECT_NEAR(*r.tests[0].p, 0.179701939, 1e-8);
    EXPECT_EQ(r.tests[0].verdict, Verdict::kFits);
    EXPECT_NEAR(*r.tests[1].statistic, 0.0, 1e-12);  // every face five times
    EXPECT_NEAR(*r.tests[1].p, 1.0, 1e-12);
    EXPECT_EQ(r.tests[3].verdict, Verdict::kTooFew);  // sums and outcomes need 1080 draws
    EXPECT_EQ(r.tests[4].verdict, Verdict::kTooFew);
    expectMatchesReference(dice);

    // 20 draws alternating 18 and 3: R = 20 runs of n1 = n2 = 10, μ = 11, σ² = 36000 / 7600,
    // z = 4.1352; lag-1 r = -0.95, z = -0.95 √20 = -4.2485.
    dice.clear();
    for (int t = 0; t < 20; ++t) dice.push_back(t % 2 ? std::array<int, 3>{1, 1, 1} : std::array<int, 3>{6, 6, 6});
    r = k3::fairnessOf(outcomesOf(dice));
    EXPECT_NEAR(*r.tests[5].statistic, 4.135214625627066, 1e-12);
    EXPECT_NEAR(*r.tests[5].p, 3.5462304914688456e-05, 1e-15);
    EXPECT_EQ(r.tests[5].verdict, Verdict::kDeviates);
    EXPECT_NEAR(*r.tests[6].statistic, -4.2485291572496005, 1e-12);
    EXPECT_NEAR(*r.tests[6].p, 2.1517864378120225e-05, 1e-15);
    EXPECT_EQ(r.tests[0].verdict, Verdict::kTooFew);  // 20 draws: positions need 30

    k3::Grid g = k3::fairnessGrid(r);
    EXPECT_EQ(g.header, (std::vector<std::string>{"检验", "统计量", "自由度", "p值", "结论"}));
    EXPECT_EQ(g.rows[5], (std::vector<std::string>{"和值大小游程", "4.1352", "", "<0.0001", "偏离"}));
    EXPECT_EQ(g.rows[0], (std::vector<std::string>{"第1位点数", "", "", "", "期数不足"}));
}

TEST(Fairness, NeedsOfEachTest) {
    // Below and at each need; the same draws as the reference at each size.
    const auto dice = fairDice(1080, 3);
    for (size_t n : {0, 1, 19, 20, 29, 30, 1079, 1080})
        expectMatchesReference(std::vector<std::array<int, 3>>(dice.begin(), dice.begin() + long(n)));
    // One kind of sum only: no runs (n2 = 0) and no autocorrelation (all sums equal); they are not too
    // few, there is nothing to test.
    std::vector<std::array<int, 3>> same(40, {2, 2, 2});
    FairnessReport r = k3::fairnessOf(outcomesOf(same));
    EXPECT_EQ(r.tests[5].verdict, Verdict::kUntestable);
    EXPECT_EQ(r.tests[6].verdict, Verdict::kUntestable);
    EXPECT_EQ(r.tests[0].verdict, Verdict::kDeviates);
    // A single 大 among 小: the runs test is made.
    same[7] = {6, 6, 6};
    expectMatchesReference(same);
}

TEST(Fairness, SaysWhatIsTrueOfDrawsThatNeverVary) {
    // 20,000 identical draws: the faces and outcomes deviate beyond any p-value a double holds; the runs
    // and the correlation have nothing to measure.
    FairnessReport r = k3::fairnessOf(outcomesOf(std::vector<std::array<int, 3>>(20000, {3, 4, 5})));
    const k3::Grid g = k3::fairnessGrid(r);
    for (size_t t = 0; t < 5; ++t) {
        EXPECT_EQ(r.tests[t].verdict, Verdict::kDeviates) << t;
        EXPECT_EQ(g.rows[t][3], "<0.0001") << t;  // never "0", which no p-value of a test is
    }
    EXPECT_EQ(g.rows[5][4], "和值全部相同，无法检验");
    EXPECT_EQ(g.rows[6][4], "和值全部相同，无法检验");
    EXPECT_EQ(g.rows[5][3], "");
    EXPECT_EQ(k3::fairnessSummary(r).find("期数"), std::string::npos) << k3::fairnessSummary(r);
    EXPECT_NE(k3::fairnessSummary(r).find("另有 2 项无法检验"), std::string::npos) << k3::fairnessSummary(r);

    // Sums that vary but are all 大 (or all 小): the runs cannot be counted, the correlation can.
    std::vector<std::array<int, 3>> big;
    for (int t = 0; t < 200; ++t) big.push_back(t % 3 ? std::array<int, 3>{6, 6, 6} : std::array<int, 3>{5, 5, 6});
    r = k3::fairnessOf(outcomesOf(big));
    EXPECT_EQ(k3::fairnessGrid(r).rows[5][4], "和值全部为大，无法检验");
    EXPECT_NE(r.tests[6].verdict, Verdict::kUntestable);
    for (auto& d : big) d = {d[0] - 4, d[1] - 4, d[2] - 5};
    r = k3::fairnessOf(outcomesOf(big));
    EXPECT_EQ(k3::fairnessGrid(r).rows[5][4], "和值全部为小，无法检验");

    // A p-value just above the limit keeps its digits.
    EXPECT_EQ(k3::pValueText(0.00012346), "0.0001235");
    EXPECT_EQ(k3::pValueText(0.0), "<0.0001");
    EXPECT_EQ(k3::pValueText(0.5), "0.5");
}

TEST(Fairness, MatchesReferenceOnRandomHistories) {
    for (unsigned seed = 1; seed <= 5; ++seed) expectMatchesReference(fairDice(500 + 900 * seed, seed));
}

TEST(Fairness, FindsWhatItIsFor) {
    // A fair history of 5000 draws passes every test.
    FairnessReport fair = k3::fairnessOf(outcomesOf(fairDice(5000, 2024)));
    for (const auto& t : fair.tests) EXPECT_EQ(t.verdict, Verdict::kFits) << t.name << " p=" << *t.p;
    EXPECT_EQ(k3::fairnessSummary(fair), "共 5000 期，做了 7 项检验，全部符合公平骰子。");

    // The second die loaded: a 6 one time in four. Its position's test finds it, the others do not.
    std::mt19937 rng(99);
    std::uniform_int_distribution<int> die(1, 6), five(1, 5);
    std::bernoulli_distribution six(0.25);
    std::vector<std::array<int, 3>> loaded(3000);
    for (auto& d : loaded) d = {die(rng), six(rng) ? 6 : five(rng), die(rng)};
    FairnessReport r = k3::fairnessOf(outcomesOf(loaded));
    EXPECT_EQ(r.tests[1].verdict, Verdict::kDeviates);
    EXPECT_LT(*r.tests[1].p, 1e-6);
    EXPECT_EQ(r.tests[0].verdict, Verdict::kFits);
    EXPECT_EQ(r.tests[2].verdict, Verdict::kFits);

    // Every draw entered twice in a row: the runs and the autocorrelation tests find it.
    auto once = fairDice(1500, 7);
    std::vector<std::array<int, 3>> twice;
    for (auto& d : once) twice.insert(twice.end(), {d, d});
    r = k3::fairnessOf(outcomesOf(twice));
    EXPECT_EQ(r.tests[5].verdict, Verdict::kDeviates);
    EXPECT_LT(*r.tests[5].statistic, 0);  // too few runs
    EXPECT_EQ(r.tests[6].verdict, Verdict::kDeviates);
    EXPECT_GT(*r.tests[6].statistic, 0);
    EXPECT_NE(k3::fairnessSummary(r).find("多项同时偏离"), std::string::npos);
}

TEST(Fairness, OverTheRangeOfASnapshot) {
    auto all = k3test::generateDraws(2000, 78, 130101001, 1, 31);
    k3::Snapshot s = k3::snapshotOf(all);
    const std::string from = std::to_string(all[100].sqqh), to = std::to_string(all[1499].sqqh);
    FairnessReport r = k3::computeFairness(s, from, to);
    EXPECT_EQ(r.draws, 1400);
    std::vector<std::array<int, 3>> dice;
    for (size_t i = 100; i < 1500; ++i) dice.push_back({all[i].values[0][0], all[i].values[0][1], all[i].values[0][2]});
    const Reference want = reference(dice);
    EXPECT_NEAR(*r.tests[4].statistic, want.statistic[4], 1e-9);
    EXPECT_NEAR(*r.tests[6].statistic, want.statistic[6], 1e-9);

    // Ranges refused, each with its reason.
    auto reason = [&s](const std::string& f, const std::string& t) {
        try {
            k3::computeFairness(s, f, t);
        } catch (const k3::AnalysisError& e) {
            return std::string(e.what());
        }
        return std::string("accepted");
    };
    EXPECT_NE(reason(to, from).find("起始期号大于结束期号"), std::string::npos);
    EXPECT_NE(reason("120101001", "120202001").find("没有开奖号码"), std::string::npos);
    EXPECT_NE(reason("abc", to).find("不是有效的期号"), std::string::npos);
    EXPECT_NE(reason("130101001", "").find("不是有效的期号"), std::string::npos);
    k3::Snapshot empty;
    EXPECT_THROW(k3::computeFairness(empty, from, to), k3::AnalysisError);
}

TEST(Fairness, SortByColumn) {
    FairnessReport r = k3::fairnessOf(outcomesOf(fairDice(200, 5)));  // sums and outcomes: too few draws
    auto order = k3::fairnessOrder(r, 3, false);
    ASSERT_EQ(order.size(), 7u);
    for (size_t i = 1; i < 5; ++i) EXPECT_LE(*r.tests[order[i - 1]].p, *r.tests[order[i]].p);
    EXPECT_EQ(order[5], 3);  // empty cells last, in the fixed order
    EXPECT_EQ(order[6], 4);
    order = k3::fairnessOrder(r, 3, true);
    EXPECT_GE(*r.tests[order[0]].p, *r.tests[order[1]].p);
    EXPECT_EQ(order[6], 4);
}

}  // namespace
