// k3gap-cli commands that bring draws in and take them out: import, update, trim, export-text.
#include <ctime>
#include <ostream>

#include "cli.h"
#include "export/history_text.h"
#include "history/import_check.h"
#include "history/online_update.h"
#include "history/player_file.h"
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

// What a preview says a line yields.
std::string previewReading(const k3::PreviewLine& p, bool runningNumbers) {
    const std::string draw = k3::issueText(p.draw.issue, runningNumbers) + " " + std::to_string(p.draw.d1) +
                             std::to_string(p.draw.d2) + std::to_string(p.draw.d3);
    switch (p.kind) {
        case k3::PreviewLine::Kind::kDraw: return draw;
        case k3::PreviewLine::Kind::kRepeat: return draw + "（重复，跳过）";
        case k3::PreviewLine::Kind::kHeader: return "（标题）";
        case k3::PreviewLine::Kind::kSkipped: break;
    }
    return "（跳过）";
}

void reportSkipped(Context& ctx, const k3::ParsedLines& p) {
    for (const auto& s : p.skipped) *ctx.err << s.number << '\t' << s.text << "\n";
    if (p.skippedCount > p.skipped.size())
        *ctx.err << "…（另有 " << p.skippedCount - p.skipped.size() << " 行未列出）\n";
}

int runImport(Context& ctx, const std::vector<std::string>& args) {
    Args a(args, {}, {"dry-run", "accept-mismatch"});
    if (a.positional().size() != 1) throw UsageError("import takes one FILE");
    const bool dryRun = a.has("dry-run");
    // A history that cannot be changed is reported before the file is read; damage before anything is stored.
    if (!dryRun && ctx.store().readOnly())
        throw k3::StoreError(ctx.store().readOnlyMessage(), k3::StoreFailure::kReadOnly);
    k3::PlayerFile f;
    try {
        f = k3::readPlayerFile(a.positional()[0], {ctx.lottery, {}, ctx.dataDir});
    } catch (const k3::ImportError& e) {
        throw InputError(std::string(e.what()) + "，历史号码未作改动");
    }
    // The shape first, on the output; then what a window would show before it stores.
    *ctx.out << "格式：" << f.shapeText() << "\n";
    k3::ParsedLines& p = f.parsed;
    const bool refused = p.draws.empty() && p.skippedCount > 0;
    if (dryRun) {
        *ctx.out << "行\t内容\t读出\n";
        for (const k3::PreviewLine& line : f.preview)
            *ctx.out << line.number << '\t' << line.text << '\t' << previewReading(line, ctx.runningNumbers()) << "\n";
        k3::ImportComparison c = k3::compareImport(ctx.store(), p.draws);
        c.runningNumbers = ctx.runningNumbers();
        *ctx.err << "would store " << p.draws.size() << ", skipped " << p.skippedCount << "\n";
        reportSkipped(ctx, p);
        if (!refused) *ctx.err << c.summary() << "\n";
        *ctx.err << "--dry-run：历史号码未作改动\n";
        // A dry run ends as the import would: a file it would refuse is refused here too.
        if (refused) throw InputError("文件中没有一行是号码");
        if (f.misfit && !a.has("accept-mismatch"))
            throw InputError(f.misfit->message() + "；确要读入，请加上 --accept-mismatch");
        return kOk;
    }
    if (!refused && f.misfit && !a.has("accept-mismatch"))
        throw InputError(f.misfit->message() + "，历史号码未作改动；确要读入，请加上 --accept-mismatch");
    // Replaces as asked; where the window would ask first, the numbers it would show are printed, once the
    // replacement is committed.
    std::string replaced;
    const size_t stored = p.draws.size();
    if (!refused) {
        k3::ImportComparison c = k3::compareImport(ctx.store(), p.draws);
        c.runningNumbers = ctx.runningNumbers();
        if (c.askFirst()) replaced = c.summary() + "：已以文件替换全部历史号码\n";
        ctx.store().replaceHistory(std::move(p.draws), ctx.segBase);
    }
    *ctx.err << replaced << "stored " << (refused ? 0 : stored) << ", skipped " << p.skippedCount << "\n";
    reportSkipped(ctx, p);
    if (refused) throw InputError("文件中没有一行是号码，历史号码未作改动");
    return kOk;
}

int runUpdate(Context& ctx, const std::vector<std::string>& args) {
    Args a(args, {"url", "today"}, {"dry-run", "accept-mismatch"});
    if (!a.positional().empty()) throw UsageError("update takes only --url, --today, --dry-run and --accept-mismatch");
    const bool dryRun = a.has("dry-run");
    const k3::Province& prov = k3::province(ctx.lottery);
    const auto today = a.has("today") ? parseDate(a.value("today")) : localToday();
    // The address the program ships with is only an example: an update needs one the player has set.
    if (!a.has("url") && !ctx.settings->updateUrlSet())
        throw InputError("还没有设置在线更新地址：请用 --url 给出列出开奖号码的网页的地址（例如 " +
                         ctx.settings->defaultUpdateUrl().toStdString() +
                         "），或在窗口的“设置 → 在线更新地址”中设置，历史号码未作改动");
    k3::UpdateRequest req;
    req.urlTemplate = a.has("url") ? a.value("url") : ctx.settings->updateUrl().toStdString();
    req.code = prov.code;
    req.caption = prov.caption;
    req.runningNumbers = ctx.lottery == k3::kBeijingIndex;
    req.drawsPerDay = prov.drawsPerDay;
    req.years = ctx.settings->lookBackYears();
    req.today = today;
    req.segBase = ctx.segBase;
    req.acceptMismatch = a.has("accept-mismatch");
    if (!dryRun) ctx.store().checkWritable();  // a history that cannot be changed is reported before the fetch
    try {
        k3::FetchedUpdate f = k3::fetchUpdate(k3::planRequest(ctx.store(), req), req);
        const k3::UpdatePlan& plan = f.plan;
        if (!plan.shape.empty()) *ctx.out << "格式：" << plan.shape << "\n";
        if (dryRun) {
            *ctx.err << "would add " << f.draws.size();
            if (!f.draws.empty())
                *ctx.err << " (" << k3::issueText(f.draws.front().sqqh, req.runningNumbers) << "—"
                         << k3::issueText(f.draws.back().sqqh, req.runningNumbers) << ")";
            *ctx.err << "\n";
            if (f.draws.empty() && !plan.emptyReason.empty()) *ctx.err << plan.emptyReason << "\n";
            *ctx.err << "--dry-run：历史号码未作改动\n";
            // Ends as the update would: a page it would refuse is refused here too.
            if (plan.misfit && !req.acceptMismatch)
                throw InputError(plan.misfit->message() + "；确要更新（只取符合" + std::string(prov.caption) +
                                 "的期号），请加上 --accept-mismatch");
            return kOk;
        }
        if (plan.misfit && !req.acceptMismatch)
            throw InputError(plan.misfit->message() + "，历史号码未作改动；确要更新（只取符合" + prov.caption +
                             "的期号），请加上 --accept-mismatch");
        const k3::UpdateOutcome r = k3::applyUpdate(ctx.store(), plan, f.draws, nullptr);
        *ctx.err << "added " << r.added << ", removed " << r.removed << "\n";
        if (r.added == 0 && !r.note.empty()) *ctx.err << r.note << "\n";
    } catch (const k3::FetchError& e) {
        throw InputError(std::string(e.what()) + "，历史号码未作改动");
    }
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
