// k3gap-cli trend: the trend chart (走势图) as text, a workbook and a picture.
#include <QBuffer>
#include <QGuiApplication>
#include <QImage>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <ostream>

#ifndef _WIN32
#include <unistd.h>
#endif

#include "charts/trend_painter.h"
#include "cli.h"
#include "export/output_file.h"
#include "store/history_reader.h"
#include "store/issue.h"
#include "trend/trend.h"
#include "trend/trend_workbook.h"

namespace k3cli {

namespace {

std::atomic<bool> interrupted{false};

extern "C" void onInterrupt(int) { interrupted.store(true); }

// While a workbook is written: Ctrl-C (or a polite kill) stops it with nothing written instead of ending
// the program with its unfinished files left behind; on a terminal the progress is shown, written to
// standard error as it was when the command began (the workbook holds back what the library prints).
class WorkbookProgressLine {
public:
    WorkbookProgressLine() {
#ifndef _WIN32
        if (::isatty(STDERR_FILENO) == 1) fd_ = ::dup(STDERR_FILENO);
#endif
        interrupted = false;
        oldInt_ = std::signal(SIGINT, onInterrupt);
        oldTerm_ = std::signal(SIGTERM, onInterrupt);
    }
    ~WorkbookProgressLine() {
        std::signal(SIGINT, oldInt_);
        std::signal(SIGTERM, oldTerm_);
        if (shown_) say("\r\033[K");
#ifndef _WIN32
        if (fd_ >= 0) ::close(fd_);
#endif
    }
    WorkbookProgressLine(const WorkbookProgressLine&) = delete;
    WorkbookProgressLine& operator=(const WorkbookProgressLine&) = delete;

    bool operator()(const k3::WorkbookStep& step) {
        const bool stop = interrupted;
        if (fd_ < 0) return !stop;
        const auto now = std::chrono::steady_clock::now();
        if (shown_ && now - last_ < std::chrono::milliseconds(300)) return !stop;
        last_ = now;
        shown_ = true;
        std::string line = "\r\033[K走势图工作簿：";
        if (stop) {
            line += "正在取消…";
        } else if (!step.packing) {
            line += "已写 " + std::to_string(step.done) + "/" + std::to_string(step.rows) + " 期（" +
                    std::to_string(step.rows ? step.done * 100 / step.rows : 100) + "%），Ctrl-C 取消";
        } else {
            line += "已写 " + std::to_string(step.rows) + " 期，正在压缩成文件" +
                    (step.packed >= 0 ? " " + std::to_string(step.packed / 10) + "%" : std::string("…"));
        }
        say(line);
        return !stop;
    }

private:
    void say(const std::string& s) const {
#ifndef _WIN32
        for (size_t done = 0; fd_ >= 0 && done < s.size();) {
            const ssize_t n = ::write(fd_, s.data() + done, s.size() - done);
            if (n <= 0) break;
            done += static_cast<size_t>(n);
        }
#endif
    }

    int fd_ = -1;
    bool shown_ = false;
    std::chrono::steady_clock::time_point last_{};
    void (*oldInt_)(int) = SIG_DFL;
    void (*oldTerm_)(int) = SIG_DFL;
};

int runTrendCmd(Context& ctx, const std::vector<std::string>& args) {
    Args a(args, {"from", "to", "last", "xlsx", "png"}, {});
    if (!a.positional().empty()) throw UsageError("trend takes no positional arguments");
    if (a.has("png") && a.value("png").empty()) throw UsageError("--png needs a file name");
    if (a.has("xlsx") && a.value("xlsx").empty()) throw UsageError("--xlsx needs a file name");
    std::optional<int64_t> last;
    if (a.has("last")) {
        last = k3::parseWhole(a.value("last"), 1, INT64_MAX);
        if (!last) throw InputError("期数「" + a.value("last") + "」不是不小于 1 的整数，没有画走势图");
    }
    std::shared_ptr<const k3::Snapshot> snap;
    if (last && *last <= int64_t(k3::kNewestDice)) {
        // The newest draws only: their dice come with the issues and ranks, the rest is not read.
        k3::DrawColumns draws = ctx.store().reader()->readDraws();
        snap = std::make_shared<const k3::Snapshot>(std::move(draws.issues), std::move(draws.ranks),
                                                    std::move(draws.newestDice),
                                                    k3::readyValues(std::make_shared<k3::SnapshotValues>()));
    } else {
        snap = ctx.store().snapshot(k3::kDicePart);  // the chart reads the dice only
    }
    // --last overrides the range; without either, the whole history, as the search takes it.
    k3::TrendRange range;
    if (last) {
        range = k3::trendLast(*snap, *last);
    } else {
        const std::string from =
            a.value("from", snap->empty() ? std::string() : std::to_string(snap->issues().front()));
        const std::string to = a.value("to", snap->empty() ? std::string() : std::to_string(snap->issues().back()));
        range = k3::trendRange(*snap, from, to);
    }
    if (a.has("png") && range.size() > k3::kTrendPictureRows)
        throw InputError("走势图图片最多画 " + std::to_string(k3::kTrendPictureRows) + " 期，这个范围有 " +
                         std::to_string(range.size()) + " 期；请用 --last 或 --from/--to 缩小范围，没有画图");
    const k3::TrendChart chart(snap, range, ctx.runningNumbers());
    if (a.has("png")) {
        if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
            throw InputError("没有绘图环境，无法画走势图");
        const QImage image = k3::renderTrend(chart, {.showOmission = true, .layers = false, .line = true});
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        if (image.isNull() || !image.save(&buffer, "PNG")) throw InputError("无法画走势图图片 " + a.value("png"));
        k3::writeOutputBytes(a.value("png"), ctx.dataDir, std::string_view(bytes.constData(), size_t(bytes.size())));
    }
    if (a.has("xlsx")) {
        WorkbookProgressLine progress;
        try {
            k3::writeTrendWorkbook(chart, a.value("xlsx"), ctx.dataDir, std::ref(progress));
        } catch (const k3::ExportCancelled& e) {
            throw InputError(e.what());
        }
    } else {
        k3::writeTrendText(chart, *ctx.out);
    }
    return kOk;
}

}  // namespace

int runTrendCommand(Context& ctx, const std::string& cmd, const std::vector<std::string>& args) {
    if (cmd == "trend") return runTrendCmd(ctx, args);
    return -1;
}

}  // namespace k3cli
