#include "history_store.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <set>
#include <thread>

#include "history_rules.h"
#include "schema.h"
#include "store/platform.h"

namespace fs = std::filesystem;

namespace k3 {

namespace {

const char* const kRequiredColumns[] = {
    "IDX", "SQQH", "L1A", "L2A", "L3A",       "L1B",         "L2B",         "L3B",         "L1E",          "L2E",
    "L3E", "L1F",  "L2F", "L3F", "txtHisLst", "txtHisLstHm", "txtHisLstDx", "txtHisLstDs", "txtHisLstDuan"};

// The table of the province's record, as the schema has it.
const char* const kProvinceTableSql = "CREATE TABLE IF NOT EXISTS k3province (\n    code TEXT NOT NULL\n)";

// Page caches of the store's connection (negative: KiB): between changes, and while one runs.
constexpr int kIdleCacheKiB = -8192;
constexpr int kChangeCacheKiB = -65536;

// The check for damage on a thread of its own while a change runs.
class CheckAlongside {
public:
    explicit CheckAlongside(const std::string& path) : check_(path, Db::Mode::kReadOnly) {
        thread_ = std::thread([this] {
            try {
                check_.run();
            } catch (...) {
                failure_ = std::current_exception();
            }
        });
    }
    ~CheckAlongside() {
        if (thread_.joinable()) {
            check_.interrupt();
            thread_.join();
        }
    }
    CheckAlongside(const CheckAlongside&) = delete;
    CheckAlongside& operator=(const CheckAlongside&) = delete;
    // Waits for the verdict and throws damage (kDamaged). After a failed change (`bodyFailed`) the
    // check is cut short and only damage already found is thrown.
    void finish(bool bodyFailed) {
        if (bodyFailed) check_.interrupt();
        thread_.join();
        if (!failure_) return;
        try {
            std::rethrow_exception(failure_);
        } catch (const StoreError& e) {
            if (e.kind() == StoreFailure::kDamaged || !bodyFailed) throw;
        }
    }

private:
    DamageCheck check_;
    std::exception_ptr failure_;
    std::thread thread_;
};

StoreError failure(StoreFailure kind, const std::string& path, const std::string& detail = {}) {
    return StoreError(storeFailureText(kind, path, detail), kind);
}

}  // namespace

HistoryStore::HistoryStore(std::string path, std::string provinceCode)
    : path_(std::move(path)), provinceCode_(std::move(provinceCode)) {
    std::error_code ec;
    const fs::path file(path_);
    const fs::path folder = file.has_parent_path() ? file.parent_path() : fs::path(".");
    const fs::file_status st = fs::status(file, ec);
    if (!fs::is_directory(folder, ec)) throw failure(StoreFailure::kCannotOpen, path_, "文件夹不存在");
    if (fs::exists(st) && !fs::is_regular_file(st)) throw failure(StoreFailure::kCannotOpen, path_, "不是普通文件");
    const bool fresh = !fs::exists(st) || fs::file_size(file, ec) == 0;
    if (!canWrite(folder))
        readOnlyReason_ = "它所在的文件夹 " + folder.string() + " 是只读的";
    else if (fs::exists(st) && !canWrite(file))
        readOnlyReason_ = "文件是只读的";
    else if (!fresh && folderFull(folder.string()) && !fs::exists(path_ + "-shm", ec))
        // Even reading would have to create the index of the log (-shm) beside the file: the history
        // is read without it, and cannot be changed until there is room.
        readOnlyReason_ = "磁盘已满";
    readOnly_ = !readOnlyReason_.empty();
    if (fresh) {
        if (readOnly_)
            throw StoreError("无法创建历史数据库 " + path_ + "（" + readOnlyReason_ + "）", StoreFailure::kReadOnly);
        db_ = Db(path_, Db::Mode::kCreate);
        createHistory();
    } else {
        // Nobody can change a file that this program may not write, unless a log of changes not yet
        // merged into it is waiting: then SQLite has to read that log, with its locks.
        const bool pendingLog = fs::file_size(path_ + "-wal", ec) > 0 && !ec;
        mode_ = !readOnly_ ? Db::Mode::kReadWrite : pendingLog ? Db::Mode::kReadOnly : Db::Mode::kImmutable;
        db_ = Db(path_, mode_);
        if (!readOnly_ && sqlite3_db_readonly(db_.handle(), "main") == 1) {
            readOnly_ = true;
            readOnlyReason_ = "文件是只读的";
        }
        // A creation cut short (the program killed before its commit) leaves an empty database once
        // SQLite has rolled back what it had begun: nothing is in it, and it becomes a new history.
        if (!readOnly_ && db_.scalarInt("PRAGMA page_count") == 0)
            createHistory();
        else
            checkHistoryDatabase();
    }
    // This connection's changes set the content token once each (write()) instead of by a trigger a row.
    sqlite3_db_config(db_.handle(), SQLITE_DBCONFIG_ENABLE_TRIGGER, 0, nullptr);
    // Settings of this connection only; none of them writes to the file.
    // No memory mapping: a read of the whole file would keep all of it in the process's memory. A small
    // page cache between changes; a change has a larger one while it runs (write()).
    db_.exec("PRAGMA synchronous=NORMAL; PRAGMA mmap_size=0; PRAGMA cache_size=" + std::to_string(kIdleCacheKiB) + ";");
}

// The schema and the record commit together, before the file is switched to WAL mode: a program killed
// on the way leaves either a whole new history or an empty file (SQLite rolls back the rest).
void HistoryStore::createHistory() {
    {
        Transaction tx(db_);
        db_.exec(kHistorySchemaSql);
        insertRecordIfMissing();
        tx.commit();
    }
    db_.exec("PRAGMA journal_mode=WAL");
    prepared_ = integrityChecked_ = true;
}

void HistoryStore::insertRecordIfMissing() {
    if (provinceCode_.empty()) return;
    Stmt st = db_.prepare("INSERT INTO k3province (code) SELECT ? WHERE NOT EXISTS (SELECT 1 FROM k3province)");
    st.bind(1, provinceCode_);
    st.run();
}

std::optional<std::string> HistoryStore::recordedProvince() {
    if (!db_.scalarInt("SELECT COUNT(*) FROM sqlite_master WHERE type = 'table' AND name = 'k3province'"))
        return std::nullopt;
    Stmt st = db_.prepare("SELECT code FROM k3province ORDER BY rowid LIMIT 1");
    if (!st.step() || st.colIsNull(0)) return std::nullopt;
    return std::string(st.colText(0));
}

bool HistoryStore::recordProvince(bool waitForOthers) {
    if (provinceCode_.empty() || readOnly_) return false;
    if (!waitForOthers) db_.setBusyWait(0);
    struct WaitAgain {
        Db& db;
        bool restore;
        ~WaitAgain() {
            if (restore) db.setBusyWait(kBusyWaitMs);
        }
    } waitAgain{db_, !waitForOthers};
    if (recordedProvince()) return true;
    // A damaged file is never changed, not even by its record.
    checkIntegrity();
    Transaction tx(db_);
    db_.exec(kProvinceTableSql);
    insertRecordIfMissing();
    tx.commit();
    return true;
}

// Reads only: a file that fails is refused before anything is written to it.
void HistoryStore::checkHistoryDatabase() {
    auto notHistory = [this](const std::string& why) { return failure(StoreFailure::kNotHistory, path_, why); };
    const std::string type = db_.scalarText("SELECT type FROM sqlite_master WHERE name = 'lishi' COLLATE NOCASE");
    if (type.empty()) throw notHistory("没有表 lishi");
    if (type != "table") throw notHistory("lishi 不是表");
    std::set<std::string> cols;
    {
        Stmt st = db_.prepare("PRAGMA table_info(lishi)");
        while (st.step()) cols.emplace(st.colText(1));
    }
    for (const char* c : kRequiredColumns)
        if (!cols.count(c)) throw notHistory(std::string("表 lishi 缺少字段 ") + c);
    // Each issue once: kept by a unique index on SQQH; a file without one must not hold a repeat,
    // or the index the first change adds could not be built.
    bool unique = false;
    {
        Stmt list = db_.prepare("SELECT name FROM pragma_index_list('lishi') WHERE \"unique\" AND NOT partial");
        while (!unique && list.step()) {
            Stmt info = db_.prepare("SELECT group_concat(name) FROM pragma_index_info(?)");
            info.bind(1, list.colText(0));
            unique = info.step() && info.colText(0) == "SQQH";
        }
    }
    if (!unique && db_.scalarInt("SELECT EXISTS (SELECT 1 FROM lishi GROUP BY SQQH HAVING COUNT(*) > 1)"))
        throw notHistory("期号 SQQH 有重复");
}

void HistoryStore::checkIntegrity() {
    if (integrityChecked_) return;
    quickCheck(db_, path_);
    checkHistoryRules(db_, path_);
    integrityChecked_ = true;
}

std::string HistoryStore::readOnlyMessage() const {
    if (!readOnly_) return {};
    return "历史数据库 " + path_ + " 不能写入（" + readOnlyReason_ + "），历史号码只能查看，不能改动";
}

void HistoryStore::checkWritable() {
    if (readOnly_) throw StoreError(readOnlyMessage(), StoreFailure::kReadOnly);
    checkIntegrity();
}

// SQLite changes the journal mode without calling the busy handler: another program's write to an
// older file is waited for here as long as any statement waits for it.
void HistoryStore::enterWalMode() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kBusyWaitMs);
    for (;;) {
        try {
            db_.exec("PRAGMA journal_mode=WAL");
            return;
        } catch (const StoreError& e) {
            if (e.kind() != StoreFailure::kLocked || std::chrono::steady_clock::now() >= deadline) throw;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

void HistoryStore::write(const std::function<void()>& body, Check scope) {
    if (readOnly_) throw StoreError(readOnlyMessage(), StoreFailure::kReadOnly);
    const bool wal = prepared_ || db_.scalarText("PRAGMA journal_mode") == "wal";
    const bool checkAlongside = scope == Check::kAlongside && wal && !integrityChecked_;
    if (scope == Check::kGroupTable && !integrityChecked_) {
        // The group table is written often (each group calculation) and is small: a damaged history
        // does not get worse by it, so only what the write touches is looked at.
        quickCheck(db_, path_, "sqlite_schema");
        if (db_.scalarInt("SELECT COUNT(*) FROM sqlite_schema WHERE type = 'table' AND name = 'YL'"))
            quickCheck(db_, path_, "YL");
    } else if (!checkAlongside) {
        checkIntegrity();
    }
    // The first change of an existing file sets WAL mode (outside a transaction, as SQLite requires)
    // and adds what an older file may lack (YL, the issue index); it never drops or changes data.
    if (!wal) enterWalMode();
    struct LargerCache {
        Db& db;
        explicit LargerCache(Db& d) : db(d) { db.exec("PRAGMA cache_size=" + std::to_string(kChangeCacheKiB)); }
        ~LargerCache() {
            try {
                db.exec("PRAGMA cache_size=" + std::to_string(kIdleCacheKiB));
            } catch (...) {
            }
        }
    } cache(db_);
    std::optional<int64_t> token;
    Transaction tx(db_);
    // Begun after the write lock is taken: the check reads the history this transaction starts from.
    std::unique_ptr<CheckAlongside> check = checkAlongside ? std::make_unique<CheckAlongside>(path_) : nullptr;
    try {
        if (!prepared_) {
            db_.exec(kHistorySchemaSql);
            insertRecordIfMissing();
        }
        body();
        // Table YL is not the draws: figures counted from these stay current.
        if (scope != Check::kGroupTable) {
            db_.exec("DELETE FROM k3version");
            token = db_.scalarInt("INSERT INTO k3version (token) VALUES (random()) RETURNING token");
        }
    } catch (...) {
        // Damage, when the check finds it, is what the user must hear of.
        if (check) check->finish(true);
        throw;
    }
    if (check) check->finish(false);
    tx.commit();
    if (token) lastToken_ = token;
    if (check) integrityChecked_ = true;
    prepared_ = true;
}

int64_t HistoryStore::count() { return db_.scalarInt("SELECT COUNT(*) FROM lishi"); }

std::optional<int32_t> HistoryStore::newestIssue() {
    // By the issue index: a text or a real sorts after every integer, so a broken newest issue is seen.
    Stmt st = db_.prepare("SELECT SQQH, typeof(SQQH), quote(SQQH), rowid FROM lishi ORDER BY SQQH DESC LIMIT 1");
    if (!st.step()) return std::nullopt;
    const int64_t issue = st.colInt(0);
    if (st.colText(1) != "integer" || issue < 1 || issue > INT32_MAX)
        throw brokenRule(path_, "rowid " + std::to_string(st.colInt(3)) + " 的期号 SQQH 是 " +
                                    std::string(st.colText(2)) + "，应为 1～2147483647 的整数");
    return static_cast<int32_t>(issue);
}

std::optional<int32_t> HistoryStore::oldestIssue() {
    Stmt st = db_.prepare("SELECT MIN(SQQH) FROM lishi");
    if (!st.step() || st.colIsNull(0)) return std::nullopt;
    return static_cast<int32_t>(st.colInt(0));
}

bool HistoryStore::contains(int32_t sqqh) {
    Stmt st = db_.prepare("SELECT 1 FROM lishi WHERE SQQH = ?");
    st.bind(1, int64_t{sqqh});
    return st.step();
}

void HistoryStore::insertRows(const std::vector<DerivedDraw>& draws) {
    if (draws.empty()) return;
    int64_t n = count();
    std::optional<int32_t> newest = newestIssue();
    bool tail = std::is_sorted(draws.begin(), draws.end(),
                               [](const DerivedDraw& a, const DerivedDraw& b) { return a.sqqh < b.sqqh; }) &&
                (!newest || draws.front().sqqh > *newest);
    Stmt ins = db_.prepare(
        "INSERT INTO lishi (IDX, SQQH, L1A, L2A, L3A, L1B, L2B, L3B, L1E, L2E, L3E, L1F, L2F, L3F, "
        "txtHisLst, txtHisLstHm, txtHisLstDx, txtHisLstDs, txtHisLstDuan) "
        "VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)");
    int64_t i = 0;
    for (const DerivedDraw& d : draws) {
        ins.bind(1, tail ? n + ++i : int64_t{0}).bind(2, int64_t{d.sqqh});
        int c = 3;
        for (int t = 0; t < kTypeCount; ++t)
            for (int p = 0; p < 3; ++p) ins.bind(c++, int64_t{d.values[t][p]});
        ins.bind(c++, d.txtHisLst);
        for (int t = 0; t < kTypeCount; ++t) ins.bind(c++, d.pattern[t]);
        try {
            ins.run();
        } catch (const StoreError& e) {
            ins.reset();
            if (e.kind() != StoreFailure::kOther) throw;  // the file's trouble, not the draw's
            if (std::string(e.what()).find("UNIQUE") != std::string::npos)
                throw StoreError("期号 " + std::to_string(d.sqqh) + " 已存在");
            throw StoreError("期号 " + std::to_string(d.sqqh) + " 无法保存: " + e.what());
        }
    }
    if (!tail) renumber();
}

void HistoryStore::renumber() {
    // Only rows whose rank changed are written.
    db_.exec(
        "UPDATE lishi SET IDX = r.rn FROM (SELECT rowid AS id, ROW_NUMBER() OVER (ORDER BY SQQH) AS rn "
        "FROM lishi) AS r WHERE lishi.rowid = r.id AND lishi.IDX <> r.rn");
}

void HistoryStore::append(const std::vector<DerivedDraw>& draws) { appendAndTrim(draws, std::nullopt); }

void HistoryStore::appendAndTrim(const std::vector<DerivedDraw>& draws, std::optional<int32_t> deleteBelow) {
    write([&] {
        insertRows(draws);
        if (deleteBelow) {
            Stmt del = db_.prepare("DELETE FROM lishi WHERE SQQH < ?");
            del.bind(1, int64_t{*deleteBelow});
            del.run();
            if (db_.changes() > 0) renumber();
        }
    });
}

void HistoryStore::replaceAll(const std::vector<DerivedDraw>& draws) {
    write([&] {
        db_.exec("DELETE FROM lishi");
        insertRows(draws);
    });
}

void HistoryStore::rebuildHistory(const Rebuild& rebuild) {
    write([&] {
        std::vector<DerivedDraw> draws = rebuild(issuesAndDice());
        db_.exec("DELETE FROM lishi");
        insertRows(draws);
    });
}

int64_t HistoryStore::deleteNewest(int64_t n) {
    if (n <= 0) return 0;
    int64_t deleted = 0;
    write([&] {
        Stmt st = db_.prepare("DELETE FROM lishi WHERE SQQH IN (SELECT SQQH FROM lishi ORDER BY SQQH DESC LIMIT ?)");
        st.bind(1, n);
        st.run();
        deleted = db_.changes();
    });
    return deleted;
}

void HistoryStore::deleteAbove(int64_t k) {
    write([&] {
        Stmt st = db_.prepare("DELETE FROM lishi WHERE SQQH > ?");
        st.bind(1, k);
        st.run();
    });
}

int64_t HistoryStore::clear() {
    int64_t deleted = 0;
    write([&] {
        db_.exec("DELETE FROM lishi");
        deleted = db_.changes();
    });
    return deleted;
}

void HistoryStore::compact() {
    checkWritable();
    db_.exec("VACUUM");
    // VACUUM writes the whole file through the log; merge it and cut the log back to nothing. Readers
    // of another program may keep the log in use: then it shrinks at a later checkpoint.
    try {
        db_.exec("PRAGMA wal_checkpoint(TRUNCATE)");
    } catch (const StoreError&) {
    }
}

double HistoryStore::freePageShare() {
    const int64_t pages = db_.scalarInt("PRAGMA page_count");
    return pages > 0 ? static_cast<double>(db_.scalarInt("PRAGMA freelist_count")) / static_cast<double>(pages) : 0.0;
}

std::vector<int32_t> HistoryStore::issues() {
    std::vector<int32_t> out;
    Stmt st = db_.prepare("SELECT SQQH FROM lishi ORDER BY SQQH");
    while (st.step()) out.push_back(static_cast<int32_t>(st.colInt(0)));
    return out;
}

std::vector<IssueDice> HistoryStore::issuesAndDice() {
    std::vector<IssueDice> out;
    out.reserve(static_cast<size_t>(count()));
    Stmt st = db_.prepare("SELECT SQQH, L1A, L2A, L3A FROM lishi ORDER BY SQQH");
    while (st.step())
        out.push_back({static_cast<int32_t>(st.colInt(0)), static_cast<int>(st.colInt(1)),
                       static_cast<int>(st.colInt(2)), static_cast<int>(st.colInt(3))});
    return out;
}

std::shared_ptr<const Snapshot> HistoryStore::snapshot(unsigned parts, Ranks ranks) {
    // One read transaction for both steps (unless the caller holds one).
    ReadTransaction read(db_);
    return std::make_shared<Snapshot>(readSnapshot(db_, path_, parts, ranks));
}

std::shared_ptr<const Snapshot> HistoryStore::valuesSnapshot(unsigned parts) {
    ReadTransaction read(db_);
    if (!hasDiceIndex(db_)) return std::make_shared<Snapshot>(readSnapshot(db_, path_, parts));
    return std::make_shared<Snapshot>(readIndexedSnapshot(db_, path_, parts));
}

std::unique_ptr<DamageCheck> HistoryStore::damageCheck(DamageScope scope) const {
    return std::make_unique<DamageCheck>(path_, mode_ == Db::Mode::kImmutable ? mode_ : Db::Mode::kReadOnly, scope);
}

std::unique_ptr<HistoryReader> HistoryStore::reader() const {
    return std::make_unique<HistoryReader>(path_, mode_ == Db::Mode::kImmutable ? mode_ : Db::Mode::kReadOnly);
}

void HistoryStore::replaceYL(const std::vector<YLRow>& rows) {
    write(
        [&] {
            db_.exec("DELETE FROM YL");
            Stmt ins = db_.prepare("INSERT INTO YL (content, intMinYL, intMaxYL, intLstYl, sglLlr) VALUES (?,?,?,?,?)");
            for (const YLRow& r : rows) {
                ins.bind(1, r.content)
                    .bind(2, int64_t{r.minGap})
                    .bind(3, int64_t{r.maxGap})
                    .bind(4, int64_t{r.lastGap})
                    .bind(5, static_cast<double>(r.ratio));
                ins.run();
            }
        },
        Check::kGroupTable);
}

std::vector<YLRow> HistoryStore::readYL(const std::string& orderKey) {
    static const std::set<std::string> keys{"intMinYL", "intMaxYL", "intLstYl", "sglLlr"};
    std::string sql = "SELECT content, intMinYL, intMaxYL, intLstYl, sglLlr FROM YL ORDER BY ";
    sql += keys.count(orderKey) ? orderKey + ", rowid" : std::string("rowid");
    std::vector<YLRow> out;
    Stmt st = db_.prepare(sql);
    while (st.step()) {
        YLRow r;
        r.content = std::string(st.colText(0));
        r.minGap = static_cast<int32_t>(st.colInt(1));
        r.maxGap = static_cast<int32_t>(st.colInt(2));
        r.lastGap = static_cast<int32_t>(st.colInt(3));
        r.ratio = static_cast<float>(st.colDouble(4));
        out.push_back(std::move(r));
    }
    return out;
}

}  // namespace k3
