#include "history_reader.h"

#include <algorithm>
#include <numeric>

namespace k3 {

namespace {

int32_t asInt32(sqlite3_value* v) { return static_cast<int32_t>(sqlite3_value_int64(v)); }
int8_t asInt8(sqlite3_value* v) { return static_cast<int8_t>(sqlite3_value_int64(v)); }

std::string_view asText(sqlite3_value* v) {
    auto p = reinterpret_cast<const char*>(sqlite3_value_text(v));
    return p ? std::string_view(p, static_cast<size_t>(sqlite3_value_bytes(v))) : std::string_view();
}

// The stored per-position columns of each type.
const char* const kValueColumns[kTypeCount] = {"L1A, L2A, L3A", "L1B, L2B, L3B", "L1E, L2E, L3E", "L1F, L2F, L3F"};

// The columns of the parts of a draw's values: the values of the types, then their pattern texts.
std::string valueColumns(unsigned parts) {
    std::string cols;
    auto add = [&cols](const char* c) { cols += cols.empty() ? c : std::string(", ") + c; };
    for (int t = 0; t < kTypeCount; ++t)
        if (parts & valuesPart(t)) add(kValueColumns[t]);
    for (int t = 0; t < kTypeCount; ++t)
        if (parts & groupsPart(t)) add(kPatternFields[static_cast<size_t>(t)]);
    return cols;
}

// A draw's values from the arguments valueColumns() lists.
DrawValues valuesOf(sqlite3_value** a, unsigned parts) {
    DrawValues v;
    int c = 0;
    for (int t = 0; t < kTypeCount; ++t)
        if (parts & valuesPart(t))
            for (size_t p = 0; p < 3; ++p) v.v[static_cast<size_t>(t)][p] = asInt8(a[c++]);
    for (int t = 0; t < kTypeCount; ++t)
        if (parts & groupsPart(t)) v.groups[static_cast<size_t>(t)] = patternGroups(asText(a[c++]));
    return v;
}

size_t rowCount(Db& db) {
    return static_cast<size_t>(std::max<int64_t>(0, db.scalarInt("SELECT COUNT(*) FROM lishi")));
}

// Rows added out of issue order sit later in the table: the order that sorts them by issue (stable).
std::vector<uint32_t> issueOrder(const std::vector<int32_t>& issues) {
    std::vector<uint32_t> order(issues.size());
    std::iota(order.begin(), order.end(), 0u);
    std::stable_sort(order.begin(), order.end(), [&issues](uint32_t a, uint32_t b) { return issues[a] < issues[b]; });
    return order;
}

template <class T>
std::vector<T> permuted(const std::vector<T>& v, const std::vector<uint32_t>& order) {
    std::vector<T> out;
    out.reserve(order.size());
    for (uint32_t k : order) out.push_back(v[k]);
    return out;
}

}  // namespace

// NOT INDEXED in every pass: the table in its own order, the same in both steps whatever indexes a file has.

DrawColumns readDrawColumns(Db& db) {
    DrawColumns d;
    const size_t n = rowCount(db);
    d.issues.reserve(n);
    d.ranks.reserve(n);
    bool ascending = true;
    db.scan("SELECT k3row(SQQH, IDX) FROM lishi NOT INDEXED", [&](sqlite3_value** a) {
        const int32_t issue = asInt32(a[0]);
        if (!d.issues.empty() && issue < d.issues.back()) ascending = false;
        d.issues.push_back(issue);
        d.ranks.push_back(asInt32(a[1]));
    });
    if (!ascending) {
        const std::vector<uint32_t> order = issueOrder(d.issues);
        d.issues = permuted(d.issues, order);
        d.ranks = permuted(d.ranks, order);
        d.position.resize(order.size());
        for (uint32_t k = 0; k < order.size(); ++k) d.position[order[k]] = k;
    }
    // The newest draws' dice, by the issue index: a few pages, not the table.
    const size_t newest = std::min(kNewestDice, d.issues.size());
    d.newestDice.resize(newest);
    size_t k = newest;
    Stmt st = db.prepare("SELECT SQQH, L1A, L2A, L3A FROM lishi ORDER BY SQQH DESC LIMIT ?");
    st.bind(1, static_cast<int64_t>(newest));
    while (st.step()) {
        if (k == 0 || st.colInt(0) != d.issues[d.issues.size() - newest + k - 1])
            throw StoreError("历史号码在读入时变了");
        d.newestDice[--k] = {static_cast<int8_t>(st.colInt(1)), static_cast<int8_t>(st.colInt(2)),
                             static_cast<int8_t>(st.colInt(3))};
    }
    if (k != 0) throw StoreError("历史号码在读入时变了");
    return d;
}

std::shared_ptr<const SnapshotValues> readDrawValues(Db& db, const std::vector<uint32_t>& position, size_t rows,
                                                     unsigned parts, const std::atomic<bool>* stop) {
    parts &= kAllParts;
    auto values = std::make_shared<SnapshotValues>();
    values->parts = parts;
    values->index.resize(rows);
    size_t k = 0;
    // Nothing asked for: the dice, so that the query has columns (they are cheap).
    if (parts == 0) values->parts = parts = kDicePart;
    db.scan("SELECT k3row(" + valueColumns(parts) + ") FROM lishi NOT INDEXED", [&](sqlite3_value** a) {
        if (stop && stop->load(std::memory_order_relaxed)) throw StoreError("读入历史号码已中止");
        if (k >= rows) throw StoreError("历史号码在读入时变了");
        values->index[position.empty() ? k : position[k]] = values->add(valuesOf(a, parts));
        ++k;
    });
    if (k != rows) throw StoreError("历史号码在读入时变了");
    return values;
}

Snapshot readSnapshot(Db& db, unsigned parts) {
    parts &= kAllParts;
    const size_t n = rowCount(db);
    std::vector<int32_t> issues, ranks;
    issues.reserve(n);
    ranks.reserve(n);
    auto values = std::make_shared<SnapshotValues>();
    values->parts = parts;
    values->index.reserve(n);
    bool ascending = true;
    const std::string columns = parts ? "SQQH, IDX, " + valueColumns(parts) : "SQQH, IDX";
    db.scan("SELECT k3row(" + columns + ") FROM lishi NOT INDEXED", [&](sqlite3_value** a) {
        const int32_t issue = asInt32(a[0]);
        if (!issues.empty() && issue < issues.back()) ascending = false;
        issues.push_back(issue);
        ranks.push_back(asInt32(a[1]));
        values->index.push_back(values->add(valuesOf(a + 2, parts)));
    });
    if (!ascending) {
        const std::vector<uint32_t> order = issueOrder(issues);
        issues = permuted(issues, order);
        ranks = permuted(ranks, order);
        values->index = permuted(values->index, order);
    }
    return Snapshot(std::move(issues), std::move(ranks), {}, readyValues(std::move(values)));
}

HistoryReader::HistoryReader(const std::string& path, Db::Mode mode) : db_(path, mode) {
    db_.exec("PRAGMA mmap_size=0; PRAGMA cache_size=-2048;");
}

HistoryReader::~HistoryReader() { endTransaction(); }

void HistoryReader::endTransaction() {
    if (!inTransaction_) return;
    inTransaction_ = false;
    try {
        db_.exec("COMMIT");
    } catch (...) {
    }
}

DrawColumns HistoryReader::readDraws() {
    db_.exec("BEGIN");
    inTransaction_ = true;
    DrawColumns d = readDrawColumns(db_);
    position_ = std::move(d.position);
    d.position.clear();
    rows_ = d.issues.size();
    return d;
}

std::shared_ptr<const SnapshotValues> HistoryReader::readValues(unsigned parts) {
    struct End {
        HistoryReader* r;
        ~End() { r->endTransaction(); }
    } end{this};
    return readDrawValues(db_, position_, rows_, parts, &stop_);
}

void HistoryReader::interrupt() { stop_ = true; }

}  // namespace k3
