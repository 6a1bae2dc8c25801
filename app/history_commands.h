// The commands that bring draws in and take them out: text import, online update (fetched on a
// worker thread), trimming, and the text and workbook exports. Each ends by showing the history
// again through the session and, after a change, the whole history as the search range.
#pragma once
#include <QFutureWatcher>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <atomic>
#include <functional>
#include <memory>
#include <string>

#include "history/online_update.h"
#include "store/grid.h"

class QDialog;
class QMainWindow;
class QProgressDialog;
class QPushButton;

namespace k3 {

class HistoryPanel;
class HistorySession;
class Prompter;
class ResultPanel;
class SearchPanel;
struct TrimResult;

// What the worker thread of an online update hands back.
struct FetchOutcome {
    FetchedUpdate fetched;
    std::string error;       // the fetch failed; nothing to store
    bool cancelled = false;  // the player cancelled while the page was fetched or read
};

class HistoryCommands : public QObject {
    Q_OBJECT

public:
    HistoryCommands(HistorySession& session, Prompter& prompter, HistoryPanel& historyPanel, SearchPanel& searchPanel,
                    ResultPanel& resultPanel, QMainWindow& window);
    // A running fetch is told to stop and waited for; its result is dropped.
    ~HistoryCommands() override;

    void importHistoryFile();
    void startOnlineUpdate();
    // Asks for the address template of the online update; true when one was saved.
    bool askUpdateAddress();
    void deleteNewestDraw();
    void deleteToIssue();
    void deleteLastDraws();
    void clearHistory();
    void exportHistoryText();
    void exportHistoryWorkbook();  // from the menu: the history grid is hidden meanwhile
    void exportHistoryGrid();      // from a double-click on the history grid
    void exportMatches();
    void exportSummary();

signals:
    void statusMessage(const QString& text);
    // The commands that change the history are off while an online update runs.
    void updateRunningChanged(bool running);

private:
    void historyChangedHere();
    void showLastAndNextIssue();
    void finishOnlineUpdate();
    void showSkippedLines();
    void trimWithAnswer(const QString& prompt, const QString& preset,
                        const std::function<TrimResult(int64_t, const std::string&)>& trim);
    void exportGrid(const Grid& grid, const char* fileName);
    QString openedOrSaid(const QString& path, const QString& report);

    HistorySession& m_session;
    Prompter& m_prompter;
    HistoryPanel& m_historyPanel;
    SearchPanel& m_searchPanel;
    ResultPanel& m_resultPanel;
    QMainWindow& m_window;

    QFutureWatcher<FetchOutcome>* m_updateWatcher = nullptr;
    std::shared_ptr<std::atomic<bool>> m_updateCancel;
    QPointer<QProgressDialog> m_updateProgress;

    QPushButton* m_skippedDetailsButton = nullptr;  // "详情" in the status bar: the lines the last import skipped
    QStringList m_skippedLines;
    QPointer<QDialog> m_skippedLinesView;
};

}  // namespace k3
