// k3gap-cli commands over the stored history: show, next, add, and the provinces that have a history.
#include <ostream>

#include "cli.h"
#include "export/workbook.h"
#include "history/manual_entry.h"
#include "search/grids.h"
#include "store/issue.h"
#include "store/province.h"
#include "store/province_history.h"

namespace k3cli {

int runStoreCommand(Context& ctx, const std::string& cmd, const std::vector<std::string>& args) {
    if (cmd == "show") {
        Args a(args, {"xlsx"}, {});
        if (!a.positional().empty()) throw UsageError("show takes no arguments");
        k3::Grid g = k3::historyGrid(*ctx.store().snapshot(k3::kDicePart), ctx.runningNumbers());
        if (a.has("xlsx")) {
            k3::writeWorkbook(g, a.value("xlsx"), ctx.dataDir);
        } else {
            *ctx.out << k3::gridText(g);
        }
        return kOk;
    }
    if (cmd == "next") {
        if (!args.empty()) throw UsageError("next takes no arguments");
        auto last = ctx.store().newestIssue();
        if (!last) throw InputError("历史为空，没有最后一期");
        const bool running = ctx.runningNumbers();
        *ctx.out << k3::issueText(*last, running) << '\t'
                 << k3::issueText(k3::nextIssue(*last, k3::province(ctx.lottery).drawsPerDay, running), running)
                 << '\n';
        return kOk;
    }
    if (cmd == "add") {
        if (args.size() != 2) throw UsageError("add takes ISSUE DDD, e.g. add 130325001 253");
        const std::string& dice = args[1];
        if (dice.size() != 3) throw InputError("号码「" + dice + "」应为三个1到6的数字，例如 253");
        try {
            k3::addManualDraw(ctx.store(), args[0], dice.substr(0, 1), dice.substr(1, 1), dice.substr(2, 1),
                              ctx.segBase);
        } catch (const k3::EntryRejected& e) {
            throw InputError(e.what());
        }
        return kOk;
    }
    if (cmd == "provinces") {
        if (!args.empty()) throw UsageError("provinces takes no arguments");
        const k3::ProvinceListing listed = k3::listProvinceHistories(ctx.dataDir, ctx.unrecordedOwner());
        *ctx.out << "彩种\t历史数据库\t期数\t第一期\t最后一期\n";
        for (const k3::ProvinceSummary& p : listed.histories) {
            const bool running = p.province == k3::kBeijingIndex;
            *ctx.out << k3::province(p.province).caption << '\t' << p.database << '\t' << p.draws << '\t'
                     << (p.first ? k3::issueText(*p.first, running) : "") << '\t'
                     << (p.last ? k3::issueText(*p.last, running) : "") << '\n';
        }
        for (const std::string& problem : listed.problems) *ctx.err << problem << '\n';
        return listed.problems.empty() ? kOk : kBadInput;
    }
    return -1;
}

}  // namespace k3cli
