// The history database: table lishi (one row per draw) and table YL (group results).
#pragma once
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "derive.h"
#include "snapshot.h"
#include "sqlite_db.h"

namespace k3 {

inline constexpr const char* kDatabaseFileName = "gapbook.db";

// One row of table YL, the result of one group of the group calculation.
struct YLRow {
    std::string content;
    int32_t minGap = 0;   // intMinYL
    int32_t maxGap = 0;   // intMaxYL
    int32_t lastGap = 0;  // intLstYl
    float ratio = 0;      // sglLlr
};

class HistoryStore {
public:
    // Opens the history database file, creating it from the schema when it is missing or empty.
    // Throws StoreError when the file cannot be opened or is not a history database; such a file
    // is left exactly as it was.
    explicit HistoryStore(std::string path);

    const std::string& path() const { return path_; }
    Db& db() { return db_; }

    int64_t count();
    std::optional<int32_t> newestIssue();
    bool contains(int32_t sqqh);

    // Appends derived draws in one transaction and keeps IDX dense in SQQH order. Draws after the
    // newest stored one get their IDX directly; an earlier one renumbers the rows that move.
    // A duplicate issue fails the whole batch (StoreError) and nothing is stored.
    void append(const std::vector<DerivedDraw>& draws);
    // Same, and in the same transaction deletes every draw whose issue is below `deleteBelow`.
    void appendAndTrim(const std::vector<DerivedDraw>& draws, std::optional<int32_t> deleteBelow);
    // Replaces the whole history by the given draws in one transaction.
    void replaceAll(const std::vector<DerivedDraw>& draws);
    // Deletes the n newest draws (all when n >= count). IDX stays dense.
    void deleteNewest(int64_t n);
    // Deletes every draw whose issue is above k.
    void deleteAbove(int64_t k);
    void clear();
    // Rebuilds the file without free pages (VACUUM); on failure the file stays as it was.
    void compact();
    // The issue and dice of every stored draw, in issue order.
    std::vector<IssueDice> issuesAndDice();
    // Reads the whole history into memory, in issue order.
    std::shared_ptr<const Snapshot> snapshot();

    // Empties YL and writes the rows in one transaction, in the given order.
    void replaceYL(const std::vector<YLRow>& rows);
    // YL in ascending order of a key ("intMinYL", "intMaxYL", "intLstYl", "sglLlr"); rows with equal
    // keys stay in the order they were written. Any other key lists them in that order.
    std::vector<YLRow> readYL(const std::string& orderKey);

private:
    void insertRows(const std::vector<DerivedDraw>& draws);
    void renumber();

    std::string path_;
    Db db_;
};

}  // namespace k3
