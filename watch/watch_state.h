// The figures of the watched items over one history, kept current as draws are appended.
//
// A WatchPlan is the list made ready to count (each item's threshold K, its fair-dice chance and what it
// hits), shared by the states of every history. A WatchState holds, per item, what the counting of the
// backtest carries along the history (stats/threshold_count.h): the rank of the last hit, the draws at
// which the omission had reached K and the hits among them, and the largest omission. Built from a
// snapshot it walks the history once; a draw appended after it costs one step per item. Any other change
// of the history (a trim, an import, a change by another program) is a new state from the new snapshot.
// States are values: one can be built in the background and handed to the window.
#pragma once
#include <memory>
#include <optional>
#include <vector>

#include "search/conditions.h"
#include "stats/threshold_count.h"
#include "store/snapshot.h"
#include "watch/watch_item.h"

namespace k3 {

class WatchPlan {
public:
    // Throws WatchError for an item that cannot be watched (checkWatchItem, watchThreshold).
    WatchPlan(std::vector<WatchItem> items, int segBase);

    const std::vector<WatchItem>& items() const { return items_; }
    size_t size() const { return items_.size(); }
    int segmentBase() const { return segBase_; }
    int32_t threshold(size_t i) const { return targets_[i].threshold; }
    // c / 216: the chance of a hit in every draw under fair dice.
    double theoretical(size_t i) const { return targets_[i].theoretical; }
    // What of a draw's values the items read (snapshot parts).
    unsigned parts() const { return parts_; }
    // Whether a draw with these values hits item i.
    bool hits(size_t i, const DrawValues& v) const;

private:
    struct Target {
        int32_t threshold = 1;
        double theoretical = 0;
        std::vector<bool> byOutcome;     // an item of the omission table: hit by each of the 216 outcomes
        std::optional<Pattern> pattern;  // a search
    };
    std::vector<WatchItem> items_;
    std::vector<Target> targets_;
    int segBase_ = 1;
    unsigned parts_ = 0;
};

// One item over one history.
struct WatchFigures {
    int32_t current = 0;            // 当前遗漏: draws since the last hit, to the next issue (at least 1)
    int32_t threshold = 0;          // 门槛 K
    int32_t maximum = kNoOmission;  // 最大遗漏 of the hits in the history; 32767 when it never hit
    int64_t reached = 0;            // 达到次数: draws before which the omission had reached K
    int64_t hitsAfter = 0;          // 其后开出: of those, the draws that hit
    HitRate rate;                   // 其后命中率 with its 95 % Wilson interval; empty when reached is 0
    double theoretical = 0;         // 理论命中率: c / 216
    bool atThreshold() const { return current >= threshold; }  // the next draw is one such draw
};

class WatchState {
public:
    // The state of an empty history.
    explicit WatchState(std::shared_ptr<const WatchPlan> plan);
    // The state of the whole history of the snapshot (which must hold the plan's parts); it waits for the
    // snapshot's values.
    WatchState(std::shared_ptr<const WatchPlan> plan, const Snapshot& snap);

    // A state as counted before (counts(), draws(), lastIssue(), lastRank()), for the plan it was counted
    // with; nothing when the counts do not fit the plan (their number, the thresholds) or cannot be a
    // count of `draws` draws.
    static std::optional<WatchState> restored(std::shared_ptr<const WatchPlan> plan, std::vector<ThresholdCount> counts,
                                              size_t draws, int32_t lastIssue, int32_t lastRank);

    const WatchPlan& plan() const { return *plan_; }
    const std::shared_ptr<const WatchPlan>& planPointer() const { return plan_; }
    size_t draws() const { return draws_; }
    int32_t lastIssue() const { return lastIssue_; }
    int32_t lastRank() const { return lastRank_; }
    const std::vector<ThresholdCount>& counts() const { return counts_; }

    // One draw newer than every draw counted: its issue, rank and values (of the plan's parts).
    void append(int32_t issue, int32_t rank, const DrawValues& v);
    // `snap` is the history this state counted with draws appended at its end: counts the new ones, one
    // step per item and draw. When it is not (fewer draws, or the draw last counted is not where it was),
    // the state is computed anew from `snap`, and the result is false.
    bool appendNewest(const Snapshot& snap);

    // The figures of every item in the plan's order; none for an empty history.
    std::vector<WatchFigures> figures() const;
    WatchFigures figures(size_t item) const;

private:
    std::shared_ptr<const WatchPlan> plan_;
    std::vector<ThresholdCount> counts_;
    size_t draws_ = 0;
    int32_t lastIssue_ = 0, lastRank_ = 0;
};

// The items that are at their threshold in `after` and were not in `before` (same plan), for saying so
// after a change; every item at its threshold when `before` is empty.
std::vector<size_t> newlyAtThreshold(const std::vector<WatchFigures>& before, const std::vector<WatchFigures>& after);

}  // namespace k3
