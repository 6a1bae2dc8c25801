// k3gap-cli watch: the table of 遗漏提醒 over one province's history or every province's that has one.
#include <algorithm>
#include <atomic>
#include <optional>
#include <ostream>
#include <thread>

#include "cli.h"
#include "store/province.h"
#include "store/province_history.h"
#include "watch/watch_cache.h"
#include "watch/watch_item.h"
#include "watch/watch_state.h"
#include "watch/watch_table.h"

namespace k3cli {

namespace {

// The items given on the command line, else the window's saved list.
std::vector<k3::WatchItem> watchedItems(const Context& ctx, const Args& a) {
    std::vector<k3::WatchItem> items;
    try {
        for (const std::string& text : a.values("item")) items.push_back(k3::parseWatchTableItem(text));
        for (const std::string& text : a.values("search")) items.push_back(k3::parseWatchSearch(text));
    } catch (const k3::WatchError& e) {
        throw UsageError(e.what());
    }
    if (!items.empty() || !ctx.settings) return items;
    try {
        return k3::parseWatchList(ctx.settings->watchList().toStdString());
    } catch (const k3::WatchError& e) {
        throw InputError(std::string("设置中保存的遗漏提醒有误：") + e.what());
    }
}

// One province's history counted, or why it could not be read.
struct Counted {
    int province = 0;
    std::string database;
    std::optional<k3::WatchState> state;
    std::string problem;
    std::optional<int64_t> token;  // the history's content token, read with its draws
    bool counted = false;          // counted now, not taken from the figures the window keeps
};

// The figures of one history: those kept from a count of exactly this history, else counted now.
void countHistory(k3::HistoryStore& store, const std::shared_ptr<const k3::WatchPlan>& plan, const k3::WatchCache& kept,
                  Counted& c) {
    k3::WatchedHistory h = k3::readWatchedHistory(store, c.province, plan->parts(), plan, kept);
    c.token = h.token;
    c.counted = !h.kept;
    if (h.kept)
        c.state = std::move(h.kept);
    else if (!h.snap->empty())
        c.state.emplace(plan, *h.snap);
}

// Every province's history that has draws, counted on up to two threads (each with its own connection):
// reading the history is most of the work, and the histories are independent.
std::vector<Counted> countEveryProvince(const Context& ctx, const std::shared_ptr<const k3::WatchPlan>& plan,
                                        const k3::WatchCache& kept, std::vector<std::string>& problems) {
    k3::ProvinceListing listed;
    try {
        listed = k3::listProvinceHistories(ctx.dataDir, ctx.unrecordedOwner(), false);
    } catch (const std::exception& e) {
        throw InputError(e.what());
    }
    problems = listed.problems;
    std::vector<Counted> out;
    for (const k3::ProvinceSummary& s : listed.histories) out.push_back({s.province, s.database, std::nullopt, {}});
    std::atomic<size_t> next{0};
    auto work = [&] {
        for (size_t i; (i = next.fetch_add(1)) < out.size();) {
            try {
                k3::HistoryStore store(out[i].database);
                countHistory(store, plan, kept, out[i]);
            } catch (const std::exception& e) {
                out[i].problem = e.what();
            }
        }
    };
    const size_t helpers = std::min<size_t>(out.size(), std::clamp(std::thread::hardware_concurrency(), 1u, 2u)) - 1;
    std::vector<std::thread> threads;
    for (size_t t = 0; t < helpers && out.size() > 1; ++t) threads.emplace_back(work);
    work();
    for (std::thread& t : threads) t.join();
    return out;
}

int runWatch(Context& ctx, const std::vector<std::string>& args) {
    Args a(args, {"item", "search"}, {"all-provinces", "reached"});
    if (!a.positional().empty()) throw UsageError("watch 不带位置参数：号码用 --item 玩法:号码[@K|xX] 给出");
    const std::vector<k3::WatchItem> items = watchedItems(ctx, a);
    std::shared_ptr<const k3::WatchPlan> plan;
    try {
        plan = std::make_shared<const k3::WatchPlan>(items, ctx.segBase);
    } catch (const k3::WatchError& e) {
        throw UsageError(e.what());
    }
    if (items.empty()) *ctx.err << "遗漏提醒中还没有号码：用 --item 玩法:号码 给出，或在窗口的遗漏提醒中加入\n";

    // The figures the window keeps between runs serve this list too when it is the saved one; what is
    // counted for it is kept for the window's next start.
    const bool savedList = !a.has("item") && !a.has("search");
    k3::WatchCache kept = savedList ? k3::WatchCache::load(ctx.dataDir) : k3::WatchCache();
    std::vector<Counted> counted;
    std::vector<std::string> problems;
    if (a.has("all-provinces")) {
        counted = countEveryProvince(ctx, plan, kept, problems);
    } else {
        counted.push_back({ctx.lottery, {}, std::nullopt, {}});
        countHistory(ctx.store(), plan, kept, counted.back());
    }
    if (savedList) {
        bool changed = false;
        for (const Counted& c : counted)
            if (c.counted && c.token && c.state) changed = kept.keep(c.province, *c.token, *c.state) || changed;
        try {
            if (changed) kept.save(ctx.dataDir);
        } catch (const std::exception&) {
            // Only the head start of the next count is lost.
        }
    }
    std::vector<k3::WatchHistory> histories;
    for (const Counted& c : counted) {
        if (c.state) histories.push_back({c.province, &*c.state});
        if (!c.problem.empty()) problems.push_back(c.problem);
    }
    *ctx.out << k3::gridText(k3::watchGrid(*plan, k3::watchRows(histories, a.has("reached"))));
    // A history that could not be read is named, and the command has not done all it was asked.
    for (const std::string& problem : problems) *ctx.err << problem << '\n';
    return problems.empty() ? kOk : kBadInput;
}

}  // namespace

int runWatchCommand(Context& ctx, const std::string& cmd, const std::vector<std::string>& args) {
    if (cmd == "watch") return runWatch(ctx, args);
    return -1;
}

}  // namespace k3cli
