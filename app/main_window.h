// The main window (objectName "frmMain"): the panels over one HistorySession, the menus and the status
// bar. It wires the panels' requests to the analyses and to the history commands.
#pragma once
#include <QMainWindow>
#include <QSize>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

#include "background_task.h"
#include "history_session.h"
#include "store/derive.h"
#include "store/history_store.h"
#include "window_fit.h"

class QFileDialog;
class QLabel;
class QScrollArea;

namespace k3 {

class AnalysisWindow;
class GroupPanel;
class HistoryCommands;
class HistoryPanel;
class HistorySession;
class MainMenus;
class OneRowWheel;
class Prompter;
class ResultPanel;
class SearchPanel;
class WatchWindow;
struct AnalysisError;
struct SearchOutput;

// Where the window keeps its files and settings.
struct AppContext {
    QString dataDir;         // folder of gapbook.db, the backup, the exports and "历史号码"
    QString settingsFile;    // empty: the user's settings store; else an ini file of its own (tests)
    QString startNote = {};  // said in the status bar at start-up (why this data folder), when not empty
};

class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    // `prompter` answers the window's questions and opens files for it; nothing: dialogs and the
    // desktop's default applications. A given prompter must outlive the window.
    explicit MainWindow(const AppContext& ctx, Prompter* prompter = nullptr, QWidget* parent = nullptr);
    ~MainWindow() override;
    // Work of the window still under way in the background: a command, a search, the omission table.
    bool busy() const;

    // The size the window opens at where the screen holds it.
    static constexpr QSize kPreferredSize{1180, 760};
    // Room for a window manager's title bar and borders, before the window is shown.
    static constexpr QSize kFrameAllowance = kWindowFrameAllowance;
    // Sizes and places the window inside `available` (a screen's free area).
    void fitInto(const QRect& available);
    // The panels' scroll area: it scrolls only when the window is smaller than the panels need.
    QScrollArea* panelsArea() const;

protected:
    bool event(QEvent* e) override;

private:
    void buildMenus();
    void buildPanels();
    void connectPanels();
    void startUp();
    void showStatus(const QString& text);
    // "共 N 期历史号码", or for an empty history the ways to get draws in; after `prefix`.
    void showHistoryCount(const QString& prefix = {});
    // The commands as the history file allows them; when that changed, the window says why.
    void applyAccess();
    // The commands that change the history: on when the file may be changed and no update runs.
    void refreshHistoryCommands();
    void followTypedDraw(const DerivedDraw& draw);

    // analyses
    void search();
    void partialSearch();
    void calculateGroups();
    void sortGroups(int column);
    void runAnalysis(std::function<SearchOutput()> analyse, std::optional<double> theoreticalOmission,
                     const QString& failure);
    void showSearchRefused(const AnalysisError& e);

    // the analysis windows (遗漏总表, 公平性检验, 遗漏回测, 走势图): each made by `make` when first opened
    // from the menu, then following the history and the range while it is shown
    void openAnalysis(AnalysisWindow*& window, const std::function<AnalysisWindow*()>& make);
    void openOverview();
    void giveHistoryAndRange(AnalysisWindow* window);
    void refreshAnalysesSoon();
    void refreshAnalyses();
    // 遗漏提醒 (main_watch.cpp): the window made and shown when first asked for, items added to it,
    // and the histories it is given as they change.
    WatchWindow* watchWindow();
    void startWatch();
    void openWatch();
    void watchTableItem(int item);
    void watchSearch();
    void followWatch(std::shared_ptr<const Snapshot> snapshot, HistoryOrigin origin);

    // the province: its history switched to, and named in the title and the status bar
    void chooseLottery(int index);
    void followProvince(int index);
    void provinceNotOpened(int index, const QString& why);
    void showProvince();
    QString provinceFileName() const;

    // settings and help
    void chooseSegmentBase(int base);
    void askLookBackYears();
    void openHelpDocument(const QString& file);

    HistorySession* m_session = nullptr;
    QString m_startNote;
    QString m_statusText;                        // what the status bar says when no menu entry's tip covers it
    std::optional<HistoryAccess> m_shownAccess;  // what the window last said about the file
    QFileDialog* m_openFileDialog = nullptr;     // the open-file dialog of the text import
    std::unique_ptr<Prompter> m_ownPrompter;
    Prompter* m_prompter = nullptr;
    QScrollArea* m_scrollArea = nullptr;
    OneRowWheel* m_wheel = nullptr;
    HistoryPanel* m_historyPanel = nullptr;
    SearchPanel* m_searchPanel = nullptr;
    GroupPanel* m_groupPanel = nullptr;
    ResultPanel* m_resultPanel = nullptr;
    HistoryCommands* m_historyCommands = nullptr;
    std::optional<std::vector<YLRow>> m_unsavedGroupRows;  // the last group table, when YL could not take it

    std::unique_ptr<MainMenus> m_menus;
    QLabel* m_provinceLabel = nullptr;     // in the status bar: the province and its history file
    AnalysisWindow* m_overview = nullptr;  // each made when first opened
    AnalysisWindow* m_fairness = nullptr;
    AnalysisWindow* m_backtest = nullptr;
    AnalysisWindow* m_trend = nullptr;
    bool m_analysesRefreshPending = false;
    WatchWindow* m_watch = nullptr;  // made when first opened
    NewestRequest m_searches{this};  // an older search that ends late is not shown
};

}  // namespace k3
