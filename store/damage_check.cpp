#include "damage_check.h"

#include <filesystem>
#include <system_error>

#include "history_reader.h"

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace k3 {

void quickCheck(Db& db, const std::string& path, const std::string& table) {
    // Damage bad enough to stop the check itself is thrown by it, as kDamaged.
    const std::string result =
        db.scalarText(table.empty() ? "PRAGMA quick_check(1)" : "PRAGMA quick_check(" + table + ")");
    if (result != "ok")
        throw StoreError(storeFailureText(StoreFailure::kDamaged, path, result), StoreFailure::kDamaged);
}

void checkHistoryRules(Db& db, const std::string& path) {
    ReadTransaction read(db);
    readSnapshot(db, path, kAllParts | kDiceTextChecked);
}

DamageCheck::DamageCheck(std::string path, Db::Mode mode, DamageScope scope)
    : m_path(std::move(path)), m_scope(scope), m_db(std::make_unique<Db>(m_path, mode)) {
    // A small cache of its own and no memory mapping: the check reads every page once.
    m_db->exec("PRAGMA mmap_size=0; PRAGMA cache_size=-2048;");
}

DamageCheck::~DamageCheck() = default;

void DamageCheck::run() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_stopped) throw StoreError("检查已中止");
    }
    quickCheck(*m_db, m_path);
    if (m_scope == DamageScope::kPagesAndRules) checkHistoryRules(*m_db, m_path);
}

void DamageCheck::interrupt() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_stopped = true;
    sqlite3_interrupt(m_db->handle());
}

bool canWrite(const fs::path& p) {
#ifdef _WIN32
    return _waccess(p.c_str(), 2) == 0;
#else
    return ::access(p.c_str(), W_OK) == 0;
#endif
}

bool heldByAnotherProgram(const std::string& path) {
    std::error_code ec;
    const fs::path file(path);
    const fs::path folder = file.has_parent_path() ? file.parent_path() : fs::path(".");
    if (!fs::is_regular_file(file, ec) || fs::file_size(file, ec) == 0 || ec || !canWrite(file) || !canWrite(folder))
        return false;
    try {
        Db db(path, Db::Mode::kReadWrite);
        // The look merges no pending log into the file when it ends.
        sqlite3_db_config(db.handle(), SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
        db.setBusyWait(0);
        db.scalarInt("SELECT COUNT(*) FROM sqlite_schema");
    } catch (const StoreError& e) {
        return e.kind() == StoreFailure::kLocked;
    }
    return false;
}

}  // namespace k3
