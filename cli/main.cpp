// k3gap-cli [--data DIR] [--lottery N] [--segment-base 0|1] COMMAND [ARGS]
#include <QCoreApplication>
#include <QFileInfo>
#include <algorithm>
#include <iostream>
#include <optional>

#include "cli.h"
#include "settings/data_folder.h"
#include "store/issue.h"
#include "store/province.h"

namespace k3cli {

bool Context::runningNumbers() const { return lottery == k3::kBeijingIndex; }

k3::HistoryStore& Context::store() {
    if (!store_) {
        try {
            k3::ProvinceHistory h = k3::openProvinceHistory(dataDir, lottery, unrecordedOwner());
            files_ = std::move(h.files);
            store_ = std::move(h.store);
        } catch (const std::exception& e) {
            throw InputError(e.what());
        }
    }
    return *store_;
}

void checkOptionValue(const std::string& option, const std::string& value) {
    // An empty value (an unset variable in a script) would quietly mean the default; an option's name
    // where its value belongs means the value was left out. A value of several words may begin with an
    // option of its own (watch --search '--type number …').
    if (value.empty()) throw UsageError(option + " needs a value, not an empty one");
    if (value.size() > 2 && value.rfind("--", 0) == 0 && value.find_first_of(" \t") == std::string::npos)
        throw UsageError(option + " needs a value, not the option " + value);
}

std::string Context::backupFile() {
    store();
    return files_.backup;
}

int Context::unrecordedOwner() const { return settings ? settings->lotteryIndex() : lottery; }

Args::Args(const std::vector<std::string>& args, const std::vector<std::string>& valued,
           const std::vector<std::string>& switches) {
    auto in = [](const std::vector<std::string>& list, const std::string& s) {
        return std::find(list.begin(), list.end(), s) != list.end();
    };
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a.size() > 2 && a.rfind("--", 0) == 0) {
            std::string name = a.substr(2), value;
            if (auto eq = name.find('='); eq != std::string::npos) {
                value = name.substr(eq + 1);
                name = name.substr(0, eq);
                if (!in(valued, name)) throw UsageError("unknown option --" + name);
            } else if (in(valued, name)) {
                if (i + 1 >= args.size()) throw UsageError("--" + name + " needs a value");
                value = args[++i];
            } else if (!in(switches, name)) {
                throw UsageError("unknown option --" + name);
            }
            if (in(valued, name)) checkOptionValue("--" + name, value);
            opts_.emplace_back(name, value);
        } else {
            pos_.push_back(a);
        }
    }
}

bool Args::has(const std::string& name) const {
    for (auto& [n, v] : opts_)
        if (n == name) return true;
    return false;
}

std::string Args::value(const std::string& name, const std::string& def) const {
    for (auto it = opts_.rbegin(); it != opts_.rend(); ++it)
        if (it->first == name) return it->second;
    return def;
}

std::vector<std::string> Args::values(const std::string& name) const {
    std::vector<std::string> out;
    for (auto& [n, v] : opts_)
        if (n == name) out.push_back(v);
    return out;
}

}  // namespace k3cli

namespace {

// The help of every command, in the order --help lists them: one entry a command.
struct CommandHelp {
    const char* name;
    const char* synopsis;  // the options after the command's name
    const char* what;
    const char* example;  // the arguments after "k3gap-cli"
};

const CommandHelp kCommands[] = {
    {"show", "[--xlsx FILE]", "列出历史号码（期号与三个号码）；--xlsx 写成工作簿", "show --xlsx lishi.xlsx"},
    {"next", "", "列出最后一期与下一期的期号", "next"},
    {"add", "ISSUE DDD", "在最后加上一期开奖号码", "add 130325001 253"},
    {"search",
     "[--type number|big-small|odd-even|segment] [--fixed] [--pos P=V]... [--from ISSUE] [--to ISSUE]\n"
     "      [--xlsx FILE] [--png FILE]",
     "按位置的值检索遗漏（--fixed：定位），--png 画遗漏走势图", "search --pos 1=2 --pos 3=5 --png zoushi.png"},
    {"partial",
     "--values V1,V2,V3 [--width K] [--type T] [--fixed] [--from ISSUE] [--to ISSUE] [--xlsx FILE]\n"
     "      [--png FILE]",
     "分部检索：三个值中至少 K 个出现", "partial --values 2,6,6 --width 2"},
    {"group",
     "--values V[,V...] --size K [--type T] [--from ISSUE] [--to ISSUE]\n"
     "      [--sort intMinYL|intMaxYL|intLstYl|sglLlr] [--xlsx FILE]",
     "组合计算：所选的值每 K 个一组的遗漏", "group --values 1,2,3,4 --size 2 --sort intMaxYL"},
    {"overview", "[--from ISSUE] [--to ISSUE] [--xlsx FILE] [--item PLAY:ITEM --png FILE]",
     "遗漏总表：各玩法各号码的遗漏；--item 与 --png 画一个号码的遗漏走势图",
     "overview --item 和值:10 --png hezhi10.png"},
    {"fairness", "[--from ISSUE] [--to ISSUE]",
     "公平性检验：这段历史是否符合公平的骰子（七项检验：各位点数、和值、216种结果、大小游程、和值自相关）",
     "fairness --from 130101001"},
    {"backtest",
     "[--from ISSUE] [--to ISSUE] [--times X | --min-omission K] [--xlsx FILE]\n"
     "      [--png FILE --item PLAY:ITEM]",
     "遗漏回测：遗漏达到门槛（理论遗漏的 X 倍，或 K 期）才下注，命中率与返奖率是否更高",
     "backtest --times 2 --item 和值:10 --png huice.png"},
    {"trend", "[--from ISSUE] [--to ISSUE] [--last N] [--xlsx FILE] [--png FILE]",
     "走势图：每期一行，和值、号码、跨度、形态、大小单双各列的开出（*）与遗漏，末尾四行统计", "trend --last 100"},
    {"import", "[--dry-run] [--accept-mismatch] FILE",
     "读入历史号码文件（本程序的文本格式，或其他文本、CSV、xlsx、xls），替换全部历史号码；第一行列出识别出的格式。"
     "--dry-run 只列出将读入的号码，不作改动；--accept-mismatch 读入不像本彩种的期号",
     "import --dry-run kaijiang.csv"},
    {"update", "[--url TEMPLATE] [--today YYYY-MM-DD] [--dry-run] [--accept-mismatch]",
     "在线更新：取得最新的开奖号码（地址中的 {code}、{n}、{date} 换成彩种代码、期数和今天的日期）；"
     "--dry-run 只列出将新增的号码，不作改动；--accept-mismatch 页面中有不像本彩种的期号时仍更新符合的",
     "update --dry-run"},
    {"trim", "--newest | --to ISSUE | --last N | --clear", "删除历史号码：最后一期、某期以后的、最后 N 期或全部",
     "trim --last 10"},
    {"export-text", "[FILE]", "把历史号码写成文本文件（默认写在数据文件夹中）", "export-text lishi.txt"},
    {"provinces", "", "列出有历史号码的彩种：彩种、历史数据库、期数、第一期与最后一期", "provinces"},
    {"watch",
     "[--item PLAY:ITEM[@K|xX]]... [--search '--type T [--fixed] --pos P=V... [@K|xX]']... [--all-provinces]\n"
     "      [--reached]",
     "遗漏提醒：所关注号码的当前遗漏与门槛（K 期，或理论遗漏的 X 倍，默认 x2），遗漏达到门槛的各期其后开出几次，"
     "与理论命中率并列；不给 --item 与 --search 时用窗口中保存的列表；--all-provinces 每个有历史号码的彩种；"
     "--reached 只列出已达到门槛的",
     "watch --item 和值:10 --item 三同号通选:通选@100"},
};

const CommandHelp* findCommand(const std::string& name) {
    for (const CommandHelp& c : kCommands)
        if (name == c.name) return &c;
    return nullptr;
}

void printCommand(std::ostream& out, const CommandHelp& c) {
    out << "  " << c.name << (*c.synopsis ? " " : "") << c.synopsis << "\n"
        << "      " << c.what << "\n"
        << "      例：k3gap-cli " << c.example << "\n";
}

const char* const kUsageLine = "用法：k3gap-cli [--data DIR] [--lottery N] [--segment-base 0|1] COMMAND [ARGS]\n";

void printUsage(std::ostream& out) {
    out << kUsageLine
        << "  --data DIR           数据文件夹（默认与窗口程序相同）\n"
           "  --lottery N          省份 0..14（默认为设置中的省份），命令在这个省份的历史号码上工作\n"
           "  --segment-base 0|1   分段的起点（默认为设置中的值）\n"
           "命令：\n";
    for (const CommandHelp& c : kCommands) printCommand(out, c);
    out << "k3gap-cli COMMAND --help 说明一个命令；详见 man k3gap-cli。\n"
           "退出状态：0 完成，1 输入有误或无法完成（未作改动），2 用法错误。\n";
}

}  // namespace

int main(int argc, char** argv) {
    auto app = k3cli::makeApplication(argc, argv);
    using namespace k3cli;
    std::vector<std::string> args(argv + 1, argv + argc);
    k3::Settings settings;
    Context ctx;
    ctx.settings = &settings;
    ctx.out = &std::cout;
    ctx.err = &std::cerr;
    try {
        std::string data;
        std::optional<int64_t> lottery, segBase;
        size_t i = 0;
        for (; i < args.size() && args[i].rfind("--", 0) == 0; ++i) {
            const std::string& a = args[i];
            if (a == "--help") {
                printUsage(std::cout);
                return kOk;
            }
            if (i + 1 >= args.size()) throw UsageError(a + " needs a value");
            const std::string& v = args[++i];
            checkOptionValue(a, v);
            if (a == "--data") {
                data = v;
            } else if (a == "--lottery") {
                if (!(lottery = k3::parseWhole(v, 0, k3::kProvinceCount - 1)))
                    throw UsageError("--lottery takes 0..14");
            } else if (a == "--segment-base") {
                if (!(segBase = k3::parseWhole(v, 0, 1))) throw UsageError("--segment-base takes 0 or 1");
            } else {
                throw UsageError("unknown option " + a);
            }
        }
        if (i >= args.size()) throw UsageError("no command given");
        if (std::find(args.begin() + static_cast<long>(i), args.end(), "--help") != args.end()) {
            const CommandHelp* help = findCommand(args[i]);
            if (!help) throw UsageError("unknown command " + args[i]);
            std::cout << kUsageLine;
            printCommand(std::cout, *help);
            return kOk;
        }
        ctx.dataDir = data.empty() ? k3::defaultDataFolder().dir.toStdString() : data;  // no --data given
        if (!QFileInfo(QString::fromStdString(ctx.dataDir)).isDir())
            throw InputError("数据文件夹不存在: " + ctx.dataDir);
        ctx.lottery = lottery ? static_cast<int>(*lottery) : settings.lotteryIndex();
        ctx.segBase = segBase ? static_cast<int>(*segBase) : settings.segmentBase();
        const std::string cmd = args[i];
        std::vector<std::string> rest(args.begin() + static_cast<long>(i) + 1, args.end());
        for (auto run : {runStoreCommand, runAnalysisCommand, runHistoryCommand, runOverviewCommand, runStatsCommand,
                         runTrendCommand, runWatchCommand}) {
            int rc = run(ctx, cmd, rest);
            if (rc >= 0) return rc;
        }
        throw UsageError("unknown command " + cmd);
    } catch (const UsageError& e) {
        std::cerr << "k3gap-cli: " << e.what() << "\n" << kUsageLine << "k3gap-cli --help 列出全部命令及其选项\n";
        return kUsage;
    } catch (const std::exception& e) {
        std::cerr << "k3gap-cli: " << e.what() << "\n";
        return kBadInput;
    }
}
