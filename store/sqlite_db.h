// Thin RAII wrapper over the SQLite C API: a connection, prepared statements, transactions.
#pragma once
#include <sqlite3.h>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "error.h"

namespace k3 {

// Why the history store failed, so that a caller can act on it (for example disable the commands
// that change the history when the file is read-only) without reading the message.
enum class StoreFailure {
    kOther,
    kCannotOpen,  // the file cannot be opened at all
    kNotHistory,  // a file, or an SQLite database, that is not a history database
    kReadOnly,    // the file or its folder cannot be written
    kDiskFull,
    kLocked,   // another program holds the database longer than the store waits
    kDamaged,  // corrupt pages
};

// Every failure of the history store is reported as a StoreError with a readable message that names
// the database file.
class StoreError : public Error {
public:
    explicit StoreError(const std::string& message, StoreFailure kind = StoreFailure::kOther)
        : Error(message), kind_(kind) {}
    StoreFailure kind() const { return kind_; }

private:
    StoreFailure kind_;
};

// How long a statement waits for another connection's lock before it fails as kLocked.
inline constexpr int kBusyWaitMs = 5000;

// The message of a failure of the database file at `path`; `detail` is SQLite's own text.
std::string storeFailureText(StoreFailure kind, const std::string& path, const std::string& detail);
// The error of a failed SQLite call on a connection: the kind read from the result code (and the
// system error behind an I/O error), the message naming the connection's file.
StoreError sqliteFailure(sqlite3* db, int rc, const std::string& detail = {});

class Stmt;

class Db {
public:
    enum class Mode {
        kReadWrite,  // an existing file
        kCreate,     // created when missing
        kReadOnly,   // an existing file, never written (its -shm may still be created; where it cannot
                     // be, a log of changes is read from a private copy of the file and its log)
        kImmutable,  // a file nobody can change: read without locks, -wal or -shm
    };

    Db() = default;
    // Opens an existing file (create=false) or creates it (create=true).
    Db(const std::string& path, bool create) : Db(path, create ? Mode::kCreate : Mode::kReadWrite) {}
    Db(const std::string& path, Mode mode);
    ~Db();
    Db(Db&& o) noexcept;
    Db& operator=(Db&& o) noexcept;
    Db(const Db&) = delete;
    Db& operator=(const Db&) = delete;

    bool isOpen() const { return db_ != nullptr; }
    void close();
    void exec(std::string_view sql);
    Stmt prepare(std::string_view sql);
    int64_t scalarInt(std::string_view sql);
    std::string scalarText(std::string_view sql);
    // Runs a query whose result column is k3row(...) and hands the arguments of each call to `row`:
    // SQLite passes them on without the cost of fetching every column through the API, which halves
    // the time of reading a whole table. The function exists only while the query runs. What `row`
    // throws ends the query and is thrown again.
    using ScanRow = std::function<void(sqlite3_value** args)>;
    void scan(std::string_view sql, const ScanRow& row);
    int changes() const { return sqlite3_changes(db_); }
    sqlite3* handle() const { return db_; }
    // How long a statement waits for another connection's lock (kBusyWaitMs when opened; 0: not at all).
    void setBusyWait(int ms) { sqlite3_busy_timeout(db_, ms); }
    std::string errorText() const;

private:
    void openPrivateCopy(const std::string& path);
    void removePrivateCopy();

    sqlite3* db_ = nullptr;
    std::string privateCopy_;  // the folder of a private copy this connection reads, removed on close
};

class Stmt {
public:
    Stmt(sqlite3* db, std::string_view sql);
    ~Stmt();
    Stmt(Stmt&& o) noexcept : db_(o.db_), st_(o.st_) { o.st_ = nullptr; }
    Stmt(const Stmt&) = delete;
    Stmt& operator=(const Stmt&) = delete;

    Stmt& bind(int i, int64_t v);
    Stmt& bind(int i, double v);
    Stmt& bind(int i, std::string_view v);
    Stmt& bindNull(int i);
    // Steps once; true while a row is available.
    bool step();
    // Runs a statement that returns no rows, then resets it for the next use.
    void run();
    void reset();

    int64_t colInt(int i) const { return sqlite3_column_int64(st_, i); }
    double colDouble(int i) const { return sqlite3_column_double(st_, i); }
    bool colIsNull(int i) const { return sqlite3_column_type(st_, i) == SQLITE_NULL; }
    std::string_view colText(int i) const;
    sqlite3_stmt* handle() const { return st_; }

private:
    sqlite3* db_;
    sqlite3_stmt* st_ = nullptr;
};

// BEGIN IMMEDIATE: the write lock is taken before the first read. Commits on commit(); rolls back
// when left without commit (an exception, an early return).
class Transaction {
public:
    explicit Transaction(Db& db);
    ~Transaction();
    void commit();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

private:
    Db& db_;
    bool done_ = false;
};

// One read transaction over several statements, so they all see the same state of the file; inside a
// transaction the caller already holds it does nothing. Ends (COMMIT) when left.
class ReadTransaction {
public:
    explicit ReadTransaction(Db& db);
    ~ReadTransaction();
    ReadTransaction(const ReadTransaction&) = delete;
    ReadTransaction& operator=(const ReadTransaction&) = delete;

private:
    Db& db_;
    bool own_;
};

}  // namespace k3
