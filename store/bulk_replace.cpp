// The fastest way to replace the whole history: the draws derived into fixed buffers (one per outcome
// of the dice) and bound without copying, inserted in issue order so that IDX is the rank as it goes,
// the issue index built once at the end, and the damage check run alongside.
#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "history_store.h"
#include "outcome.h"

namespace k3 {

namespace {

// Every stored value of one outcome of the three dice under one segment base.
struct Outcome {
    std::array<int64_t, 12> values;  // L1A..L3A, L1B..L3B, L1E..L3E, L1F..L3F
    char dice[3];
    char patterns[kTypeCount][12];
};

std::array<Outcome, kOutcomeCount> outcomes(int segBase) {
    std::array<Outcome, kOutcomeCount> all{};
    for (int o = 0; o < kOutcomeCount; ++o) {
        const auto [d1, d2, d3] = diceOf(o);
        const DerivedDraw d = deriveDraw(0, d1, d2, d3, segBase);
        Outcome& x = all[static_cast<size_t>(o)];
        for (int t = 0; t < kTypeCount; ++t) {
            for (int p = 0; p < 3; ++p) x.values[static_cast<size_t>(t * 3 + p)] = d.values[t][p];
            std::copy_n(d.pattern[t].data(), 12, x.patterns[t]);
        }
        std::copy_n(d.txtHisLst.data(), 3, x.dice);
    }
    return all;
}

// Connection settings for one large change, put back afterwards: no zeroing of every freed page (the
// old history's pages are overwritten by the new one anyway) and no CHECK constraints on values derived
// here.
class BulkSettings {
public:
    explicit BulkSettings(Db& db) : db_(db) {
        secureDelete_ = db_.scalarInt("PRAGMA secure_delete");
        db_.exec("PRAGMA secure_delete=FAST; PRAGMA ignore_check_constraints=ON;");
    }
    ~BulkSettings() {
        try {
            db_.exec("PRAGMA ignore_check_constraints=OFF; PRAGMA secure_delete=" + std::to_string(secureDelete_));
        } catch (...) {
        }
    }
    BulkSettings(const BulkSettings&) = delete;
    BulkSettings& operator=(const BulkSettings&) = delete;

private:
    Db& db_;
    int64_t secureDelete_ = 0;
};

constexpr size_t kRowsPerStatement = 16;
constexpr int kInsertColumns = 19;

// INSERT of `rows` draws with every stored column bound.
std::string insertSql(size_t rows) {
    std::string sql =
        "INSERT INTO lishi (IDX, SQQH, L1A, L2A, L3A, L1B, L2B, L3B, L1E, L2E, L3E, L1F, L2F, L3F, "
        "txtHisLst, txtHisLstHm, txtHisLstDx, txtHisLstDs, txtHisLstDuan) VALUES ";
    for (size_t r = 0; r < rows; ++r) {
        sql += r ? ",(?" : "(?";
        for (int c = 1; c < kInsertColumns; ++c) sql += ",?";
        sql += ')';
    }
    return sql;
}

}  // namespace

void HistoryStore::replaceHistory(std::vector<IssueDice> draws, int segBase, const Replacing& replacing) {
    for (const IssueDice& d : draws)
        if (!validDie(d.d1) || !validDie(d.d2) || !validDie(d.d3))
            throw StoreError("期号 " + std::to_string(d.issue) + " 的号码不是三个1到6的数字");
    auto byIssue = [](const IssueDice& a, const IssueDice& b) { return a.issue < b.issue; };
    if (!std::is_sorted(draws.begin(), draws.end(), byIssue)) std::sort(draws.begin(), draws.end(), byIssue);
    auto repeat = std::adjacent_find(draws.begin(), draws.end(),
                                     [](const IssueDice& a, const IssueDice& b) { return a.issue == b.issue; });
    if (repeat != draws.end()) throw StoreError("期号 " + std::to_string(repeat->issue) + " 已存在");
    write(
        [&] {
            if (replacing) replacing(issues(), draws);
            bulkInsert(draws, segBase);
        },
        Check::kAlongside);
}

void HistoryStore::bulkInsert(const std::vector<IssueDice>& draws, int segBase) {
    static const std::array<Outcome, 216> base0 = outcomes(0), base1 = outcomes(1);
    const std::array<Outcome, 216>& outcome = segBase == 0 ? base0 : base1;
    BulkSettings settings(db_);
    // The issue index and the index of the dice are built again from the sorted rows, as they were
    // defined: once at the end costs less than keeping them up to date row by row.
    std::vector<std::string> indexes;
    for (const char* name : {"SQQH", kDiceIndexName}) {
        std::string sql;
        {
            Stmt st =
                db_.prepare("SELECT sql FROM sqlite_master WHERE type = 'index' AND tbl_name = 'lishi' AND name = ?");
            st.bind(1, std::string_view(name));
            if (st.step() && !st.colIsNull(0)) sql = st.colText(0);
        }
        if (sql.empty()) continue;
        db_.exec(std::string("DROP INDEX ") + name);
        indexes.push_back(std::move(sql));
    }
    db_.exec("DELETE FROM lishi");
    // Sixteen rows a statement: a fifth less work per row than one.
    Stmt block = db_.prepare(insertSql(kRowsPerStatement)), single = db_.prepare(insertSql(1));
    int64_t rank = 0;
    size_t i = 0;
    auto bind = [&](sqlite3_stmt* st, int first, const IssueDice& d) {
        const Outcome& x = outcome[static_cast<size_t>((d.d1 - 1) * 36 + (d.d2 - 1) * 6 + d.d3 - 1)];
        sqlite3_bind_int64(st, first, ++rank);
        sqlite3_bind_int64(st, first + 1, d.issue);
        for (int c = 0; c < 12; ++c) sqlite3_bind_int64(st, first + 2 + c, x.values[static_cast<size_t>(c)]);
        sqlite3_bind_text(st, first + 14, x.dice, 3, SQLITE_STATIC);
        for (int t = 0; t < kTypeCount; ++t) sqlite3_bind_text(st, first + 15 + t, x.patterns[t], 12, SQLITE_STATIC);
    };
    for (; i + kRowsPerStatement <= draws.size(); i += kRowsPerStatement) {
        for (size_t r = 0; r < kRowsPerStatement; ++r)
            bind(block.handle(), static_cast<int>(r) * kInsertColumns + 1, draws[i + r]);
        block.run();
    }
    for (; i < draws.size(); ++i) {
        bind(single.handle(), 1, draws[i]);
        single.run();
    }
    for (const std::string& sql : indexes) db_.exec(sql);
}

size_t HistoryStore::keepOldest(const KeepChoice& choose, int segBase) {
    size_t kept = 0;
    write([&] {
        // One pass over the table in its own order: the issues and dice for the choice, and whether
        // each draw's segment values are those of the base in force.
        std::vector<IssueDice> all;
        std::vector<int32_t> otherBase;  // issues of draws derived with another base
        all.reserve(static_cast<size_t>(std::max<int64_t>(0, count())));
        bool ascending = true;
        db_.scan("SELECT k3row(SQQH, L1A, L2A, L3A, L1F, L2F, L3F) FROM lishi NOT INDEXED", [&](sqlite3_value** a) {
            const IssueDice d{static_cast<int32_t>(sqlite3_value_int64(a[0])), sqlite3_value_int(a[1]),
                              sqlite3_value_int(a[2]), sqlite3_value_int(a[3])};
            if (!all.empty() && d.issue < all.back().issue) ascending = false;
            const int dice[3] = {d.d1, d.d2, d.d3};
            for (int p = 0; p < 3; ++p)
                if (sqlite3_value_int(a[4 + p]) != (dice[p] - 1) / 2 + segBase) {
                    otherBase.push_back(d.issue);
                    break;
                }
            all.push_back(d);
        });
        if (!ascending)
            std::sort(all.begin(), all.end(), [](const IssueDice& x, const IssueDice& y) { return x.issue < y.issue; });
        kept = std::min(choose(all), all.size());
        if (kept == 0) {
            db_.exec("DELETE FROM lishi");
            return;
        }
        const int32_t lastKept = all[kept - 1].issue;
        if (std::any_of(otherBase.begin(), otherBase.end(), [lastKept](int32_t i) { return i <= lastKept; })) {
            // Derived again with the base in force, as an import stores them.
            all.resize(kept);
            for (const IssueDice& d : all)
                if (!validDie(d.d1) || !validDie(d.d2) || !validDie(d.d3))
                    throw StoreError("期号 " + std::to_string(d.issue) + " 的号码不是三个1到6的数字");
            bulkInsert(all, segBase);
            return;
        }
        // The kept draws stay as they are stored, their ranks among them: only the newer ones go.
        Stmt del = db_.prepare("DELETE FROM lishi WHERE SQQH > ?");
        del.bind(1, int64_t{lastKept});
        del.run();
    });
    return kept;
}

}  // namespace k3
