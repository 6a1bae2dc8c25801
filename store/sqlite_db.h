// Thin RAII wrapper over the SQLite C API: a connection, prepared statements, transactions.
#pragma once
#include <sqlite3.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "error.h"

namespace k3 {

// Every failure of the history store is reported as a StoreError with a readable message.
class StoreError : public Error {
public:
    using Error::Error;
};

class Stmt;

class Db {
public:
    Db() = default;
    // Opens an existing file (create=false) or creates it (create=true).
    Db(const std::string& path, bool create);
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
    int changes() const { return sqlite3_changes(db_); }
    sqlite3* handle() const { return db_; }
    std::string errorText() const;

private:
    sqlite3* db_ = nullptr;
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

private:
    sqlite3* db_;
    sqlite3_stmt* st_ = nullptr;
};

// Commits on commit(); rolls back when left without commit (an exception, an early return).
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

}  // namespace k3
