#include "watch/watch_cache.h"

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "export/output_file.h"
#include "export/target.h"
#include "store/history_store.h"
#include "store/province.h"
#include "store/sqlite_db.h"

namespace k3 {

namespace {

constexpr int kFormat = 1;

}  // namespace

std::string watchCachePath(const std::string& dataDir) {
    return (std::filesystem::path(dataDir) / kWatchCacheFileName).string();
}

std::string watchPlanKey(const WatchPlan& plan) {
    return watchListText(plan.items()) + "|" + std::to_string(plan.segmentBase());
}

bool WatchCache::Entry::operator==(const Entry& o) const {
    auto same = [](const ThresholdCount& a, const ThresholdCount& b) {
        return a.threshold == b.threshold && a.previous == b.previous && a.reached == b.reached &&
               a.hitsAfter == b.hitsAfter && a.occurrences == b.occurrences && a.maximum == b.maximum;
    };
    return token == o.token && plan == o.plan && draws == o.draws && lastIssue == o.lastIssue &&
           lastRank == o.lastRank && std::equal(counts.begin(), counts.end(), o.counts.begin(), o.counts.end(), same);
}

WatchCache WatchCache::load(const std::string& dataDir) {
    const std::string path = watchCachePath(dataDir);
    // Never a history's file (closing another descriptor of it would drop the locks SQLite holds on
    // it), nor anything but a regular file: the same refusals as a file written.
    try {
        if (!std::filesystem::is_regular_file(exportTarget(path, dataDir))) return {};
    } catch (const std::exception&) {
        return {};
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) return {};
    std::ostringstream text;
    text << in.rdbuf();
    return parse(text.str());
}

WatchCache WatchCache::parse(std::string_view text) {
    WatchCache cache;
    const nlohmann::json doc = nlohmann::json::parse(text, nullptr, false);
    if (!doc.is_object() || doc.value("format", 0) != kFormat) return cache;
    const auto provinces = doc.find("provinces");
    if (provinces == doc.end() || !provinces->is_array()) return cache;
    for (const nlohmann::json& p : *provinces) {
        try {
            const int province = p.at("province").get<int>();
            if (province < 0 || province >= kProvinceCount) continue;
            Entry e;
            e.token = p.at("token").get<int64_t>();
            e.plan = p.at("plan").get<std::string>();
            e.draws = p.at("draws").get<size_t>();
            e.lastIssue = p.at("lastIssue").get<int32_t>();
            e.lastRank = p.at("lastRank").get<int32_t>();
            for (const nlohmann::json& c : p.at("counts")) {
                ThresholdCount t;
                t.threshold = c.at(0).get<int32_t>();
                t.previous = c.at(1).get<int32_t>();
                t.reached = c.at(2).get<int64_t>();
                t.hitsAfter = c.at(3).get<int64_t>();
                t.occurrences = c.at(4).get<int64_t>();
                t.maximum = c.at(5).get<int32_t>();
                e.counts.push_back(t);
            }
            cache.entries_[province] = std::move(e);
        } catch (const nlohmann::json::exception&) {
            // An entry that is not one: as if it were not there.
        }
    }
    return cache;
}

std::optional<WatchState> WatchCache::find(int province, int64_t token,
                                           const std::shared_ptr<const WatchPlan>& plan) const {
    const auto it = entries_.find(province);
    if (it == entries_.end() || !plan || it->second.token != token || it->second.plan != watchPlanKey(*plan))
        return std::nullopt;
    const Entry& e = it->second;
    return WatchState::restored(plan, e.counts, e.draws, e.lastIssue, e.lastRank);
}

bool WatchCache::keep(int province, int64_t token, const WatchState& state) {
    if (state.draws() == 0 || province < 0 || province >= kProvinceCount) return false;
    Entry e{token, watchPlanKey(state.plan()), state.draws(), state.lastIssue(), state.lastRank(), state.counts()};
    auto it = entries_.find(province);
    if (it != entries_.end() && it->second == e) return false;
    entries_[province] = std::move(e);
    return true;
}

std::string WatchCache::text() const {
    nlohmann::json provinces = nlohmann::json::array();
    for (const auto& [province, e] : entries_) {
        nlohmann::json counts = nlohmann::json::array();
        for (const ThresholdCount& c : e.counts)
            counts.push_back({c.threshold, c.previous, c.reached, c.hitsAfter, c.occurrences, c.maximum});
        provinces.push_back({{"province", province},
                             {"token", e.token},
                             {"plan", e.plan},
                             {"draws", e.draws},
                             {"lastIssue", e.lastIssue},
                             {"lastRank", e.lastRank},
                             {"counts", std::move(counts)}});
    }
    const nlohmann::json doc = {{"format", kFormat}, {"provinces", std::move(provinces)}};
    return doc.dump() + "\n";
}

void WatchCache::save(const std::string& dataDir) const { writeOutputBytes(watchCachePath(dataDir), dataDir, text()); }

WatchedHistory readWatchedHistory(HistoryStore& store, int province, unsigned parts,
                                  const std::shared_ptr<const WatchPlan>& plan, const WatchCache& kept) {
    WatchedHistory h;
    ReadTransaction read(store.db());
    h.token = store.contentToken();
    if (h.token) h.kept = kept.find(province, *h.token, plan);
    if (!h.kept) h.snap = store.valuesSnapshot(parts);
    return h;
}

}  // namespace k3
