#include "history_session.h"

#include <QDir>
#include <QtConcurrent/QtConcurrentRun>

#include "history/manual_entry.h"
#include "settings/settings.h"
#include "store/issue.h"

namespace k3 {

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
    try {
        m_store = std::make_unique<HistoryStore>(dataFile(kDatabaseFileName).toStdString());
        m_dataVersion = dataVersion();
        m_snapshot = readSnapshot();
    } catch (const std::exception& e) {
        m_store.reset();
        m_snapshot = std::make_shared<Snapshot>();
        m_openError = QString::fromUtf8(e.what());
    }
}

HistorySession::~HistorySession() {
    for (ValueRead& r : m_valueReads) r.reader->interrupt();
    for (ValueRead& r : m_valueReads) r.task.waitForFinished();
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
