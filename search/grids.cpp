#include "search/grids.h"

#include <algorithm>

#include "search/conditions.h"
#include "store/issue.h"
#include "store/textfmt.h"

namespace k3 {

std::vector<std::string> historyHeader() { return {"期号", "第1位", "第2位", "第3位"}; }

Grid historyGrid(const Snapshot& snap, bool runningNumbers) {
    Grid g;
    g.header = historyHeader();
    g.widths = {1480, 600, 600, 600};
    g.rows.reserve(snap.size());
    for (size_t i = 0; i < snap.size(); ++i)
        g.rows.push_back({issueText(snap.issue(i), runningNumbers), std::to_string(snap.die(i, 1)),
                          std::to_string(snap.die(i, 2)), std::to_string(snap.die(i, 3))});
    return g;
}

Grid resultGridEmpty() {
    Grid g;
    g.header = {"期号", "第1位", "第2位", "第3位", "遗漏次数", "序号"};
    g.widths = {1480, 800, 800, 800, 800, 680};
    return g;
}

Grid summaryGridEmpty() {
    Grid g;
    g.header = {"号码（分组）", "最小遗漏", "最大遗漏", "最后遗漏", "大后比"};
    g.widths = {1880, 880, 880, 880, 880};
    return g;
}

const char* typeName(int type) {
    static const char* names[] = {"号码", "大小", "单双", "段数"};
    return names[normalType(type)];
}

const char* groupSortKey(int column) {
    switch (column) {
        case 1: return "intMinYL";
        case 2: return "intMaxYL";
        case 3: return "intLstYl";
        case 4: return "sglLlr";
        default: return "";
    }
}

Grid groupResultGrid(std::vector<YLRow> rows, int column) {
    Grid g = summaryGridEmpty();
    if (column < 1 || column > 4) return g;
    auto key = [column](const YLRow& r) -> double {
        switch (column) {
            case 1: return r.minGap;
            case 2: return r.maxGap;
            case 3: return r.lastGap;
            default: return r.ratio;
        }
    };
    std::stable_sort(rows.begin(), rows.end(), [&key](const YLRow& a, const YLRow& b) { return key(a) < key(b); });
    g.rows.reserve(rows.size());
    for (const YLRow& r : rows)
        g.rows.push_back({r.content, std::to_string(r.minGap), std::to_string(r.maxGap), std::to_string(r.lastGap),
                          formatSingle(r.ratio)});
    return g;
}

}  // namespace k3
