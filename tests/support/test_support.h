// Helpers shared by the tests: a temporary folder and generated histories.
#pragma once
#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "store/derive.h"
#include "store/history_store.h"

namespace k3test {

// A fresh folder under the system's temporary folder, removed with everything in it at the end.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::string file(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

// n draws with pseudo-random dice (fixed seed) under consecutive issues of a province with
// `drawsPerDay` draws a day, starting at `firstIssue` (YYMMDDNNN).
std::vector<k3::DerivedDraw> generateDraws(size_t n, int drawsPerDay = 78, int firstIssue = 130101001, int segBase = 1,
                                           unsigned seed = 12345);

// Checks `condition` every few milliseconds, without handling events (for what another thread or process
// makes true), until it holds; false when `timeout` passes first. Used as ASSERT_TRUE(waitUntil(...)) << why.
[[nodiscard]] bool waitUntil(const std::function<bool()>& condition,
                             std::chrono::milliseconds timeout = std::chrono::seconds(10));

// Draws from "ISSUE DDD" pairs, e.g. {{130325001, "253"}}.
std::vector<k3::DerivedDraw> draws(std::initializer_list<std::pair<int, const char*>> list, int segBase = 1);

// The bytes of a file ("" when it cannot be read).
std::string fileBytes(const std::string& path);

// Another process holding a write transaction on a history database: it has begun one (BEGIN
// IMMEDIATE, or what `statements` begin with) and deleted every draw without committing. The
// constructor returns once the lock is held; the destructor rolls back (or commits) and waits for the
// process.
// SQLite does not carry connections across fork(): construct it while this process has no connection
// to the file open.
class HeldWrite {
public:
    // With `commit`, the destructor commits instead.
    explicit HeldWrite(const std::string& dbPath, const std::string& statements = "BEGIN IMMEDIATE; DELETE FROM lishi;",
                       bool commit = false);
    ~HeldWrite();
    HeldWrite(const HeldWrite&) = delete;
    HeldWrite& operator=(const HeldWrite&) = delete;

private:
    pid_t pid_ = -1;
    int release_ = -1;  // closing it tells the process to roll back and end
};

// Overwrites a page in the middle of a database file (4096-byte pages) with garbage, as a failing
// disk might: the file still opens, a check of the whole file finds the damage.
void damageMiddlePage(const std::string& dbPath);

}  // namespace k3test
