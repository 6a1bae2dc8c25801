#include "history_session.h"

#include <QDir>
#include <QFileInfo>
#include <QTimer>
#include <QtConcurrent/QtConcurrentRun>
#include <filesystem>
#include <mutex>

#include "history/manual_entry.h"
#include "settings/settings.h"
#include "store/issue.h"

namespace k3 {

// The connection of a running check for damage, so that it can be interrupted from the window's thread.
struct DamageCheckHandle {
    std::mutex mutex;
    sqlite3* db = nullptr;
    bool stop = false;
};

namespace {

// How often a file held by another program is tried again.
constexpr int kRetryMs = 500;

// True when another program holds the file with a lock that keeps readers out now (a writer of a file
// without a write-ahead log, or one in exclusive locking mode). Asked without waiting for the lock, and
// without writing: the look does not merge a pending log into the file when it ends. A file this program
// may not write is never held so (and must get no -wal or -shm from a look at it).
bool heldByAnotherProgram(const QString& path) {
    const QFileInfo file(path);
    if (!file.isFile() || file.size() == 0 || !file.isWritable() || !QFileInfo(file.absolutePath()).isWritable())
        return false;
    try {
        Db db(path.toStdString(), Db::Mode::kReadWrite);
        sqlite3_db_config(db.handle(), SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
        sqlite3_busy_timeout(db.handle(), 0);
        db.scalarInt("SELECT COUNT(*) FROM sqlite_schema");
    } catch (const StoreError& e) {
        return e.kind() == StoreFailure::kLocked;
    }
    return false;
}

// PRAGMA quick_check of the whole file on a store of its own; `handle` publishes its connection.
DamageVerdict checkForDamage(const std::string& path, const std::shared_ptr<DamageCheckHandle>& handle) {
    DamageVerdict verdict;
    std::error_code ec;
    if (std::filesystem::file_size(path, ec) == 0 || ec) return verdict;  // gone: nothing to check, none made
    try {
        HistoryStore store(path);
        struct Published {
            DamageCheckHandle& h;
            Published(DamageCheckHandle& handle, sqlite3* db) : h(handle) {
                std::lock_guard<std::mutex> lock(h.mutex);
                if (!h.stop) h.db = db;
            }
            ~Published() {
                std::lock_guard<std::mutex> lock(h.mutex);
                h.db = nullptr;
            }
        } published(*handle, store.db().handle());
        {
            std::lock_guard<std::mutex> lock(handle->mutex);
            if (handle->stop) return verdict;
        }
        store.checkIntegrity();
        verdict.passed = true;
    } catch (const StoreError& e) {
        // Only damage counts; a check that could not run (interrupted, held up) leaves the store to check
        // the file itself before its first change.
        if (e.kind() == StoreFailure::kDamaged) verdict.damage = QString::fromUtf8(e.what());
    } catch (const std::exception&) {
    }
    return verdict;
}

}  // namespace

HistorySession::HistorySession(const QString& dataDir, const QString& settingsFile, QObject* parent)
    : QObject(parent),
      m_dataDir(dataDir),
      m_settings(settingsFile.isEmpty() ? std::make_unique<Settings>() : std::make_unique<Settings>(settingsFile)) {
    m_lookBackYears = m_settings->lookBackYears();
    m_lotteryIndex = m_settings->lotteryIndex();
    m_freePositions = m_settings->freePositions();
    m_searchType = m_settings->searchType();
    m_segmentBase = m_settings->segmentBase();
    m_partialWidth = m_settings->partialWidth();
    m_retryTimer = new QTimer(this);
    m_retryTimer->setSingleShot(true);
    m_retryTimer->setInterval(kRetryMs);
    connect(m_retryTimer, &QTimer::timeout, this, &HistorySession::retryOpen);
    m_checkThread.setMaxThreadCount(1);
    m_checkWatcher = new QFutureWatcher<DamageVerdict>(this);
    connect(m_checkWatcher, &QFutureWatcher<DamageVerdict>::finished, this, &HistorySession::finishDamageCheck);
    open();
}

HistorySession::~HistorySession() {
    if (m_checkHandle) {
        std::lock_guard<std::mutex> lock(m_checkHandle->mutex);
        m_checkHandle->stop = true;
        if (m_checkHandle->db) sqlite3_interrupt(m_checkHandle->db);
    }
    m_checkWatcher->waitForFinished();
    for (ValueRead& r : m_valueReads) r.reader->interrupt();
    for (ValueRead& r : m_valueReads) r.task.waitForFinished();
}

void HistorySession::open() {
    const QString path = dataFile(kDatabaseFileName);
    m_waiting = false;
    try {
        if (heldByAnotherProgram(path)) throw StoreError("", StoreFailure::kLocked);
        m_store = std::make_unique<HistoryStore>(path.toStdString());
        m_dataVersion = dataVersion();
        m_snapshot = readSnapshot();
        m_openError.clear();
    } catch (const std::exception& e) {
        m_store.reset();
        m_snapshot = std::make_shared<Snapshot>();
        const auto* failure = dynamic_cast<const StoreError*>(&e);
        m_waiting = failure && failure->kind() == StoreFailure::kLocked;
        m_openError = m_waiting ? QString("历史数据库 %1 正被另一个程序改动，等它改完后自动读入历史号码…")
                                      .arg(QDir::toNativeSeparators(path))
                                : QString::fromUtf8(e.what());
    }
    if (m_waiting) {
        m_retryTimer->start();
        return;
    }
    if (!m_store || m_store->integrityChecked()) return;
    // The check reads the whole file: it starts once the window is up and never holds it up.
    m_checking = true;
    QTimer::singleShot(0, this, &HistorySession::startDamageCheck);
}

void HistorySession::retryOpen() {
    if (heldByAnotherProgram(dataFile(kDatabaseFileName))) {
        m_retryTimer->start();
        return;
    }
    open();
    if (m_waiting) return;
    if (m_store) emit historyChanged(m_snapshot);
    emit accessChanged();
}

HistoryAccess HistorySession::access() const {
    if (!m_store) return m_waiting ? HistoryAccess::kWaiting : HistoryAccess::kClosed;
    if (!m_damage.isEmpty()) return HistoryAccess::kDamaged;
    if (m_store->readOnly()) return HistoryAccess::kReadOnly;
    return m_checking ? HistoryAccess::kChecking : HistoryAccess::kWritable;
}

QString HistorySession::accessMessage() const {
    switch (access()) {
        case HistoryAccess::kClosed:
        case HistoryAccess::kWaiting: return m_openError;
        case HistoryAccess::kDamaged: return m_damage;
        case HistoryAccess::kReadOnly: return QString::fromUtf8(m_store->readOnlyMessage().c_str());
        case HistoryAccess::kChecking:
        case HistoryAccess::kWritable: break;
    }
    return {};
}

void HistorySession::startDamageCheck() {
    if (!m_store || m_checkWatcher->isRunning()) return;
    m_checkHandle = std::make_shared<DamageCheckHandle>();
    m_checkWatcher->setFuture(QtConcurrent::run(&m_checkThread, checkForDamage, m_store->path(), m_checkHandle));
}

void HistorySession::finishDamageCheck() {
    const DamageVerdict verdict = m_checkWatcher->result();
    m_checking = false;
    if (!m_store) return;
    m_damage = verdict.damage;
    // A pass counts as the store's own: its first change does not read the whole file again.
    if (verdict.passed) m_store->markIntact();
    emit accessChanged();
}

std::shared_ptr<const Snapshot> HistorySession::readSnapshot() {
    std::erase_if(m_valueReads, [](const ValueRead& r) { return r.task.isFinished(); });
    std::shared_ptr<HistoryReader> reader = m_store->reader();
    DrawColumns d = reader->readDraws();
    auto values = std::make_shared<std::promise<std::shared_ptr<const SnapshotValues>>>();
    auto snap = std::make_shared<Snapshot>(std::move(d.issues), std::move(d.ranks), std::move(d.newestDice),
                                           values->get_future().share());
    QFuture<void> task = QtConcurrent::run([reader, values] {
        try {
            values->set_value(reader->readValues(kAllParts));
        } catch (...) {
            values->set_exception(std::current_exception());
        }
    });
    m_valueReads.push_back({std::move(task), std::move(reader)});
    return snap;
}

QString HistorySession::dataFile(const QString& name) const { return QDir(m_dataDir).filePath(name); }

int64_t HistorySession::dataVersion() { return m_store->db().scalarInt("PRAGMA data_version"); }

bool HistorySession::catchUp() {
    if (!m_store) return false;
    try {
        // A background read of the values that failed is done again, as for a change made elsewhere.
        if (dataVersion() == m_dataVersion && !m_snapshot->valuesFailed()) return false;
    } catch (const std::exception& e) {
        emit readFailed(QString("读取历史号码失败: %1").arg(QString::fromUtf8(e.what())));
        return false;
    }
    readHistory(true);
    return true;
}

void HistorySession::reload() { readHistory(false); }

void HistorySession::readHistory(bool elsewhere) {
    if (m_store) {
        try {
            const int64_t version = dataVersion();
            m_snapshot = readSnapshot();
            m_dataVersion = version;
        } catch (const std::exception& e) {
            emit readFailed(QString("读取历史号码失败: %1").arg(QString::fromUtf8(e.what())));
        }
    }
    m_changedElsewhere = elsewhere;
    emit historyChanged(m_snapshot);
    m_changedElsewhere = false;
}

DerivedDraw HistorySession::addTypedDraw(const std::string& issue, const std::string& die1, const std::string& die2,
                                         const std::string& die3) {
    if (!m_store) throw EntryRejected("历史数据库没有打开");
    catchUp();
    DerivedDraw added = addManualDraw(*m_store, issue, die1, die2, die3, m_segmentBase);
    // The usual newest draw needs no new read of the whole history, unless another connection wrote
    // since the copy was read: then only a new read holds both.
    std::shared_ptr<const Snapshot> extended;
    try {
        if (dataVersion() == m_dataVersion) extended = withNewestAppended(m_snapshot, added);
    } catch (const std::exception&) {
    }
    if (!extended) {
        reload();
        return added;
    }
    m_snapshot = std::move(extended);
    emit historyChanged(m_snapshot);
    return added;
}

void HistorySession::setLotteryIndex(int index) {
    if (index < 0 || index >= kProvinceCount) return;
    m_lotteryIndex = index;
    m_settings->setLotteryIndex(index);
}

std::optional<int64_t> HistorySession::nextIssue() const {
    if (m_snapshot->empty()) return std::nullopt;
    return k3::nextIssue(m_snapshot->rows.back().sqqh, lottery().drawsPerDay, runningNumbers());
}

void HistorySession::setSearchType(int type) {
    if (type < kNumber || type > kSegment) return;
    m_searchType = type;
    m_settings->setSearchType(type);
    emit searchTypeChanged(type);
}

void HistorySession::setSegmentBase(int base) {
    if (base != 0 && base != 1) return;
    m_segmentBase = base;
    m_settings->setSegmentBase(base);
}

void HistorySession::setLookBackYears(int years) {
    m_lookBackYears = years;
    m_settings->setLookBackYears(years);
}

void HistorySession::setFreePositions(bool free) {
    m_freePositions = free;
    m_settings->setFreePositions(free);
}

void HistorySession::setPartialWidth(int width) {
    m_partialWidth = width;
    m_settings->setPartialWidth(width);
}

QString HistorySession::updateUrl() const { return m_settings->updateUrl(); }
void HistorySession::setUpdateUrl(const QString& tmpl) { m_settings->setUpdateUrl(tmpl); }
bool HistorySession::updateUrlSet() const { return updateUrl() != Settings::defaultUpdateUrl(); }

UpdateRequest HistorySession::updateRequest(std::chrono::year_month_day today, long timeoutSeconds) const {
    UpdateRequest req;
    req.urlTemplate = updateUrl().toStdString();
    req.code = lottery().code;
    req.runningNumbers = runningNumbers();
    req.drawsPerDay = lottery().drawsPerDay;
    req.years = m_lookBackYears;
    req.today = today;
    req.segBase = m_segmentBase;
    req.timeoutSeconds = timeoutSeconds;
    return req;
}

}  // namespace k3
