// The history the window works on: the store of the chosen province's history, its copy in memory and
// the choices that live between commands (lottery, search type, segment base, look-back, update address,
// ...), kept in the settings as they change. Each province has a history of its own: choosing another
// one switches to it (switchProvince). The window and its panels follow historyChanged. Another program
// (k3gap-cli, a second window) may change the same file: catchUp() notices it and reads the history again.
// Whether the history may be changed is known only after a check for damage: the pages of the file are
// checked in the background once the event loop runs, the history's rules on the background read of its
// values. The commands that change the history are on meanwhile: a change started before the verdict waits
// for it on its own thread, and a file found damaged is never changed. A file held by another program is
// opened when it lets go.
#pragma once
#include <QObject>
#include <QString>
#include <chrono>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "history/online_update.h"
#include "store/derive.h"
#include "store/history_store.h"
#include "store/province.h"
#include "store/province_history.h"
#include "store/snapshot.h"

class QTimer;
class QWidget;

namespace k3 {

class Settings;
class TaskControl;

// Where a new history came from, for the panels that follow it.
enum class HistoryOrigin {
    kOpened,      // the file was opened (after another program let go of it)
    kCommand,     // a command of this window changed it: the whole history becomes the search range
    kTypedDraw,   // a draw typed in this window was added
    kShownAgain,  // the same history, shown again after a command that changed nothing
    kElsewhere,   // another program (or another window) changed the file
    kSwitched,    // another province's history: the whole of it becomes the search range
};

// What can be done with the history file.
enum class HistoryAccess {
    kClosed,    // it could not be opened (openError())
    kWaiting,   // another program holds it locked: it is opened as soon as that program lets go
    kChecking,  // open; the check for damage has not given its verdict yet
    kWritable,  // open and intact: the history may be changed
    kReadOnly,  // open for reading only
    kDamaged,   // open but damaged: shown and analysed, never changed
};

// The verdict of the check for damage.
struct DamageVerdict {
    bool passed = false;  // the whole file was checked and is intact
    QString damage;       // the message when it is damaged
};

class HistorySession : public QObject {
    Q_OBJECT

public:
    // Reads the settings (an empty file name: the user's settings store) and opens the history of their
    // province in the data folder. A database that cannot be opened leaves the session closed with an
    // empty history; one that another program holds locked leaves it waiting (empty) until that program
    // lets go.
    HistorySession(const QString& dataDir, const QString& settingsFile, QObject* parent = nullptr);
    ~HistorySession() override;

    bool isOpen() const { return m_store != nullptr; }
    const QString& openError() const { return m_openError; }
    HistoryAccess access() const;
    // True when the history may be changed: open, writable and not found damaged (while the check
    // runs, a change waits for its verdict: workerStoreOpener()).
    bool canChange() const {
        const HistoryAccess a = access();
        return a == HistoryAccess::kWritable || a == HistoryAccess::kChecking;
    }
    // Why the history cannot be changed (waiting, read-only, damaged, closed), naming the file; empty
    // while it can, or while the check runs.
    QString accessMessage() const;
    HistoryStore& store() { return *m_store; }  // only while open
    // Opens a store of its own on the same file, for a command that runs on another thread (the opener
    // is made here, called there); it counts as checked for damage when this session's store was. For
    // a change (`forChange`), an opener made while the check of the whole file still runs waits there
    // for its verdict: a pass counts as its own, damage is thrown. The opener throws StoreError.
    std::function<std::unique_ptr<HistoryStore>()> workerStoreOpener(bool forChange = false) const;
    // A command that changes the database runs in the background: the others wait for it.
    bool commandRunning() const { return m_commandRunning; }
    void setCommandRunning(bool running);
    // The history in memory; never null. Its issues and dice are there at once; the values the analyses
    // read follow from a background read (Snapshot::values() waits for them).
    const std::shared_ptr<const Snapshot>& snapshot() const { return m_snapshot; }
    const QString& dataDir() const { return m_dataDir; }
    Settings& settings() { return *m_settings; }
    // The province an older gapbook.db without a record belongs to.
    int unrecordedOwner() const { return m_unrecordedOwner; }
    QString dataFile(const QString& name) const;
    // Damaged so that its draws are not shown at all: a row breaks the history's rules (an issue or a
    // rank that is wrong, a die outside 1..6), and every omission read from it would be wrong.
    bool damageHidesHistory() const { return m_damageHidesHistory; }
    // The files of the province's history: its database and its trimming backup.
    const ProvinceFiles& files() const { return m_files; }
    QString databaseFile() const;
    QString backupFile() const;

    // Reads the history again when another connection has committed a change since the last read
    // (the store's change counter), or when reading the values in the background failed; true when it did.
    // Every command that reads or extends the history calls this first.
    bool catchUp();
    // Reads the history again after a change made by a command of this window.
    void reload();
    // A command of this window wrote the file on a connection of its own without changing the draws (the
    // group table YL): its commit is not taken for a change made elsewhere, so the next catchUp() does not
    // read the whole history again on the window's thread. A change another program commits while the
    // command runs is taken for this one, as with adopt().
    void ownWriteLeftTheDraws();
    // Takes a history read after a command of this window changed the file (read on another thread).
    void adopt(std::shared_ptr<const Snapshot> snapshot);
    // Shows the history again as it is (the newest and the next issue after a command left it alone).
    void showAgain();
    // Stores a typed draw (texts as typed) and extends the copy in memory; throws EntryRejected.
    DerivedDraw addTypedDraw(const std::string& issue, const std::string& die1, const std::string& die2,
                             const std::string& die3);

    int lotteryIndex() const { return m_lotteryIndex; }
    const Province& lottery() const { return province(m_lotteryIndex); }
    bool runningNumbers() const { return m_lotteryIndex == kBeijingIndex; }
    // Switches to the history of province `index` (made empty the first time) in the background, the
    // commands that change the history off meanwhile (commandRunning()); the province is saved in the
    // settings once its history is shown. The history left is not touched, except that an older
    // gapbook.db taken for its province is given its record first. False, and nothing started, for the
    // province shown or while a command or another switch runs. With `progressParent`, a progress box
    // over it tells of a switch that takes a while.
    bool switchProvince(int index, QWidget* progressParent = nullptr);
    bool switching() const { return m_switch != nullptr; }
    // The issue after the newest stored draw; nothing for an empty history, and nothing when no issue
    // follows the newest (lastIssueReached()).
    std::optional<int64_t> nextIssue() const;
    bool lastIssueReached() const { return !m_snapshot->empty() && !nextIssue(); }

    int searchType() const { return m_searchType; }
    void setSearchType(int type);
    int segmentBase() const { return m_segmentBase; }
    void setSegmentBase(int base);
    int lookBackYears() const { return m_lookBackYears; }
    void setLookBackYears(int years);
    bool freePositions() const { return m_freePositions; }
    void setFreePositions(bool free);
    int partialWidth() const { return m_partialWidth; }
    void setPartialWidth(int width);
    // The address template of the online update; an empty text restores the default.
    QString updateUrl() const;
    void setUpdateUrl(const QString& tmpl);
    // False while the address is the placeholder the program ships with.
    bool updateUrlSet() const;
    // An online update of this history as the settings ask for it.
    UpdateRequest updateRequest(std::chrono::year_month_day today, long timeoutSeconds) const;

signals:
    void historyChanged(std::shared_ptr<const k3::Snapshot> snapshot, k3::HistoryOrigin origin);
    void commandRunningChanged(bool running);
    // access() changed: the file was opened after a wait, or the check for damage gave its verdict.
    void accessChanged();
    void searchTypeChanged(int type);
    void readFailed(const QString& message);
    // The history of another province is shown: sent before historyChanged (kSwitched).
    void provinceChanged(int index);
    // The history of province `index` could not be opened: the one shown stays.
    void switchFailed(int index, const QString& message);

private:
    struct SwitchedTo;
    // Opens the province's store and reads the history; a lock held by another program leaves the
    // session waiting.
    void open();
    // The store of the province's history (m_files decided first), made the first time. Throws
    // StoreError, kLocked at once when another program holds the file so that it cannot be read now.
    std::unique_ptr<HistoryStore> openStore();
    void retryOpen();
    // The check for damage of the file's pages (PRAGMA quick_check) on a connection of its own, in the
    // background.
    void startDamageCheck();
    // Waits for the verdicts of the checks that are due: the pages' (started once the event loop runs)
    // and the rules' (the read of the values begun).
    void expectDamageCheck();
    // A read found a row that breaks the history's rules: nothing of it is shown.
    void rulesBroken(const QString& message);
    // One of the two checks for damage gave its verdict; once both have, the window and a change
    // waiting for the verdict know, and an older gapbook.db taken for the province gets its record.
    void checkEnded();
    void settleVerdict(const DamageVerdict& verdict);
    // Writes the province's record into an older gapbook.db, in the background; true when it was begun
    // (accessChanged follows its end).
    bool recordProvince();
    int64_t dataVersion();
    void readHistory(HistoryOrigin origin);
    // Reads the issues, ranks and dice now and the values in the background, on a connection of its own.
    std::shared_ptr<const Snapshot> readSnapshot();
    // The snapshot of what `reader` read first, its values read by it in the background.
    std::shared_ptr<const Snapshot> snapshotReadingValues(std::shared_ptr<HistoryReader> reader, DrawColumns draws);
    void finishSwitch(int index, SwitchedTo& to);
    // Closes a store on a worker thread: the last connection to a file merges its log into it.
    void retire(std::unique_ptr<HistoryStore> store);

    QString m_dataDir;
    std::unique_ptr<Settings> m_settings;
    ProvinceFiles m_files;
    // The province an older gapbook.db without a record belongs to: the settings' one at the start.
    int m_unrecordedOwner = 0;
    // The store is such a gapbook.db, not recorded yet.
    bool m_recordPending = false;
    std::unique_ptr<HistoryStore> m_store;
    uint64_t m_storeGeneration = 0;         // counts the stores: work on a store left is not applied
    std::shared_ptr<TaskControl> m_switch;  // the switch to another province, while it runs
    // Work on histories left that may still hold their files: their stores closing, a cancelled check.
    std::vector<std::shared_ptr<TaskControl>> m_closing;
    QString m_openError;
    bool m_waiting = false;          // another program holds the file locked
    QTimer* m_retryTimer = nullptr;  // while waiting: tries again
    bool m_pagesPending = false;     // the check of the file's pages has not given its verdict
    bool m_pagesPassed = false;
    bool m_rulesPending = false;  // the first read of the values has not checked the rules yet
    bool m_rulesPassed = false;
    bool m_recording = false;  // the province's record is being written after the checks passed
    QString m_damage;          // a check found damage
    bool m_damageHidesHistory = false;
    std::shared_ptr<TaskControl> m_check;  // the check for damage, while it runs
    uint64_t m_checkRound = 0;             // a check that gave way to a switch hands back nothing
    // The checks' verdict for the commands' threads: set when both have ended, however they end.
    std::shared_ptr<std::promise<DamageVerdict>> m_verdictPromise;
    std::shared_future<DamageVerdict> m_verdict;
    std::shared_ptr<const Snapshot> m_snapshot = std::make_shared<Snapshot>();
    // Background reads of values still running (or done, until the next read): the window waits for
    // them, after interrupting them, before it closes.
    std::vector<std::shared_ptr<TaskControl>> m_valueReads;
    int64_t m_dataVersion = 0;  // data_version when the snapshot was read
    bool m_commandRunning = false;

    int m_lotteryIndex = 0;
    int m_searchType = 0;
    int m_segmentBase = 1;
    int m_lookBackYears = 6;
    bool m_freePositions = true;
    int m_partialWidth = 2;
};

}  // namespace k3
