// k3gap-cli [--data DIR] [--lottery N] [--segment-base 0|1] COMMAND [ARGS]
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <algorithm>
#include <iostream>
#include <optional>

#include "cli.h"
#include "store/issue.h"
#include "store/province.h"

namespace k3cli {

bool Context::runningNumbers() const { return lottery == k3::kBeijingIndex; }

k3::HistoryStore& Context::store() {
    if (!store_) {
        try {
            store_ = std::make_unique<k3::HistoryStore>(
                QDir(QString::fromStdString(dataDir)).filePath(k3::kDatabaseFileName).toStdString());
        } catch (const std::exception& e) {
            throw InputError(e.what());
        }
    }
    return *store_;
}

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

const char* const kUsageText =
    "usage: k3gap-cli [--data DIR] [--lottery N] [--segment-base 0|1] COMMAND [ARGS]\n"
    "commands:\n"
    "  show [--xlsx FILE]          print the history grid\n"
    "  next                        print the last and the next issue\n"
    "  add ISSUE DDD               append one draw, e.g. add 130325001 253\n"
    "  search, partial, group      omission analyses (see README)\n"
    "  overview                    the omission table of the bet items (see README)\n"
    "  import, update, trim, export-text   history in and out (see README)\n";

// The window's data folder: the programs' folder when writable, else the user's data folder.
std::string defaultDataDir() {
    QString dir = QCoreApplication::applicationDirPath();
    if (!QFileInfo(dir).isWritable()) {
        QCoreApplication::setOrganizationName("K3MIVLOR");
        QCoreApplication::setApplicationName("k3gap");
        dir = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
        QDir().mkpath(dir);
    }
    return dir.toStdString();
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
                std::cout << kUsageText;
                return kOk;
            }
            if (i + 1 >= args.size()) throw UsageError(a + " needs a value");
            const std::string& v = args[++i];
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
        ctx.dataDir = data.empty() ? defaultDataDir() : data;
        if (!QFileInfo(QString::fromStdString(ctx.dataDir)).isDir())
            throw InputError("数据文件夹不存在: " + ctx.dataDir);
        ctx.lottery = lottery ? static_cast<int>(*lottery) : settings.lotteryIndex();
        ctx.segBase = segBase ? static_cast<int>(*segBase) : settings.segmentBase();
        const std::string cmd = args[i];
        std::vector<std::string> rest(args.begin() + static_cast<long>(i) + 1, args.end());
        for (auto run : {runStoreCommand, runAnalysisCommand, runHistoryCommand, runOverviewCommand}) {
            int rc = run(ctx, cmd, rest);
            if (rc >= 0) return rc;
        }
        throw UsageError("unknown command " + cmd);
    } catch (const UsageError& e) {
        std::cerr << "k3gap-cli: " << e.what() << "\n" << kUsageText;
        return kUsage;
    } catch (const std::exception& e) {
        std::cerr << "k3gap-cli: " << e.what() << "\n";
        return kBadInput;
    }
}
