// k3gap-cli commands that bring draws in and take them out: import, update, trim, export-text.
#include <ctime>
#include <ostream>

#include "cli.h"
#include "export/history_text.h"
#include "history/import_check.h"
#include "history/online_update.h"
#include "history/text_import.h"
#include "history/trimming.h"
#include "store/issue.h"
#include "store/province.h"

namespace k3cli {

namespace {

std::chrono::year_month_day localToday() {
    std::time_t t = std::time(nullptr);
    std::tm tm{};
    localtime_r(&t, &tm);
    return std::chrono::year_month_day{std::chrono::year{tm.tm_year + 1900},
                                       std::chrono::month{static_cast<unsigned>(tm.tm_mon + 1)},
                                       std::chrono::day{static_cast<unsigned>(tm.tm_mday)}};
}

std::chrono::year_month_day parseDate(const std::string& s) {
    auto y = s.size() == 10 && s[4] == '-' && s[7] == '-' ? k3::parseWhole(s.substr(0, 4), 2000, 2099) : std::nullopt;
    auto m = y ? k3::parseWhole(s.substr(5, 2), 1, 12) : std::nullopt;
    auto d = m ? k3::parseWhole(s.substr(8, 2), 1, 31) : std::nullopt;
    std::chrono::year_month_day ymd{};
    if (d)
        ymd = std::chrono::year_month_day{std::chrono::year{static_cast<int>(*y)},
                                          std::chrono::month{static_cast<unsigned>(*m)},
                                          std::chrono::day{static_cast<unsigned>(*d)}};
    if (!d || !ymd.ok()) throw UsageError("--today takes a date YYYY-MM-DD, e.g. 2013-03-25");
    return ymd;
}

void reportTrim(Context& ctx, const k3::TrimResult& r) {
    *ctx.err << "removed " << r.removed << ", kept " << r.kept << "\n";
    if (r.note.warning) *ctx.err << r.note.text << "\n";
}

int runImport(Context& ctx, const std::vector<std::string>& args) {
    Args a(args, {}, {});
    if (a.positional().size() != 1) throw UsageError("import takes one FILE");
    k3::ImportResult r;
    std::string replaced;
    try {
        // Replaces as asked; where the window would ask first, the numbers it would show are printed,
        // once the replacement is committed.
        r = k3::importHistoryFile(ctx.store(), a.positional()[0], ctx.segBase, {}, [&](const auto& draws) {
            k3::ImportComparison c = k3::compareImport(ctx.store(), draws);
            c.runningNumbers = ctx.runningNumbers();
            if (c.askFirst()) replaced = c.summary() + "：已以文件替换全部历史号码\n";
            return true;
        });
    } catch (const k3::ImportError& e) {
        throw InputError(std::string(e.what()) + "，历史号码未作改动");
    }
    if (!r.refused) *ctx.err << replaced;
    *ctx.err << "stored " << r.stored << ", skipped " << r.skippedCount << "\n";
    for (const auto& s : r.skipped) *ctx.err << s.number << '\t' << s.text << "\n";
    if (r.skippedCount > r.skipped.size())
        *ctx.err << "…（另有 " << r.skippedCount - r.skipped.size() << " 行未列出）\n";
    if (r.refused) throw InputError("文件中没有一行是号码，历史号码未作改动");
    return kOk;
}

int runUpdate(Context& ctx, const std::vector<std::string>& args) {
    Args a(args, {"url", "today"}, {});
    if (!a.positional().empty()) throw UsageError("update takes only --url and --today");
    const k3::Province& prov = k3::province(ctx.lottery);
    k3::UpdateRequest req;
    req.urlTemplate = a.has("url") ? a.value("url") : ctx.settings->updateUrl().toStdString();
    req.code = prov.code;
    req.runningNumbers = ctx.lottery == k3::kBeijingIndex;
    req.drawsPerDay = prov.drawsPerDay;
    req.years = ctx.settings->lookBackYears();
    req.today = a.has("today") ? parseDate(a.value("today")) : localToday();
    req.segBase = ctx.segBase;
    ctx.store().checkWritable();  // a history that cannot be changed is reported before the fetch
    k3::UpdateOutcome r;
    try {
        r = k3::updateHistory(ctx.store(), req);
    } catch (const k3::FetchError& e) {
        throw InputError(std::string(e.what()) + "，历史号码未作改动");
    }
    *ctx.err << "added " << r.added << ", removed " << r.removed << "\n";
    if (r.added == 0 && !r.note.empty()) *ctx.err << r.note << "\n";
    return kOk;
}

int runTrim(Context& ctx, const std::vector<std::string>& args) {
    Args a(args, {"to", "last"}, {"newest", "clear"});
    int modes = a.has("newest") + a.has("to") + a.has("last") + a.has("clear");
    if (modes != 1 || !a.positional().empty())
        throw UsageError("trim takes one of --newest, --to ISSUE, --last N, --clear");
    try {
        if (a.has("newest")) {
            reportTrim(ctx, k3::deleteNewestDraw(ctx.store()));
        } else if (a.has("clear")) {
            const size_t removed = k3::clearHistory(ctx.store());  // said only once done
            *ctx.err << "removed " << removed << ", kept 0\n";
        } else {
            const std::string text = a.value(a.has("to") ? "to" : "last");
            auto v = k3::parsePositiveAnswer(text);
            if (!v) throw InputError("「" + text + "」不是大于0的整数，历史号码未作改动");
            reportTrim(ctx, a.has("to") ? k3::deleteAfterIssue(ctx.store(), *v, ctx.backupFile(), ctx.segBase)
                                        : k3::deleteLastDraws(ctx.store(), *v, ctx.backupFile(), ctx.segBase));
        }
    } catch (const k3::TrimError& e) {
        throw InputError(e.what());
    }
    return kOk;
}

int runExportText(Context& ctx, const std::vector<std::string>& args) {
    Args a(args, {}, {});
    if (a.positional().size() > 1) throw UsageError("export-text takes at most one FILE");
    std::optional<k3::TextExport> r;
    try {
        r = k3::exportHistoryText(*ctx.store().snapshot(k3::kDicePart), ctx.runningNumbers(), ctx.dataDir,
                                  a.positional().empty() ? "" : a.positional()[0]);
    } catch (const k3::ExportError& e) {
        throw InputError(e.what());
    }
    if (!r) throw InputError("历史为空，没有写出文本文件");
    if (r->shortIssues) *ctx.err << r->shortIssues << " 期的期号不是九位数字，导入时不会被读回\n";
    *ctx.out << r->path << "\n";
    return kOk;
}

}  // namespace

int runHistoryCommand(Context& ctx, const std::string& cmd, const std::vector<std::string>& args) {
    if (cmd == "import") return runImport(ctx, args);
    if (cmd == "update") return runUpdate(ctx, args);
    if (cmd == "trim") return runTrim(ctx, args);
    if (cmd == "export-text") return runExportText(ctx, args);
    return -1;
}

}  // namespace k3cli
