#include "history_session.h"

#include <QDir>
#include <QFileInfo>
#include <QTimer>
#include <filesystem>

#include "background_task.h"
#include "history/manual_entry.h"
#include "settings/settings.h"
#include "store/issue.h"

namespace k3 {

namespace {

// How often a file held by another program is tried again.
constexpr int kRetryMs = 500;

}  // namespace

HistorySession::HistorySession(const QString& dataDir, const QString& settingsFile, QObject* parent)
    : QObject(parent),
      m_dataDir(dataDir),
      m_settings(settingsFile.isEmpty() ? std::make_unique<Settings>() : std::make_unique<Settings>(settingsFile)) {
    m_lookBackYears = m_settings->lookBackYears();
    m_lotteryIndex = m_unrecordedOwner = m_settings->lotteryIndex();
    m_freePositions = m_settings->freePositions();
    m_searchType = m_settings->searchType();
    m_segmentBase = m_settings->segmentBase();
    m_partialWidth = m_settings->partialWidth();
    m_retryTimer = new QTimer(this);
    m_retryTimer->setSingleShot(true);
    m_retryTimer->setInterval(kRetryMs);
    connect(m_retryTimer, &QTimer::timeout, this, &HistorySession::retryOpen);
    open();
}

HistorySession::~HistorySession() {
    // The background work on the file is interrupted and waited for; its results are dropped.
    if (m_check) m_check->cancel();
    for (const auto& r : m_valueReads) r->cancel();
    for (const auto& c : m_closing) c->cancel();
    if (m_check) m_check->wait();
    for (const auto& r : m_valueReads) r->wait();
    if (m_switch) m_switch->wait();
    for (const auto& c : m_closing) c->wait();
}

void HistorySession::open() {
    m_waiting = false;
    ++m_storeGeneration;  // before the read of the values begins: it belongs to this store
    try {
        m_store = openStore();
        m_dataVersion = dataVersion();
        m_openError.clear();
        try {
            m_snapshot = readSnapshot();
        } catch (const StoreError& e) {
            if (e.kind() != StoreFailure::kDamaged) throw;
            // The file is open, but its draws break the rules: damaged, with nothing of it in view.
            m_snapshot = std::make_shared<Snapshot>();
            m_damage = QString::fromUtf8(e.what());
            m_damageHidesHistory = true;
            return;
        }
    } catch (const std::exception& e) {
        m_store.reset();
        m_snapshot = std::make_shared<Snapshot>();
        const auto* failure = dynamic_cast<const StoreError*>(&e);
        m_waiting = failure && failure->kind() == StoreFailure::kLocked;
        m_openError = m_waiting ? QString("历史数据库 %1 正被另一个程序改动，等它改完后自动读入历史号码…")
                                      .arg(QDir::toNativeSeparators(databaseFile()))
                                : QString::fromUtf8(e.what());
    }
    if (m_waiting) {
        m_retryTimer->start();
        return;
    }
    if (m_store && !m_store->integrityChecked()) expectDamageCheck();
}

// The pages are checked once the window is up, never holding it up; the rules on the read of the values
// that has begun. A change started meanwhile waits for both verdicts on its own thread.
void HistorySession::expectDamageCheck() {
    m_pagesPending = m_rulesPending = true;
    m_pagesPassed = m_rulesPassed = false;
    m_verdictPromise = std::make_shared<std::promise<DamageVerdict>>();
    m_verdict = m_verdictPromise->get_future().share();
    QTimer::singleShot(0, this, &HistorySession::startDamageCheck);
}

void HistorySession::retryOpen() {
    open();
    if (m_waiting) return;
    if (m_store) emit historyChanged(m_snapshot, HistoryOrigin::kOpened);
    emit accessChanged();
}

HistoryAccess HistorySession::access() const {
    if (!m_store) return m_waiting ? HistoryAccess::kWaiting : HistoryAccess::kClosed;
    if (!m_damage.isEmpty()) return HistoryAccess::kDamaged;
    if (m_store->readOnly()) return HistoryAccess::kReadOnly;
    return m_pagesPending || m_rulesPending || m_recording ? HistoryAccess::kChecking : HistoryAccess::kWritable;
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
    if (!m_store || m_check || !m_pagesPending) return;
    std::shared_ptr<DamageCheck> check;
    try {
        check = m_store->damageCheck(DamageScope::kPages);
    } catch (const std::exception&) {
        // No connection for the check: the store checks the file itself before its first change.
        m_pagesPending = false;
        checkEnded();
        return;
    }
    const uint64_t generation = m_storeGeneration;
    const uint64_t round = m_checkRound;
    m_check = runThenCallback(
        this,
        [check](TaskControl& control) {
            control.setCancelHook([check] { check->interrupt(); });
            DamageVerdict verdict;
            try {
                check->run();
                verdict.passed = true;
            } catch (const StoreError& e) {
                // Only damage counts; a check that could not run to its end leaves the store to check
                // the file itself before its first change.
                if (e.kind() == StoreFailure::kDamaged) verdict.damage = QString::fromUtf8(e.what());
            }
            return verdict;
        },
        [this, generation, round](TaskOutcome<DamageVerdict>& outcome) {
            // The check of a history left, or one that gave way to a switch.
            if (generation != m_storeGeneration || round != m_checkRound) return;
            m_check.reset();
            if (!m_store || !m_pagesPending) return;
            m_pagesPending = false;
            if (!outcome.failed()) {
                if (m_damage.isEmpty()) m_damage = outcome.value().damage;
                m_pagesPassed = outcome.value().passed;
            }
            checkEnded();
        });
}

void HistorySession::settleVerdict(const DamageVerdict& verdict) {
    if (!m_verdictPromise) return;
    m_verdictPromise->set_value(verdict);
    m_verdictPromise.reset();
}

void HistorySession::checkEnded() {
    if (m_pagesPending || m_rulesPending) return;
    // Both passes count as the store's own: its first change does not read the whole file again.
    const bool passed = m_damage.isEmpty() && m_pagesPassed && m_rulesPassed;
    if (passed) m_store->markIntact();
    settleVerdict({.passed = passed, .damage = m_damage});
    // The window hears of the verdict once the record is written: its write is not a change elsewhere.
    if (passed && recordProvince()) return;
    emit accessChanged();
}

void HistorySession::rulesBroken(const QString& message) {
    m_damage = message;
    m_damageHidesHistory = true;
    m_rulesPending = false;
    if (m_check) m_check->cancel();
    m_pagesPending = false;
    settleVerdict({.passed = false, .damage = m_damage});
    m_snapshot = std::make_shared<Snapshot>();
    emit historyChanged(m_snapshot, HistoryOrigin::kElsewhere);
    emit accessChanged();
}

// The first moment the file may be written: an older gapbook.db gets its province's record.
bool HistorySession::recordProvince() {
    if (!m_recordPending || !m_store || m_store->readOnly()) return false;
    std::function<std::unique_ptr<HistoryStore>()> opener = workerStoreOpener();
    const uint64_t generation = m_storeGeneration;
    std::erase_if(m_closing, [](const auto& c) { return c->finished(); });
    m_closing.push_back(runThenCallback(
        this,
        [opener](TaskControl&) {
            try {
                return opener()->recordProvince(false);
            } catch (const std::exception&) {
                // Held by another program, or no room: the first change records it.
                return false;
            }
        },
        [this, generation](TaskOutcome<bool>& outcome) {
            if (generation != m_storeGeneration) return;
            m_recording = false;
            if (!outcome.failed() && outcome.value()) {
                // The record is this window's own write: not a change made elsewhere to read again.
                m_recordPending = false;
                ownWriteLeftTheDraws();
            }
            emit accessChanged();
        }));
    m_recording = true;
    return true;
}

std::function<std::unique_ptr<HistoryStore>()> HistorySession::workerStoreOpener(bool forChange) const {
    const std::string path = m_store ? m_store->path() : m_files.database;
    const std::string code = province(m_lotteryIndex).code;
    const bool intact = m_store && m_store->integrityChecked();
    std::shared_future<DamageVerdict> verdict;
    if (forChange && !intact && m_store) verdict = m_verdict;
    return [path, code, intact, verdict] {
        auto store = std::make_unique<HistoryStore>(path, code);
        if (intact) {
            store->markIntact();
        } else if (verdict.valid()) {
            // The window's check of the whole file serves this change too: no second check beside it.
            DamageVerdict v;
            try {
                v = verdict.get();
            } catch (const std::future_error&) {
                // No verdict: the store checks the file itself before it changes it.
            }
            if (!v.damage.isEmpty()) throw StoreError(v.damage.toStdString(), StoreFailure::kDamaged);
            if (v.passed) store->markIntact();
        }
        return store;
    };
}

void HistorySession::setCommandRunning(bool running) {
    if (m_commandRunning == running) return;
    m_commandRunning = running;
    emit commandRunningChanged(running);
}

std::shared_ptr<const Snapshot> HistorySession::readSnapshot() {
    std::shared_ptr<HistoryReader> reader = m_store->reader();
    DrawColumns d = reader->readDraws();
    return snapshotReadingValues(std::move(reader), std::move(d));
}

std::shared_ptr<const Snapshot> HistorySession::snapshotReadingValues(std::shared_ptr<HistoryReader> reader,
                                                                      DrawColumns d) {
    std::erase_if(m_valueReads, [](const auto& r) { return r->finished(); });
    auto values = std::make_shared<std::promise<std::shared_ptr<const SnapshotValues>>>();
    auto snap = std::make_shared<Snapshot>(std::move(d.issues), std::move(d.ranks), std::move(d.newestDice),
                                           values->get_future().share());
    snap->setContentToken(d.token);
    // The snapshot waits for the promise. The read checks the history's rules on every value it reads
    // (txtHisLst too): what it finds is the window's verdict on them.
    const uint64_t generation = m_storeGeneration;
    m_valueReads.push_back(runThenCallback(
        this,
        [reader, values](TaskControl& control) {
            control.setCancelHook([reader] { reader->interrupt(); });
            DamageVerdict verdict;
            try {
                values->set_value(reader->readValues(kAllParts | kDiceTextChecked));
                verdict.passed = true;
            } catch (const StoreError& e) {
                values->set_exception(std::current_exception());
                if (e.kind() == StoreFailure::kDamaged) verdict.damage = QString::fromUtf8(e.what());
            } catch (...) {
                values->set_exception(std::current_exception());
            }
            return verdict;
        },
        [this, generation, snap = std::weak_ptr<const Snapshot>(snap)](TaskOutcome<DamageVerdict>& outcome) {
            if (!m_store || generation != m_storeGeneration) return;  // a read of a history left
            if (outcome.failed()) {
                // A read that did not end leaves the rules to the store's own check before its first change.
                if (m_rulesPending) {
                    m_rulesPending = false;
                    m_rulesPassed = false;
                    checkEnded();
                }
                return;
            }
            const DamageVerdict& verdict = outcome.value();
            if (!verdict.damage.isEmpty()) {
                // Only while this history is still the one in view.
                if (snap.lock() == m_snapshot) rulesBroken(verdict.damage);
                return;
            }
            if (!m_rulesPending) return;
            // A read that could not end (interrupted, a failing disk) leaves the store to check the rules
            // itself before its first change.
            m_rulesPending = false;
            m_rulesPassed = verdict.passed;
            checkEnded();
        }));
    return snap;
}

QString HistorySession::dataFile(const QString& name) const { return QDir(m_dataDir).filePath(name); }

QString HistorySession::databaseFile() const { return QString::fromStdString(m_files.database); }

QString HistorySession::backupFile() const { return QString::fromStdString(m_files.backup); }

int64_t HistorySession::dataVersion() { return m_store->changeCounter(); }

bool HistorySession::catchUp() {
    if (!m_store) return false;
    try {
        // A background read of the values that failed is done again, as for a change made elsewhere.
        if (dataVersion() == m_dataVersion && !m_snapshot->valuesFailed()) return false;
    } catch (const std::exception& e) {
        emit readFailed(QString("读取历史号码失败: %1").arg(QString::fromUtf8(e.what())));
        return false;
    }
    readHistory(HistoryOrigin::kElsewhere);
    return true;
}

void HistorySession::ownWriteLeftTheDraws() {
    if (!m_store) return;
    try {
        m_dataVersion = dataVersion();
    } catch (const std::exception&) {
    }
}

void HistorySession::reload() { readHistory(HistoryOrigin::kCommand); }

void HistorySession::adopt(std::shared_ptr<const Snapshot> snapshot) {
    if (m_store) {
        try {
            m_dataVersion = dataVersion();
        } catch (const std::exception&) {
        }
    }
    m_snapshot = std::move(snapshot);
    emit historyChanged(m_snapshot, HistoryOrigin::kCommand);
}

void HistorySession::showAgain() { emit historyChanged(m_snapshot, HistoryOrigin::kShownAgain); }

void HistorySession::readHistory(HistoryOrigin origin) {
    if (m_store) {
        try {
            const int64_t version = dataVersion();
            m_snapshot = readSnapshot();
            m_dataVersion = version;
        } catch (const StoreError& e) {
            if (e.kind() == StoreFailure::kDamaged) {
                try {
                    m_dataVersion = dataVersion();
                } catch (const std::exception&) {
                }
                rulesBroken(QString::fromUtf8(e.what()));
                return;
            }
            emit readFailed(QString("读取历史号码失败: %1").arg(QString::fromUtf8(e.what())));
        } catch (const std::exception& e) {
            emit readFailed(QString("读取历史号码失败: %1").arg(QString::fromUtf8(e.what())));
        }
    }
    emit historyChanged(m_snapshot, origin);
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
        // Nothing else was written in between: the file's token is the one this change set.
        if (dataVersion() == m_dataVersion) extended = withNewestAppended(m_snapshot, added, m_store->lastToken());
    } catch (const std::exception&) {
    }
    if (!extended) {
        readHistory(HistoryOrigin::kTypedDraw);
        return added;
    }
    m_snapshot = std::move(extended);
    emit historyChanged(m_snapshot, HistoryOrigin::kTypedDraw);
    return added;
}

std::optional<int64_t> HistorySession::nextIssue() const {
    if (m_snapshot->empty()) return std::nullopt;
    const auto next = issueAfter(m_snapshot->rows.back().sqqh, lottery().drawsPerDay, runningNumbers());
    if (!next) return std::nullopt;
    return int64_t{*next};
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
bool HistorySession::updateUrlSet() const { return m_settings->updateUrlSet(); }

UpdateRequest HistorySession::updateRequest(std::chrono::year_month_day today, long timeoutSeconds) const {
    UpdateRequest req;
    req.urlTemplate = updateUrl().toStdString();
    req.code = lottery().code;
    req.caption = lottery().caption;
    req.runningNumbers = runningNumbers();
    req.drawsPerDay = lottery().drawsPerDay;
    req.years = m_lookBackYears;
    req.today = today;
    req.segBase = m_segmentBase;
    req.timeoutSeconds = timeoutSeconds;
    return req;
}

}  // namespace k3
