// The one check of a history file for damage: PRAGMA quick_check of the whole file and the history's
// own rules (history_rules.h), on a read connection of its own so that it can run on another thread
// while the file is in use; and the look at whether another program holds the file.
#pragma once
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>

#include "sqlite_db.h"

namespace k3 {

// What a check for damage reads.
enum class DamageScope {
    kPagesAndRules,  // the file's pages and the history's rules
    kPages,          // the pages only: the caller checks the rules on a read of its own (the window's)
};

class DamageCheck {
public:
    // Opens the connection (Db::Mode::kReadOnly, or kImmutable for a file nobody can change).
    DamageCheck(std::string path, Db::Mode mode, DamageScope scope = DamageScope::kPagesAndRules);
    ~DamageCheck();
    DamageCheck(const DamageCheck&) = delete;
    DamageCheck& operator=(const DamageCheck&) = delete;

    // Reads the whole file. Throws StoreError: kDamaged naming the file and the remedy; another kind
    // when the check could not run to its end (interrupted, held up).
    void run();
    // Stops a running check, or one not yet begun, from any thread; run() then throws.
    void interrupt();

private:
    std::string m_path;
    DamageScope m_scope;
    std::mutex m_mutex;
    std::unique_ptr<Db> m_db;
    bool m_stopped = false;
};

// Throws StoreError (kDamaged) when PRAGMA quick_check on `db` reports damage; `table` limits it to one
// table (and to the schema and the free pages with sqlite_schema).
void quickCheck(Db& db, const std::string& path, const std::string& table = {});
// Throws StoreError (kDamaged) naming the first row of the history in `db` that breaks one of its rules:
// one pass over the table, in a read transaction of its own unless the caller holds one.
void checkHistoryRules(Db& db, const std::string& path);

// True when another program holds the file with a lock that keeps readers out now (a writer of a file
// without a write-ahead log, or one in exclusive locking mode). Asked without waiting for the lock and
// without writing. A file this program may not write is never held so (and gets no -wal or -shm).
bool heldByAnotherProgram(const std::string& path);

// Whether this process may write the file or folder.
bool canWrite(const std::filesystem::path& p);

}  // namespace k3
