#include "history_store.h"

#include <algorithm>
#include <filesystem>
#include <set>

#include "schema.h"

namespace fs = std::filesystem;

namespace k3 {

namespace {

const char* const kRequiredColumns[] = {
    "IDX", "SQQH", "L1A", "L2A", "L3A",       "L1B",         "L2B",         "L3B",         "L1E",          "L2E",
    "L3E", "L1F",  "L2F", "L3F", "txtHisLst", "txtHisLstHm", "txtHisLstDx", "txtHisLstDs", "txtHisLstDuan"};

void checkHistoryDatabase(Db& db, const std::string& path) {
    std::set<std::string> cols;
    try {
        Stmt st = db.prepare("PRAGMA table_info(lishi)");
        while (st.step()) cols.emplace(st.colText(1));
    } catch (const StoreError& e) {
        throw StoreError("文件 " + path + " 不是历史数据库（" + e.what() + "），未作任何改动");
    }
    for (const char* c : kRequiredColumns)
        if (!cols.count(c))
            throw StoreError("文件 " + path + " 不是历史数据库（缺少表 lishi 或字段 " + c + "），未作任何改动");
}

}  // namespace

HistoryStore::HistoryStore(std::string path) : path_(std::move(path)) {
    std::error_code ec;
    bool fresh = !fs::exists(path_, ec) || fs::file_size(path_, ec) == 0;
    db_ = Db(path_, fresh);
    if (fresh) {
        db_.exec(kHistorySchemaSql);
    } else {
        checkHistoryDatabase(db_, path_);
        // Adds what an older file may lack (YL, the issue index); never drops or changes data.
        try {
            db_.exec(kHistorySchemaSql);
        } catch (const StoreError& e) {
            throw StoreError("历史数据库 " + path_ + " 无法使用: " + e.what());
        }
    }
    db_.exec(
        "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL; PRAGMA mmap_size=1073741824; PRAGMA cache_size=-65536;");
}

int64_t HistoryStore::count() { return db_.scalarInt("SELECT COUNT(*) FROM lishi"); }

std::optional<int32_t> HistoryStore::newestIssue() {
    Stmt st = db_.prepare("SELECT MAX(SQQH) FROM lishi");
    if (!st.step() || st.colIsNull(0)) return std::nullopt;
    return static_cast<int32_t>(st.colInt(0));
}

bool HistoryStore::contains(int32_t sqqh) {
    Stmt st = db_.prepare("SELECT 1 FROM lishi WHERE SQQH = ?");
    st.bind(1, int64_t{sqqh});
    return st.step();
}

void HistoryStore::insertRows(const std::vector<DerivedDraw>& draws) {
    if (draws.empty()) return;
    int64_t n = count();
    std::optional<int32_t> newest = newestIssue();
    bool tail = std::is_sorted(draws.begin(), draws.end(),
                               [](const DerivedDraw& a, const DerivedDraw& b) { return a.sqqh < b.sqqh; }) &&
                (!newest || draws.front().sqqh > *newest);
    Stmt ins = db_.prepare(
        "INSERT INTO lishi (IDX, SQQH, L1A, L2A, L3A, L1B, L2B, L3B, L1E, L2E, L3E, L1F, L2F, L3F, "
        "txtHisLst, txtHisLstHm, txtHisLstDx, txtHisLstDs, txtHisLstDuan) "
        "VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)");
    int64_t i = 0;
    for (const DerivedDraw& d : draws) {
        ins.bind(1, tail ? n + ++i : int64_t{0}).bind(2, int64_t{d.sqqh});
        int c = 3;
        for (int t = 0; t < kTypeCount; ++t)
            for (int p = 0; p < 3; ++p) ins.bind(c++, int64_t{d.values[t][p]});
        ins.bind(c++, d.txtHisLst);
        for (int t = 0; t < kTypeCount; ++t) ins.bind(c++, d.pattern[t]);
        try {
            ins.run();
        } catch (const StoreError& e) {
            ins.reset();
            if (std::string(e.what()).find("UNIQUE") != std::string::npos)
                throw StoreError("期号 " + std::to_string(d.sqqh) + " 已存在");
            throw StoreError("期号 " + std::to_string(d.sqqh) + " 无法保存: " + e.what());
        }
    }
    if (!tail) renumber();
}

void HistoryStore::renumber() {
    // Only rows whose rank changed are written.
    db_.exec(
        "UPDATE lishi SET IDX = r.rn FROM (SELECT rowid AS id, ROW_NUMBER() OVER (ORDER BY SQQH) AS rn "
        "FROM lishi) AS r WHERE lishi.rowid = r.id AND lishi.IDX <> r.rn");
}

void HistoryStore::append(const std::vector<DerivedDraw>& draws) { appendAndTrim(draws, std::nullopt); }

void HistoryStore::appendAndTrim(const std::vector<DerivedDraw>& draws, std::optional<int32_t> deleteBelow) {
    Transaction tx(db_);
    insertRows(draws);
    if (deleteBelow) {
        Stmt del = db_.prepare("DELETE FROM lishi WHERE SQQH < ?");
        del.bind(1, int64_t{*deleteBelow});
        del.run();
        if (db_.changes() > 0) renumber();
    }
    tx.commit();
}

void HistoryStore::replaceAll(const std::vector<DerivedDraw>& draws) {
    Transaction tx(db_);
    db_.exec("DELETE FROM lishi");
    insertRows(draws);
    tx.commit();
}

void HistoryStore::deleteNewest(int64_t n) {
    if (n <= 0) return;
    Transaction tx(db_);
    Stmt st = db_.prepare("DELETE FROM lishi WHERE SQQH IN (SELECT SQQH FROM lishi ORDER BY SQQH DESC LIMIT ?)");
    st.bind(1, n);
    st.run();
    tx.commit();
}

void HistoryStore::deleteAbove(int64_t k) {
    Transaction tx(db_);
    Stmt st = db_.prepare("DELETE FROM lishi WHERE SQQH > ?");
    st.bind(1, k);
    st.run();
    tx.commit();
}

void HistoryStore::clear() {
    Transaction tx(db_);
    db_.exec("DELETE FROM lishi");
    tx.commit();
}

void HistoryStore::compact() { db_.exec("VACUUM"); }

std::vector<IssueDice> HistoryStore::issuesAndDice() {
    std::vector<IssueDice> out;
    out.reserve(static_cast<size_t>(count()));
    Stmt st = db_.prepare("SELECT SQQH, L1A, L2A, L3A FROM lishi ORDER BY SQQH");
    while (st.step())
        out.push_back({static_cast<int32_t>(st.colInt(0)), static_cast<int>(st.colInt(1)),
                       static_cast<int>(st.colInt(2)), static_cast<int>(st.colInt(3))});
    return out;
}

std::shared_ptr<const Snapshot> HistoryStore::snapshot() {
    auto snap = std::make_shared<Snapshot>();
    // The largest rowid bounds the row count and, unlike COUNT(*), needs no scan.
    snap->rows.reserve(static_cast<size_t>(std::max<int64_t>(0, db_.scalarInt("SELECT MAX(rowid) FROM lishi"))));
    Stmt st = db_.prepare(
        "SELECT SQQH, IDX, L1A, L2A, L3A, L1B, L2B, L3B, L1E, L2E, L3E, L1F, L2F, L3F, "
        "txtHisLstHm, txtHisLstDx, txtHisLstDs, txtHisLstDuan FROM lishi");
    while (st.step()) {
        SnapRow r;
        r.sqqh = static_cast<int32_t>(st.colInt(0));
        r.idx = static_cast<int32_t>(st.colInt(1));
        int c = 2;
        for (int t = 0; t < kTypeCount; ++t)
            for (int p = 0; p < 3; ++p) r.v[t][p] = static_cast<int8_t>(st.colInt(c++));
        for (int t = 0; t < kTypeCount; ++t) r.groups[t] = patternGroups(st.colText(c++));
        snap->rows.push_back(r);
    }
    auto bySqqh = [](const SnapRow& a, const SnapRow& b) { return a.sqqh < b.sqqh; };
    if (!std::is_sorted(snap->rows.begin(), snap->rows.end(), bySqqh))
        std::sort(snap->rows.begin(), snap->rows.end(), bySqqh);
    return snap;
}

void HistoryStore::replaceYL(const std::vector<YLRow>& rows) {
    Transaction tx(db_);
    db_.exec("DELETE FROM YL");
    Stmt ins = db_.prepare("INSERT INTO YL (content, intMinYL, intMaxYL, intLstYl, sglLlr) VALUES (?,?,?,?,?)");
    for (const YLRow& r : rows) {
        ins.bind(1, r.content)
            .bind(2, int64_t{r.minGap})
            .bind(3, int64_t{r.maxGap})
            .bind(4, int64_t{r.lastGap})
            .bind(5, static_cast<double>(r.ratio));
        ins.run();
    }
    tx.commit();
}

std::vector<YLRow> HistoryStore::readYL(const std::string& orderKey) {
    static const std::set<std::string> keys{"intMinYL", "intMaxYL", "intLstYl", "sglLlr"};
    std::string sql = "SELECT content, intMinYL, intMaxYL, intLstYl, sglLlr FROM YL ORDER BY ";
    sql += keys.count(orderKey) ? orderKey + ", rowid" : std::string("rowid");
    std::vector<YLRow> out;
    Stmt st = db_.prepare(sql);
    while (st.step()) {
        YLRow r;
        r.content = std::string(st.colText(0));
        r.minGap = static_cast<int32_t>(st.colInt(1));
        r.maxGap = static_cast<int32_t>(st.colInt(2));
        r.lastGap = static_cast<int32_t>(st.colInt(3));
        r.ratio = static_cast<float>(st.colDouble(4));
        out.push_back(std::move(r));
    }
    return out;
}

}  // namespace k3
