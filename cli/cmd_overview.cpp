// k3gap-cli overview: the omission table of the bet items, and the omission charts drawn to PNG files.
#include <QApplication>
#include <QBuffer>
#include <cstdio>
#include <ostream>

#include "charts/omission_chart.h"
#include "cli.h"
#include "export/output_file.h"
#include "export/workbook.h"
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
    // Qt's own notes (in English, about the environment) are not for the user of a command.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& msg) {
        if (type == QtCriticalMsg || type == QtFatalMsg) fprintf(stderr, "k3gap-cli: %s\n", qPrintable(msg));
    });
    // Pictures are drawn offscreen whatever DISPLAY or WAYLAND_DISPLAY say: a display that is not
    // there, or a platform plugin that is missing, must not stop a command that needs no window.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    return std::make_unique<QApplication>(argc, argv);
}

void writeChart(const k3::GapSeries& series, const std::string& path, const std::string& dataDir) {
    if (path.empty()) throw UsageError("--png needs a file name");
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) throw InputError("没有绘图环境，无法画遗漏走势图");
    // Drawn to memory first, then written as any output file: checked, whole or not at all.
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (!k3::renderChart(series).save(&buffer, "PNG")) throw InputError("无法画出遗漏走势图，未写入 " + path);
    try {
        k3::writeOutputBytes(path, dataDir, std::string_view(png.constData(), static_cast<size_t>(png.size())));
    } catch (const k3::ExportError& e) {
        throw InputError(e.what());
    }
}

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

namespace {

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
        writeChart(series, a.value("png"), ctx.dataDir);
    }
    if (a.has("xlsx"))
        k3::writeWorkbook(grid, a.value("xlsx"), ctx.dataDir);
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
