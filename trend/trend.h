// The trend chart (走势图): one row per draw of a range, one column per item (sum, number, span, shape,
// big/small, odd/even), each cell the omission the item has in that draw, and four statistic rows.
//
// Only what is asked for is computed: a column's cell in a row needs only the position of the column's
// previous hit, so the chart keeps that position for every column at every 256th row and walks at most
// 255 rows from there. One walk over the range, made once, yields the statistic rows.
#pragma once
#include <array>
#include <cstdint>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "store/grid.h"
#include "store/snapshot.h"

namespace k3 {

// The column groups, each drawn in a colour of its own.
enum class TrendGroup { kSum, kNumber, kSpan, kShape, kBigSmall, kOddEven };
inline constexpr int kTrendGroupCount = 6;

struct TrendItem {
    std::string header;  // e.g. "和值10", "号码1", "三同号", "大"
    std::string label;   // the short label under the group name, e.g. "10", "1", "三同号"
    TrendGroup group;
    int value = 0;     // the sum, number or span; 0 for the others
    int outcomes = 0;  // of the 216 ordered outcomes, those that hit the item
};

inline constexpr int kTrendColumns = 36;
// The columns in their fixed order: 和值3…18, 号码1…6, 跨度0…5, 三同号, 二同号, 三不同号, 三连号, 大, 小, 单, 双.
const std::array<TrendItem, kTrendColumns>& trendItems();
// The group's name ("和值", "号码", "跨度", "形态", "大小", "单双") and fill colour (0xRRGGBB).
const char* trendGroupName(TrendGroup g);
uint32_t trendGroupColour(TrendGroup g);

// Bit c is set when the dice hit column c; none for dice outside 1..6.
using TrendMask = uint64_t;
TrendMask trendHits(int d1, int d2, int d3);
// The text of a hit's ball: the sum, the number (with ×2 / ×3 when it occurs twice or three times), the
// span, 三同/二同/三不/三连, 大/小/单/双.
std::string trendBallText(int column, int d1, int d2, int d3);
// 216 ÷ the outcomes that hit the column.
double trendTheoretical(int column);

// Rows [first, last) of a snapshot and the starting point from which the first omissions count.
struct TrendRange {
    size_t first = 0, last = 0;
    int32_t start = 0;
    size_t size() const { return last - first; }
};

// The range of the search range texts, with the search's starting point (the IDX before the first
// issue when it is stored, else 0). Throws AnalysisError on an empty history, texts that are not issue
// numbers, a reversed range and a range without a draw.
TrendRange trendRange(const Snapshot& snap, const std::string& from, const std::string& to);
// The newest n draws (all when n exceeds the history). Throws AnalysisError on an empty history and
// n < 1.
TrendRange trendLast(const Snapshot& snap, int64_t n);

struct TrendCell {
    int32_t omission = 0;
    bool hit = false;
};

struct TrendColumnStats {
    int32_t hits = 0;               // 出现次数
    std::optional<double> average;  // 平均遗漏: (IDX of the last hit − start) ÷ hits
    int32_t maxOmission = 0;        // 最大遗漏: the largest cell, hits and misses alike
    int32_t maxRun = 0;             // 最大连出: the longest run of consecutive rows that all hit
    std::optional<size_t> lastHit;  // row (of the chart) of the last hit
};

class TrendChart {
public:
    TrendChart() = default;
    // Walks the range once. A range within the snapshot's newest draws takes their dice as they are;
    // any other waits for the snapshot's values (the dice).
    // `runningNumbers`: the province numbers its draws by a running count (issues shown as stored).
    TrendChart(std::shared_ptr<const Snapshot> snap, TrendRange range, bool runningNumbers = false);

    size_t rowCount() const { return range_.size(); }
    const TrendRange& range() const { return range_; }
    const std::shared_ptr<const Snapshot>& snapshot() const { return snap_; }
    int32_t issue(size_t row) const { return snap_->issue(range_.first + row); }
    // The issue as the chart shows it: a date-based issue with its nine digits.
    std::string issueText(size_t row) const;
    int32_t rank(size_t row) const { return snap_->rank(range_.first + row); }
    const Snapshot::Dice& dice(size_t row) const {
        return values_ ? values_->of(range_.first + row).v[kNumber] : rowDice_[row];
    }
    int sum(size_t row) const;
    TrendMask hits(size_t row) const {
        return values_ ? maskBySet_[values_->index[range_.first + row]] : rowMask_[row];
    }

    // The cells of rows [from, from + count), row by row: out[k * kTrendColumns + c].
    void cells(size_t from, size_t count, std::vector<TrendCell>& out) const;
    const std::array<TrendColumnStats, kTrendColumns>& stats() const { return stats_; }

    // Bytes the chart holds beside its snapshot.
    size_t footprint() const;

private:
    static constexpr size_t kStep = 256;
    std::shared_ptr<const Snapshot> snap_;
    const SnapshotValues* values_ = nullptr;
    TrendRange range_;
    bool runningNumbers_ = false;
    std::vector<TrendMask> maskBySet_;  // per distinct set of the snapshot's values
    // Without the values (a range within the newest draws): the dice and hits of each row.
    std::vector<Snapshot::Dice> rowDice_;
    std::vector<TrendMask> rowMask_;
    std::vector<std::array<int32_t, kTrendColumns>> marks_;  // previous hit before row k * kStep
    std::array<TrendColumnStats, kTrendColumns> stats_{};
};

// The statistic rows' names: "出现次数", "平均遗漏", "最大遗漏", "最大连出".
const std::array<const char*, 4>& trendStatNames();
// The text of a statistic cell (row 0..3 of the statistic rows).
std::string trendStatText(const TrendColumnStats& s, int statRow);

// "期号", "开奖号码", "和值" and the 36 item headers.
std::vector<std::string> trendHeader();
// The chart as text: a hit cell "*" and its omission, a miss its omission; then the statistic rows
// with their name in the first column and the next two empty.
Grid trendGrid(const TrendChart& chart);
// The same as gridText(trendGrid(chart)), written row by row: a million rows need no grid in memory.
void writeTrendText(const TrendChart& chart, std::ostream& out);

}  // namespace k3
