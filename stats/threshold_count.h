// The counting the omission backtest and the watch list share for an item: along the draws of a
// history, the omission before each draw, whether it had reached the threshold K (the backtest's bet)
// and whether the draw hit the item. One draw at a time (a typed draw) or a whole range at once.
#pragma once
#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace k3 {

struct ThresholdCount {
    int32_t threshold = 1;    // K
    int32_t previous = 0;     // rank of the item's last hit, or the starting point
    int64_t reached = 0;      // draws before which the omission was >= K (the backtest's bets)
    int64_t hitsAfter = 0;    // of those, the draws that hit the item (its hits)
    int64_t occurrences = 0;  // every draw that hit the item
    int32_t maximum = 0;      // the largest omission of those

    // One draw of rank `rank`, newer than every draw counted so far.
    void draw(int32_t rank, bool hit) {
        const bool bet = int64_t{rank} - previous >= threshold;
        reached += bet;
        if (!hit) return;
        hitsAfter += bet;
        record(rank);
    }

    // The same for ranks that run one by one from `firstRank`: a hit at `rank`, the draws since the
    // previous hit (none of which hit) counted at once.
    void hitInRun(int32_t rank, int32_t firstRank) {
        reached += reachedUpTo(rank, firstRank);
        if (int64_t{rank} - previous >= threshold) ++hitsAfter;
        record(rank);
    }
    // The draws after the last hit up to the rank `lastRank`, none of which hit.
    void endRun(int32_t lastRank, int32_t firstRank) { reached += reachedUpTo(lastRank, firstRank); }

private:
    // Draws of ranks [max(previous + K, firstRank), upTo].
    int64_t reachedUpTo(int32_t upTo, int32_t firstRank) const {
        const int64_t from = std::max<int64_t>(int64_t{previous} + threshold, firstRank);
        return std::max<int64_t>(0, int64_t{upTo} - from + 1);
    }
    void record(int32_t rank) {
        maximum = std::max(maximum, rank - previous);
        previous = rank;
        ++occurrences;
    }
};

// Counts the rows [first, last) of `ranks` (ascending) into `counts`. `hitsOf(row, f)` calls f(c) for the
// index c of every count whose item the row hits. When the ranks of the rows run one by one, as the store
// numbers them, only the hits are visited; otherwise every row is looked at for every count.
template <class HitsOf>
void countThresholds(const std::vector<int32_t>& ranks, size_t first, size_t last, std::vector<ThresholdCount>& counts,
                     HitsOf&& hitsOf) {
    if (first >= last) return;
    const int32_t r0 = ranks[first];
    bool consecutive = true;
    for (size_t i = first; i < last && consecutive; ++i) consecutive = ranks[i] == r0 + static_cast<int64_t>(i - first);
    if (consecutive) {
        for (size_t i = first; i < last; ++i) {
            const int32_t rank = ranks[i];
            hitsOf(i, [&](size_t c) { counts[c].hitInRun(rank, r0); });
        }
        for (ThresholdCount& c : counts) c.endRun(ranks[last - 1], r0);
        return;
    }
    std::vector<char> hit(counts.size());
    for (size_t i = first; i < last; ++i) {
        std::fill(hit.begin(), hit.end(), 0);
        hitsOf(i, [&](size_t c) { hit[c] = 1; });
        for (size_t c = 0; c < counts.size(); ++c) counts[c].draw(ranks[i], hit[c] != 0);
    }
}

// The hit rate of `hits` in `trials` with its 95 % Wilson interval, as fractions; nothing without a trial.
struct HitRate {
    std::optional<double> rate, lower, upper;
};
HitRate hitRateOf(int64_t hits, int64_t trials);

// A fraction as a percentage with two decimals, as the statistics tables show it: 0.125 → "12.50".
std::string percentText(double fraction);

}  // namespace k3
