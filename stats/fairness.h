// 公平性检验: are the draws of a range consistent with fair dice? Seven tests, each with its statistic,
// degrees of freedom, p-value and verdict at the 1 % level.
#pragma once
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "store/grid.h"
#include "store/snapshot.h"

namespace k3 {

// 符合, 偏离, 期数不足, and a test that the draws leave nothing to test with (untestable says why).
enum class Verdict { kFits, kDeviates, kTooFew, kUntestable };

struct FairnessTest {
    std::string name;                 // 检验
    std::string question;             // what the test asks, in plain Chinese
    std::optional<double> statistic;  // empty when the draws are too few
    std::optional<int> freedom;       // 自由度 of a chi-square test
    std::optional<double> p;
    Verdict verdict = Verdict::kTooFew;
    std::string untestable;  // with kUntestable: "和值全部相同，无法检验"
};

struct FairnessReport {
    std::vector<FairnessTest> tests;  // in the fixed order
    int32_t draws = 0;
};

inline constexpr int kFairnessTests = 7;
inline constexpr double kSignificance = 0.01;

// The tests over outcomes (d1-1)*36 + (d2-1)*6 + (d3-1) in draw order.
FairnessReport fairnessOf(std::span<const uint8_t> outcomes);

// The tests over the range texts. Throws AnalysisError as statsRange does.
FairnessReport computeFairness(const Snapshot& snap, const std::string& from, const std::string& to);

// Header: "检验", "统计量", "自由度", "p值", "结论"; statistic %.4f, p %.4g ("<0.0001" below 0.0001).
std::vector<std::string> fairnessHeader();
inline constexpr int kFairnessColumns = 5;
std::string verdictText(Verdict v);
// The 结论 cell of a test: its verdict, or why it could not be made.
std::string conclusionText(const FairnessTest& t);
// Rows in `order` (indices into report.tests), the fixed order when empty.
Grid fairnessGrid(const FairnessReport& report, const std::vector<int>& order = {});
// Sorted by a column, ascending or descending; equal keys keep the fixed order, empty cells last.
std::vector<int> fairnessOrder(const FairnessReport& report, int column, bool descending);
// One plain sentence on the outcome.
std::string fairnessSummary(const FairnessReport& report);

}  // namespace k3
