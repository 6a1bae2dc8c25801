#include "watch/watch_state.h"

#include <algorithm>

#include "overview/overview.h"
#include "search/conditions.h"
#include "stats/stats_range.h"

namespace k3 {

WatchPlan::WatchPlan(std::vector<WatchItem> items, int segBase) : items_(std::move(items)), segBase_(segBase) {
    targets_.reserve(items_.size());
    for (const WatchItem& w : items_) {
        checkWatchItem(w);
        Target t;
        t.threshold = watchThreshold(w, segBase);
        t.theoretical = static_cast<double>(watchOutcomes(w, segBase)) / kOutcomeCount;
        if (w.isSearch()) {
            Pattern p(w.search.type);
            for (int pos = 1; pos <= 3; ++pos) {
                if (!w.search.selected[static_cast<size_t>(pos - 1)]) continue;
                const int v = w.search.values[static_cast<size_t>(pos - 1)];
                if (w.search.free)
                    p.addFree(v, CountRange::kSearch);
                else
                    p.addFixed(pos, v);
            }
            t.pattern = std::move(p);
            // A fixed search reads the values at the positions, a free one only the pattern text's groups.
            const int type = normalType(w.search.type);
            parts_ |= w.search.free ? groupsPart(type) : valuesPart(type);
        } else {
            t.byOutcome.resize(kOutcomeCount);
            for (int o = 0; o < kOutcomeCount; ++o) {
                const auto [d1, d2, d3] = diceOf(o);
                t.byOutcome[static_cast<size_t>(o)] = itemHits(w.item, d1, d2, d3);
            }
            parts_ |= kDicePart;
        }
        targets_.push_back(std::move(t));
    }
}

bool WatchPlan::hits(size_t i, const DrawValues& v) const {
    const Target& t = targets_[i];
    if (t.pattern) return t.pattern->matches(v);
    const auto& d = v.v[kNumber];
    const int o = outcomeOf(d[0], d[1], d[2]);
    return o >= 0 && t.byOutcome[static_cast<size_t>(o)];
}

WatchState::WatchState(std::shared_ptr<const WatchPlan> plan) : plan_(std::move(plan)) {
    counts_.resize(plan_->size());
    for (size_t i = 0; i < counts_.size(); ++i) counts_[i].threshold = plan_->threshold(i);
}

WatchState::WatchState(std::shared_ptr<const WatchPlan> plan, const Snapshot& snap) : WatchState(std::move(plan)) {
    if (snap.empty() || counts_.empty()) {
        if (!snap.empty()) {
            draws_ = snap.size();
            lastIssue_ = snap.issues().back();
            lastRank_ = snap.ranks().back();
        }
        return;
    }
    // The whole history: the starting point is the rank before the first draw, as the backtest and the
    // omission table take it for a range that begins with the first stored issue.
    for (ThresholdCount& c : counts_) c.previous = snap.rank(0) - 1;
    // Which items each distinct set of values hits, asked once per set rather than once per draw.
    const SnapshotValues& values = snap.values(plan_->parts());
    std::vector<uint32_t> start(values.distinct.size() + 1);
    std::vector<uint16_t> hitItems;
    for (size_t k = 0; k < values.distinct.size(); ++k) {
        start[k] = static_cast<uint32_t>(hitItems.size());
        for (size_t i = 0; i < counts_.size(); ++i)
            if (plan_->hits(i, values.distinct[k])) hitItems.push_back(static_cast<uint16_t>(i));
    }
    start.back() = static_cast<uint32_t>(hitItems.size());
    const uint32_t* index = values.index.data();
    countThresholds(snap.ranks(), 0, snap.size(), counts_, [&](size_t row, auto&& hit) {
        const uint32_t set = index[row];
        for (uint32_t h = start[set]; h < start[set + 1]; ++h) hit(hitItems[h]);
    });
    draws_ = snap.size();
    lastIssue_ = snap.issues().back();
    lastRank_ = snap.ranks().back();
}

std::optional<WatchState> WatchState::restored(std::shared_ptr<const WatchPlan> plan,
                                               std::vector<ThresholdCount> counts, size_t draws, int32_t lastIssue,
                                               int32_t lastRank) {
    if (!plan || counts.size() != plan->size() || draws == 0 || lastIssue <= 0 || lastRank < 1) return std::nullopt;
    const int64_t n = static_cast<int64_t>(draws);
    for (size_t i = 0; i < counts.size(); ++i) {
        const ThresholdCount& c = counts[i];
        if (c.threshold != plan->threshold(i) || c.reached < 0 || c.reached > n || c.hitsAfter < 0 ||
            c.hitsAfter > c.reached || c.occurrences < c.hitsAfter || c.occurrences > n || c.maximum < 0 ||
            c.previous > lastRank || c.previous < 0)
            return std::nullopt;
    }
    WatchState s(std::move(plan));
    s.counts_ = std::move(counts);
    s.draws_ = draws;
    s.lastIssue_ = lastIssue;
    s.lastRank_ = lastRank;
    return s;
}

void WatchState::append(int32_t issue, int32_t rank, const DrawValues& v) {
    if (draws_ == 0)
        for (ThresholdCount& c : counts_) c.previous = rank - 1;
    for (size_t i = 0; i < counts_.size(); ++i) counts_[i].draw(rank, plan_->hits(i, v));
    ++draws_;
    lastIssue_ = issue;
    lastRank_ = rank;
}

bool WatchState::appendNewest(const Snapshot& snap) {
    const bool continues = draws_ > 0 && snap.size() >= draws_ && snap.issue(draws_ - 1) == lastIssue_ &&
                           snap.rank(draws_ - 1) == lastRank_ &&
                           (draws_ == snap.size() || snap.rank(draws_) > lastRank_);
    if (!continues) {
        *this = WatchState(plan_, snap);
        return false;
    }
    if (draws_ == snap.size()) return true;
    const SnapshotValues& values = snap.values(plan_->parts());
    for (size_t row = draws_; row < snap.size(); ++row) append(snap.issue(row), snap.rank(row), values.of(row));
    return true;
}

WatchFigures WatchState::figures(size_t item) const {
    const ThresholdCount& c = counts_.at(item);
    WatchFigures f;
    f.threshold = c.threshold;
    f.current = lastRank_ + 1 - c.previous;
    f.maximum = c.occurrences > 0 ? c.maximum : kNoOmission;
    f.reached = c.reached;
    f.hitsAfter = c.hitsAfter;
    f.rate = hitRateOf(c.hitsAfter, c.reached);
    f.theoretical = plan_->theoretical(item);
    return f;
}

std::vector<WatchFigures> WatchState::figures() const {
    std::vector<WatchFigures> out;
    if (draws_ == 0) return out;
    out.reserve(counts_.size());
    for (size_t i = 0; i < counts_.size(); ++i) out.push_back(figures(i));
    return out;
}

std::vector<size_t> newlyAtThreshold(const std::vector<WatchFigures>& before, const std::vector<WatchFigures>& after) {
    std::vector<size_t> out;
    const bool compare = before.size() == after.size();
    for (size_t i = 0; i < after.size(); ++i)
        if (after[i].atThreshold() && !(compare && before[i].atThreshold())) out.push_back(i);
    return out;
}

}  // namespace k3
