#include "history_commands.h"

#include <QDate>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

#include "export/history_text.h"
#include "export/workbook.h"
#include "history/import_check.h"
#include "history/player_file.h"
#include "history/text_import.h"
#include "history/trimming.h"
#include "history_session.h"
#include "import_preview.h"
#include "object_names.h"
#include "open_failure.h"
#include "prompter.h"
#include "search/grids.h"
#include "settings/settings.h"
#include "store/history_files.h"
#include "store/issue.h"
#include "translation.h"
#include "window_fit.h"

namespace k3 {

// What the reading of an import file found, for the question and the storing that follow it.
struct ReadImport {
    PlayerFile file;
    ImportComparison comparison;
    bool cancelled = false;
    QString database;  // the history it was compared with
};

namespace {

// A deleting command ended by its question's 取消.
const char* const kNothingDeleted = "未删除任何号码";

QString q(const std::string& s) { return QString::fromStdString(s); }

// The endings the import dialog offers; any other name is not read.
bool importableName(const QString& file) {
    for (const char* ending : {"txt", "csv", "xlsx", "xls"})
        if (file.endsWith(ending, Qt::CaseInsensitive)) return true;
    return false;
}

}  // namespace

HistoryCommands::HistoryCommands(HistorySession& session, Prompter& prompter, QWidget* parent)
    : QObject(parent), m_session(session), m_prompter(prompter) {
    m_skippedDetailsButton = new QPushButton("详情", parent);
    m_skippedDetailsButton->setObjectName(names::kSkippedDetailsButton);
    m_skippedDetailsButton->setFlat(true);
    m_skippedDetailsButton->hide();
    connect(m_skippedDetailsButton, &QPushButton::clicked, this, &HistoryCommands::showSkippedLines);
}

HistoryCommands::~HistoryCommands() {
    if (m_running) m_running->cancel();
}

QWidget* HistoryCommands::window() const { return qobject_cast<QWidget*>(parent()); }

bool HistoryCommands::refuseWhileBusy() {
    if (!m_session.commandRunning()) return false;
    emit statusMessage("另一个命令正在进行，请等它结束后再试");
    return true;
}

bool HistoryCommands::beginCommand() {
    if (refuseWhileBusy()) return false;
    m_session.setCommandRunning(true);
    return true;
}

void HistoryCommands::endCommand() {
    m_running.reset();
    m_session.setCommandRunning(false);
}

std::function<std::unique_ptr<HistoryStore>()> HistoryCommands::commandStoreOpener() {
    return m_session.workerStoreOpener(true);
}

void HistoryCommands::showChanged(std::shared_ptr<const Snapshot> changed, bool readFailed) {
    if (changed)
        m_session.adopt(std::move(changed));
    else if (readFailed)
        m_session.reload();
}

// ---------------------------------------------------------------- text import

// The file is read in the background; then, with no progress box up, the question whether it may
// replace the history; then the storing, again in the background.
void HistoryCommands::importHistoryFile() {
    if (!m_session.canChange() || refuseWhileBusy()) return;
    if (!m_prompter.askOkCancel(
            "读入历史",
            "确实要读入最新历史号码吗？点击'确认'读入,点击'取消'放弃该操作。确要读入请保证安装目录下存在历史号码的"
            "文本文件文件。读取时可能要花费一段时间,请耐心等候！"))
        return;
    const QString dir = m_session.dataFile(kImportFolderName);
    QDir().mkpath(dir);
    const QString file = m_prompter.askOpenFile(dir, "历史号码文本 (*.txt);;表格 (*.csv *.xlsx *.xls);;所有文件 (*)");
    if (!importableName(file)) {
        m_session.showAgain();
        if (!file.isEmpty())
            emit statusMessage(
                QString("「%1」不是 txt、csv、xlsx 或 xls 文件，未读入").arg(QFileInfo(file).fileName()));
        return;
    }
    const std::string path = QFile::encodeName(file).toStdString();
    const bool running = m_session.runningNumbers();
    const int lottery = m_session.lotteryIndex();
    runCommand(
        {"读入历史", "正在读取历史号码文件…", true},
        [path, running, lottery, database = m_session.databaseFile()](HistoryStore& store, TaskControl& control) {
            Stored<ReadImport> read;
            read.value.database = database;
            try {
                read.value.file =
                    readPlayerFile(path, {lottery,
                                          [&control](size_t done, size_t total) {
                                              control.setProgress(total ? static_cast<int>(done * 1000 / total) : 1000);
                                              return !control.cancelled();
                                          },
                                          folderOf(store.path())});
            } catch (const ImportCancelled&) {
                read.value.cancelled = true;
                return read;
            }
            read.value.comparison = compareImport(store, read.value.file.parsed.draws);
            read.value.comparison.runningNumbers = running;
            return read;
        },
        [this](TaskOutcome<ReadImport>& outcome) {
            if (outcome.failed()) {
                const QString msg = QString("读入失败，历史号码未作改动: %1").arg(outcome.errorText());
                emit statusMessage(msg);
                m_prompter.tell("读入历史", msg);
                return;
            }
            auto read = std::make_shared<ReadImport>(std::move(outcome.value()));
            if (read->cancelled) {
                emit statusMessage("已取消读入，历史号码未作改动");
                return;
            }
            const ParsedLines& p = read->file.parsed;
            if (p.draws.empty() && p.skippedCount > 0) {
                showSkipped(p.skipped, p.skippedCount);
                const QString msg =
                    QString("文件中的 %1 行都不是号码，历史号码未作改动（点“详情”查看）").arg(p.skippedCount);
                emit statusMessage(msg);
                m_prompter.tell("读入历史", msg);
                return;
            }
            // The file replaces the whole history: what it was read as and what it holds are shown first,
            // with 取消 as the default answer.
            if (!m_prompter.confirmImport(
                    makeImportPreview(read->file, read->comparison, m_session.runningNumbers()))) {
                emit statusMessage("已取消读入，历史号码未作改动");
                return;
            }
            storeImport(read);
        });
}

void HistoryCommands::storeImport(std::shared_ptr<ReadImport> read) {
    // The file goes into the history it was read for, never into another province's.
    if (read->database != m_session.databaseFile()) {
        emit statusMessage("彩种已切换，未读入，历史号码未作改动");
        return;
    }
    const int segBase = m_session.segmentBase();
    ParsedLines& parsed = read->file.parsed;
    const size_t count = parsed.draws.size();
    // The draws move to the task; the report of skipped lines stays here.
    auto skipped = std::make_shared<std::vector<SkippedLine>>(std::move(parsed.skipped));
    const size_t skippedCount = parsed.skippedCount;
    auto draws = std::make_shared<std::vector<IssueDice>>(std::move(parsed.draws));
    runCommand(
        {"读入历史", "正在保存历史号码…", true},
        [draws, segBase](HistoryStore& store, TaskControl& control) {
            if (control.cancelled()) throw ImportCancelled();
            store.replaceHistory(std::move(*draws), segBase);
            return Stored<NoValue>{{}, true};
        },
        [this, count, skipped, skippedCount](TaskOutcome<NoValue>& outcome) {
            if (outcome.failed()) {
                if (outcome.cancelled()) {
                    emit statusMessage("已取消读入，历史号码未作改动");
                    return;
                }
                const QString msg = QString("读入失败，历史号码未作改动: %1").arg(outcome.errorText());
                emit statusMessage(msg);
                m_prompter.tell("读入历史", msg);
                return;
            }
            showSkipped(*skipped, skippedCount);
            emit statusMessage(
                skippedCount == 0
                    ? QString("已读入 %1 期历史号码").arg(count)
                    : QString("已读入 %1 期历史号码，跳过 %2 行（点“详情”查看）").arg(count).arg(skippedCount));
        });
}

void HistoryCommands::showSkipped(const std::vector<SkippedLine>& skipped, size_t count) {
    m_skippedLines.clear();
    for (const SkippedLine& s : skipped)
        m_skippedLines << QString("%1\t%2").arg(s.number).arg(
            QString::fromUtf8(s.text.data(), static_cast<qsizetype>(s.text.size())));
    if (count > skipped.size()) m_skippedLines << QString("…（另有 %1 行未列出）").arg(count - skipped.size());
    m_skippedDetailsButton->setVisible(count > 0);
}

void HistoryCommands::showSkippedLines() {
    if (!m_skippedLinesView) {
        m_skippedLinesView = new QDialog(window());
        m_skippedLinesView->setObjectName(names::kSkippedLinesView);
        m_skippedLinesView->setWindowTitle("跳过的行");
        auto* layout = new QVBoxLayout(m_skippedLinesView);
        auto* text = new QPlainTextEdit(m_skippedLinesView);
        text->setObjectName(names::kSkippedLinesText);
        text->setReadOnly(true);
        text->setLineWrapMode(QPlainTextEdit::NoWrap);
        layout->addWidget(text);
        // Closed by its 关闭 button or Esc (the dialog's own key), as every other box of the window.
        auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, m_skippedLinesView);
        chineseButtons(*buttons);
        connect(buttons, &QDialogButtonBox::rejected, m_skippedLinesView, &QDialog::reject);
        layout->addWidget(buttons);
        fitWindowIntoItsScreen(*m_skippedLinesView, {520, 420});
    }
    auto* text = m_skippedLinesView->findChild<QPlainTextEdit*>(names::kSkippedLinesText);
    text->setPlainText("行号\t内容\n" + m_skippedLines.join('\n'));
    m_skippedLinesView->show();
    m_skippedLinesView->raise();
    // Active, with the list focused: the keys typed next (the arrows, Esc) go to it.
    m_skippedLinesView->activateWindow();
    text->setFocus();
}

// ---------------------------------------------------------------- trimming and compaction

void HistoryCommands::deleteNewestDraw() {
    if (!m_session.canChange() || refuseWhileBusy()) return;
    runCommand(
        {"删除最后历史", "正在删除最后一期历史号码…", true},
        [](HistoryStore& store, TaskControl&) {
            TrimResult result = k3::deleteNewestDraw(store);
            const bool removed = result.removed > 0;
            return Stored<TrimResult>{std::move(result), removed};
        },
        [this](TaskOutcome<TrimResult>& outcome) {
            if (outcome.failed()) {
                emit statusMessage(outcome.cancelled()
                                       ? QString("已取消删除，历史号码未作改动")
                                       : QString("删除失败，历史号码未作改动：%1").arg(outcome.errorText()));
            } else {
                const TrimResult& result = outcome.value();
                emit statusMessage(result.removed ? q(result.note.text) : QString("历史为空，没有可删除的号码"));
            }
            emit newestDeleted();
        });
}

// Asks for a whole number above 0 and runs a trimming command with it; any other answer changes nothing.
void HistoryCommands::trimWithAnswer(
    const QString& prompt, const QString& preset,
    const std::function<TrimResult(HistoryStore&, int64_t, const std::string&)>& trim) {
    if (!m_session.canChange() || refuseWhileBusy()) return;
    auto answer = m_prompter.askText("删除期数", prompt, preset, true);
    // Cancelled, or nothing typed: said, so that the player knows the history is whole.
    if (!answer || answer->trimmed().isEmpty()) {
        emit statusMessage(kNothingDeleted);
        return;
    }
    auto n = parsePositiveAnswer(answer->toStdString());
    if (!n) {
        const QString msg = QString("「%1」不是大于0的整数，历史号码未作改动").arg(*answer);
        emit statusMessage(msg);
        m_prompter.tell("删除期数", msg);
        return;
    }
    const std::string backup = m_session.backupFile().toStdString();
    runCommand(
        {"删除期数", "正在删除历史号码…", true},
        [trim, k = *n, backup](HistoryStore& store, TaskControl&) {
            return Stored<TrimResult>{trim(store, k, backup), true};
        },
        [this](TaskOutcome<TrimResult>& outcome) {
            if (outcome.failed()) {
                const QString msg = outcome.cancelled() ? QString("已取消删除，历史号码未作改动") : outcome.errorText();
                emit statusMessage(msg);
                if (!outcome.cancelled()) m_prompter.tell("删除期数", msg);
                return;
            }
            emit statusMessage(q(outcome.value().note.text));
        });
}

void HistoryCommands::deleteToIssue() {
    if (!m_session.canChange() || refuseWhileBusy()) return;
    m_session.catchUp();
    const auto& snap = m_session.snapshot();
    const QString preset =
        snap->empty()
            ? QString()
            : QString::fromStdString(issueText(int64_t{snap->rows.back().sqqh} - 1, m_session.runningNumbers()));
    const int segBase = m_session.segmentBase();
    trimWithAnswer("请输入需要删除到的期数", preset,
                   [segBase](HistoryStore& store, int64_t k, const std::string& backup) {
                       return deleteAfterIssue(store, k, backup, segBase);
                   });
}

void HistoryCommands::deleteLastDraws() {
    const int segBase = m_session.segmentBase();
    trimWithAnswer("请输入需要删除最后多少期历史号码（例如输入3，那么就将删除最后的3期历史号码）", "1",
                   [segBase](HistoryStore& store, int64_t n, const std::string& backup) {
                       return k3::deleteLastDraws(store, n, backup, segBase);
                   });
}

void HistoryCommands::clearHistory() {
    if (!m_session.canChange() || refuseWhileBusy()) return;
    if (!m_prompter.askOkCancel("确认清空", "确定要清空所有的历史号码吗？", true)) {
        emit statusMessage(kNothingDeleted);
        return;
    }
    runCommand(
        {"清空历史号码", "正在清空历史号码…", true},
        [](HistoryStore& store, TaskControl&) {
            return Stored<size_t>{k3::clearHistory(store), true};
        },
        [this](TaskOutcome<size_t>& outcome) {
            if (outcome.failed()) {
                emit statusMessage(outcome.cancelled()
                                       ? QString("已取消清空，历史号码未作改动")
                                       : QString("清空失败，历史号码未作改动：%1").arg(outcome.errorText()));
                return;
            }
            emit statusMessage(QString("已清空历史号码（%1 期）").arg(outcome.value()));
        });
}

// ---------------------------------------------------------------- export

void HistoryCommands::exportHistoryText() {
    if (refuseWhileBusy()) return;
    m_session.catchUp();
    std::shared_ptr<const Snapshot> snap = m_session.snapshot();
    const std::string dir = QFile::encodeName(m_session.dataDir()).toStdString();
    const bool running = m_session.runningNumbers();
    runTask(
        {"导出历史号码", "正在导出历史号码…", false},
        [snap, running, dir](TaskControl&) { return k3::exportHistoryText(*snap, running, dir); },
        [this](TaskOutcome<std::optional<TextExport>>& outcome) {
            if (outcome.failed()) {
                emit statusMessage(outcome.errorText());
                m_prompter.tell("导出历史号码", outcome.errorText());
                return;
            }
            const std::optional<TextExport>& written = outcome.value();
            if (!written) {
                emit statusMessage("历史为空，没有导出文本文件");
                m_prompter.tell("导出历史号码", "历史为空，没有导出文本文件。");
                return;
            }
            const TextExport& r = *written;
            const QString path = QFile::decodeName(QByteArray::fromStdString(r.path));
            const QString note = r.shortIssues
                                     ? QString("，其中 %1 期的期号不是九位数字，读入时不会被读回").arg(r.shortIssues)
                                     : QString();
            emit statusMessage(openedOrSaid(path, QString("已导出 %1 期历史号码").arg(r.lines), note));
        });
}

// Makes a grid and writes it to a workbook in the data folder in the background, then opens it; a
// failure is told and the program goes on.
void HistoryCommands::exportGrid(std::function<Grid()> makeGrid, const char* fileName) {
    if (refuseWhileBusy()) return;
    const QString path = m_session.dataFile(fileName);
    const std::string file = QFile::encodeName(path).toStdString();
    const std::string dataDir = QFile::encodeName(m_session.dataDir()).toStdString();
    runTask(
        {"导出到工作簿", QString("正在导出 %1 …").arg(fileName), false},
        [makeGrid = std::move(makeGrid), file, dataDir](TaskControl&) {
            const Grid grid = makeGrid();
            writeWorkbook(grid, file, dataDir);
            return grid.rowCount();
        },
        [this, path](TaskOutcome<size_t>& outcome) {
            if (outcome.failed()) {
                emit statusMessage(outcome.errorText());
                m_prompter.tell("导出到工作簿", outcome.errorText());
                return;
            }
            emit statusMessage(openedOrSaid(path, QString("已导出 %1 行").arg(outcome.value())));
        });
}

// Opens a written file with the desktop's program for it; the report of the export ("已导出 … 到 PATH",
// then the note), or, when no program could open the file, that first.
QString HistoryCommands::openedOrSaid(const QString& path, const QString& done, const QString& note) {
    if (m_prompter.openUrl(QUrl::fromLocalFile(path))) return QString("%1到 %2%3").arg(done, path, note);
    return notOpenedText(path, done + note);
}

void HistoryCommands::exportHistoryWorkbook() {
    m_session.catchUp();
    std::shared_ptr<const Snapshot> snap = m_session.snapshot();
    const bool running = m_session.runningNumbers();
    exportGrid([snap, running] { return historyGrid(*snap, running); }, "lishi.xlsx");
}

void HistoryCommands::exportMatches(std::shared_ptr<const Grid> grid) {
    exportGrid([grid] { return *grid; }, "Jiansuo.xlsx");
}

void HistoryCommands::exportSummary(std::shared_ptr<const Grid> grid) {
    exportGrid([grid] { return *grid; }, "Jieguo.xlsx");
}

// ---------------------------------------------------------------- group calculation

void HistoryCommands::calculateGroups(const GroupInput& in, std::function<void(TaskOutcome<GroupCalculation>&)> done) {
    if (refuseWhileBusy()) return;
    std::shared_ptr<const Snapshot> snap = m_session.snapshot();
    auto openStore = m_session.workerStoreOpener();
    m_session.setCommandRunning(true);
    m_running = runWithProgress(
        this, window(), {"分组计算", "正在分组计算…", false},
        [snap, openStore, in](TaskControl&) {
            std::unique_ptr<HistoryStore> store = openStore();
            return runGroupCalculation(*store, *snap, in);
        },
        [this, done = std::move(done)](TaskOutcome<GroupCalculation>& outcome) {
            m_running.reset();
            m_session.setCommandRunning(false);
            done(outcome);
        });
}

}  // namespace k3
