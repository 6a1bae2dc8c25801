// The history database: table lishi (one row per draw) and table YL (group results).
#pragma once
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "damage_check.h"
#include "derive.h"
#include "history_reader.h"
#include "snapshot.h"
#include "sqlite_db.h"

namespace k3 {

inline constexpr const char* kDatabaseFileName = "gapbook.db";
// The trimming backup, beside the database: one draw a line.
inline constexpr const char* kBackupFileName = "lsbf.txt";

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
    // Opening an existing file writes nothing: the schema's additions and WAL mode wait for the first
    // change, and a file that the program may not write (or in a folder it may not write) is read
    // without locks or side files. Throws StoreError (with its kind) when the file cannot be opened
    // or is not a history database; such a file is left exactly as it was.
    // `provinceCode` names the province the history belongs to: a new file records it at once, a file
    // without the record gets it with its first change (or recordProvince()). Empty: nothing recorded.
    explicit HistoryStore(std::string path, std::string provinceCode = {});

    const std::string& path() const { return path_; }
    Db& db() { return db_; }

    // The province this store records in a file that has no record yet (empty: none).
    const std::string& provinceCode() const { return provinceCode_; }
    // The code of the province the file records; nothing for a file without the record.
    std::optional<std::string> recordedProvince();
    // Writes the record of provinceCode() into a file that has none, in a transaction of its own that
    // changes nothing else; the file is checked for damage first. False when nothing could be recorded:
    // no code given, or a file this program may not write. Throws StoreError (damage, a lock, the disk).
    // waitForOthers false: a file another program holds fails at once as kLocked instead of after
    // kBusyWaitMs (for a window that has a switch or a start to finish).
    bool recordProvince(bool waitForOthers = true);

    // A number that changes whenever another connection (this program's or another's) has committed a
    // change to the file since this connection last looked: how a window notices changes made elsewhere.
    int64_t changeCounter() { return db_.scalarInt("PRAGMA data_version"); }

    // The history's content token (readContentToken), new after every change of the draws: figures
    // counted from the draws and kept with it are current while it is the same. Read it in the read
    // transaction that reads the draws. This store's own changes set it themselves (its connection runs no
    // triggers, so that a change of a million rows does not pay a trigger for each); every other
    // program's changes of lishi set it through the file's triggers.
    std::optional<int64_t> contentToken() { return readContentToken(db_); }
    // The token the last change of the draws by this store set; nothing before one.
    std::optional<int64_t> lastToken() const { return lastToken_; }

    // The file or its folder cannot be written: the history can be shown and analysed, not changed.
    bool readOnly() const { return readOnly_; }
    // Why, for the status bar (naming the file, and the folder when it is the folder); empty when not.
    std::string readOnlyMessage() const;
    // PRAGMA quick_check of the whole file and the history's rules (history_rules.h); throws StoreError
    // (kDamaged) naming the file, the first bad row where a rule is broken, and the remedy. A pass is
    // remembered. Every change of the history runs it first, once per store; a
    // caller may run it earlier (on a store of its own, from another thread) to learn of damage.
    void checkIntegrity();
    bool integrityChecked() const { return integrityChecked_; }
    // Takes a pass of checkIntegrity() on another store of the same file (run in the background) as
    // this store's own, so that the first change does not check again.
    void markIntact() { integrityChecked_ = true; }
    // Throws what a change of the history would meet first: the read-only error, then damage.
    void checkWritable();

    int64_t count();
    // The newest issue; throws StoreError (kDamaged) when the newest stored one is not a sound issue.
    std::optional<int32_t> newestIssue();
    std::optional<int32_t> oldestIssue();
    bool contains(int32_t sqqh);

    // Appends derived draws in one transaction and keeps IDX dense in SQQH order. Draws after the
    // newest stored one get their IDX directly; an earlier one renumbers the rows that move.
    // A duplicate issue fails the whole batch (StoreError) and nothing is stored.
    void append(const std::vector<DerivedDraw>& draws);
    // Same, and in the same transaction deletes every draw whose issue is below `deleteBelow`.
    void appendAndTrim(const std::vector<DerivedDraw>& draws, std::optional<int32_t> deleteBelow);
    // Replaces the whole history by the given draws in one transaction.
    void replaceAll(const std::vector<DerivedDraw>& draws);
    // Replaces the whole history by draws given as issue and dice (1..6), derived with the segment base
    // and stored in issue order, in one transaction; the fastest way in for a whole history. The issues
    // must be distinct (a repeat fails the whole, StoreError). The check for damage runs alongside on a
    // connection of its own and decides before anything is committed. `replacing`, when given, is told
    // the issues stored at that moment (ascending) and the draws (in issue order) inside the write
    // transaction, before they are replaced: what the replacement replaced, whatever another program
    // committed before; it may throw, and then nothing changes.
    using Replacing = std::function<void(const std::vector<int32_t>& stored, const std::vector<IssueDice>& draws)>;
    void replaceHistory(std::vector<IssueDice> draws, int segBase, const Replacing& replacing = {});
    // Replaces the whole history by what `rebuild` makes of the stored issues and dice (in issue
    // order), holding one write transaction from that read to the replace, so that no other program
    // can add a draw in between. Nothing changes when `rebuild` throws.
    using Rebuild = std::function<std::vector<DerivedDraw>(const std::vector<IssueDice>& stored)>;
    void rebuildHistory(const Rebuild& rebuild);
    // Keeps the oldest draws and deletes the newer ones, in one write transaction held from the read of
    // the stored draws on, so that no other program can add a draw in between. `choose` gets the stored
    // issues and dice in issue order and returns how many of the oldest stay; it may throw, and then
    // nothing changes. The kept draws stay as stored, unless one of them holds segment values of another
    // segment base than `segBase`: then all of them are derived again. Returns how many stayed.
    using KeepChoice = std::function<size_t(const std::vector<IssueDice>& stored)>;
    size_t keepOldest(const KeepChoice& choose, int segBase);
    // Deletes the n newest draws (all when n >= count) and returns how many went. IDX stays dense.
    int64_t deleteNewest(int64_t n);
    // Deletes every draw whose issue is above k.
    void deleteAbove(int64_t k);
    // Deletes every draw and returns how many went.
    int64_t clear();
    // Rebuilds the file without free pages (VACUUM) and empties the write-ahead log, so that both
    // files shrink; on failure the file stays as it was.
    void compact();
    // The share of the file's pages that are free (0 to 1).
    double freePageShare();
    // The issue and dice of every stored draw, in issue order.
    std::vector<IssueDice> issuesAndDice();
    // The stored issues, ascending (read from the issue index alone).
    std::vector<int32_t> issues();
    // Reads the history into memory, in issue order: issues and ranks, and the `parts` of the values
    // (valuesPart, groupsPart), checking the history's rules on what it reads (readSnapshot).
    std::shared_ptr<const Snapshot> snapshot(unsigned parts = kAllParts, Ranks ranks = Ranks::kChecked);
    // The issues in order and the `parts` of the values, from the index of the dice when the file has
    // it (readIndexedSnapshot: ranks are the draws' places, IDX is not read), else as snapshot() reads.
    std::shared_ptr<const Snapshot> valuesSnapshot(unsigned parts);
    // A read connection of its own on the file, for reading the history on another thread.
    std::unique_ptr<HistoryReader> reader() const;
    // Stops the statement this store's connection runs, from any thread; a change it interrupts is
    // rolled back.
    void interrupt() { sqlite3_interrupt(db_.handle()); }
    // The check for damage of the whole file on a connection of its own, for running on another thread.
    std::unique_ptr<DamageCheck> damageCheck(DamageScope scope = DamageScope::kPagesAndRules) const;

    // Empties YL and writes the rows in one transaction, in the given order. Damage is looked for only
    // where this write goes (YL, the schema and the free pages), unless the whole file was checked.
    void replaceYL(const std::vector<YLRow>& rows);
    // YL in ascending order of a key ("intMinYL", "intMaxYL", "intLstYl", "sglLlr"); rows with equal
    // keys stay in the order they were written. Any other key lists them in that order.
    std::vector<YLRow> readYL(const std::string& orderKey);

private:
    void checkHistoryDatabase();
    // Makes a new (empty) file a history: the schema and the record in one transaction, then WAL mode.
    void createHistory();
    // Inside a write: the record of provinceCode(), when the file has none and a code was given.
    void insertRecordIfMissing();
    // How a change looks for damage before it commits, while the check of the whole file is still due.
    enum class Check {
        kFirst,      // the whole file, before the change
        kAlongside,  // the whole file while the change runs (a file in WAL mode; else first)
        kGroupTable  // what writing table YL touches: YL, the schema and the free pages
    };
    // Runs `body` in one write transaction, after the checks and the first-write preparations.
    void write(const std::function<void()>& body, Check check = Check::kFirst);
    void enterWalMode();
    void insertRows(const std::vector<DerivedDraw>& draws);
    // Inside a write: replaces every row by the draws (in issue order, distinct, dice 1..6), derived
    // with the segment base, the issue index built once at the end.
    void bulkInsert(const std::vector<IssueDice>& draws, int segBase);
    void renumber();

    std::string path_;
    std::string provinceCode_;
    Db db_;
    Db::Mode mode_ = Db::Mode::kReadWrite;
    bool readOnly_ = false;
    std::string readOnlyReason_;
    bool integrityChecked_ = false;
    bool prepared_ = false;  // WAL mode set and the schema's additions made
    std::optional<int64_t> lastToken_;
};

}  // namespace k3
