#include "group_calc.h"

#include <charconv>
#include <cmath>

#include "search/conditions.h"
#include "search/omission.h"
#include "search/search.h"
#include "store/issue.h"

namespace k3 {

std::optional<int> parseGroupSize(std::string_view t) {
    while (!t.empty() && (t.front() == ' ' || t.front() == '\t')) t.remove_prefix(1);
    while (!t.empty() && (t.back() == ' ' || t.back() == '\t')) t.remove_suffix(1);
    if (!t.empty() && t.front() == '+') t.remove_prefix(1);
    if (t.empty()) return std::nullopt;
    double v = 0;
    auto [p, ec] = std::from_chars(t.data(), t.data() + t.size(), v, std::chars_format::fixed);
    if (ec != std::errc() || p != t.data() + t.size() || !std::isfinite(v)) return std::nullopt;
    double r = std::nearbyint(v);  // the default rounding mode rounds halves to even
    if (r < -32768 || r > 32767) return std::nullopt;
    return static_cast<int>(r);
}

bool groupValueInRange(int type, int value) { return hasCounter(type, value, CountRange::kGroups); }

std::vector<std::vector<int>> groupSlots(int n, int k) {
    std::vector<std::vector<int>> out;
    if (k < 1 || k > 6 || n < k) return out;
    std::vector<int> s(static_cast<size_t>(k));
    for (int i = 0; i < k; ++i) s[static_cast<size_t>(i)] = i;
    for (;;) {
        out.push_back(s);
        int i = k - 1;
        while (i >= 0 && s[static_cast<size_t>(i)] == n - k + i) --i;
        if (i < 0) break;
        ++s[static_cast<size_t>(i)];
        for (int j = i + 1; j < k; ++j) s[static_cast<size_t>(j)] = s[static_cast<size_t>(j - 1)] + 1;
    }
    return out;
}

std::string groupContent(int type, const std::vector<int>& values) {
    std::string out;
    for (size_t i = 0; i < values.size(); ++i) {
        if (i) out += ' ';
        out += valueLabel(normalType(type), values[i]);
    }
    return out;
}

GroupStat groupStatistics(const Snapshot& snap, int type, const std::vector<int>& values, const std::string& content,
                          const std::string& from, const std::string& to) {
    GroupStat st;
    auto range = parseRange(from, to);
    if (!range) {
        st.error = "检索起止期数「" + from + "」～「" + to + "」不是有效的期号";
        return st;
    }
    if (range->from > range->to) {
        st.error =
            "起始期号 " + std::string(trimmedText(from)) + " 在结束期号 " + std::string(trimmedText(to)) + " 之后";
        return st;
    }
    // The first issue of the range must be stored: it gives the starting point.
    auto start = startingPoint(snap, range->from);
    if (!start) {
        st.error = "起始期号 " + std::string(trimmedText(from)) + " 不在历史中";
        return st;
    }
    Pattern pat(type);
    for (int v : values) pat.addFree(v, CountRange::kGroups);
    Omissions om = omissions(
        snap, groupsPart(pat.type()), *range, *start, [&pat](const DrawValues& d) { return pat.matches(d); }, false);
    // A group no draw of the range contains keeps the no-match values: minimum and maximum 32767,
    // last omission from the starting point.
    YLRow row;
    row.content = content;
    row.minGap = om.minimum;
    row.maxGap = om.maximum;
    row.lastGap = om.last;
    row.ratio = static_cast<float>(om.ratio);
    st.row = std::move(row);
    return st;
}

GroupOutcome evaluateGroups(const Snapshot& snap, const GroupInput& in) {
    GroupOutcome out;
    const int type = normalType(in.type);
    const int n = static_cast<int>(in.selection.size());
    const int k = in.groupSize;
    if (k < 1 || k > 6) {
        out.note = {"组合位数 " + std::to_string(k) + " 不在 1～6 之内，没有分组", true};
        return out;
    }
    auto slots = groupSlots(n, k);
    out.groups = slots.size();
    if (slots.empty()) {
        out.note = {"勾选的值（" + std::to_string(n) + " 个）少于组合位数 " + std::to_string(k) + "，没有分组", true};
        return out;
    }
    if (snap.empty()) {
        out.note = {"历史数据库中还没有号码，无法分组计算", true};
        return out;
    }
    for (const auto& group : slots) {
        std::vector<int> values;
        for (int s : group) values.push_back(in.selection[static_cast<size_t>(s)]);
        std::string content = groupContent(type, values);
        std::string error;
        for (int v : values)
            if (!groupValueInRange(type, v)) {
                error = "值 " + std::to_string(v) + " 不是" + typeName(type) + "的取值";
                break;
            }
        if (error.empty()) {
            GroupStat st = groupStatistics(snap, type, values, content, in.from, in.to);
            if (st.row) {
                out.rows.push_back(std::move(*st.row));
                continue;
            }
            error = st.error;
        }
        out.note.warning = true;
        out.note.text = out.rows.empty() ? error + "，分组计算没有进行"
                                         : error + "，分组计算在「" + content + "」组处停止（已算 " +
                                               std::to_string(out.rows.size()) + " 组）";
        return out;
    }
    out.note.text = "分组计算完成：" + std::to_string(out.rows.size()) + " 组";
    return out;
}

GroupCalculation runGroupCalculation(HistoryStore& store, const Snapshot& snap, const GroupInput& in) {
    return storeGroups(store, evaluateGroups(snap, in));
}

GroupCalculation storeGroups(HistoryStore& store, GroupOutcome outcome) {
    GroupCalculation calc;
    calc.outcome = std::move(outcome);
    std::string why;
    if (store.readOnly()) {
        why = "数据库是只读的";
    } else {
        try {
            store.replaceYL(calc.outcome.rows);
        } catch (const StoreError& e) {
            why = e.what();
        }
    }
    if (!why.empty()) {
        calc.stored = false;
        calc.outcome.note.text += "；分组结果未保存到表 YL（" + why + "）";
    }
    calc.grid = groupResultGrid(calc.outcome.rows, 3);
    return calc;
}

}  // namespace k3
