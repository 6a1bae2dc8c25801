// k3gap-cli watch: the table of 遗漏提醒 over one province's history or every province's that has one.
#include <ostream>

#include "cli.h"
#include "store/province.h"
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

    std::vector<k3::WatchState> states;
    std::vector<int> provinces;
    auto add = [&](int province, k3::HistoryStore& store) {
        auto snap = store.snapshot(plan->parts());
        states.emplace_back(plan, *snap);
        provinces.push_back(province);
    };
    add(ctx.lottery, ctx.store());
    std::vector<k3::WatchHistory> histories;
    for (size_t i = 0; i < states.size(); ++i) histories.push_back({provinces[i], &states[i]});
    *ctx.out << k3::gridText(k3::watchGrid(*plan, k3::watchRows(histories, a.has("reached"))));
    return kOk;
}

}  // namespace

int runWatchCommand(Context& ctx, const std::string& cmd, const std::vector<std::string>& args) {
    if (cmd == "watch") return runWatch(ctx, args);
    return -1;
}

}  // namespace k3cli
