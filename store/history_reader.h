// Reading the history into a snapshot. The window reads in two steps: the issues and ranks of every
// draw and the dice of the newest ones (what the history grid shows first), then the values the
// analyses need; both steps belong to one read transaction, so they see the same history even when
// another program changes it in between. The command line reads what it needs in one step.
//
// Every read checks the history's rules (history_rules.h) on what it reads and throws StoreError
// (kDamaged, naming `path`, the first bad row and what is wrong) when a row breaks one: an analysis of
// such a history would show omissions below zero. The checks cost a compare or two per row and one per
// distinct set of values.
#pragma once
#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "snapshot.h"
#include "sqlite_db.h"

namespace k3 {

// The first step: issues (ascending), ranks and the newest draws' dice.
struct DrawColumns {
    std::vector<int32_t> issues, ranks;
    std::vector<Snapshot::Dice> newestDice;  // of the last kNewestDice rows (all when fewer)
    // Where each row, in the order the table is read, sits in issue order; empty when it is that order.
    std::vector<uint32_t> position;
    std::optional<int64_t> token;  // the history's content token (readContentToken) in the same read
};

// The value k3version holds, new after every change of the draws (data/schema.sql); nothing when the file
// has none yet, or not exactly one. Read in the transaction that reads the draws, it names what was read.
std::optional<int64_t> readContentToken(Db& db);

// A part of a read that is only checked, not kept: txtHisLst against the dice (with the dice part).
inline constexpr unsigned kDiceTextChecked = 1u << (2 * kTypeCount);
// Whether a read checks that IDX is the draw's place in issue order. The text export and the history
// grid of the command line show issues and dice only: they read a history whose ranks are broken, so
// that its draws can still be written out.
enum class Ranks { kChecked, kUnchecked };

// The first step on a connection that is in a read transaction; `path` names the file in messages.
DrawColumns readDrawColumns(Db& db, const std::string& path);
// The second step in the same transaction: the `parts` of the values (valuesPart, groupsPart, and
// kDiceTextChecked) of the rows the first step read (`position` and the row count come from it). Once
// `stop` is set, the read ends with an error.
std::shared_ptr<const SnapshotValues> readDrawValues(Db& db, const std::string& path,
                                                     const std::vector<uint32_t>& position, size_t rows, unsigned parts,
                                                     const std::atomic<bool>* stop = nullptr);
// Both in one pass over the table, on a connection that is in a read transaction.
Snapshot readSnapshot(Db& db, const std::string& path, unsigned parts, Ranks ranks = Ranks::kChecked);

// The index of the dice in issue order (data/schema.sql).
inline constexpr const char* kDiceIndexName = "k3dice";
// Whether the file has that index as the schema defines it (an index of that name over other columns
// is not taken for it).
bool hasDiceIndex(Db& db);
// The issues and the `parts` of the values from that index, on a connection in a read transaction: a
// sixth of the pages of the table, and four columns a draw instead of up to ten. The dice, and the
// segment numbers when they are asked for, are read and checked as readSnapshot checks them; the
// big/small and odd/even flags and the group bits of the pattern texts are those the values give,
// which is what the history's rules hold the stored ones to (a file whose stored ones break them is
// found damaged by the other reads and before every change). IDX is not read: the ranks are the
// draws' places 1..n. A row whose issue is not sound is said as readSnapshot says it.
Snapshot readIndexedSnapshot(Db& db, const std::string& path, unsigned parts);

// A read connection of its own on a history file, which may move to another thread between the two
// steps (one thread at a time). The read transaction begins with the first step and ends with the
// second, so that it never holds back another program's changes for longer than the reading.
class HistoryReader {
public:
    // Opens the file as `mode` says (kReadOnly or kImmutable), with a small page cache and no memory
    // mapping, so that reading the whole history does not keep the file in memory.
    HistoryReader(const std::string& path, Db::Mode mode);
    ~HistoryReader();
    HistoryReader(const HistoryReader&) = delete;
    HistoryReader& operator=(const HistoryReader&) = delete;

    // Begins the read transaction and reads the first step.
    DrawColumns readDraws();
    // The second step, after the first; it ends the read transaction, whatever happens.
    std::shared_ptr<const SnapshotValues> readValues(unsigned parts);
    // From any thread: the second step, running or still to come, ends soon with an error.
    void interrupt();

private:
    void endTransaction();

    std::string path_;
    Db db_;
    std::vector<uint32_t> position_;
    size_t rows_ = 0;
    bool inTransaction_ = false;
    std::atomic<bool> stop_{false};
};

}  // namespace k3
