#include "main_window.h"

#include <QAction>
#include <QCursor>
#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTimer>
#include <QVBoxLayout>

#include "background_task.h"
#include "busy_cursor.h"
#include "file_dialog.h"
#include "grid_view.h"
#include "group_panel.h"
#include "groups/group_calc.h"
#include "history_commands.h"
#include "history_panel.h"
#include "history_session.h"
#include "main_menus.h"
#include "object_names.h"
#include "overview/gap_series.h"
#include "overview/overview.h"
#include "overview_window.h"
#include "prompter.h"
#include "result_panel.h"
#include "search/result_memory.h"
#include "search/search.h"
#include "search_panel.h"
#include "stats_windows.h"
#include "store/issue.h"
#include "trend_window.h"

namespace k3 {

namespace {

QString q(const std::string& s) { return QString::fromStdString(s); }
QString qe(const std::exception& e) { return QString::fromUtf8(e.what()); }

}  // namespace

MainWindow::MainWindow(const AppContext& ctx, Prompter* prompter, QWidget* parent)
    : QMainWindow(parent), m_startNote(ctx.startNote) {
    setObjectName(names::kMainWindow);
    keepResultMemory();
    m_session = new HistorySession(ctx.dataDir, ctx.settingsFile, this);
    m_openFileDialog = makeFileDialog(this, names::kOpenFileDialog, m_session->dataFile(kImportFolderName));
    m_openFileDialog->setFileMode(QFileDialog::ExistingFile);
    if (!prompter) {
        m_ownPrompter = std::make_unique<DialogPrompter>(this, m_openFileDialog);
        prompter = m_ownPrompter.get();
    }
    m_prompter = prompter;

    buildMenus();
    buildPanels();
    connectPanels();
    startUp();
}

MainWindow::~MainWindow() = default;

void MainWindow::showStatus(const QString& text) {
    m_statusText = text;
    statusBar()->showMessage(text);
}

// A menu entry under the pointer shows its status tip, and leaving it sends an empty one, which would
// wipe the last result: the result comes back instead.
bool MainWindow::event(QEvent* e) {
    if (e->type() == QEvent::StatusTip) {
        const QString tip = static_cast<QStatusTipEvent*>(e)->tip();
        statusBar()->showMessage(tip.isEmpty() ? m_statusText : tip);
        return true;
    }
    return QMainWindow::event(e);
}

// ---------------------------------------------------------------- construction

void MainWindow::buildPanels() {
    // The panels scroll as one when the window is smaller than they need (a small or scaled screen);
    // menus and status bar stay in view.
    m_scrollArea = new QScrollArea(this);
    m_scrollArea->setObjectName("scrollPanels");
    m_scrollArea->setWidgetResizable(true);
    m_scrollArea->setFrameShape(QFrame::NoFrame);
    auto* central = new QWidget(m_scrollArea);
    central->setObjectName("panels");
    m_scrollArea->setWidget(central);
    setCentralWidget(m_scrollArea);
    setStatusBar(new QStatusBar(this));
    m_wheel = new OneRowWheel(this);
    m_historyPanel = new HistoryPanel(*m_session, *m_prompter, *m_wheel, central);
    m_searchPanel = new SearchPanel(*m_session, central);
    m_groupPanel = new GroupPanel(*m_session, central);
    m_resultPanel = new ResultPanel(*m_wheel, central);
    m_historyCommands = new HistoryCommands(*m_session, *m_prompter, this);
    statusBar()->addPermanentWidget(m_historyCommands->skippedDetailsButton());
    m_provinceLabel = new QLabel(statusBar());
    m_provinceLabel->setObjectName(names::kProvinceLabel);
    statusBar()->addPermanentWidget(m_provinceLabel);

    auto* right = new QVBoxLayout;
    right->addWidget(m_searchPanel);
    right->addWidget(m_groupPanel);
    right->addWidget(m_resultPanel, 1);
    auto* main = new QHBoxLayout(central);
    main->addWidget(m_historyPanel, 0);
    main->addLayout(right, 1);
    if (QScreen* s = screen()) fitInto(s->availableGeometry());
}

// The preferred size where the screen's free area holds it, else that area less the room a window
// manager's frame takes; centred in the area.
void MainWindow::fitInto(const QRect& available) { fitWindowInto(*this, kPreferredSize, available); }

QScrollArea* MainWindow::panelsArea() const { return m_scrollArea; }

void MainWindow::connectPanels() {
    HistoryCommands* commands = m_historyCommands;
    connect(m_historyPanel, &HistoryPanel::updateRequested, commands, &HistoryCommands::startOnlineUpdate);
    connect(m_historyPanel, &HistoryPanel::importRequested, commands, &HistoryCommands::importHistoryFile);
    connect(m_historyPanel, &HistoryPanel::deleteNewestRequested, commands, &HistoryCommands::deleteNewestDraw);
    connect(m_historyPanel, &HistoryPanel::exportTextRequested, commands, &HistoryCommands::exportHistoryText);
    connect(m_historyPanel, &HistoryPanel::gridExportRequested, commands, &HistoryCommands::exportHistoryWorkbook);
    connect(m_historyPanel, &HistoryPanel::settingsMenuRequested, this,
            [this] { m_menus->settings->popup(QCursor::pos()); });
    connect(m_historyPanel, &HistoryPanel::historyMenuRequested, m_menus->history,
            [this](const QPoint& at) { m_menus->history->popup(at); });
    connect(m_historyPanel, &HistoryPanel::drawTyped, this, &MainWindow::followTypedDraw);
    connect(m_menus->exportHistory, &QAction::triggered, commands, &HistoryCommands::exportHistoryWorkbook);
    connect(m_menus->deleteNewest, &QAction::triggered, commands, &HistoryCommands::deleteNewestDraw);
    connect(m_menus->clearHistory, &QAction::triggered, commands, &HistoryCommands::clearHistory);
    connect(m_menus->deleteToIssue, &QAction::triggered, commands, &HistoryCommands::deleteToIssue);
    connect(m_menus->deleteLast, &QAction::triggered, commands, &HistoryCommands::deleteLastDraws);
    connect(m_menus->updateAddress, &QAction::triggered, commands, &HistoryCommands::askUpdateAddress);
    connect(commands, &HistoryCommands::newestDeleted, m_historyPanel, &HistoryPanel::focusEntry);
    connect(m_session, &HistorySession::commandRunningChanged, this, &MainWindow::refreshHistoryCommands);
    connect(m_session, &HistorySession::accessChanged, this, &MainWindow::applyAccess);
    connect(m_session, &HistorySession::provinceChanged, this, &MainWindow::followProvince);
    connect(m_session, &HistorySession::switchFailed, this, &MainWindow::provinceNotOpened);

    connect(m_searchPanel, &SearchPanel::searchRequested, this, &MainWindow::search);
    connect(m_searchPanel, &SearchPanel::partialSearchRequested, this, &MainWindow::partialSearch);
    connect(m_groupPanel, &GroupPanel::calculationRequested, this, &MainWindow::calculateGroups);
    connect(m_resultPanel, &ResultPanel::summaryColumnClicked, this, &MainWindow::sortGroups);
    connect(m_resultPanel, &ResultPanel::matchesExportRequested, commands,
            [this] { m_historyCommands->exportMatches(std::make_shared<const Grid>(m_resultPanel->matches())); });
    connect(m_resultPanel, &ResultPanel::summaryExportRequested, commands,
            [this] { m_historyCommands->exportSummary(std::make_shared<const Grid>(m_resultPanel->summary())); });

    connect(m_historyPanel, &HistoryPanel::statusMessage, this, &MainWindow::showStatus);
    connect(m_searchPanel, &SearchPanel::statusMessage, this, &MainWindow::showStatus);
    connect(commands, &HistoryCommands::statusMessage, this, &MainWindow::showStatus);
    connect(m_session, &HistorySession::readFailed, this, &MainWindow::showStatus);
    connect(m_session, &HistorySession::historyChanged, this, &MainWindow::refreshAnalysesSoon);
    connect(m_searchPanel, &SearchPanel::rangeChanged, this, &MainWindow::refreshAnalysesSoon);
    connect(m_session, &HistorySession::historyChanged, this, &MainWindow::followWatch);
    connect(m_searchPanel, &SearchPanel::watchRequested, this, &MainWindow::watchSearch);
}

void MainWindow::startUp() {
    m_menus->tickLottery(m_session->lotteryIndex());
    m_menus->tickSegmentBase(m_session->segmentBase());
    showProvince();
    if (m_startNote.isEmpty())
        showHistoryCount();
    else
        showStatus(m_startNote);
    applyAccess();
    // After the window has been shown: the other provinces' histories are read in the background.
    QTimer::singleShot(0, this, &MainWindow::startWatch);
}

void MainWindow::showHistoryCount(const QString& prefix) {
    const auto& snap = m_session->snapshot();
    // An empty history: the ways to get draws in.
    showStatus(prefix + (snap->empty() ? QString("历史数据库中还没有号码：点“读取历史号文本”或“历史号在线更新”读入，"
                                                 "或在左下方填好期号后输入最新一期的三个号码")
                                       : QString("共 %1 期历史号码").arg(snap->size())));
}

void MainWindow::applyAccess() {
    const bool open = m_session->isOpen();
    m_historyPanel->setAllCommandsEnabled(open);
    m_searchPanel->setSearchEnabled(open);
    m_menus->exportHistory->setEnabled(open);
    refreshHistoryCommands();

    const HistoryAccess access = m_session->access();
    if (m_shownAccess == access) return;
    const bool openedAfterWait = m_shownAccess == HistoryAccess::kWaiting && open;
    m_shownAccess = access;
    if (openedAfterWait) showHistoryCount();  // the panels follow the history the session read
    const QString why = m_session->accessMessage();
    switch (access) {
        case HistoryAccess::kClosed:
            showStatus(why);
            // Told once the window is up.
            QTimer::singleShot(0, this, [this, why] { m_prompter->tell("数据库错误", why); });
            break;
        case HistoryAccess::kWaiting:
        case HistoryAccess::kReadOnly: showStatus(why); break;
        case HistoryAccess::kDamaged:
            showStatus(why);
            // Damage of the history's rules leaves nothing in view: every omission of it would be wrong.
            m_prompter->tell(
                "历史数据库已损坏",
                why +
                    QString(m_session->damageHidesHistory()
                                ? "。\n\n其中的号码不能显示和分析，也不能改动。要重新读入历史号码："
                                : "。\n\n历史号码仍可查看、检索、分析和导出，但不能改动。要重新读入历史号码：") +
                    QString("先关闭本程序，把 %1 改名或移走，再启动本程序（会新建一个空的历史数据库），"
                            "然后点“读取历史号文本”。")
                        .arg(QDir::toNativeSeparators(m_session->databaseFile())));
            break;
        case HistoryAccess::kChecking:
        case HistoryAccess::kWritable: break;
    }
}

void MainWindow::refreshHistoryCommands() {
    const bool can = !m_session->commandRunning() && m_session->canChange();
    m_historyPanel->setHistoryCommandsEnabled(can);
    m_groupPanel->setCalculationEnabled(m_session->isOpen() && !m_session->commandRunning());
    for (QAction* a : m_menus->historyChangingActions()) a->setEnabled(can);
    // Another province's history is chosen between commands.
    m_menus->setLotteryEnabled(!m_session->commandRunning());
}

// A typed draw moves the end of the range past it.
void MainWindow::followTypedDraw(const DerivedDraw& draw) {
    m_searchPanel->setRangeEnd(int64_t{draw.sqqh} + 1);
    m_searchPanel->refreshFromActiveTab();
}

// ---------------------------------------------------------------- analyses

// A search that could not run: empty lists, no chart, and the reason.
void MainWindow::showSearchRefused(const AnalysisError& e) {
    m_resultPanel->showMatches(resultGridEmpty());
    m_resultPanel->showSummary(summaryGridEmpty());
    m_resultPanel->clearChart();
    showStatus(qe(e));
}

void MainWindow::search() {
    try {
        m_session->catchUp();
        const SearchInput in = m_searchPanel->searchInput();
        std::shared_ptr<const Snapshot> snap = m_session->snapshot();
        runAnalysis([snap, in] { return runSearch(*snap, in); }, theoreticalOmission(in, m_session->segmentBase()),
                    "检索失败：%1");
    } catch (const AnalysisError& e) {
        showSearchRefused(e);
    } catch (const std::exception& e) {
        showStatus(QString("检索失败：%1").arg(qe(e)));
    }
}

void MainWindow::partialSearch() {
    try {
        m_session->catchUp();
        const PartialInput in = m_searchPanel->partialInput();
        requireThreeValues(in);
        std::shared_ptr<const Snapshot> snap = m_session->snapshot();
        runAnalysis([snap, in] { return runPartialSearch(*snap, in); },
                    theoreticalOmission(in, m_session->segmentBase()), "分部检索失败：%1");
    } catch (const AnalysisError& e) {
        showSearchRefused(e);
    } catch (const std::exception& e) {
        showStatus(QString("分部检索失败：%1").arg(qe(e)));
    }
}

// A search and its chart are made in the background; only the newest search's outcome is shown.
void MainWindow::runAnalysis(std::function<SearchOutput()> analyse, std::optional<double> theoreticalOmission,
                             const QString& failure) {
    struct Found {
        SearchOutput out;
        std::optional<GapSeries> series;  // none for a search refused for its values
    };
    m_searches.run(
        [analyse = std::move(analyse), theoreticalOmission, running = m_session->runningNumbers()](TaskControl&) {
            Found found{analyse(), std::nullopt};
            if (!found.out.note.warning) {
                try {
                    found.series = gapSeriesOf(found.out, theoreticalOmission);
                    found.series->runningNumbers = running;
                } catch (const AnalysisError&) {
                }
            }
            return found;
        },
        [this, failure](TaskOutcome<Found>& outcome) {
            try {
                Found& found = outcome.value();
                if (found.series)
                    m_resultPanel->showChart(std::move(*found.series));
                else
                    m_resultPanel->clearChart();
                m_resultPanel->showMatches(std::move(found.out.matches));
                m_resultPanel->showSummary(std::move(found.out.summary));
                showStatus(q(found.out.note.text));
            } catch (const AnalysisError& e) {
                showSearchRefused(e);
            } catch (const std::exception& e) {
                showStatus(failure.arg(qe(e)));
            }
        });
}

bool MainWindow::busy() const {
    return m_session->commandRunning() || m_searches.running() || m_analysesRefreshPending ||
           (m_overview && m_overview->busy());
}

// The calculation and its write of table YL run in the background, as a command of their own.
void MainWindow::calculateGroups() {
    if (m_session->commandRunning()) {
        showStatus("另一个命令正在进行，请等它结束后再试");
        return;
    }
    GroupInput in;
    try {
        m_session->catchUp();
        in = m_groupPanel->groupInput();
    } catch (const std::exception& e) {
        m_resultPanel->showSummary(summaryGridEmpty());
        showStatus(QString("分组计算失败：%1").arg(qe(e)));
        return;
    }
    in.from = m_searchPanel->rangeStart();
    in.to = m_searchPanel->rangeEnd();
    if (!m_session->isOpen()) {
        m_resultPanel->showSummary(summaryGridEmpty());
        showStatus("历史数据库没有打开，无法分组计算");
        return;
    }
    m_historyCommands->calculateGroups(in, [this](TaskOutcome<GroupCalculation>& outcome) {
        if (outcome.failed()) {
            m_resultPanel->showSummary(summaryGridEmpty());
            showStatus(QString("分组计算失败：%1").arg(outcome.errorText()));
            return;
        }
        GroupCalculation& calc = outcome.value();
        // A history that cannot be written keeps YL as it was: the clicks then sort this run's rows.
        m_unsavedGroupRows.reset();
        if (calc.stored)
            m_session->ownWriteLeftTheDraws();
        else
            m_unsavedGroupRows = calc.outcome.rows;
        m_resultPanel->showSummary(std::move(calc.grid));
        showStatus(q(calc.outcome.note.text));
    });
}

// The group table sorted by the clicked column of grid 3. The first column (the groups) has no sort
// key: a click there leaves the listing as it is.
void MainWindow::sortGroups(int column) {
    if (column < 1 || column > 4) return;
    try {
        std::vector<YLRow> rows;
        if (m_unsavedGroupRows)
            rows = *m_unsavedGroupRows;
        else if (m_session->isOpen())
            rows = m_session->store().readYL("");
        m_resultPanel->showSummary(groupResultGrid(std::move(rows), column));
    } catch (const std::exception& e) {
        m_resultPanel->showSummary(summaryGridEmpty());
        showStatus(QString("读取分组结果失败：%1").arg(qe(e)));
    }
}

// ---------------------------------------------------------------- the analysis windows

void MainWindow::openAnalysis(AnalysisWindow*& window, const std::function<AnalysisWindow*()>& make) {
    if (!window) {
        window = make();
        window->openUrl = [this](const QUrl& url) { return m_prompter->openUrl(url); };
        connect(window, &AnalysisWindow::message, this, [this](const QString& text) { showStatus(text); });
    }
    m_session->catchUp();
    window->show();
    window->raise();
    window->activateWindow();
    giveHistoryAndRange(window);
}

void MainWindow::openOverview() {
    openAnalysis(m_overview, [this] {
        auto* window = new OverviewWindow(m_session->dataDir(), this);
        connect(window, &OverviewWindow::watchRequested, this, &MainWindow::watchTableItem);
        return window;
    });
}

void MainWindow::giveHistoryAndRange(AnalysisWindow* window) {
    window->setRunningNumbers(m_session->runningNumbers());
    window->setHistoryAndRange(m_session->snapshot(), QString::fromStdString(m_searchPanel->rangeStart()),
                               QString::fromStdString(m_searchPanel->rangeEnd()));
}

// The history and the range may change in several steps of one command: what the windows show is made
// once, after.
void MainWindow::refreshAnalysesSoon() {
    if (m_analysesRefreshPending) return;
    const auto shown = {m_overview, m_fairness, m_backtest, m_trend};
    if (std::none_of(shown.begin(), shown.end(), [](AnalysisWindow* w) { return w && w->isVisible(); })) return;
    m_analysesRefreshPending = true;
    QTimer::singleShot(0, this, &MainWindow::refreshAnalyses);
}

void MainWindow::refreshAnalyses() {
    m_analysesRefreshPending = false;
    for (AnalysisWindow* window : {m_overview, m_fairness, m_backtest, m_trend})
        if (window && window->isVisible()) giveHistoryAndRange(window);
}

}  // namespace k3
