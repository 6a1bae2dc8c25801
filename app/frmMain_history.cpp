// The commands that bring draws in and take them out: text import, online update, trimming and
// compaction, text and workbook export.
#include <QApplication>
#include <QDate>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QStatusBar>
#include <QTableView>
#include <QVBoxLayout>
#include <atomic>
#include <thread>

#include "export/history_text.h"
#include "export/workbook.h"
#include "frmMain.h"
#include "history/online_update.h"
#include "history/text_import.h"
#include "history/trimming.h"
#include "search/grids.h"
#include "store/province.h"

namespace k3 {

namespace {

// Time limit of the whole GET of the online update.
constexpr long kUpdateTimeLimitSeconds = 60;

QString q(const std::string& s) { return QString::fromStdString(s); }
QString qe(const std::exception& e) { return QString::fromUtf8(e.what()); }

// One online update in flight: the fetch and the parse run on their own thread; the result comes back
// to the window thread, which alone touches the database.
struct UpdateJob {
    std::atomic<bool> cancel{false};
    std::thread thread;
    ~UpdateJob() {
        cancel = true;
        if (thread.joinable()) thread.join();
    }
};

}  // namespace

struct frmMain::HistoryState {
    QPushButton* details = nullptr;  // "详情" in the status bar: the lines the last import skipped
    QStringList skippedLines;
    QDialog* detailsView = nullptr;
    QProgressDialog* updateProgress = nullptr;
    std::unique_ptr<UpdateJob> update;
};

void frmMain::initHistory() {
    historyState_ = std::make_shared<HistoryState>();
    auto* st = historyState_.get();
    st->details = new QPushButton("详情", this);
    st->details->setObjectName("cmdSkippedDetails");
    st->details->setFlat(true);
    st->details->hide();
    statusBar()->addPermanentWidget(st->details);
    connect(st->details, &QPushButton::clicked, this, [this, st] {
        if (!st->detailsView) {
            st->detailsView = new QDialog(this);
            st->detailsView->setObjectName("SkippedLinesView");
            st->detailsView->setWindowTitle("跳过的行");
            auto* lay = new QVBoxLayout(st->detailsView);
            auto* text = new QPlainTextEdit(st->detailsView);
            text->setObjectName("SkippedLinesText");
            text->setReadOnly(true);
            text->setLineWrapMode(QPlainTextEdit::NoWrap);
            lay->addWidget(text);
            st->detailsView->resize(520, 420);
        }
        auto* text = st->detailsView->findChild<QPlainTextEdit*>("SkippedLinesText");
        text->setPlainText("行号\t内容\n" + st->skippedLines.join('\n'));
        st->detailsView->show();
        st->detailsView->raise();
    });
}

// ---------------------------------------------------------------- text import

void frmMain::cmdRdLst_Click() {
    if (!store()) return;
    if (!askOkCancel(
            "读入历史",
            "确实要读入最新历史号码吗？点击'确认'读入,点击'取消'放弃该操作。确要读入请保证安装目录下存在历史号码的"
            "文本文件文件。读取时可能要花费一段时间,请耐心等候！"))
        return;
    const QString dir = QDir(context().dataDir).filePath("历史号码");
    QDir().mkpath(dir);
    const QString file = askOpenFile(dir, "Text(*.txt)");
    if (!file.endsWith("txt", Qt::CaseInsensitive)) {
        QihaoXianshi();
        if (!file.isEmpty()) status(QString("「%1」不是 txt 文件，未读入").arg(QFileInfo(file).fileName()));
        return;
    }

    auto* st = historyState_.get();
    ImportResult res;
    {
        BusyCursor wait;
        QProgressDialog progress("正在读入历史号码…", "取消", 0, 1000, this);
        progress.setObjectName("ImportProgress");
        progress.setWindowTitle("读入历史");
        progress.setWindowModality(Qt::WindowModal);
        progress.setMinimumDuration(400);
        progress.setAutoClose(false);
        try {
            res = importHistoryFile(*store(), QFile::encodeName(file).toStdString(), intDsIni,
                                    [&progress](size_t done, size_t total) {
                                        progress.setValue(total ? static_cast<int>(done * 900 / total) : 900);
                                        return !progress.wasCanceled();
                                    });
        } catch (const ImportError& e) {
            status(qe(e) + "，历史号码未作改动");
            tell("读入历史", qe(e) + "，历史号码未作改动。");
            return;
        } catch (const std::exception& e) {
            status(QString("读入失败，历史号码未作改动: %1").arg(qe(e)));
            tell("读入历史", QString("读入失败，历史号码未作改动: %1").arg(qe(e)));
            return;
        }
        progress.setValue(1000);
    }
    if (res.cancelled) {
        status("已取消读入，历史号码未作改动");
        return;
    }
    if (!res.refused) historyChanged();
    st->skippedLines.clear();
    for (const SkippedLine& s : res.skipped)
        st->skippedLines << QString("%1\t%2").arg(s.number).arg(
            QString::fromUtf8(s.text.data(), static_cast<qsizetype>(s.text.size())));
    st->details->setVisible(!res.skipped.empty());
    if (res.refused) {
        const QString msg =
            QString("文件中的 %1 行都不是号码，历史号码未作改动（点“详情”查看）").arg(res.skipped.size());
        status(msg);
        tell("读入历史", msg);
        return;
    }
    status(res.skipped.empty()
               ? QString("已读入 %1 期历史号码").arg(res.stored)
               : QString("已读入 %1 期历史号码，跳过 %2 行（点“详情”查看）").arg(res.stored).arg(res.skipped.size()));
}

// ---------------------------------------------------------------- online update

void frmMain::Command21_Click() {
    auto* st = historyState_.get();
    if (!store() || st->update) return;
    if (!askOkCancel("读入历史",
                     "确实要在线更新最新历史号码吗？更新可能要花费一段时间，网络不通或者我方服务器更新不及时可能都"
                     "造成更新失败！"))
        return;
    const QDate d = QDate::currentDate();
    const std::chrono::year_month_day today{std::chrono::year{d.year()},
                                            std::chrono::month{static_cast<unsigned>(d.month())},
                                            std::chrono::day{static_cast<unsigned>(d.day())}};
    UpdatePlan plan;
    try {
        plan = planUpdate(store()->newestIssue(), intGsZl == kBeijingIndex, intDrawsPerDay, intSerchDay, today);
    } catch (const std::exception& e) {
        status(QString("无法读取历史号码: %1").arg(qe(e)));
        return;
    }
    plan.url = expandUrl(settings().updateUrl().toStdString(), strCode.toStdString(), plan.count);
    const int segBase = intDsIni;

    setHistoryCommandsEnabled(false);
    st->update = std::make_unique<UpdateJob>();
    st->updateProgress = new QProgressDialog(QString("正在取得 %1 …").arg(q(plan.url)), "取消", 0, 0, this);
    st->updateProgress->setObjectName("UpdateProgress");
    st->updateProgress->setWindowTitle("历史号在线更新");
    st->updateProgress->setWindowModality(Qt::NonModal);
    st->updateProgress->setMinimumDuration(0);
    st->updateProgress->setAutoClose(false);
    st->updateProgress->setAutoReset(false);
    UpdateJob* job = st->update.get();
    connect(st->updateProgress, &QProgressDialog::canceled, this, [job] { job->cancel = true; });
    st->updateProgress->show();
    status(QString("正在在线更新: %1").arg(q(plan.url)));

    job->thread = std::thread([this, job, plan, segBase]() mutable {
        std::vector<DerivedDraw> draws;
        std::string error;
        try {
            FetchedPage page = fetchUrl(plan.url, kUpdateTimeLimitSeconds, &job->cancel);
            draws = parseUpdatePage(pageText(page), plan, segBase);
        } catch (const std::exception& e) {
            error = e.what();
        }
        // Back to the window thread; dropped if the window is gone.
        QMetaObject::invokeMethod(
            this,
            [this, plan, draws = std::move(draws), error]() {
                auto* st = historyState_.get();
                if (st->update && st->update->thread.joinable()) st->update->thread.join();
                st->update.reset();
                if (st->updateProgress) {
                    QObject::disconnect(st->updateProgress, nullptr, nullptr, nullptr);
                    st->updateProgress->deleteLater();
                    st->updateProgress = nullptr;
                }
                setHistoryCommandsEnabled(true);
                QString msg;
                if (!error.empty()) {
                    msg = QString("在线更新失败，历史号码未作改动：%1").arg(QString::fromUtf8(error.c_str()));
                } else if (draws.empty()) {
                    msg = plan.start
                              ? QString("没有新的历史号码：页面中没有期号 %1 到 %2 的号码，历史号码未作改动")
                                    .arg(*plan.start)
                                    .arg(plan.end)
                              : QString("没有新的历史号码：页面中没有找到“开奖时间”之后的期号，历史号码未作改动");
                } else {
                    try {
                        UpdateOutcome r = applyUpdate(*store(), plan, draws);
                        historyChanged();
                        msg = QString("在线更新完成：新增 %1 期").arg(r.added);
                        if (r.removed) msg += QString("，删除 %1 年以前的 %2 期").arg(plan.years).arg(r.removed);
                    } catch (const std::exception& e) {
                        msg = QString("保存更新失败，历史号码未作改动：%1").arg(qe(e));
                    }
                }
                status(msg);
                tell("历史号在线更新", msg);
            },
            Qt::QueuedConnection);
    });
}

void frmMain::mnuUpdateUrl_Click() {
    auto answer = askText("更新地址设置",
                          "请输入历史号码的更新地址（{code} 代表彩种代码，{n} 代表期数；可用 http、https 或 file 地址，"
                          "留空恢复默认地址）",
                          settings().updateUrl());
    if (!answer) return;
    const QString t = answer->trimmed();
    if (t.isEmpty()) {
        settings().setUpdateUrl("");
        status(QString("更新地址已恢复为默认: %1").arg(settings().updateUrl()));
        return;
    }
    const QString scheme = QUrl(q(expandUrl(t.toStdString(), "fj", 1))).scheme().toLower();
    if (scheme != "http" && scheme != "https" && scheme != "file") {
        tell("更新地址设置", QString("「%1」不是 http、https 或 file 地址，更新地址未改动。").arg(t));
        return;
    }
    settings().setUpdateUrl(t);
    status(QString("更新地址: %1").arg(t));
}

// ---------------------------------------------------------------- trimming and compaction

namespace {

QString trimMessage(const TrimResult& r) { return q(r.note.text); }

}  // namespace

void frmMain::Command3_Click() {
    if (!store()) return;
    try {
        BusyCursor wait;
        TrimResult r = deleteNewestDraw(*store());
        historyChanged();
        status(r.removed ? trimMessage(r) : QString("历史为空，没有可删除的号码"));
    } catch (const std::exception& e) {
        status(QString("删除失败，历史号码未作改动：%1").arg(qe(e)));
    }
    if (MaskEdBox1[1] && MaskEdBox1[1]->isEnabled()) MaskEdBox1[1]->setFocus();
}

void frmMain::mnuErase_Click() { Command3_Click(); }

// Asks for a whole number above 0 and runs a trimming command with it; any other answer changes nothing.
void frmMain::trimWithAnswer(const QString& prompt, const QString& preset,
                             const std::function<TrimResult(int64_t, const std::string&)>& trim) {
    if (!store()) return;
    auto answer = askText("删除期数", prompt, preset);
    if (!answer) return;
    auto n = parsePositiveAnswer(answer->toStdString());
    if (!n) {
        const QString msg = QString("「%1」不是大于0的整数，历史号码未作改动").arg(*answer);
        status(msg);
        tell("删除期数", msg);
        return;
    }
    try {
        BusyCursor wait;
        TrimResult r = trim(*n, QDir(context().dataDir).filePath(kBackupFileName).toStdString());
        historyChanged();
        status(trimMessage(r));
    } catch (const std::exception& e) {
        status(qe(e));
        tell("删除期数", qe(e));
    }
}

void frmMain::mnuDlzd_Click() {
    if (!store()) return;
    const QString preset = snapshot()->empty() ? QString() : QString::number(int64_t{snapshot()->rows.back().sqqh} - 1);
    trimWithAnswer("请输入需要删除到的期数", preset, [this](int64_t k, const std::string& backup) {
        return deleteAfterIssue(*store(), k, backup, intDsIni);
    });
}

void frmMain::mnuEszhzd_Click() {
    trimWithAnswer(
        "请输入需要删除最后多少期历史号码（例如输入3，那么就将删除最后的3期历史号码）", "1",
        [this](int64_t n, const std::string& backup) { return deleteLastDraws(*store(), n, backup, intDsIni); });
}

void frmMain::mnuClear_Click() {
    if (!store()) return;
    if (!askOkCancel("确认清空", "确定要清空所有的历史号码吗？")) return;
    try {
        size_t n = clearHistory(*store());
        historyChanged();
        status(QString("已清空历史号码（%1 期）").arg(n));
    } catch (const std::exception& e) {
        status(QString("清空失败，历史号码未作改动：%1").arg(qe(e)));
    }
}

// ---------------------------------------------------------------- export

void frmMain::Command4_Click() {
    if (!snapshot()) return;
    try {
        auto r = exportHistoryText(*snapshot(), QFile::encodeName(context().dataDir).toStdString());
        if (!r) {
            status("历史为空，没有导出文本文件");
            tell("导出历史号码", "历史为空，没有导出文本文件。");
            return;
        }
        const QString path = QFile::decodeName(QByteArray::fromStdString(r->path));
        QString msg = QString("已导出 %1 期历史号码到 %2").arg(r->lines).arg(path);
        if (r->shortIssues) msg += QString("（其中 %1 期的期号不是九位数字，读入时不会被读回）").arg(r->shortIssues);
        status(msg);
        openUrl(QUrl::fromLocalFile(path));
    } catch (const std::exception& e) {
        status(qe(e));
        tell("导出历史号码", qe(e));
    }
}

namespace {

// Writes a grid to a workbook in the data folder and opens it; a failure is told and the program goes on.
void exportGrid(frmMain& w, const Grid& g, const char* fileName) {
    const QString path = QDir(w.context().dataDir).filePath(fileName);
    try {
        writeWorkbook(g, QFile::encodeName(path).toStdString());
    } catch (const std::exception& e) {
        w.status(qe(e));
        w.tell("导出到工作簿", qe(e));
        return;
    }
    w.status(QString("已导出 %1 行到 %2").arg(g.rowCount()).arg(path));
    w.openUrl(QUrl::fromLocalFile(path));
}

}  // namespace

void frmMain::mnuDcls_Click() {
    BusyCursor wait;
    MSFlexGrid1->hide();
    exportGrid(*this, historyGrid(*snapshot()), "lishi.xlsx");
    MSFlexGrid1->show();
}

void frmMain::MSFlexGrid1_DblClick() { exportGrid(*this, historyGrid(*snapshot()), "lishi.xlsx"); }
void frmMain::MSFlexGrid2_DblClick() { exportGrid(*this, resultModel()->grid(), "Jiansuo.xlsx"); }
void frmMain::MSFlexGrid3_DblClick() { exportGrid(*this, summaryModel()->grid(), "Jieguo.xlsx"); }

}  // namespace k3
