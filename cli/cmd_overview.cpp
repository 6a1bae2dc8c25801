// k3gap-cli overview: the omission table of the bet items, and the omission charts drawn to PNG files.
#include <QApplication>
#include <QFile>
#include <ostream>

#include "cli.h"
#include "export/workbook.h"
#include "omission_chart.h"
#include "overview/gap_series.h"
#include "overview/overview.h"
#include "store/grid.h"

namespace k3cli {

std::unique_ptr<QCoreApplication> makeApplication(int& argc, char** argv) {
    bool png = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        png = png || a == "--png" || a.rfind("--png=", 0) == 0;
    }
    if (!png) return std::make_unique<QCoreApplication>(argc, argv);
    // Charts are drawn offscreen unless there is a display to draw on.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
        qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    return std::make_unique<QApplication>(argc, argv);
}

void writeChart(const k3::GapSeries& series, const std::string& path) {
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) throw InputError("没有绘图环境，无法画遗漏走势图");
    if (path.empty()) throw UsageError("--png needs a file name");
    if (!k3::writeChartPng(series, QFile::decodeName(QByteArray::fromStdString(path))))
        throw InputError("无法写入图片文件 " + path);
}

namespace {

// "PLAY:ITEM" (a full-width colon too), e.g. 和值:10 or 三同号通选:通选.
int parseItem(const std::string& text) {
    size_t colon = text.find(':'), width = 1;
    if (colon == std::string::npos) {
        colon = text.find("：");
        width = std::string("：").size();
    }
    if (colon == std::string::npos) throw UsageError("--item takes PLAY:ITEM, e.g. --item 和值:10");
    const std::string play = text.substr(0, colon), label = text.substr(colon + width);
    auto item = k3::findBetItem(play, label);
    if (!item) throw InputError("遗漏总表中没有玩法「" + play + "」的号码「" + label + "」");
    return *item;
}

int runOverviewCmd(Context& ctx, const std::vector<std::string>& args) {
    Args a(args, {"from", "to", "xlsx", "item", "png"}, {});
    if (!a.positional().empty()) throw UsageError("overview takes no positional arguments");
    if (a.has("item") != a.has("png")) throw UsageError("--item and --png go together");
    const int item = a.has("item") ? parseItem(a.value("item")) : -1;
    auto snap = ctx.store().snapshot(k3::kDicePart);  // the table counts dice only
    // The whole history unless given, as the search takes it.
    const std::string from = a.value("from", snap->empty() ? std::string() : std::to_string(snap->issues().front()));
    const std::string to = a.value("to", snap->empty() ? std::string() : std::to_string(snap->issues().back()));
    const k3::Grid grid = k3::overviewGrid(k3::computeOverview(*snap, from, to));
    if (item >= 0) {
        k3::GapSeries series = k3::itemGapSeries(*snap, from, to, item);
        series.runningNumbers = ctx.runningNumbers();
        writeChart(series, a.value("png"));
    }
    if (a.has("xlsx"))
        k3::writeWorkbook(grid, a.value("xlsx"));
    else
        *ctx.out << k3::gridText(grid);
    return kOk;
}

}  // namespace

int runOverviewCommand(Context& ctx, const std::string& cmd, const std::vector<std::string>& args) {
    if (cmd == "overview") return runOverviewCmd(ctx, args);
    return -1;
}

}  // namespace k3cli
