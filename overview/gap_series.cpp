#include "overview/gap_series.h"

#include <array>
#include <charconv>

#include "overview/overview.h"
#include "search/omission.h"

namespace k3 {

namespace {

int32_t number(const std::string& cell) {
    int32_t v = 0;
    auto [end, ec] = std::from_chars(cell.data(), cell.data() + cell.size(), v);
    if (ec != std::errc() || end != cell.data() + cell.size()) throw AnalysisError("结果中「" + cell + "」不是数");
    return v;
}

// Every ordered outcome of three dice as a draw of a history, in the order 111, 112, ..., 666.
const Snapshot& allOutcomes(int segBase) {
    static const auto make = [](int base) {
        SnapshotBuilder b;
        for (int o = 0; o < kOutcomeCount; ++o) {
            const auto [d1, d2, d3] = diceOf(o);
            b.add(deriveDraw(130101001 + o, d1, d2, d3, base), o + 1);
        }
        return b.build();
    };
    static const Snapshot base0 = make(0), base1 = make(1);
    return segBase == 0 ? base0 : base1;
}

template <class Input, class Run>
std::optional<double> chanceOf(Input in, int segBase, Run run) {
    const Snapshot& all = allOutcomes(segBase);
    in.from = std::to_string(all.issues().front());
    in.to = std::to_string(all.issues().back());
    const int32_t c = run(all, in).stats.count;
    if (c <= 0) return std::nullopt;
    return static_cast<double>(kOutcomeCount) / c;
}

void finish(GapSeries& s) {
    if (s.hits.empty()) return;
    int32_t maximum = 0;
    for (const GapPoint& p : s.hits) maximum = std::max(maximum, p.omission);
    s.maximum = maximum;
    s.average = static_cast<double>(s.hits.back().position - s.start) / static_cast<double>(s.hits.size());
}

}  // namespace

GapSeries gapSeriesOf(const SearchOutput& out, std::optional<double> theoretical) {
    GapSeries s;
    s.title = out.description;
    s.start = out.stats.start;
    s.theoretical = theoretical;
    s.hits.reserve(out.matches.rows.size());
    int32_t position = s.start;
    for (const auto& row : out.matches.rows) {
        if (row.size() < 5) throw AnalysisError("结果的列数不对");
        GapPoint p;
        p.issue = number(row[0]);
        p.omission = number(row[4]);
        position += p.omission;
        p.position = position;
        s.hits.push_back(p);
    }
    s.lastOmission = out.stats.last;
    s.nextPosition = position + s.lastOmission;
    finish(s);
    return s;
}

std::optional<double> theoreticalOmission(const SearchInput& in, int segBase) {
    return chanceOf(in, segBase, [](const Snapshot& s, const SearchInput& i) { return runSearch(s, i); });
}

std::optional<double> theoreticalOmission(const PartialInput& in, int segBase) {
    return chanceOf(in, segBase, [](const Snapshot& s, const PartialInput& i) { return runPartialSearch(s, i); });
}

GapSeries itemGapSeries(const Snapshot& snap, const std::string& from, const std::string& to, int item) {
    if (item < 0 || item >= kBetItemCount) throw AnalysisError("没有这个号码");
    const IssueRange range = orderedRange(snap, from, to);
    const BetItem& it = betItems()[static_cast<size_t>(item)];
    GapSeries s;
    s.title = it.play + " " + it.label;
    s.start = startingPoint(snap, range.from).value_or(0);
    s.theoretical = static_cast<double>(kOutcomeCount) / it.outcomes;
    std::array<bool, kOutcomeCount> hit{};
    for (int o = 0; o < kOutcomeCount; ++o) {
        const auto [d1, d2, d3] = diceOf(o);
        hit[static_cast<size_t>(o)] = itemHits(item, d1, d2, d3);
    }
    auto [first, last] = rangeRows(snap, range);
    int32_t previous = s.start;
    for (size_t i = first; i < last; ++i) {
        const int d1 = snap.die(i, 1), d2 = snap.die(i, 2), d3 = snap.die(i, 3);
        if (!validDie(d1) || !validDie(d2) || !validDie(d3)) continue;
        if (!hit[static_cast<size_t>((d1 - 1) * 36 + (d2 - 1) * 6 + d3 - 1)]) continue;
        const int32_t rank = snap.rank(i);
        s.hits.push_back({rank, snap.issue(i), rank - previous});
        previous = rank;
    }
    s.nextPosition = snap.ranks().back() + 1;
    s.lastOmission = s.nextPosition - previous;
    finish(s);
    return s;
}

}  // namespace k3
