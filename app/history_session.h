// The history the window works on: the store, its copy in memory and the choices that live between
// commands (lottery, search type, segment base, look-back, update address, ...), kept in the settings
// as they change. The window and its panels follow historyChanged. Another program (k3gap-cli, a
// second window) may change the same file: catchUp() notices it and reads the history again.
#pragma once
#include <QFuture>
#include <QObject>
#include <QString>
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "history/online_update.h"
#include "store/derive.h"
#include "store/history_store.h"
#include "store/province.h"
#include "store/snapshot.h"

namespace k3 {

class Settings;

class HistorySession : public QObject {
    Q_OBJECT

public:
    // Reads the settings (an empty file name: the user's settings store) and opens gapbook.db in the
    // data folder. A database that cannot be opened leaves the session closed with an empty history.
    HistorySession(const QString& dataDir, const QString& settingsFile, QObject* parent = nullptr);
    ~HistorySession() override;

    bool isOpen() const { return m_store != nullptr; }
    const QString& openError() const { return m_openError; }
    HistoryStore& store() { return *m_store; }  // only while open
    // The history in memory; never null. Its issues and dice are there at once; the values the analyses
    // read follow from a background read (Snapshot::values() waits for them).
    const std::shared_ptr<const Snapshot>& snapshot() const { return m_snapshot; }
    const QString& dataDir() const { return m_dataDir; }
    QString dataFile(const QString& name) const;

    // Reads the history again when another connection has committed a change since the last read
    // (PRAGMA data_version), or when reading the values in the background failed; true when it did.
    // Every command that reads or extends the history calls this first.
    bool catchUp();
    // True while historyChanged is delivered for a change made elsewhere.
    bool changedElsewhere() const { return m_changedElsewhere; }
    // Reads the history again after a change made through this session's store.
    void reload();
    // Stores a typed draw (texts as typed) and extends the copy in memory; throws EntryRejected.
    DerivedDraw addTypedDraw(const std::string& issue, const std::string& die1, const std::string& die2,
                             const std::string& die3);

    int lotteryIndex() const { return m_lotteryIndex; }
    const Province& lottery() const { return province(m_lotteryIndex); }
    bool runningNumbers() const { return m_lotteryIndex == kBeijingIndex; }
    void setLotteryIndex(int index);
    // The issue after the newest stored draw; nothing for an empty history.
    std::optional<int64_t> nextIssue() const;

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
    void historyChanged(std::shared_ptr<const k3::Snapshot> snapshot);
    void searchTypeChanged(int type);
    void readFailed(const QString& message);

private:
    int64_t dataVersion();
    void readHistory(bool elsewhere);
    // Reads the issues, ranks and dice now and the values in the background, on a connection of its own.
    std::shared_ptr<const Snapshot> readSnapshot();

    QString m_dataDir;
    std::unique_ptr<Settings> m_settings;
    std::unique_ptr<HistoryStore> m_store;
    QString m_openError;
    std::shared_ptr<const Snapshot> m_snapshot = std::make_shared<Snapshot>();
    // Background reads of values still running (or done, until the next read): the window waits for
    // them, after interrupting them, before it closes.
    struct ValueRead {
        QFuture<void> task;
        std::shared_ptr<HistoryReader> reader;
    };
    std::vector<ValueRead> m_valueReads;
    int64_t m_dataVersion = 0;  // data_version when the snapshot was read
    bool m_changedElsewhere = false;

    int m_lotteryIndex = 0;
    int m_searchType = 0;
    int m_segmentBase = 1;
    int m_lookBackYears = 6;
    bool m_freePositions = true;
    int m_partialWidth = 2;
};

}  // namespace k3
