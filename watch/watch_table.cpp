#include "watch/watch_table.h"

#include "stats/threshold_count.h"
#include "store/province.h"

namespace k3 {

const char* const kWatchExplanation =
    "本表列出所关注号码的当前遗漏与门槛，以及在各省自己的历史中，遗漏达到门槛的各期其后开出了几次。"
    "遗漏达到门槛的号码并不因此更容易开出：公平的骰子每一期开出它的机会都一样，就是理论命中率；"
    "其后命中率只是这段历史的记录。";

std::vector<WatchRow> watchRows(const std::vector<WatchHistory>& histories, bool reachedOnly) {
    std::vector<WatchRow> reached, others;
    for (const WatchHistory& h : histories) {
        if (!h.state) continue;
        const std::vector<WatchFigures> figures = h.state->figures();
        for (size_t i = 0; i < figures.size(); ++i)
            (figures[i].atThreshold() ? reached : others).push_back({h.province, i, figures[i]});
    }
    if (!reachedOnly) reached.insert(reached.end(), others.begin(), others.end());
    return reached;
}

std::vector<std::string> watchHeader() {
    return {"省份",          "玩法",         "号码",     "当前遗漏",        "门槛",
            "最大遗漏",      "达到次数",     "其后开出", "其后命中率（%）", "理论命中率（%）",
            "区间下限（%）", "区间上限（%）"};
}

Grid watchGrid(const WatchPlan& plan, const std::vector<WatchRow>& rows) {
    Grid g;
    g.header = watchHeader();
    g.widths = {1000, 1800, 1600, 900, 700, 900, 900, 900, 1300, 1300, 1200, 1200};
    auto percent = [](const std::optional<double>& v) { return v ? percentText(*v) : std::string(); };
    g.rows.reserve(rows.size());
    for (const WatchRow& r : rows) {
        const WatchItem& w = plan.items().at(r.item);
        const WatchFigures& f = r.figures;
        g.rows.push_back({province(r.province).caption, watchPlayText(w), watchLabelText(w), std::to_string(f.current),
                          std::to_string(f.threshold), std::to_string(f.maximum), std::to_string(f.reached),
                          std::to_string(f.hitsAfter), percent(f.rate.rate), percentText(f.theoretical),
                          percent(f.rate.lower), percent(f.rate.upper)});
    }
    return g;
}

std::string reachedMessage(const WatchPlan& plan, int province, const std::vector<WatchFigures>& figures,
                           const std::vector<size_t>& items) {
    std::string text;
    for (size_t i : items) {
        if (i >= figures.size() || i >= plan.size()) continue;
        const WatchItem& w = plan.items()[i];
        text += (text.empty() ? std::string(k3::province(province).caption) + "：" : std::string("；")) +
                watchPlayText(w) + " " + watchLabelText(w) + " 的遗漏已达到门槛 " +
                std::to_string(figures[i].threshold) + " 期（当前遗漏 " + std::to_string(figures[i].current) + "）";
    }
    return text;
}

}  // namespace k3
