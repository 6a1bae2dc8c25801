// The session's province handling: which file holds the chosen province's history, opening it, and the
// switch to another province's history in the background.
#include <QDir>
#include <QTimer>
#include <filesystem>

#include "background_task.h"
#include "history_session.h"
#include "settings/settings.h"
#include "store/damage_check.h"

namespace k3 {

namespace {

// The province's history decided and opened, without waiting for another program's lock on gapbook.db
// (whose record decides) or on the province's file: kLocked at once. `files` is what was decided, also
// when the opening fails.
std::unique_ptr<HistoryStore> openWithoutWaiting(const std::string& dataDir, int index, int unrecordedOwner,
                                                 ProvinceFiles& files) {
    const std::string main = (std::filesystem::path(dataDir) / kDatabaseFileName).string();
    files = ProvinceFiles{index, main, (std::filesystem::path(dataDir) / kBackupFileName).string()};
    if (heldByAnotherProgram(main)) throw StoreError("", StoreFailure::kLocked);
    files = provinceFiles(dataDir, index, unrecordedOwner);
    if (files.database != main && heldByAnotherProgram(files.database)) throw StoreError("", StoreFailure::kLocked);
    return std::move(openProvinceHistory(files).store);
}

// An older gapbook.db taken for the province, and not recorded yet: it gets the record when the file may
// first be written.
bool recordDue(const ProvinceFiles& files, HistoryStore& store) {
    return files.adopted && !store.readOnly() && !store.recordedProvince();
}

}  // namespace

// What a switch hands to the window's thread.
struct HistorySession::SwitchedTo {
    ProvinceFiles files;
    std::unique_ptr<HistoryStore> store;
    std::shared_ptr<HistoryReader> reader;
    DrawColumns draws;
    int64_t dataVersion = 0;
    std::string damage;  // the draws break the history's rules
};

std::unique_ptr<HistoryStore> HistorySession::openStore() {
    std::unique_ptr<HistoryStore> store =
        openWithoutWaiting(m_dataDir.toStdString(), m_lotteryIndex, m_unrecordedOwner, m_files);
    m_recordPending = recordDue(m_files, *store);
    return store;
}

bool HistorySession::switchProvince(int index, QWidget* progressParent) {
    if (index < 0 || index >= kProvinceCount || index == m_lotteryIndex || m_switch || m_commandRunning) return false;
    setCommandRunning(true);
    // The history left keeps its province: an older gapbook.db taken for it is recorded before the
    // settings name another province (the check's verdict is waited for: a damaged file is not written).
    std::function<std::unique_ptr<HistoryStore>()> recordLeft;
    if (m_store && m_recordPending) recordLeft = workerStoreOpener(true);
    // The check of the left history's pages reads its whole file beside the switch's read of the other:
    // it gives way (started again should the switch fail). Not while the record waits for its verdict.
    if (m_check && !recordLeft) {
        m_check->cancel();
        m_closing.push_back(std::move(m_check));
        m_check.reset();
        ++m_checkRound;
    }
    const std::string leftPath = m_store ? m_store->path() : std::string();
    const std::string dataDir = m_dataDir.toStdString();
    const int owner = m_unrecordedOwner;
    // The connections of a history left earlier still closing: the last one merges the log into the file
    // and holds it meanwhile, which a look at the file takes for another program's lock. Such a lock is
    // looked at again once they have closed.
    std::erase_if(m_closing, [](const auto& c) { return c->finished(); });
    std::vector<std::shared_ptr<TaskControl>> closing = m_closing;
    auto task = [recordLeft, leftPath, dataDir, index, owner, closing](TaskControl&) {
        // Tried at once, and once more after this window's own closing connections have let go: a
        // lock still held is another program's, and the switch says so instead of stalling on it.
        for (bool waited = closing.empty(); recordLeft;) {
            try {
                recordLeft()->recordProvince(false);
                break;
            } catch (const StoreError& e) {
                // Held by another program: left unrecorded, the file would be taken for the next
                // province at the next start, so the switch waits for another time.
                if (e.kind() != StoreFailure::kLocked) break;  // damaged or read-only: never written
                if (waited)
                    throw StoreError("历史数据库 " + leftPath + " 正被另一个程序改动，请稍后再试",
                                     StoreFailure::kLocked);
            } catch (const std::exception&) {
                break;
            }
            for (const auto& c : closing) c->wait();
            waited = true;
        }
        SwitchedTo to;
        for (bool waited = closing.empty();;) {
            try {
                to.store = openWithoutWaiting(dataDir, index, owner, to.files);
                break;
            } catch (const StoreError& e) {
                if (e.kind() != StoreFailure::kLocked || *e.what()) throw;
                if (waited)
                    throw StoreError("历史数据库 " + to.files.database + " 正被另一个程序改动，请稍后再试",
                                     StoreFailure::kLocked);
            }
            for (const auto& c : closing) c->wait();
            waited = true;
        }
        to.dataVersion = to.store->changeCounter();
        to.reader = to.store->reader();
        try {
            to.draws = to.reader->readDraws();
        } catch (const StoreError& e) {
            if (e.kind() != StoreFailure::kDamaged) throw;
            // Its draws break the history's rules: switched to, damaged, with nothing of it in view.
            to.damage = e.what();
            to.reader.reset();
        }
        return to;
    };
    auto done = [this, index](TaskOutcome<SwitchedTo>& outcome) {
        m_switch.reset();
        if (outcome.failed()) {
            setCommandRunning(false);
            startDamageCheck();  // the one that gave way to the switch, if it did
            emit switchFailed(index, outcome.errorText());
            return;
        }
        finishSwitch(index, outcome.value());
    };
    if (progressParent)
        m_switch = runWithProgress(
            this, progressParent,
            {"彩种选择", QString("正在打开%1的历史号码…").arg(QString::fromUtf8(province(index).caption)), false},
            std::move(task), std::move(done));
    else
        m_switch = runThenCallback(this, std::move(task), std::move(done));
    return true;
}

void HistorySession::finishSwitch(int index, SwitchedTo& to) {
    // The work on the history left ends; what it still hands back is dropped (by the generation).
    if (m_check) {
        m_check->cancel();
        m_closing.push_back(std::move(m_check));
    }
    m_check.reset();
    // The values of the history left still being read hold a connection to its file.
    for (auto& r : m_valueReads)
        if (!r->finished()) m_closing.push_back(std::move(r));
    m_valueReads.clear();
    if (m_verdictPromise) m_verdictPromise->set_value({});
    m_verdictPromise.reset();
    m_verdict = {};
    m_retryTimer->stop();
    retire(std::move(m_store));

    m_store = std::move(to.store);
    ++m_storeGeneration;
    m_files = to.files;
    m_lotteryIndex = index;
    m_settings->setLotteryIndex(index);
    m_recordPending = recordDue(m_files, *m_store);
    m_waiting = false;
    m_openError.clear();
    m_damage.clear();
    m_damageHidesHistory = false;
    m_pagesPending = m_rulesPending = m_recording = false;
    m_dataVersion = to.dataVersion;
    if (!to.damage.empty()) {
        m_damage = QString::fromStdString(to.damage);
        m_damageHidesHistory = true;
        m_snapshot = std::make_shared<Snapshot>();
    } else {
        m_snapshot = snapshotReadingValues(std::move(to.reader), std::move(to.draws));
        if (!m_store->integrityChecked()) expectDamageCheck();
    }
    emit provinceChanged(index);
    emit historyChanged(m_snapshot, HistoryOrigin::kSwitched);
    emit accessChanged();
    setCommandRunning(false);
}

void HistorySession::retire(std::unique_ptr<HistoryStore> store) {
    if (!store) return;
    m_closing.push_back(runThenCallback(
        this, [left = std::shared_ptr<HistoryStore>(std::move(store))](TaskControl&) mutable { left.reset(); },
        [](TaskOutcome<NoValue>&) {}));
}

}  // namespace k3
