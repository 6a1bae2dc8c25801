// The commands that bring draws in and take them out: text import, online update, trimming, and the
// text and workbook exports. Each runs its work in the background (runWithProgress) while the window
// goes on answering; a question is asked only while no progress box is up. After a change the
// session reads the history again and the panels follow it.
#pragma once
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "background_task.h"
#include "groups/group_calc.h"
#include "store/grid.h"
#include "store/history_store.h"

class QDialog;
class QPushButton;
class QWidget;

namespace k3 {

// What a command's task on the history hands back: its value, and whether it changed the history.
template <class R>
struct Stored {
    R value;
    bool changedHistory = false;
};

// The folder of the data folder where the import's file dialog starts.
inline constexpr const char* kImportFolderName = "历史号码";

class HistorySession;
class Prompter;
struct TrimResult;

class HistoryCommands : public QObject {
    Q_OBJECT

public:
    // `parent` is the window the progress boxes and the list of skipped lines belong to.
    HistoryCommands(HistorySession& session, Prompter& prompter, QWidget* parent);
    // A running command is told to stop; its result is dropped.
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
    void exportHistoryWorkbook();  // from the menu or a double-click on the history grid
    void exportMatches(std::shared_ptr<const Grid> grid);
    void exportSummary(std::shared_ptr<const Grid> grid);
    // 分组计算 over the history shown and its write of table YL; `done` shows the outcome.
    void calculateGroups(const GroupInput& in, std::function<void(TaskOutcome<GroupCalculation>&)> done);
    // "详情" for the status bar: the lines the last import skipped (hidden while there are none).
    QPushButton* skippedDetailsButton() const { return m_skippedDetailsButton; }

signals:
    void statusMessage(const QString& text);
    // The newest draw was deleted: the next one is typed where it was.
    void newestDeleted();

private:
    // Runs `task(HistoryStore&, TaskControl&)` (given a store of its own on the file) in the background
    // with a progress box; the commands that change the database are off until `done(TaskOutcome<R>&)`
    // has run, whatever the outcome. The task returns Stored<R>: when it changed the history, the history
    // is read there too and shown before `done` runs. False when another command still runs.
    template <class StoreTask, class Done>
    bool runCommand(const ProgressText& text, StoreTask task, Done done);
    // The same for a task that needs no store (an export): `task(TaskControl&)` returns the value.
    template <class Task, class Done>
    bool runTask(const ProgressText& text, Task task, Done done);
    // The commands that change the history off (false, and said, while another runs), and on again.
    bool beginCommand();
    void endCommand();
    std::function<std::unique_ptr<HistoryStore>()> commandStoreOpener();
    // The history a command changed, read on its thread (or to be read again here).
    void showChanged(std::shared_ptr<const Snapshot> changed, bool readFailed);
    // True (and said) while another command runs.
    bool refuseWhileBusy();
    void storeImport(std::shared_ptr<struct ReadImport> read);
    void askAboutMisfit(std::shared_ptr<struct UpdateRun> run);
    void reportUpdate(const std::shared_ptr<struct UpdateRun>& run, TaskOutcome<NoValue>& outcome);
    // 试读 of the address dialog: the page fetched in the background, what an update would add shown.
    std::shared_ptr<TaskControl> tryReadAddress(const QString& tmpl, QObject* context,
                                                std::function<void(const QString&)> show);
    void showSkipped(const std::vector<struct SkippedLine>& skipped, size_t count);
    void showSkippedLines();
    void trimWithAnswer(const QString& prompt, const QString& preset,
                        const std::function<TrimResult(HistoryStore&, int64_t, const std::string&)>& trim);
    void exportGrid(std::function<Grid()> makeGrid, const char* fileName);
    QString openedOrSaid(const QString& path, const QString& done, const QString& note = {});
    QWidget* window() const;

    HistorySession& m_session;
    Prompter& m_prompter;
    std::shared_ptr<TaskControl> m_running;  // the command running in the background

    QPushButton* m_skippedDetailsButton = nullptr;
    QStringList m_skippedLines;
    QPointer<QDialog> m_skippedLinesView;
};

template <class Task, class Done>
bool HistoryCommands::runTask(const ProgressText& text, Task task, Done done) {
    if (!beginCommand()) return false;
    m_running =
        runWithProgress(this, window(), text, std::move(task), [this, done = std::move(done)](auto& outcome) mutable {
            endCommand();
            done(outcome);
        });
    return true;
}

template <class StoreTask, class Done>
bool HistoryCommands::runCommand(const ProgressText& text, StoreTask task, Done done) {
    using R = decltype(task(std::declval<HistoryStore&>(), std::declval<TaskControl&>()).value);
    struct Run {
        R value;
        std::shared_ptr<const Snapshot> changed;
        bool readFailed = false;
    };
    return runTask(
        text,
        [openStore = commandStoreOpener(), task = std::move(task)](TaskControl& control) mutable {
            std::shared_ptr<HistoryStore> store = openStore();
            // A cancel stops the statement that runs: its transaction is rolled back.
            control.setCancelHook([store] { store->interrupt(); });
            struct Unhook {
                TaskControl& control;
                ~Unhook() { control.setCancelHook({}); }
            };
            Stored<R> stored = [&] {
                Unhook unhook{control};
                return task(*store, control);
            }();
            Run run{std::move(stored.value), nullptr, false};
            if (!stored.changedHistory) return run;
            try {
                run.changed = store->snapshot();
            } catch (const std::exception&) {
                run.readFailed = true;  // read again by the window
            }
            return run;
        },
        [this, done = std::move(done)](TaskOutcome<Run>& outcome) mutable {
            TaskOutcome<R> out;
            out.m_error = outcome.m_error;
            out.m_cancelled = outcome.m_cancelled;
            if (outcome.m_value) {
                showChanged(std::move(outcome.m_value->changed), outcome.m_value->readFailed);
                out.m_value.emplace(std::move(outcome.m_value->value));
            }
            done(out);
        });
}

}  // namespace k3
