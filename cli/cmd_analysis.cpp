// k3gap-cli commands of the analyses: search, partial, group.
#include <algorithm>
#include <cstdint>
#include <optional>
#include <ostream>
#include <sstream>

#include "cli.h"
#include "export/workbook.h"
#include "groups/group_calc.h"
#include "groups/selection.h"
#include "overview/gap_series.h"
#include "search/conditions.h"
#include "search/search.h"
#include "store/grid.h"
#include "store/issue.h"

namespace k3cli {

namespace {

int parseType(const Args& a) {
    const std::string t = a.value("type", "number");
    if (t == "number") return k3::kNumber;
    if (t == "big-small") return k3::kBigSmall;
    if (t == "odd-even") return k3::kOddEven;
    if (t == "segment") return k3::kSegment;
    throw UsageError("--type takes number, big-small, odd-even or segment");
}

// A value as typed into a value box: a 16-bit whole number.
int typedValue(const std::string& text) {
    auto v = k3::parseWhole(text, -32768, 32767);
    if (!v && k3::parseWhole(text, INT64_MIN, INT64_MAX)) throw InputError("值「" + text + "」超出了 -32768～32767");
    if (!v) throw InputError("值「" + text + "」不是整数");
    return static_cast<int>(*v);
}

std::vector<std::string> splitComma(const std::string& s) {
    std::vector<std::string> out;
    std::stringstream ss(s);
    std::string item;
    while (std::getline(ss, item, ',')) out.push_back(item);
    if (!s.empty() && s.back() == ',') out.emplace_back();
    return out;
}

// The range texts: the whole history unless given.
void rangeTexts(const Args& a, const k3::Snapshot& snap, std::string& from, std::string& to) {
    from = a.value("from", snap.empty() ? std::string() : std::to_string(snap.issues().front()));
    to = a.value("to", snap.empty() ? std::string() : std::to_string(snap.issues().back()));
}

// Prints grid 2, an empty line and grid 3, or writes grid 2 to a workbook, and draws the chart when
// asked. A search that could not run is bad input; a search that ran on input no draw can match (a
// value outside the type's range, a partial width outside 1..3) prints its (empty) result, says why on
// stderr, fails and writes no file.
int finishSearch(Context& ctx, const Args& a, const k3::SearchOutput& out, bool failed, const k3::GapSeries* chart) {
    failed = failed || out.note.warning;
    if (failed) {
        *ctx.out << k3::gridText(out.matches) << '\n' << k3::gridText(out.summary);
        *ctx.err << "k3gap-cli: " << out.note.text << (a.has("xlsx") || a.has("png") ? "；未写入文件" : "") << '\n';
        return kBadInput;
    }
    if (chart) writeChart(*chart, a.value("png"), ctx.dataDir);
    if (a.has("xlsx"))
        k3::writeWorkbook(out.matches, a.value("xlsx"), ctx.dataDir);
    else
        *ctx.out << k3::gridText(out.matches) << '\n' << k3::gridText(out.summary);
    return kOk;
}

int runSearchCmd(Context& ctx, const std::vector<std::string>& args) {
    Args a(args, {"type", "pos", "from", "to", "xlsx", "png"}, {"fixed"});
    if (!a.positional().empty()) throw UsageError("search takes no positional arguments");
    k3::SearchInput in;
    in.type = parseType(a);
    in.free = !a.has("fixed");
    for (const std::string& p : a.values("pos")) {
        auto eq = p.find('=');
        auto pos = eq == std::string::npos ? std::nullopt : k3::parseWhole(p.substr(0, eq), 1, 3);
        if (!pos) throw UsageError("--pos takes P=V with the position P 1..3, e.g. --pos 1=2");
        size_t i = static_cast<size_t>(*pos - 1);
        if (in.selected[i]) throw UsageError("position " + std::to_string(*pos) + " given twice");
        in.selected[i] = true;
        in.texts[i] = p.substr(eq + 1);
        in.values[i] = typedValue(in.texts[i]);
    }
    auto snap = ctx.store().snapshot(k3::typeParts(in.type));  // only what the search type reads
    rangeTexts(a, *snap, in.from, in.to);
    in.runningNumbers = ctx.runningNumbers();
    k3::SearchOutput out = k3::runSearch(*snap, in);
    std::optional<k3::GapSeries> chart;
    if (a.has("png") && !out.note.warning) chart = k3::gapSeriesOf(out, k3::theoreticalOmission(in, ctx.segBase));
    if (chart) chart->runningNumbers = ctx.runningNumbers();
    return finishSearch(ctx, a, out, false, chart ? &*chart : nullptr);
}

int runPartialCmd(Context& ctx, const std::vector<std::string>& args) {
    Args a(args, {"type", "values", "width", "from", "to", "xlsx", "png"}, {"fixed"});
    if (!a.positional().empty()) throw UsageError("partial takes no positional arguments");
    if (!a.has("values")) throw UsageError("partial needs --values V1,V2,V3");
    k3::PartialInput in;
    in.type = parseType(a);
    in.free = !a.has("fixed");
    auto texts = splitComma(a.value("values"));
    if (texts.size() != 3) throw UsageError("--values takes three values, e.g. --values 2,2,5");
    for (size_t i = 0; i < 3; ++i) {
        in.texts[i] = texts[i];
        in.values[i] = typedValue(texts[i]);
    }
    if (a.has("width")) {
        auto k = k3::parseWhole(a.value("width"), -32768, 32767);
        if (!k && k3::parseWhole(a.value("width"), INT64_MIN, INT64_MAX))
            throw InputError("分部位数「" + a.value("width") + "」超出了 -32768～32767");
        if (!k) throw InputError("分部位数「" + a.value("width") + "」不是整数");
        in.width = static_cast<int>(*k);
    } else {
        in.width = ctx.settings ? ctx.settings->partialWidth() : 2;
    }
    auto snap = ctx.store().snapshot(k3::typeParts(in.type));
    rangeTexts(a, *snap, in.from, in.to);
    in.runningNumbers = ctx.runningNumbers();
    k3::SearchOutput out = k3::runPartialSearch(*snap, in);
    const bool noWidth = in.width < 1 || in.width > 3;  // no draw can match: said, not shown as a result
    std::optional<k3::GapSeries> chart;
    if (a.has("png") && !noWidth && !out.note.warning)
        chart = k3::gapSeriesOf(out, k3::theoreticalOmission(in, ctx.segBase));
    if (chart) chart->runningNumbers = ctx.runningNumbers();
    return finishSearch(ctx, a, out, noWidth, chart ? &*chart : nullptr);
}

int runGroupCmd(Context& ctx, const std::vector<std::string>& args) {
    Args a(args, {"type", "values", "size", "from", "to", "sort", "xlsx"}, {});
    if (!a.positional().empty()) throw UsageError("group takes no positional arguments");
    if (!a.has("values") || !a.has("size")) throw UsageError("group needs --values V[,V...] and --size K");
    const int type = parseType(a);
    // The values tick the type's boxes; the selection is the ticked boxes in ascending order.
    k3::BoxTicks ticks{};
    for (const std::string& t : splitComma(a.value("values"))) {
        int v = typedValue(t);
        if (!k3::boxShown(type, v)) throw InputError("值「" + t + "」不是" + k3::typeName(type) + "的选择框");
        ticks[static_cast<size_t>(v)] = true;
    }
    auto size = k3::parseGroupSize(a.value("size"));
    if (!size) throw InputError("组合位数「" + a.value("size") + "」不是数");
    int column = 3;
    if (a.has("sort")) {
        const std::string key = a.value("sort");
        column = 0;
        for (int c = 1; c <= 4; ++c)
            if (key == k3::groupSortKey(c)) column = c;
        if (column == 0) throw UsageError("--sort takes intMinYL, intMaxYL, intLstYl or sglLlr");
    }
    auto snap = ctx.store().snapshot(k3::groupsPart(k3::normalType(type)));  // free conditions only
    k3::GroupInput in;
    in.type = type;
    in.selection = k3::selectionValues(ticks, *k3::scanBound(type));
    in.groupSize = *size;
    rangeTexts(a, *snap, in.from, in.to);
    // The groups first, then the workbook, then table YL: a refused or failed workbook, or a calculation
    // that could not be made, leaves YL as it was and writes no file.
    k3::GroupOutcome outcome = k3::evaluateGroups(*snap, in);
    const k3::Grid grid = k3::groupResultGrid(outcome.rows, column);
    if (outcome.note.warning) {
        *ctx.out << k3::gridText(grid);
        *ctx.err << "k3gap-cli: " << outcome.note.text << (a.has("xlsx") ? "；未写入文件" : "") << '\n';
        return kBadInput;
    }
    if (a.has("xlsx")) k3::writeWorkbook(grid, a.value("xlsx"), ctx.dataDir);
    k3::GroupCalculation calc = k3::storeGroups(ctx.store(), std::move(outcome));
    if (!a.has("xlsx")) *ctx.out << k3::gridText(grid);
    if (!calc.stored) *ctx.err << "k3gap-cli: " << calc.outcome.note.text << '\n';
    return kOk;
}

}  // namespace

int runAnalysisCommand(Context& ctx, const std::string& cmd, const std::vector<std::string>& args) {
    if (cmd == "search") return runSearchCmd(ctx, args);
    if (cmd == "partial") return runPartialCmd(ctx, args);
    if (cmd == "group") return runGroupCmd(ctx, args);
    return -1;
}

}  // namespace k3cli
