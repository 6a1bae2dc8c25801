#include "sqlite_db.h"

namespace k3 {

Db::Db(const std::string& path, bool create) {
    // One connection is never used by two threads at once, so its per-call mutex is not needed.
    int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX | (create ? SQLITE_OPEN_CREATE : 0);
    int rc = sqlite3_open_v2(path.c_str(), &db_, flags, nullptr);
    if (rc != SQLITE_OK) {
        std::string msg = db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(rc);
        sqlite3_close(db_);
        db_ = nullptr;
        throw StoreError("无法打开数据库文件 " + path + ": " + msg);
    }
    sqlite3_busy_timeout(db_, 5000);
    sqlite3_extended_result_codes(db_, 1);
}

Db::~Db() { close(); }

Db::Db(Db&& o) noexcept : db_(o.db_) { o.db_ = nullptr; }

Db& Db::operator=(Db&& o) noexcept {
    if (this != &o) {
        close();
        db_ = o.db_;
        o.db_ = nullptr;
    }
    return *this;
}

void Db::close() {
    if (db_) {
        sqlite3_close_v2(db_);
        db_ = nullptr;
    }
}

std::string Db::errorText() const { return db_ ? sqlite3_errmsg(db_) : "database not open"; }

void Db::exec(std::string_view sql) {
    if (!db_) throw StoreError("数据库未打开");
    char* err = nullptr;
    std::string s(sql);
    if (sqlite3_exec(db_, s.c_str(), nullptr, nullptr, &err) != SQLITE_OK) {
        std::string msg = err ? err : errorText();
        sqlite3_free(err);
        throw StoreError(msg);
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

Stmt::Stmt(sqlite3* db, std::string_view sql) : db_(db) {
    if (sqlite3_prepare_v2(db, sql.data(), static_cast<int>(sql.size()), &st_, nullptr) != SQLITE_OK)
        throw StoreError(sqlite3_errmsg(db));
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
    std::string msg = sqlite3_errmsg(db_);
    sqlite3_reset(st_);
    throw StoreError(msg);
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

}  // namespace k3
