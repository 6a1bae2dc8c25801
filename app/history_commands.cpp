#include "history_commands.h"

#include <QDate>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMainWindow>
#include <QPlainTextEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QStatusBar>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>

#include "busy_cursor.h"
#include "export/history_text.h"
#include "export/workbook.h"
#include "history/import_check.h"
#include "history/text_import.h"
#include "history/trimming.h"
#include "history_panel.h"
#include "history_session.h"
#include "prompter.h"
#include "result_panel.h"
#include "search/grids.h"
#include "search_panel.h"
#include "store/issue.h"

namespace k3 {

namespace {

// Time limit of the whole GET of the online update.
constexpr long kUpdateTimeLimitSeconds = 60;

QString q(const std::string& s) { return QString::fromStdString(s); }
QString qe(const std::exception& e) { return QString::fromUtf8(e.what()); }

}  // namespace

HistoryCommands::HistoryCommands(HistorySession& session, Prompter& prompter, HistoryPanel& historyPanel,
                                 SearchPanel& searchPanel, ResultPanel& resultPanel, QMainWindow& window)
    : QObject(&window),
      m_session(session),
      m_prompter(prompter),
      m_historyPanel(historyPanel),
      m_searchPanel(searchPanel),
      m_resultPanel(resultPanel),
      m_window(window) {
    m_updateWatcher = new QFutureWatcher<FetchOutcome>(this);
    connect(m_updateWatcher, &QFutureWatcher<FetchOutcome>::finished, this, &HistoryCommands::finishOnlineUpdate);

    m_skippedDetailsButton = new QPushButton("详情", &window);
    m_skippedDetailsButton->setObjectName("cmdSkippedDetails");
    m_skippedDetailsButton->setFlat(true);
    m_skippedDetailsButton->hide();
    window.statusBar()->addPermanentWidget(m_skippedDetailsButton);
    connect(m_skippedDetailsButton, &QPushButton::clicked, this, &HistoryCommands::showSkippedLines);
}

HistoryCommands::~HistoryCommands() {
    if (m_updateCancel) *m_updateCancel = true;
    m_updateWatcher->waitForFinished();
}

// After a command of this window changed the history: the history read again, the whole of it as
// the search range.
void HistoryCommands::historyChangedHere() {
    m_session.reload();
    m_searchPanel.showWholeRange();
}

void HistoryCommands::showLastAndNextIssue() {
    m_historyPanel.showNextIssue();
    m_searchPanel.showLastIssue();
}

// ---------------------------------------------------------------- text import

void HistoryCommands::importHistoryFile() {
    if (!m_session.canChange()) return;
    if (!m_prompter.askOkCancel(
            "读入历史",
            "确实要读入最新历史号码吗？点击'确认'读入,点击'取消'放弃该操作。确要读入请保证安装目录下存在历史号码的"
            "文本文件文件。读取时可能要花费一段时间,请耐心等候！"))
        return;
    const QString dir = m_session.dataFile("历史号码");
    QDir().mkpath(dir);
    const QString file = m_prompter.askOpenFile(dir, "历史号码文本 (*.txt)");
    if (!file.endsWith("txt", Qt::CaseInsensitive)) {
        showLastAndNextIssue();
        if (!file.isEmpty()) emit statusMessage(QString("「%1」不是 txt 文件，未读入").arg(QFileInfo(file).fileName()));
        return;
    }

    ImportResult res;
    {
        BusyCursor wait;
        QProgressDialog progress("正在读入历史号码…", "取消", 0, 1000, &m_window);
        progress.setObjectName("ImportProgress");
        progress.setWindowTitle("读入历史");
        progress.setWindowModality(Qt::WindowModal);
        progress.setMinimumDuration(400);
        progress.setAutoClose(false);
        bool asked = false;
        // The file replaces the whole history: a file that would shrink it, or that has nothing in
        // common with it, is confirmed first, with 取消 as the default answer.
        auto confirm = [this, &progress, &asked](const std::vector<IssueDice>& draws) {
            ImportComparison c = compareImport(m_session.store(), draws);
            c.runningNumbers = m_session.runningNumbers();
            if (!c.askFirst()) return true;
            asked = true;
            progress.hide();
            return m_prompter.askOkCancel("读入历史", QString::fromStdString(c.question()), true);
        };
        try {
            res = k3::importHistoryFile(
                m_session.store(), QFile::encodeName(file).toStdString(), m_session.segmentBase(),
                [&progress](size_t done, size_t total) {
                    progress.setValue(total ? static_cast<int>(done * 900 / total) : 900);
                    return !progress.wasCanceled();
                },
                confirm);
        } catch (const ImportError& e) {
            emit statusMessage(qe(e) + "，历史号码未作改动");
            m_prompter.tell("读入历史", qe(e) + "，历史号码未作改动。");
            return;
        } catch (const std::exception& e) {
            const QString msg = QString("读入失败，历史号码未作改动: %1").arg(qe(e));
            emit statusMessage(msg);
            m_prompter.tell("读入历史", msg);
            return;
        }
        if (!asked) progress.setValue(1000);
    }
    if (res.cancelled) {
        emit statusMessage("已取消读入，历史号码未作改动");
        return;
    }
    if (!res.refused) historyChangedHere();
    m_skippedLines.clear();
    for (const SkippedLine& s : res.skipped)
        m_skippedLines << QString("%1\t%2").arg(s.number).arg(
            QString::fromUtf8(s.text.data(), static_cast<qsizetype>(s.text.size())));
    if (res.skippedCount > res.skipped.size())
        m_skippedLines << QString("…（另有 %1 行未列出）").arg(res.skippedCount - res.skipped.size());
    m_skippedDetailsButton->setVisible(res.skippedCount > 0);
    if (res.refused) {
        const QString msg = QString("文件中的 %1 行都不是号码，历史号码未作改动（点“详情”查看）").arg(res.skippedCount);
        emit statusMessage(msg);
        m_prompter.tell("读入历史", msg);
        return;
    }
    emit statusMessage(
        res.skippedCount == 0
            ? QString("已读入 %1 期历史号码").arg(res.stored)
            : QString("已读入 %1 期历史号码，跳过 %2 行（点“详情”查看）").arg(res.stored).arg(res.skippedCount));
}

void HistoryCommands::showSkippedLines() {
    if (!m_skippedLinesView) {
        m_skippedLinesView = new QDialog(&m_window);
        m_skippedLinesView->setObjectName("SkippedLinesView");
        m_skippedLinesView->setWindowTitle("跳过的行");
        auto* layout = new QVBoxLayout(m_skippedLinesView);
        auto* text = new QPlainTextEdit(m_skippedLinesView);
        text->setObjectName("SkippedLinesText");
        text->setReadOnly(true);
        text->setLineWrapMode(QPlainTextEdit::NoWrap);
        layout->addWidget(text);
        m_skippedLinesView->resize(520, 420);
    }
    m_skippedLinesView->findChild<QPlainTextEdit*>("SkippedLinesText")
        ->setPlainText("行号\t内容\n" + m_skippedLines.join('\n'));
    m_skippedLinesView->show();
    m_skippedLinesView->raise();
}

// ---------------------------------------------------------------- online update

void HistoryCommands::startOnlineUpdate() {
    if (!m_session.canChange() || m_updateWatcher->isRunning()) return;
    // The address the program ships with is a placeholder: the player must name a page first.
    if (!m_session.updateUrlSet()) {
        m_prompter.tell("历史号在线更新",
                        "还没有设置历史号码的更新地址，无法在线更新。\n\n请在接下来的“更新地址设置”中填写列出开奖号码"
                        "的网页的地址（以后可在“设置”菜单中修改）。");
        if (!askUpdateAddress()) {
            emit statusMessage("没有设置更新地址，未在线更新");
            return;
        }
    }
    if (!m_prompter.askOkCancel(
            "读入历史",
            "确实要在线更新最新历史号码吗？更新可能要花费一段时间，网络不通或者我方服务器更新不及时可"
            "能都造成更新失败！"))
        return;
    const QDate d = QDate::currentDate();
    const std::chrono::year_month_day today{std::chrono::year{d.year()},
                                            std::chrono::month{static_cast<unsigned>(d.month())},
                                            std::chrono::day{static_cast<unsigned>(d.day())}};
    UpdateRequest request = m_session.updateRequest(today, kUpdateTimeLimitSeconds);
    UpdatePlan plan;
    try {
        plan = planRequest(m_session.store(), request);
    } catch (const std::exception& e) {
        emit statusMessage(QString("无法读取历史号码: %1").arg(qe(e)));
        return;
    }

    emit updateRunningChanged(true);
    m_updateCancel = std::make_shared<std::atomic<bool>>(false);
    request.cancel = m_updateCancel.get();
    m_updateProgress = new QProgressDialog(QString("正在取得 %1 …").arg(q(plan.url)), "取消", 0, 0, &m_window);
    m_updateProgress->setObjectName("UpdateProgress");
    m_updateProgress->setWindowTitle("历史号在线更新");
    m_updateProgress->setWindowModality(Qt::NonModal);
    m_updateProgress->setMinimumDuration(0);
    m_updateProgress->setAutoClose(false);
    m_updateProgress->setAutoReset(false);
    connect(m_updateProgress, &QProgressDialog::canceled, this, [cancel = m_updateCancel] { *cancel = true; });
    m_updateProgress->show();
    emit statusMessage(QString("正在在线更新: %1").arg(q(plan.url)));

    // The fetch and the parse run on a worker thread with copies of what they need; the store is
    // touched on this thread only, when the watcher reports the result.
    m_updateWatcher->setFuture(QtConcurrent::run([plan, request, keepAlive = m_updateCancel]() {
        FetchOutcome out;
        try {
            out.fetched = fetchUpdate(plan, request);
        } catch (const UpdateCancelled&) {
            out.cancelled = true;
        } catch (const std::exception& e) {
            out.error = e.what();
        }
        return out;
    }));
}

void HistoryCommands::finishOnlineUpdate() {
    const FetchOutcome out = m_updateWatcher->result();
    if (m_updateProgress) m_updateProgress->deleteLater();
    emit updateRunningChanged(false);
    const UpdatePlan& plan = out.fetched.plan;
    QString msg;
    const QString cancelled = "已取消在线更新，历史号码未作改动";
    if (out.cancelled || (m_updateCancel && *m_updateCancel)) {
        // A cancel that came after the page was read still stores nothing.
        msg = cancelled;
    } else if (!out.error.empty()) {
        msg = QString("在线更新失败，历史号码未作改动：%1").arg(QString::fromUtf8(out.error.c_str()));
    } else if (out.fetched.draws.empty()) {
        msg = plan.start ? QString("没有新的历史号码：页面中没有期号 %1 到 %2 的号码，历史号码未作改动")
                               .arg(*plan.start)
                               .arg(plan.end)
                         : QString("没有新的历史号码：页面中没有找到“开奖时间”之后的期号，历史号码未作改动");
    } else {
        try {
            UpdateOutcome r = applyUpdate(m_session.store(), plan, out.fetched.draws, m_updateCancel.get());
            historyChangedHere();
            msg = QString("在线更新完成：新增 %1 期").arg(r.added);
            if (r.removed) msg += QString("，删除 %1 年以前的 %2 期").arg(plan.years).arg(r.removed);
        } catch (const UpdateCancelled&) {
            msg = cancelled;
        } catch (const std::exception& e) {
            msg = QString("保存更新失败，历史号码未作改动：%1").arg(qe(e));
        }
    }
    emit statusMessage(msg);
    m_prompter.tell("历史号在线更新", msg);
}

bool HistoryCommands::askUpdateAddress() {
    const Province& lottery = m_session.lottery();
    const QString code = QString::fromUtf8(lottery.code);
    const QString prompt =
        QString(
            "请输入历史号码的更新地址，即列出开奖号码的网页的地址。地址中的 {code} 会换成彩种代码，{n} 会换成要取的期数"
            "（天数×每天期数）。\n\n例如地址 http://www.example.com/kaijiang/{code}.html?n={n}：%1（代码 %2，每天 %3 "
            "期）更新三天的号码时，取的是 "
            "http://www.example.com/kaijiang/%2.html?n=%4。\n\n也可以先把开奖网页另存到本机，"
            "再填它的 file: 地址，例如 %5。\n\n可用 http、https 或 file 地址；留空则清除已设置的地址。")
            .arg(QString::fromUtf8(lottery.caption), code)
            .arg(lottery.drawsPerDay)
            .arg(3 * lottery.drawsPerDay)
            .arg(QUrl::fromLocalFile(QDir::homePath() + "/" + code + ".html").toString());
    const QString preset = m_session.updateUrlSet() ? m_session.updateUrl() : QString();
    auto answer = m_prompter.askText("更新地址设置", prompt, preset);
    if (!answer) return false;
    const QString t = answer->trimmed();
    if (t.isEmpty()) {
        m_session.setUpdateUrl("");
        emit statusMessage("已清除更新地址，在线更新前请重新设置");
        return false;
    }
    const QString scheme = QUrl(q(expandUrl(t.toStdString(), "fj", 1))).scheme().toLower();
    if (scheme != "http" && scheme != "https" && scheme != "file") {
        m_prompter.tell("更新地址设置", QString("「%1」不是 http、https 或 file 地址，更新地址未改动。").arg(t));
        return false;
    }
    m_session.setUpdateUrl(t);
    emit statusMessage(QString("更新地址: %1").arg(t));
    return true;
}

// ---------------------------------------------------------------- trimming and compaction

void HistoryCommands::deleteNewestDraw() {
    if (!m_session.canChange()) return;
    try {
        BusyCursor wait;
        TrimResult r = k3::deleteNewestDraw(m_session.store());
        historyChangedHere();
        emit statusMessage(r.removed ? q(r.note.text) : QString("历史为空，没有可删除的号码"));
    } catch (const std::exception& e) {
        emit statusMessage(QString("删除失败，历史号码未作改动：%1").arg(qe(e)));
    }
    m_historyPanel.focusEntry();
}

// Asks for a whole number above 0 and runs a trimming command with it; any other answer changes nothing.
void HistoryCommands::trimWithAnswer(const QString& prompt, const QString& preset,
                                     const std::function<TrimResult(int64_t, const std::string&)>& trim) {
    if (!m_session.canChange()) return;
    auto answer = m_prompter.askText("删除期数", prompt, preset, true);
    if (!answer) return;
    auto n = parsePositiveAnswer(answer->toStdString());
    if (!n) {
        const QString msg = QString("「%1」不是大于0的整数，历史号码未作改动").arg(*answer);
        emit statusMessage(msg);
        m_prompter.tell("删除期数", msg);
        return;
    }
    try {
        BusyCursor wait;
        TrimResult r = trim(*n, m_session.dataFile(kBackupFileName).toStdString());
        historyChangedHere();
        emit statusMessage(q(r.note.text));
    } catch (const std::exception& e) {
        emit statusMessage(qe(e));
        m_prompter.tell("删除期数", qe(e));
    }
}

void HistoryCommands::deleteToIssue() {
    if (!m_session.canChange()) return;
    m_session.catchUp();
    const auto& snap = m_session.snapshot();
    const QString preset =
        snap->empty()
            ? QString()
            : QString::fromStdString(issueText(int64_t{snap->rows.back().sqqh} - 1, m_session.runningNumbers()));
    trimWithAnswer("请输入需要删除到的期数", preset, [this](int64_t k, const std::string& backup) {
        return deleteAfterIssue(m_session.store(), k, backup, m_session.segmentBase());
    });
}

void HistoryCommands::deleteLastDraws() {
    trimWithAnswer("请输入需要删除最后多少期历史号码（例如输入3，那么就将删除最后的3期历史号码）", "1",
                   [this](int64_t n, const std::string& backup) {
                       return k3::deleteLastDraws(m_session.store(), n, backup, m_session.segmentBase());
                   });
}

void HistoryCommands::clearHistory() {
    if (!m_session.canChange()) return;
    if (!m_prompter.askOkCancel("确认清空", "确定要清空所有的历史号码吗？", true)) return;
    try {
        size_t n = k3::clearHistory(m_session.store());
        historyChangedHere();
        emit statusMessage(QString("已清空历史号码（%1 期）").arg(n));
    } catch (const std::exception& e) {
        emit statusMessage(QString("清空失败，历史号码未作改动：%1").arg(qe(e)));
    }
}

// ---------------------------------------------------------------- export

void HistoryCommands::exportHistoryText() {
    m_session.catchUp();
    try {
        auto r = k3::exportHistoryText(*m_session.snapshot(), m_session.runningNumbers(),
                                       QFile::encodeName(m_session.dataDir()).toStdString());
        if (!r) {
            emit statusMessage("历史为空，没有导出文本文件");
            m_prompter.tell("导出历史号码", "历史为空，没有导出文本文件。");
            return;
        }
        const QString path = QFile::decodeName(QByteArray::fromStdString(r->path));
        QString msg = QString("已导出 %1 期历史号码到 %2").arg(r->lines).arg(path);
        if (r->shortIssues) msg += QString("（其中 %1 期的期号不是九位数字，读入时不会被读回）").arg(r->shortIssues);
        emit statusMessage(openedOrSaid(path, msg));
    } catch (const std::exception& e) {
        emit statusMessage(qe(e));
        m_prompter.tell("导出历史号码", qe(e));
    }
}

// Writes a grid to a workbook in the data folder and opens it; a failure is told and the program goes on.
void HistoryCommands::exportGrid(const Grid& grid, const char* fileName) {
    const QString path = m_session.dataFile(fileName);
    try {
        writeWorkbook(grid, QFile::encodeName(path).toStdString());
    } catch (const std::exception& e) {
        emit statusMessage(qe(e));
        m_prompter.tell("导出到工作簿", qe(e));
        return;
    }
    emit statusMessage(openedOrSaid(path, QString("已导出 %1 行到 %2").arg(grid.rowCount()).arg(path)));
}

// Opens a written file with the desktop's program for it; the report of the export, which also says
// so when no program could open the file.
QString HistoryCommands::openedOrSaid(const QString& path, const QString& report) {
    if (m_prompter.openUrl(QUrl::fromLocalFile(path))) return report;
    return report + "；本机没有可以打开此文件的程序，请到上述位置自行打开";
}

void HistoryCommands::exportHistoryWorkbook() {
    BusyCursor wait;
    m_session.catchUp();
    m_historyPanel.setGridVisible(false);
    exportGrid(historyGrid(*m_session.snapshot(), m_session.runningNumbers()), "lishi.xlsx");
    m_historyPanel.setGridVisible(true);
}

void HistoryCommands::exportHistoryGrid() {
    m_session.catchUp();
    exportGrid(historyGrid(*m_session.snapshot(), m_session.runningNumbers()), "lishi.xlsx");
}

void HistoryCommands::exportMatches() { exportGrid(m_resultPanel.matches(), "Jiansuo.xlsx"); }
void HistoryCommands::exportSummary() { exportGrid(m_resultPanel.summary(), "Jieguo.xlsx"); }

}  // namespace k3
