#include "search.h"

#include <algorithm>
#include <bit>
#include <charconv>

#include "conditions.h"
#include "store/issue.h"
#include "store/textfmt.h"

namespace k3 {

namespace {

std::string describeRangeProblem(const std::string& from, const std::string& to) {
    return "检索起止期数「" + from + "」～「" + to + "」不是有效的期号，没有检索";
}

// The summary's one data row: description, minimum, maximum, last omission and ratio.
void fillSummary(SearchOutput& out) {
    const Omissions& om = out.stats;
    out.summary.rows.push_back({out.description, std::to_string(om.minimum), std::to_string(om.maximum),
                                std::to_string(om.last), formatDouble(om.ratio)});
}

std::string decimal(int64_t v) {
    char buf[24];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, end);
}

void fillMatches(const Snapshot& snap, int type, bool runningNumbers, SearchOutput& out) {
    // Cell texts of the stored values, made once: a flag's label or the value's digits.
    std::array<std::string, 16> label;
    for (int v = 0; v < 16; ++v) label[static_cast<size_t>(v)] = valueLabel(type, v);
    auto cell = [&label, type](int v) {
        return v >= 0 && v < 16 ? label[static_cast<size_t>(v)] : valueLabel(type, v);
    };
    auto& rows = out.matches.rows;
    rows.resize(out.stats.matches.size());
    const SnapshotValues& values = snap.values(valuesPart(type));
    int32_t n = 0;
    for (const Match& m : out.stats.matches) {
        const auto& v = values.of(m.row).v[static_cast<size_t>(type)];
        auto& row = rows[static_cast<size_t>(n)];
        row.reserve(6);
        row.push_back(issueText(snap.issue(m.row), runningNumbers));
        // Every cell shows the stored value the match was found on (for big/small the stored flag).
        for (int p = 0; p < 3; ++p) row.push_back(cell(v[static_cast<size_t>(p)]));
        row.push_back(decimal(m.omission));
        row.push_back(decimal(++n));
    }
}

// The range of every search, once the history can be walked at all.
IssueRange checkedRange(const Snapshot& snap, const std::string& from, const std::string& to) {
    if (snap.empty()) throw AnalysisError("历史数据库中还没有号码，无法检索");
    auto range = parseRange(from, to);
    if (!range) throw AnalysisError(describeRangeProblem(from, to));
    return *range;
}

std::string outOfRangeNote(int type, int pos, int v) {
    return std::string("第") + std::to_string(pos) + "位的值 " + std::to_string(v) + " 不是" + typeName(type) +
           "的取值，没有号码能符合";
}

}  // namespace

SearchOutput runSearch(const Snapshot& snap, const SearchInput& in) {
    SearchOutput out;
    out.matches = resultGridEmpty();
    out.summary = summaryGridEmpty();
    const int type = normalType(in.type);

    Pattern pat(type);
    std::string note;
    for (int i = 0; i < 3; ++i) {
        if (!in.selected[i]) continue;
        const int v = in.values[i];
        if (in.free) {
            out.description += in.texts[i] + " ";
            pat.addFree(v, CountRange::kSearch);
            if (note.empty() && !hasCounter(type, v, CountRange::kSearch)) note = outOfRangeNote(type, i + 1, v);
        } else {
            out.description += std::to_string(v) + " ";
            pat.addFixed(i + 1, v);
            if (note.empty() && !storedValueRange(type, v)) note = outOfRangeNote(type, i + 1, v);
        }
    }

    const IssueRange range = checkedRange(snap, in.from, in.to);
    int32_t start = startingPoint(snap, range.from).value_or(0);
    out.stats = omissions(
        snap, typeParts(type), range, start, [&pat](const DrawValues& d) { return pat.matches(d); }, true);
    fillMatches(snap, type, in.runningNumbers, out);
    fillSummary(out);
    out.note = note.empty() ? Note{"检索完成：" + std::to_string(out.stats.count) + " 期符合"} : Note{note, true};
    return out;
}

void requireThreeValues(const PartialInput& in) {
    for (int i = 0; i < 3; ++i)
        if (in.texts[static_cast<size_t>(i)].find_first_not_of(" \t") == std::string::npos)
            throw AnalysisError("第" + std::to_string(i + 1) + "位的值是空的，没有分部检索：请先填入三个位置的值");
}

SearchOutput runPartialSearch(const Snapshot& snap, const PartialInput& in) {
    SearchOutput out;
    out.matches = resultGridEmpty();
    out.summary = summaryGridEmpty();
    const int type = normalType(in.type);
    out.description = in.texts[0] + " " + in.texts[1] + " " + in.texts[2] + " (" +
                      (in.widthText.empty() ? std::to_string(in.width) : in.widthText) + ")";

    // One pattern per combination of k positions (only k = 1..3 has any); a draw is marked when any fits.
    std::vector<Pattern> patterns;
    const int k = in.width;
    if (k >= 1 && k <= 3) {
        for (int mask = 0; mask < 8; ++mask) {
            if (std::popcount(static_cast<unsigned>(mask)) != k) continue;
            Pattern p(type);
            for (int pos = 1; pos <= 3; ++pos) {
                if (!(mask & (1 << (pos - 1)))) continue;
                if (in.free)
                    p.addFree(in.values[pos - 1], CountRange::kSearch);
                else
                    p.addFixed(pos, in.values[pos - 1]);
            }
            if (!p.impossible()) patterns.push_back(std::move(p));
        }
    }
    std::string note;
    for (int i = 0; i < 3 && note.empty(); ++i) {
        const int v = in.values[i];
        bool ok = in.free ? hasCounter(type, v, CountRange::kSearch) : storedValueRange(type, v);
        if (!ok) note = outOfRangeNote(type, i + 1, v);
    }
    const bool outOfRange = !note.empty();
    if (note.empty() && (k < 1 || k > 3)) note = "分部位数 " + std::to_string(k) + " 不在 1～3 之内，没有号码能符合";

    const IssueRange range = checkedRange(snap, in.from, in.to);
    int32_t start = startingPoint(snap, range.from).value_or(0);
    auto marked = [&patterns](const DrawValues& d) {
        for (const Pattern& p : patterns)
            if (p.matches(d)) return true;
        return false;
    };
    out.stats = omissions(snap, typeParts(type), range, start, marked, true);
    fillMatches(snap, type, in.runningNumbers, out);
    fillSummary(out);
    out.note =
        note.empty() ? Note{"分部检索完成：" + std::to_string(out.stats.count) + " 期符合"} : Note{note, outOfRange};
    return out;
}

}  // namespace k3
