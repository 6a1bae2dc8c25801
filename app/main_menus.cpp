#include "main_menus.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QUrl>

#include "help_dirs.h"
#include "history_session.h"
#include "main_window.h"
#include "object_names.h"
#include "prompter.h"
#include "result_panel.h"
#include "search/grids.h"
#include "stats_windows.h"
#include "store/issue.h"
#include "trend_window.h"

namespace k3 {

namespace {

QAction* addEntry(QMenu* menu, const QString& name, const QString& caption) {
    QAction* a = menu->addAction(caption);
    a->setObjectName(name);
    return a;
}

QMenu* addMenu(QMenuBar& bar, const char* name, const QString& caption) {
    QMenu* menu = bar.addMenu(caption);
    menu->setObjectName(name);
    return menu;
}

}  // namespace

MainMenus::MainMenus(QMenuBar& bar) {
    history = addMenu(bar, names::kHistoryMenu, "历史管理");
    exportHistory = addEntry(history, names::kExportHistoryAction, "导出历史号码(&O)");
    deleteNewest = addEntry(history, names::kDeleteNewestAction, "删除最后历史(&E)");
    clearHistory = addEntry(history, names::kClearHistoryAction, "清空历史号码(&C)");
    deleteToIssue = addEntry(history, names::kDeleteToIssueAction, "删除到选定期(&D)");
    deleteLast = addEntry(history, names::kDeleteLastAction, "删除最后指定数量期历史(&E)");

    analysis = addMenu(bar, names::kAnalysisMenu, "分析");
    overview = addEntry(analysis, names::kOverviewAction, "遗漏总表(&Z)");
    overview->setToolTip("各玩法每个号码在检索起止期数内的遗漏");
    fairness = addEntry(analysis, "mnuFairness", "公平性检验(&F)");
    fairness->setToolTip("检索起止期数内的开奖号码是否符合公平的骰子");
    backtest = addEntry(analysis, "mnuBacktest", "遗漏回测(&B)");
    backtest->setToolTip("遗漏达到门槛才下注，历史上命中率和返奖率如何");
    trend = addEntry(analysis, "mnuTrend", "走势图(&T)");
    trend->setToolTip("每期一行的走势图：和值、号码、跨度、形态、大小单双的开出与遗漏");
    watch = addEntry(analysis, "mnuTixing", "遗漏提醒(&W)");
    watch->setToolTip("盯住的号码在每个彩种的历史里当前遗漏到了门槛没有，历史上到了门槛之后开出了多少");

    settings = addMenu(bar, names::kSettingsMenu, "设置");
    segmentBase = settings->addMenu("段数参数设置(&A)");
    segmentBase->setObjectName(names::kSegmentBaseMenu);
    segmentBaseActions[0] = addEntry(segmentBase, "mnuDscs_0", "段数参数0~2");
    segmentBaseActions[1] = addEntry(segmentBase, "mnuDscs_1", "段数参数1~3");
    for (QAction* a : segmentBaseActions) a->setCheckable(true);
    settings->addSeparator();
    lookBack = addEntry(settings, names::kLookBackAction, "历史号码更新检索天(&Y)");
    updateAddress = addEntry(settings, names::kUpdateAddressAction, "在线更新地址(&U)");
    homePage = addEntry(settings, names::kHomePageAction, "软件服务主页(&P)");
    manual = addEntry(settings, names::kManualAction, "软件介绍说明(&R)");
    walkthrough = addEntry(settings, names::kWalkthroughAction, "软件演示说明录像下载(&D)");
    settings->addSeparator();

    // Each province has a history of its own: an entry switches to it.
    lottery = addMenu(bar, names::kLotteryMenu, "彩种选择");
    for (int i = 0; i < kProvinceCount; ++i) {
        lotteryActions[i] = addEntry(lottery, QString(names::kLotteryActionPrefix) + QString::number(i),
                                     QString::fromUtf8(provinces()[i].caption));
        lotteryActions[i]->setCheckable(true);
    }
}

void MainMenus::tickLottery(int index) {
    for (int i = 0; i < kProvinceCount; ++i) lotteryActions[i]->setChecked(i == index);
}

void MainMenus::tickSegmentBase(int base) {
    segmentBaseActions[0]->setChecked(base == 0);
    segmentBaseActions[1]->setChecked(base == 1);
}

void MainMenus::setLotteryEnabled(bool on) {
    for (QAction* a : lotteryActions) a->setEnabled(on);
}

// ---------------------------------------------------------------- the window's menu commands

void MainWindow::buildMenus() {
    m_menus = std::make_unique<MainMenus>(*menuBar());
    for (int i = 0; i < kProvinceCount; ++i)
        connect(m_menus->lotteryActions[i], &QAction::triggered, this, [this, i] { chooseLottery(i); });
    for (int i = 0; i < 2; ++i)
        connect(m_menus->segmentBaseActions[i], &QAction::triggered, this, [this, i] { chooseSegmentBase(i); });
    connect(m_menus->overview, &QAction::triggered, this, &MainWindow::openOverview);
    connect(m_menus->fairness, &QAction::triggered, this,
            [this] { openAnalysis(m_fairness, [this] { return new FairnessWindow(m_session->dataDir(), this); }); });
    connect(m_menus->backtest, &QAction::triggered, this,
            [this] { openAnalysis(m_backtest, [this] { return new BacktestWindow(m_session->dataDir(), this); }); });
    connect(m_menus->trend, &QAction::triggered, this,
            [this] { openAnalysis(m_trend, [this] { return new TrendWindow(m_session->dataDir(), this); }); });
    connect(m_menus->watch, &QAction::triggered, this, &MainWindow::openWatch);
    connect(m_menus->lookBack, &QAction::triggered, this, &MainWindow::askLookBackYears);
    connect(m_menus->homePage, &QAction::triggered, this, [this] { openHelpDocument("index.html"); });
    connect(m_menus->manual, &QAction::triggered, this, [this] { openHelpDocument("manual.html"); });
    connect(m_menus->walkthrough, &QAction::triggered, this, [this] { openHelpDocument("walkthrough.html"); });
}

// The chosen province's history is opened in the background; the window follows once it is shown.
void MainWindow::chooseLottery(int index) {
    if (index < 0 || index >= kProvinceCount) return;
    const Province& p = province(index);
    if (index == m_session->lotteryIndex()) {
        m_menus->tickLottery(index);
        showStatus(QString("彩种: %1（每天 %2 期）").arg(QString::fromUtf8(p.caption)).arg(p.drawsPerDay));
        return;
    }
    if (!m_session->switchProvince(index, this)) {
        m_menus->tickLottery(m_session->lotteryIndex());
        showStatus("另一个命令正在进行，请等它结束后再试");
        return;
    }
    m_menus->tickLottery(index);
    showStatus(QString("正在打开%1的历史号码…").arg(QString::fromUtf8(p.caption)));
}

// Another province's history is shown: what the window showed of the one left goes.
void MainWindow::followProvince(int index) {
    m_searches.supersede();  // a search of the history left that ends late is not shown
    m_unsavedGroupRows.reset();
    m_resultPanel->showMatches(resultGridEmpty());
    m_resultPanel->showSummary(summaryGridEmpty());
    m_resultPanel->clearChart();
    m_menus->tickLottery(index);
    showProvince();
    m_shownAccess.reset();
    const Province& p = province(index);
    showHistoryCount(
        QString("%1（每天 %2 期，%3）：").arg(QString::fromUtf8(p.caption)).arg(p.drawsPerDay).arg(provinceFileName()));
}

void MainWindow::provinceNotOpened(int index, const QString& why) {
    m_menus->tickLottery(m_session->lotteryIndex());
    const QString msg = QString("未切换到%1：%2").arg(QString::fromUtf8(province(index).caption), why);
    showStatus(msg);
    m_prompter->tell("彩种选择", msg);
}

QString MainWindow::provinceFileName() const { return QFileInfo(m_session->databaseFile()).fileName(); }

// The title and the status bar name the province and its history file, for a player who follows
// several provinces (and the title the whole path, for one with more than one data folder).
void MainWindow::showProvince() {
    const QString name = QString::fromUtf8(m_session->lottery().caption);
    setWindowTitle(QString("快3遗漏分析 — %1 — %2").arg(name, QDir::toNativeSeparators(m_session->databaseFile())));
    m_provinceLabel->setText(QString("%1 — %2").arg(name, provinceFileName()));
    m_provinceLabel->setToolTip(QDir::toNativeSeparators(m_session->databaseFile()));
}

void MainWindow::chooseSegmentBase(int base) {
    if (base != 0 && base != 1) return;
    m_session->setSegmentBase(base);
    m_menus->tickSegmentBase(base);
}

void MainWindow::askLookBackYears() {
    for (;;) {
        auto answer = m_prompter->askText(
            "设置年数",
            "请输入更新需要保留的历史号码的年数（2~16中的任意自然数），如果超过年数将删除最早的一年的历史号码",
            QString::number(m_session->lookBackYears()));
        if (!answer || answer->trimmed().isEmpty()) return;
        auto years = parseWhole(answer->toStdString(), 2, 16);
        if (!years) {
            m_prompter->tell("输入有误",
                             "为了保证时效性和提高计算效率，软件只能统计16年以内的数据，请输入2到16中的自然数。");
            continue;
        }
        m_session->setLookBackYears(static_cast<int>(*years));
        return;
    }
}

void MainWindow::openHelpDocument(const QString& file) {
    const QString path = findHelpDocument(file);
    if (path.isEmpty()) {
        showStatus(QString("找不到帮助文件 %1").arg(file));
        return;
    }
    if (!m_prompter->openUrl(QUrl::fromLocalFile(path)))
        showStatus(QString("无法打开帮助 %1：本机没有可以打开网页的程序（浏览器），请自行打开")
                       .arg(QDir::toNativeSeparators(path)));
}

}  // namespace k3
