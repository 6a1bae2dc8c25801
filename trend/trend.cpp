#include "trend/trend.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <ostream>

#include "overview/overview.h"
#include "search/omission.h"
#include "search/search.h"
#include "store/issue.h"
#include "store/textfmt.h"

namespace k3 {

namespace {

std::array<TrendItem, kTrendColumns> buildItems() {
    std::array<TrendItem, kTrendColumns> items;
    size_t c = 0;
    auto add = [&](std::string header, std::string label, TrendGroup g, int value) {
        items[c++] = {std::move(header), std::move(label), g, value, 0};
    };
    for (int s = 3; s <= 18; ++s) add("和值" + std::to_string(s), std::to_string(s), TrendGroup::kSum, s);
    for (int d = 1; d <= 6; ++d) add("号码" + std::to_string(d), std::to_string(d), TrendGroup::kNumber, d);
    for (int s = 0; s <= 5; ++s) add("跨度" + std::to_string(s), std::to_string(s), TrendGroup::kSpan, s);
    for (const char* shape : {"三同号", "二同号", "三不同号", "三连号"}) add(shape, shape, TrendGroup::kShape, 0);
    add("大", "大", TrendGroup::kBigSmall, 0);
    add("小", "小", TrendGroup::kBigSmall, 0);
    add("单", "单", TrendGroup::kOddEven, 0);
    add("双", "双", TrendGroup::kOddEven, 0);
    for (int o = 0; o < kOutcomeCount; ++o) {
        const auto [d1, d2, d3] = diceOf(o);
        const TrendMask m = trendHits(d1, d2, d3);
        for (int col = 0; col < kTrendColumns; ++col)
            if (m >> col & 1u) ++items[static_cast<size_t>(col)].outcomes;
    }
    return items;
}

constexpr int kSumColumn = 0, kNumberColumn = 16, kSpanColumn = 22, kShapeColumn = 28, kBigColumn = 32;

}  // namespace

const std::array<TrendItem, kTrendColumns>& trendItems() {
    static const std::array<TrendItem, kTrendColumns> items = buildItems();
    return items;
}

const char* trendGroupName(TrendGroup g) {
    static const char* names[] = {"和值", "号码", "跨度", "形态", "大小", "单双"};
    return names[static_cast<int>(g)];
}

uint32_t trendGroupColour(TrendGroup g) {
    static const uint32_t colours[] = {0xD62728, 0x1F77B4, 0x2CA02C, 0x9467BD, 0xE377C2, 0xFF7F0E};
    return colours[static_cast<int>(g)];
}

TrendMask trendHits(int d1, int d2, int d3) {
    if (!validDie(d1) || !validDie(d2) || !validDie(d3)) return 0;
    const int sum = d1 + d2 + d3;
    const int lo = std::min({d1, d2, d3}), hi = std::max({d1, d2, d3});
    TrendMask m = TrendMask{1} << (kSumColumn + sum - 3);
    for (int d : {d1, d2, d3}) m |= TrendMask{1} << (kNumberColumn + d - 1);
    m |= TrendMask{1} << (kSpanColumn + hi - lo);
    const int distinct = std::popcount(static_cast<unsigned>((1 << d1) | (1 << d2) | (1 << d3)));
    m |= TrendMask{1} << (kShapeColumn + distinct - 1);  // 三同号, 二同号, 三不同号
    if (distinct == 3 && hi - lo == 2) m |= TrendMask{1} << (kShapeColumn + 3);
    m |= TrendMask{1} << (kBigColumn + (sum >= 11 ? 0 : 1));
    m |= TrendMask{1} << (kBigColumn + (sum % 2 ? 2 : 3));
    return m;
}

std::string trendBallText(int column, int d1, int d2, int d3) {
    if (column < 0 || column >= kTrendColumns) return {};
    const TrendItem& it = trendItems()[static_cast<size_t>(column)];
    switch (it.group) {
        case TrendGroup::kSum: return std::to_string(d1 + d2 + d3);
        case TrendGroup::kNumber: {
            const int n = (d1 == it.value) + (d2 == it.value) + (d3 == it.value);
            return std::to_string(it.value) + (n > 1 ? "×" + std::to_string(n) : "");
        }
        case TrendGroup::kSpan: return std::to_string(it.value);
        case TrendGroup::kShape: return it.header.substr(0, 6);  // its first two characters: 三同, 二同, 三不, 三连
        default: return it.header;
    }
}

double trendTheoretical(int column) {
    return static_cast<double>(kOutcomeCount) / trendItems()[static_cast<size_t>(column)].outcomes;
}

std::string TrendChart::issueText(size_t row) const { return k3::issueText(issue(row), runningNumbers_); }

TrendRange trendRange(const Snapshot& snap, const std::string& from, const std::string& to) {
    const IssueRange range = overviewRange(snap, from, to);
    if (range.from > range.to) throw AnalysisError("起始期号 " + from + " 在终止期号 " + to + " 之后，没有画走势图");
    auto [first, last] = rangeRows(snap, range);
    if (first >= last) throw AnalysisError("期号 " + from + "～" + to + " 之间没有开奖号码，没有画走势图");
    return {first, last, startingPoint(snap, range.from).value_or(0)};
}

TrendRange trendLast(const Snapshot& snap, int64_t n) {
    if (snap.empty()) throw AnalysisError("历史数据库中还没有号码，没有画走势图");
    if (n < 1) throw AnalysisError("期数必须是不小于 1 的整数，没有画走势图");
    const size_t first = snap.size() - std::min(snap.size(), static_cast<size_t>(n));
    return {first, snap.size(), startingPoint(snap, snap.issue(first)).value_or(0)};
}

TrendChart::TrendChart(std::shared_ptr<const Snapshot> snap, TrendRange range, bool runningNumbers)
    : snap_(std::move(snap)), range_(range), runningNumbers_(runningNumbers) {
    if (range_.first >= snap_->newestFrom()) {
        for (size_t row = range_.first; row < range_.last; ++row) {
            const Snapshot::Dice d = {static_cast<int8_t>(snap_->die(row, 1)), static_cast<int8_t>(snap_->die(row, 2)),
                                      static_cast<int8_t>(snap_->die(row, 3))};
            rowDice_.push_back(d);
            rowMask_.push_back(trendHits(d[0], d[1], d[2]));
        }
    } else {
        values_ = &snap_->values(kDicePart);
        maskBySet_.resize(values_->distinct.size());
        for (size_t k = 0; k < maskBySet_.size(); ++k) {
            const auto& d = values_->distinct[k].v[kNumber];
            maskBySet_[k] = trendHits(d[0], d[1], d[2]);
        }
    }

    // One walk over the range, with the state of every column in arrays of its own.
    std::array<int32_t, kTrendColumns> previous, previousRow{}, run{}, maxOmission{}, maxRun{}, hitCount{};
    previous.fill(range_.start);  // previousRow: row + 1 of the previous hit; 0 before the first
    marks_.reserve(rowCount() / kStep + 1);
    const int32_t* ranks = snap_->ranks().data() + range_.first;
    auto walk = [&](auto maskOf) {
        for (size_t block = 0; block < rowCount(); block += kStep) {
            marks_.push_back(previous);
            const size_t end = std::min(rowCount(), block + kStep);
            for (size_t r = block; r < end; ++r) {
                const int32_t rank = ranks[r], row = static_cast<int32_t>(r);
                for (TrendMask m = maskOf(r); m; m &= m - 1) {
                    const int c = std::countr_zero(m);
                    maxOmission[c] = std::max(maxOmission[c], rank - previous[c]);
                    run[c] = previousRow[c] == row ? run[c] + 1 : 1;  // the previous row hit too
                    maxRun[c] = std::max(maxRun[c], run[c]);
                    previous[c] = rank;
                    previousRow[c] = row + 1;
                    ++hitCount[c];
                }
            }
        }
    };
    if (values_) {
        const uint32_t* index = values_->index.data() + range_.first;
        const TrendMask* masks = maskBySet_.data();
        walk([index, masks](size_t r) { return masks[index[r]]; });
    } else {
        walk([this](size_t r) { return rowMask_[r]; });
    }
    if (rowCount() == 0) return;
    const int32_t lastRank = ranks[rowCount() - 1];
    for (int c = 0; c < kTrendColumns; ++c) {
        TrendColumnStats& s = stats_[static_cast<size_t>(c)];
        s.hits = hitCount[c];
        s.maxRun = maxRun[c];
        // After the last hit the misses count on up to the range's last row.
        s.maxOmission = std::max(maxOmission[c], lastRank - previous[c]);
        if (s.hits) {
            s.average = static_cast<double>(previous[c] - range_.start) / s.hits;
            s.lastHit = static_cast<size_t>(previousRow[c] - 1);
        }
    }
}

int TrendChart::sum(size_t row) const {
    const Snapshot::Dice& d = dice(row);
    return d[0] + d[1] + d[2];
}

void TrendChart::cells(size_t from, size_t count, std::vector<TrendCell>& out) const {
    out.clear();
    if (from >= rowCount()) return;
    count = std::min(count, rowCount() - from);
    out.resize(count * kTrendColumns);
    std::array<int32_t, kTrendColumns> previous = marks_[from / kStep];
    const std::vector<int32_t>& ranks = snap_->ranks();
    for (size_t r = from / kStep * kStep; r < from; ++r)
        for (TrendMask m = hits(r); m; m &= m - 1) previous[std::countr_zero(m)] = ranks[range_.first + r];
    for (size_t k = 0; k < count; ++k) {
        const int32_t rank = ranks[range_.first + from + k];
        const TrendMask m = hits(from + k);
        TrendCell* cell = &out[k * kTrendColumns];
        for (int c = 0; c < kTrendColumns; ++c) {
            const bool hit = m >> c & 1u;
            cell[c] = {rank - previous[c], hit};
            if (hit) previous[c] = rank;
        }
    }
}

size_t TrendChart::footprint() const {
    return sizeof(*this) + maskBySet_.capacity() * sizeof(TrendMask) + marks_.capacity() * sizeof(marks_[0]) +
           rowDice_.capacity() * sizeof(Snapshot::Dice) + rowMask_.capacity() * sizeof(TrendMask);
}

const std::array<const char*, 4>& trendStatNames() {
    static const std::array<const char*, 4> names = {"出现次数", "平均遗漏", "最大遗漏", "最大连出"};
    return names;
}

std::string trendStatText(const TrendColumnStats& s, int statRow) {
    switch (statRow) {
        case 0: return std::to_string(s.hits);
        case 1: return s.average ? fixed2(*s.average) : std::string();
        case 2: return std::to_string(s.maxOmission);
        default: return std::to_string(s.maxRun);
    }
}

std::vector<std::string> trendHeader() {
    std::vector<std::string> h = {"期号", "开奖号码", "和值"};
    for (const TrendItem& it : trendItems()) h.push_back(it.header);
    return h;
}

namespace {

// Every row of the chart as cells, in order: the draws in batches, then the statistic rows.
template <class Row>
void forEachRow(const TrendChart& chart, Row&& emit) {
    std::vector<TrendCell> cells;
    std::vector<std::string> row;
    constexpr size_t kBatch = 4096;
    for (size_t from = 0; from < chart.rowCount(); from += kBatch) {
        chart.cells(from, kBatch, cells);
        for (size_t k = 0; k * kTrendColumns < cells.size(); ++k) {
            const size_t r = from + k;
            const Snapshot::Dice& d = chart.dice(r);
            row.clear();
            row.push_back(chart.issueText(r));
            row.push_back(std::to_string(d[0]) + std::to_string(d[1]) + std::to_string(d[2]));
            row.push_back(std::to_string(chart.sum(r)));
            for (int c = 0; c < kTrendColumns; ++c) {
                const TrendCell& cell = cells[k * kTrendColumns + static_cast<size_t>(c)];
                std::string text = std::to_string(cell.omission);
                if (cell.hit) text.insert(text.begin(), '*');
                row.push_back(std::move(text));
            }
            emit(row);
        }
    }
    for (int s = 0; s < 4; ++s) {
        row = {trendStatNames()[static_cast<size_t>(s)], "", ""};
        for (const TrendColumnStats& st : chart.stats()) row.push_back(trendStatText(st, s));
        emit(row);
    }
}

void writeLine(std::ostream& out, const std::vector<std::string>& cells) {
    for (size_t c = 0; c < cells.size(); ++c) {
        if (c) out << '\t';
        out << cells[c];
    }
    out << '\n';
}

}  // namespace

Grid trendGrid(const TrendChart& chart) {
    Grid g;
    g.header = trendHeader();
    g.rows.reserve(chart.rowCount() + 4);
    forEachRow(chart, [&g](const std::vector<std::string>& row) { g.rows.push_back(row); });
    return g;
}

void writeTrendText(const TrendChart& chart, std::ostream& out) {
    writeLine(out, trendHeader());
    forEachRow(chart, [&out](const std::vector<std::string>& row) { writeLine(out, row); });
}

}  // namespace k3
