// Each province's history in a data folder: which file holds it (and its trimming backup), opening it,
// and which provinces have one. gapbook.db is the history of the province it records, with the backup
// lsbf.txt; every other province's history is gapbook-<code>.db with lsbf-<code>.txt. A gapbook.db made
// before histories recorded their province belongs to `unrecordedOwner` (the settings' province) unless
// that province has a file of its own; it is given the record at its first change. Both programs decide
// by these functions; none of them needs a window.
#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "store/history_store.h"

namespace k3 {

// The files of one province's history.
struct ProvinceFiles {
    int province = 0;
    std::string database;  // gapbook.db or gapbook-<code>.db
    std::string backup;    // lsbf.txt or lsbf-<code>.txt
    // gapbook.db without a record, taken as this province's history
    bool adopted = false;
};

// The names of the files of a province whose history is not gapbook.db.
std::string provinceDatabaseName(int province);
std::string provinceBackupName(int province);

// Which files hold the history of `province` in `dataDir`. Reads gapbook.db's record through SQLite,
// reading only; creates nothing. Throws StoreError (kLocked) when another program holds gapbook.db
// longer than a read waits (a program that writes it without a log of changes).
ProvinceFiles provinceFiles(const std::string& dataDir, int province, int unrecordedOwner);

// A province's history, opened.
struct ProvinceHistory {
    ProvinceFiles files;
    std::unique_ptr<HistoryStore> store;  // records the province in a file without the record
};

// Opens the history of `province`, creating it empty (with its record) the first time. Throws
// StoreError as HistoryStore does, and kNotHistory when the file records another province.
ProvinceHistory openProvinceHistory(const std::string& dataDir, int province, int unrecordedOwner);
// The same for files decided before (provinceFiles).
ProvinceHistory openProvinceHistory(const ProvinceFiles& files);

// What a province's history holds.
struct ProvinceSummary {
    int province = 0;
    std::string database;
    int64_t draws = 0;
    std::optional<int32_t> first, last;
};

struct ProvinceListing {
    std::vector<ProvinceSummary> histories;  // in the order of the province table
    std::vector<std::string> problems;       // the files that could not be read or belong to no province
};

// The provinces that have a history file in `dataDir` (an empty history too), each read without writing.
// `counted`: with each history's draws and first and last issue; else only the files that hold a history
// (draws stays 0), which spares a read of each file's index for a caller that reads the histories anyway.
ProvinceListing listProvinceHistories(const std::string& dataDir, int unrecordedOwner, bool counted = true);

// Whether a history file was changed by another connection (another program's too) since the probe was
// made or last asked: SQLite's count of the file's changes, on a read connection of its own kept open,
// which holds no lock between the questions. Made before the history is read, it misses no change made
// after that read began. One thread at a time.
class HistoryProbe {
public:
    // Throws StoreError when the file cannot be opened.
    explicit HistoryProbe(const std::string& path);
    const std::string& path() const { return path_; }
    bool changed();

private:
    std::string path_;
    Db db_;
    int64_t version_ = 0;
};

}  // namespace k3
