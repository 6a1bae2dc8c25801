#include "sqlite_db.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <exception>
#include <filesystem>
#include <memory>

#include "store/damage_check.h"
#include "store/error_text.h"
#include "store/history_files.h"
#include "store/platform.h"

namespace k3 {

namespace {

namespace fs = std::filesystem;

// A path of the store (UTF-8) for the standard library.
fs::path fsPath(const std::string& utf8) { return fs::path(std::u8string(utf8.begin(), utf8.end())); }

// The folder of a database file has (next to) no room left.
bool dbFolderFull(const std::string& dbPath) { return folderFull(folderOf(dbPath)); }

StoreFailure failureKind(int rc, int systemErrno) {
    switch (rc & 0xff) {
        case SQLITE_BUSY:
        case SQLITE_LOCKED: return StoreFailure::kLocked;
        case SQLITE_READONLY: return StoreFailure::kReadOnly;
        case SQLITE_FULL: return StoreFailure::kDiskFull;
        case SQLITE_CORRUPT: return StoreFailure::kDamaged;
        case SQLITE_NOTADB: return StoreFailure::kNotHistory;
        case SQLITE_CANTOPEN: return StoreFailure::kCannotOpen;
        case SQLITE_IOERR:
            // SQLite reports a full disk as SQLITE_FULL only for a short write; a failed one is an
            // I/O error whose system error tells the cause.
            if (diskFullError(systemErrno)) return StoreFailure::kDiskFull;
            if (systemErrno == EROFS) return StoreFailure::kReadOnly;
            return StoreFailure::kOther;
        default: return StoreFailure::kOther;
    }
}

// A file name as the path of a "file:" URI: every byte but the unreserved ones and '/' percent-encoded.
std::string uriPath(const std::string& path) {
    static const char* const hex = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : path) {
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '/' || c == '-' ||
            c == '.' || c == '_' || c == '~') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

// SQLite reads a log of changes (-wal) only through its index (-shm), which it must be able to create
// beside the file when it is missing: not so in a read-only folder or on a full disk.
bool logNeedsPrivateCopy(const std::string& path) {
    std::error_code ec;
    const auto walSize = fs::file_size(fsPath(path + "-wal"), ec);
    if (ec || walSize == 0 || fs::exists(fsPath(path + "-shm"), ec)) return false;
    return !canWrite(fsPath(folderOf(path))) || dbFolderFull(path);
}

// Copies a file through SQLite's own file layer, which the connections of this process share: on POSIX
// it never closes a descriptor of a file while this process holds a lock on that file (closing any
// descriptor would drop them all), so the copy leaves every connection's locks as they were. Returns an
// SQLite result code.
int copyThroughSqlite(const std::string& from, const std::string& to) {
    sqlite3_vfs* vfs = sqlite3_vfs_find(nullptr);
    if (!vfs) return SQLITE_ERROR;
    struct File {
        sqlite3_vfs* vfs;
        std::string name;  // kept until closed, ended by NULs as SQLite's own file names are
        sqlite3_file* file = nullptr;
        File(sqlite3_vfs* v, const std::string& path) : vfs(v), name(path + std::string(4, '\0')) {
            file = static_cast<sqlite3_file*>(sqlite3_malloc64(static_cast<sqlite3_uint64>(v->szOsFile)));
            if (file) std::memset(file, 0, static_cast<size_t>(v->szOsFile));
        }
        ~File() {
            if (file && file->pMethods) file->pMethods->xClose(file);
            sqlite3_free(file);
        }
        int open(int flags) {
            if (!file) return SQLITE_NOMEM;
            int out = 0;
            return vfs->xOpen(vfs, name.c_str(), file, flags | SQLITE_OPEN_MAIN_DB, &out);
        }
    };
    File in(vfs, from), out(vfs, to);
    int rc = in.open(SQLITE_OPEN_READONLY);
    if (rc == SQLITE_OK) rc = out.open(SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_EXCLUSIVE);
    sqlite3_int64 size = 0;
    if (rc == SQLITE_OK) rc = in.file->pMethods->xFileSize(in.file, &size);
    constexpr sqlite3_int64 kChunk = 1 << 16;  // the file layer takes pieces of up to 128 KiB
    std::unique_ptr<char[]> buffer(new char[kChunk]);
    for (sqlite3_int64 at = 0; rc == SQLITE_OK && at < size; at += kChunk) {
        const int n = static_cast<int>(std::min(kChunk, size - at));
        rc = in.file->pMethods->xRead(in.file, buffer.get(), n, at);
        if (rc == SQLITE_OK) rc = out.file->pMethods->xWrite(out.file, buffer.get(), n, at);
    }
    return rc;
}

}  // namespace

std::string storeFailureText(StoreFailure kind, const std::string& path, const std::string& detail) {
    switch (kind) {
        case StoreFailure::kReadOnly:
            return "历史数据库 " + path + " 不能写入（文件或它所在的文件夹是只读的），历史号码只能查看，不能改动";
        case StoreFailure::kDiskFull: return "磁盘已满，无法写入历史数据库 " + path + "，历史号码未作改动";
        case StoreFailure::kLocked:
            return "历史数据库 " + path + " 正被另一个程序改动，等了 " + std::to_string(kBusyWaitMs / 1000) +
                   " 秒仍未结束；历史号码未作改动，请稍后再试";
        case StoreFailure::kDamaged:
            // Import refuses a damaged file too: the remedy that works moves it aside first.
            return "历史数据库 " + path + " 已损坏（" + detail +
                   "），未作任何改动；要重新读入历史号码文本文件，请先把这个文件改名或移走，或换上它完好的副本";
        case StoreFailure::kNotHistory: return "文件 " + path + " 不是历史数据库（" + detail + "），未作任何改动";
        case StoreFailure::kCannotOpen: return "无法打开历史数据库 " + path + "：" + detail;
        case StoreFailure::kOther: break;
    }
    return "历史数据库 " + path + " 出错：" + detail;
}

StoreError sqliteFailure(sqlite3* db, int rc, const std::string& detail) {
    const int systemErrno = db ? sqliteSystemErrno(sqlite3_system_errno(db)) : 0;
    StoreFailure kind = failureKind(rc, systemErrno);
    std::string path;
    if (const char* f = db ? sqlite3_db_filename(db, "main") : nullptr) path = f;
    // The system error of a failed write may be lost by the time SQLite reports it; the disk says it.
    if ((rc & 0xff) == SQLITE_IOERR && kind == StoreFailure::kOther && !path.empty() && dbFolderFull(path))
        kind = StoreFailure::kDiskFull;
    std::string why = !detail.empty() ? detail : db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
    // A constraint names the rule that failed; callers read it, so it keeps SQLite's text alone.
    if ((rc & 0xff) == SQLITE_CONSTRAINT) return StoreError(why, kind);
    // Where the kind alone does not say the cause, it is said in Chinese before SQLite's words.
    if (kind == StoreFailure::kCannotOpen || kind == StoreFailure::kOther)
        why = withDetail(sqliteErrorText(rc, systemErrno), why);
    return StoreError(storeFailureText(kind, path, why), kind);
}

Db::Db(const std::string& path, Mode mode) {
    // One connection is never used by two threads at once, so its per-call mutex is not needed.
    int flags = SQLITE_OPEN_NOMUTEX;
    std::string name = path;
    switch (mode) {
        case Mode::kReadWrite: flags |= SQLITE_OPEN_READWRITE; break;
        case Mode::kCreate: flags |= SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE; break;
        case Mode::kReadOnly: flags |= SQLITE_OPEN_READONLY; break;
        case Mode::kImmutable:
            flags |= SQLITE_OPEN_READONLY | SQLITE_OPEN_URI;
            name = "file:" + uriPath(path) + "?immutable=1";
            break;
    }
    if (mode == Mode::kReadOnly && logNeedsPrivateCopy(path)) {
        openPrivateCopy(path);
        return;
    }
    int rc = sqlite3_open_v2(name.c_str(), &db_, flags, nullptr);
    if (rc != SQLITE_OK) {
        std::string detail = db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(rc);
        int err = db_ ? sqliteSystemErrno(sqlite3_system_errno(db_)) : 0;
        sqlite3_close(db_);
        db_ = nullptr;
        StoreFailure kind = failureKind(rc, err);
        if (kind == StoreFailure::kOther) kind = StoreFailure::kCannotOpen;
        // The cause in Chinese, SQLite's own words after it.
        if (kind == StoreFailure::kCannotOpen) detail = withDetail(sqliteErrorText(rc, err), detail);
        throw StoreError(storeFailureText(kind, path, detail), kind);
    }
    sqlite3_busy_timeout(db_, kBusyWaitMs);
    sqlite3_extended_result_codes(db_, 1);
}

void Db::openPrivateCopy(const std::string& path) {
    auto fail = [&](int err, const std::string& what) {
        removePrivateCopy();
        StoreFailure kind = diskFullError(err) ? StoreFailure::kDiskFull : StoreFailure::kCannotOpen;
        return StoreError(kind == StoreFailure::kDiskFull
                              ? "磁盘已满，无法读取历史数据库 " + path + " 尚未并入的改动（需要在临时文件夹中复制一份）"
                              : storeFailureText(kind, path, what),
                          kind);
    };
    int err = 0;
    privateCopy_ = makePrivateTempFolder("k3gap-read-", err);
    if (privateCopy_.empty()) throw fail(err, "无法创建临时文件夹");
    const std::u8string name = fsPath(path).filename().u8string();
    const std::string copy = privateCopy_ + "/" + std::string(name.begin(), name.end());
    for (const char* side : {"", "-wal"}) {
        const int rc = copyThroughSqlite(path + side, copy + side);
        if (rc != SQLITE_OK)
            throw fail((rc & 0xff) == SQLITE_FULL ? ENOSPC : 0, "无法复制到临时文件夹：" + sqliteErrorText(rc));
    }
    int rc = sqlite3_open_v2(copy.c_str(), &db_, SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_READONLY, nullptr);
    if (rc != SQLITE_OK) {
        std::string detail = db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(rc);
        sqlite3_close(db_);
        db_ = nullptr;
        throw fail(0, detail);
    }
    sqlite3_busy_timeout(db_, kBusyWaitMs);
    sqlite3_extended_result_codes(db_, 1);
}

void Db::removePrivateCopy() {
    if (privateCopy_.empty()) return;
    std::error_code ec;
    fs::remove_all(fsPath(privateCopy_), ec);
    privateCopy_.clear();
}

Db::~Db() { close(); }

Db::Db(Db&& o) noexcept : db_(o.db_), privateCopy_(std::move(o.privateCopy_)) {
    o.db_ = nullptr;
    o.privateCopy_.clear();
}

Db& Db::operator=(Db&& o) noexcept {
    if (this != &o) {
        close();
        db_ = o.db_;
        o.db_ = nullptr;
        privateCopy_ = std::move(o.privateCopy_);
        o.privateCopy_.clear();
    }
    return *this;
}

void Db::close() {
    if (db_) {
        sqlite3_close_v2(db_);
        db_ = nullptr;
    }
    removePrivateCopy();
}

std::string Db::errorText() const { return db_ ? sqlite3_errmsg(db_) : "database not open"; }

void Db::exec(std::string_view sql) {
    if (!db_) throw StoreError("数据库未打开");
    char* err = nullptr;
    std::string s(sql);
    int rc = sqlite3_exec(db_, s.c_str(), nullptr, nullptr, &err);
    if (rc != SQLITE_OK) {
        std::string msg = err ? err : errorText();
        sqlite3_free(err);
        throw sqliteFailure(db_, rc, msg);
    }
}

Stmt Db::prepare(std::string_view sql) {
    if (!db_) throw StoreError("数据库未打开");
    return Stmt(db_, sql);
}

int64_t Db::scalarInt(std::string_view sql) {
    Stmt st = prepare(sql);
    return st.step() ? st.colInt(0) : 0;
}

std::string Db::scalarText(std::string_view sql) {
    Stmt st = prepare(sql);
    return st.step() ? std::string(st.colText(0)) : std::string();
}

namespace {

struct ScanCall {
    const Db::ScanRow* row;
    std::exception_ptr failure;
};

void scanRow(sqlite3_context* ctx, int, sqlite3_value** args) {
    auto* call = static_cast<ScanCall*>(sqlite3_user_data(ctx));
    try {
        (*call->row)(args);
    } catch (...) {
        call->failure = std::current_exception();
        sqlite3_result_error(ctx, "k3row", -1);
    }
}

}  // namespace

void Db::scan(std::string_view sql, const ScanRow& row) {
    if (!db_) throw StoreError("数据库未打开");
    ScanCall call{&row, nullptr};
    int rc = sqlite3_create_function_v2(db_, "k3row", -1, SQLITE_UTF8 | SQLITE_DIRECTONLY, &call, scanRow, nullptr,
                                        nullptr, nullptr);
    if (rc != SQLITE_OK) throw sqliteFailure(db_, rc);
    struct Unregister {
        sqlite3* db;
        ~Unregister() {
            sqlite3_create_function_v2(db, "k3row", -1, SQLITE_UTF8, nullptr, nullptr, nullptr, nullptr, nullptr);
        }
    } unregister{db_};
    try {
        Stmt st = prepare(sql);
        while (st.step()) {
        }
    } catch (const StoreError&) {
        if (call.failure) std::rethrow_exception(call.failure);
        throw;
    }
}

Stmt::Stmt(sqlite3* db, std::string_view sql) : db_(db) {
    int rc = sqlite3_prepare_v2(db, sql.data(), static_cast<int>(sql.size()), &st_, nullptr);
    if (rc != SQLITE_OK) throw sqliteFailure(db, rc);
}

Stmt::~Stmt() { sqlite3_finalize(st_); }

Stmt& Stmt::bind(int i, int64_t v) {
    sqlite3_bind_int64(st_, i, v);
    return *this;
}
Stmt& Stmt::bind(int i, double v) {
    sqlite3_bind_double(st_, i, v);
    return *this;
}
Stmt& Stmt::bind(int i, std::string_view v) {
    sqlite3_bind_text(st_, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
    return *this;
}
Stmt& Stmt::bindNull(int i) {
    sqlite3_bind_null(st_, i);
    return *this;
}

bool Stmt::step() {
    int rc = sqlite3_step(st_);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    StoreError e = sqliteFailure(db_, rc);
    sqlite3_reset(st_);
    throw e;
}

void Stmt::run() {
    step();
    reset();
}

// Bindings stay: every user of run() binds every parameter again for the next row.
void Stmt::reset() { sqlite3_reset(st_); }

std::string_view Stmt::colText(int i) const {
    auto p = reinterpret_cast<const char*>(sqlite3_column_text(st_, i));
    if (!p) return {};
    return {p, static_cast<size_t>(sqlite3_column_bytes(st_, i))};
}

Transaction::Transaction(Db& db) : db_(db) { db_.exec("BEGIN IMMEDIATE"); }

Transaction::~Transaction() {
    if (!done_) {
        try {
            db_.exec("ROLLBACK");
        } catch (...) {
        }
    }
}

void Transaction::commit() {
    db_.exec("COMMIT");
    done_ = true;
}

ReadTransaction::ReadTransaction(Db& db) : db_(db), own_(sqlite3_get_autocommit(db.handle()) != 0) {
    if (own_) db_.exec("BEGIN");
}

ReadTransaction::~ReadTransaction() {
    if (!own_) return;
    try {
        db_.exec("COMMIT");
    } catch (...) {
    }
}

}  // namespace k3
