// The figures of the watch list kept between runs, so that a start does not count every province's whole
// history again. For each province it keeps the state of the list over the history as last counted, with
// the history's content token read with those draws (readContentToken). A state is taken back only for
// the same list (items, thresholds, segment base) and the same token, that is for exactly the history it
// was counted from. It is a cache: a file that cannot be read, or an entry that does not fit, is as no
// file, and a save that fails loses nothing.
#pragma once
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "watch/watch_state.h"

namespace k3 {

// The file in the data folder.
inline constexpr const char* kWatchCacheFileName = "k3watch-cache.json";
std::string watchCachePath(const std::string& dataDir);

// What names a plan in the file: the list as the settings keep it, and the segment base.
std::string watchPlanKey(const WatchPlan& plan);

class WatchCache {
public:
    // The cache of the data folder; empty when there is none or it cannot be read (never throws). A file
    // of that name that is one of a history's files (exportTarget's refusals) is not opened.
    static WatchCache load(const std::string& dataDir);
    // The cache a file's text holds; empty when it is not one.
    static WatchCache parse(std::string_view text);

    // The state kept for `province` when it was counted for `plan` from the history with `token`.
    std::optional<WatchState> find(int province, int64_t token, const std::shared_ptr<const WatchPlan>& plan) const;
    // Keeps `state` as the count of the history of `province` with `token` (an empty one is not kept);
    // false when just that was kept already.
    bool keep(int province, int64_t token, const WatchState& state);
    bool empty() const { return entries_.empty(); }

    std::string text() const;
    // Writes text() as the cache of the data folder through the one output writer (never over a history's
    // files); throws ExportError.
    void save(const std::string& dataDir) const;

private:
    struct Entry {
        int64_t token = 0;
        std::string plan;
        size_t draws = 0;
        int32_t lastIssue = 0, lastRank = 0;
        std::vector<ThresholdCount> counts;
        bool operator==(const Entry&) const;
    };
    std::map<int, Entry> entries_;
};

class HistoryStore;

// What a history gives the watch list: the figures kept from a count of exactly this history for `plan`,
// else its draws (the `parts` of them) to count; with the content token, read in the same read transaction
// as the draws, which names what was read.
struct WatchedHistory {
    std::optional<int64_t> token;
    std::optional<WatchState> kept;
    std::shared_ptr<const Snapshot> snap;  // null when the kept figures serve
};
WatchedHistory readWatchedHistory(HistoryStore& store, int province, unsigned parts,
                                  const std::shared_ptr<const WatchPlan>& plan, const WatchCache& kept);

}  // namespace k3
