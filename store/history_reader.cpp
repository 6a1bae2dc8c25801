#include "history_reader.h"

#include <algorithm>
#include <numeric>

#include "history_rules.h"

namespace k3 {

namespace {

std::string_view asText(sqlite3_value* v) {
    auto p = reinterpret_cast<const char*>(sqlite3_value_text(v));
    return p ? std::string_view(p, static_cast<size_t>(sqlite3_value_bytes(v))) : std::string_view();
}

// The stored per-position columns of each type.
const char* const kValueColumns[kTypeCount] = {"L1A, L2A, L3A", "L1B, L2B, L3B", "L1E, L2E, L3E", "L1F, L2F, L3F"};

// The columns of the parts of a draw's values: the values of the types, then their pattern texts, then
// txtHisLst when it is checked.
std::string valueColumns(unsigned parts) {
    std::string cols;
    auto add = [&cols](const char* c) { cols += cols.empty() ? c : std::string(", ") + c; };
    for (int t = 0; t < kTypeCount; ++t)
        if (parts & valuesPart(t)) add(kValueColumns[t]);
    for (int t = 0; t < kTypeCount; ++t)
        if (parts & groupsPart(t)) add(kPatternFields[static_cast<size_t>(t)]);
    if (parts & kDiceTextChecked) add("txtHisLst");
    return cols;
}

// The parts that are read, with the check of txtHisLst only beside the dice.
unsigned readParts(unsigned parts) {
    parts &= kAllParts | kDiceTextChecked;
    if (!(parts & kDicePart)) parts &= ~kDiceTextChecked;
    return parts;
}

// A draw's values from the arguments valueColumns() lists; `textFits` is false when txtHisLst (checked)
// does not spell the dice.
DrawValues valuesOf(sqlite3_value** a, unsigned parts, bool& textFits) {
    DrawValues v;
    int c = 0;
    for (int t = 0; t < kTypeCount; ++t)
        if (parts & valuesPart(t))
            for (size_t p = 0; p < 3; ++p) v.v[static_cast<size_t>(t)][p] = ruleValue(a[c++]);
    for (int t = 0; t < kTypeCount; ++t)
        if (parts & groupsPart(t)) v.groups[static_cast<size_t>(t)] = patternGroups(asText(a[c++]));
    textFits = true;
    if (parts & kDiceTextChecked) {
        const std::string_view text = asText(a[c]);
        const auto& d = v.v[kNumber];
        textFits = sqlite3_value_type(a[c]) == SQLITE_TEXT && text.size() == 3 && text[0] == '0' + d[0] &&
                   text[1] == '0' + d[1] && text[2] == '0' + d[2];
    }
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

constexpr size_t kNoRow = SIZE_MAX;

// The row at `tablePosition` (in the table's own order) holds an issue or a rank that is no number of
// its kind: said with its rowid, or its issue when that is sound.
StoreError badIssueOrRank(Db& db, const std::string& path, size_t tablePosition) {
    Stmt st =
        db.prepare("SELECT rowid, typeof(SQQH), SQQH, quote(SQQH), quote(IDX) FROM lishi NOT INDEXED LIMIT 1 OFFSET ?");
    st.bind(1, static_cast<int64_t>(tablePosition));
    if (!st.step()) return brokenRule(path, "表 lishi 的第 " + std::to_string(tablePosition + 1) + " 行读不出来");
    const int64_t issue = st.colInt(2);
    if (st.colText(1) != "integer" || issue < 1 || issue > INT32_MAX)
        return brokenRule(path, "rowid " + std::to_string(st.colInt(0)) + " 的期号 SQQH 是 " +
                                    std::string(st.colText(3)) + "，应为 1～2147483647 的整数");
    return brokenRule(path,
                      "期号 " + std::to_string(issue) + " 的 IDX 是 " + std::string(st.colText(4)) + "，应为整数");
}

// The issue of the row at `tablePosition`.
int64_t issueAt(Db& db, size_t tablePosition) {
    Stmt st = db.prepare("SELECT SQQH FROM lishi NOT INDEXED LIMIT 1 OFFSET ?");
    st.bind(1, static_cast<int64_t>(tablePosition));
    return st.step() ? st.colInt(0) : 0;
}

// Damage in the values: the first row, in issue order, whose set breaks a rule or whose txtHisLst does not
// spell its dice (`badText`, a row in issue order, or kNoRow). `issueOf` gives a row's issue.
template <class IssueOf>
void checkValues(Db& db, const std::string& path, const SnapshotValues& values, unsigned parts, size_t badText,
                 const IssueOf& issueOf) {
    std::vector<std::optional<ValueFault>> faults(values.distinct.size());
    bool any = false;
    for (size_t k = 0; k < faults.size(); ++k) any |= (faults[k] = valuesFault(values.distinct[k], parts)).has_value();
    if (!any && badText == kNoRow) return;
    size_t row = kNoRow;
    for (size_t i = 0; any && i < values.index.size(); ++i)
        if (faults[values.index[i]]) {
            row = i;
            break;
        }
    const bool textFirst = badText < row;
    const int64_t issue = issueOf(textFirst ? badText : row);
    const std::string head = "期号 " + std::to_string(issue) + " 的 ";
    if (textFirst)
        throw brokenRule(
            path, head + "txtHisLst 是 " + storedText(db, "txtHisLst", "SQQH", issue) + "，与 L1A～L3A 的号码不符");
    const ValueFault& f = *faults[values.index[row]];
    throw brokenRule(path, head + f.column + " 是 " + storedText(db, f.column, "SQQH", issue) + "，" + f.should);
}

}  // namespace

// NOT INDEXED in every pass: the table in its own order, the same in both steps whatever indexes a file has.

std::optional<int64_t> readContentToken(Db& db) {
    if (!db.scalarInt("SELECT COUNT(*) FROM sqlite_schema WHERE type = 'table' AND name = 'k3version'"))
        return std::nullopt;
    Stmt st = db.prepare("SELECT token, typeof(token), (SELECT COUNT(*) FROM k3version) FROM k3version LIMIT 1");
    if (!st.step() || st.colText(1) != "integer" || st.colInt(2) != 1) return std::nullopt;
    return st.colInt(0);
}

DrawColumns readDrawColumns(Db& db, const std::string& path) {
    DrawColumns d;
    d.token = readContentToken(db);
    const size_t n = rowCount(db);
    d.issues.reserve(n);
    d.ranks.reserve(n);
    bool ascending = true;
    size_t bad = kNoRow;
    db.scan("SELECT k3row(SQQH, IDX) FROM lishi NOT INDEXED", [&](sqlite3_value** a) {
        const int32_t issue = ruleIssue(a[0]);
        const std::optional<int32_t> rank = ruleRank(a[1]);
        if ((issue == 0 || !rank) && bad == kNoRow) bad = d.issues.size();
        if (!d.issues.empty() && issue < d.issues.back()) ascending = false;
        d.issues.push_back(issue);
        d.ranks.push_back(rank.value_or(0));
    });
    if (bad != kNoRow) throw badIssueOrRank(db, path, bad);
    if (!ascending) {
        const std::vector<uint32_t> order = issueOrder(d.issues);
        d.issues = permuted(d.issues, order);
        d.ranks = permuted(d.ranks, order);
        d.position.resize(order.size());
        for (uint32_t k = 0; k < order.size(); ++k) d.position[order[k]] = k;
    }
    if (auto f = issuesFault(d.issues, d.ranks, true)) throw brokenRule(path, f->what);
    // The newest draws' dice, by the issue index: a few pages, not the table. An index that does not list
    // the table's issues is damaged.
    const size_t newest = std::min(kNewestDice, d.issues.size());
    d.newestDice.resize(newest);
    size_t k = newest;
    const std::string indexDamage = "期号的索引 SQQH 与表 lishi 不符";
    db.scan("SELECT k3row(SQQH, L1A, L2A, L3A) FROM lishi ORDER BY SQQH DESC LIMIT " + std::to_string(newest),
            [&](sqlite3_value** a) {
                const int32_t issue = ruleIssue(a[0]);
                if (k == 0 || issue != d.issues[d.issues.size() - newest + k - 1]) throw brokenRule(path, indexDamage);
                Snapshot::Dice& dice = d.newestDice[--k];
                for (size_t p = 0; p < 3; ++p) {
                    dice[p] = ruleValue(a[p + 1]);
                    if (!validDie(dice[p])) {
                        const std::string column = fieldName(static_cast<int>(p) + 1, kNumber);
                        throw brokenRule(path, "期号 " + std::to_string(issue) + " 的 " + column + " 是 " +
                                                   storedText(db, column, "SQQH", issue) + "，应为 1～6 的整数");
                    }
                }
            });
    if (k != 0) throw brokenRule(path, indexDamage);
    return d;
}

std::shared_ptr<const SnapshotValues> readDrawValues(Db& db, const std::string& path,
                                                     const std::vector<uint32_t>& position, size_t rows, unsigned parts,
                                                     const std::atomic<bool>* stop) {
    parts = readParts(parts);
    auto values = std::make_shared<SnapshotValues>();
    values->parts = parts & kAllParts;
    values->index.resize(rows);
    size_t k = 0, badText = kNoRow;
    // Nothing asked for: the dice, so that the query has columns (they are cheap).
    if ((parts & kAllParts) == 0) values->parts = parts = kDicePart;
    db.scan("SELECT k3row(" + valueColumns(parts) + ") FROM lishi NOT INDEXED", [&](sqlite3_value** a) {
        if (stop && stop->load(std::memory_order_relaxed)) throw StoreError("读入历史号码已中止");
        if (k >= rows) throw StoreError("历史号码在读入时变了");
        bool textFits = true;
        const size_t row = position.empty() ? k : position[k];
        values->index[row] = values->add(valuesOf(a, parts, textFits));
        if (!textFits) badText = std::min(badText, row);
        ++k;
    });
    if (k != rows) throw StoreError("历史号码在读入时变了");
    checkValues(db, path, *values, parts, badText, [&](size_t row) {
        if (position.empty()) return issueAt(db, row);
        const auto at = std::find(position.begin(), position.end(), static_cast<uint32_t>(row));
        return issueAt(db, static_cast<size_t>(at - position.begin()));
    });
    return values;
}

Snapshot readSnapshot(Db& db, const std::string& path, unsigned parts, Ranks ranks) {
    parts = readParts(parts);
    const size_t n = rowCount(db);
    std::vector<int32_t> issues, rankOf;
    issues.reserve(n);
    rankOf.reserve(n);
    auto values = std::make_shared<SnapshotValues>();
    values->parts = parts & kAllParts;
    values->index.reserve(n);
    std::vector<uint32_t> badTexts;  // rows (in the table's order) whose txtHisLst does not spell the dice
    bool ascending = true;
    size_t bad = kNoRow;
    const std::string columns = (parts & kAllParts) ? "SQQH, IDX, " + valueColumns(parts) : "SQQH, IDX";
    db.scan("SELECT k3row(" + columns + ") FROM lishi NOT INDEXED", [&](sqlite3_value** a) {
        const int32_t issue = ruleIssue(a[0]);
        const std::optional<int32_t> rank = ruleRank(a[1]);
        if ((issue == 0 || !rank) && bad == kNoRow) bad = issues.size();
        if (!issues.empty() && issue < issues.back()) ascending = false;
        bool textFits = true;
        values->index.push_back(values->add(valuesOf(a + 2, parts, textFits)));
        if (!textFits) badTexts.push_back(static_cast<uint32_t>(issues.size()));
        issues.push_back(issue);
        rankOf.push_back(rank.value_or(0));
    });
    if (bad != kNoRow) throw badIssueOrRank(db, path, bad);
    size_t badText = badTexts.empty() ? kNoRow : badTexts.front();
    if (!ascending) {
        const std::vector<uint32_t> order = issueOrder(issues);
        issues = permuted(issues, order);
        rankOf = permuted(rankOf, order);
        values->index = permuted(values->index, order);
        if (!badTexts.empty()) {
            std::vector<uint32_t> place(order.size());
            for (uint32_t k = 0; k < order.size(); ++k) place[order[k]] = k;
            badText = kNoRow;
            for (uint32_t k : badTexts) badText = std::min<size_t>(badText, place[k]);
        }
    }
    if (auto f = issuesFault(issues, rankOf, ranks == Ranks::kChecked)) throw brokenRule(path, f->what);
    checkValues(db, path, *values, parts, badText, [&](size_t row) { return int64_t{issues[row]}; });
    Snapshot snap(std::move(issues), std::move(rankOf), {}, readyValues(std::move(values)));
    snap.setContentToken(readContentToken(db));
    return snap;
}

bool hasDiceIndex(Db& db) {
    Stmt st = db.prepare(
        "SELECT group_concat(name, ',') FROM (SELECT name FROM pragma_index_info(?) ORDER BY seqno) "
        "WHERE EXISTS (SELECT 1 FROM sqlite_master WHERE type = 'index' AND name = ? AND tbl_name = 'lishi')");
    st.bind(1, std::string_view(kDiceIndexName)).bind(2, std::string_view(kDiceIndexName));
    return st.step() && !st.colIsNull(0) && st.colText(0) == "SQQH,L1A,L2A,L3A,L1F,L2F,L3F";
}

Snapshot readIndexedSnapshot(Db& db, const std::string& path, unsigned parts) {
    parts &= kAllParts;
    const bool segments = (parts & typeParts(kSegment)) != 0;
    const unsigned groupParts =
        parts & (groupsPart(kNumber) | groupsPart(kBigSmall) | groupsPart(kOddEven) | groupsPart(kSegment));
    const size_t n = rowCount(db);
    std::vector<int32_t> issues;
    issues.reserve(n);
    auto values = std::make_shared<SnapshotValues>();
    values->parts =
        kDicePart | valuesPart(kBigSmall) | valuesPart(kOddEven) | (segments ? valuesPart(kSegment) : 0) | groupParts;
    values->index.reserve(n);
    // The set of each outcome of the dice (and segment numbers 0..3), made when first met.
    std::vector<uint32_t> setOf(segments ? 216 * 64 : 216, ~0u);
    auto valuesOfRow = [&](const std::array<int8_t, 3>& dice, const std::array<int8_t, 3>& segment) {
        DrawValues v;
        v.v[kNumber] = dice;
        v.v[kSegment] = segment;
        for (size_t p = 0; p < 3; ++p) {
            const int die = dice[p];
            v.v[kBigSmall][p] = validDie(die) ? static_cast<int8_t>(die > 2 ? 1 : 0) : kBrokenValue;
            v.v[kOddEven][p] = validDie(die) ? static_cast<int8_t>(die % 2) : kBrokenValue;
        }
        for (int t = 0; t < kTypeCount; ++t)
            if (groupParts & groupsPart(t)) v.groups[static_cast<size_t>(t)] = valueGroups(v.v[static_cast<size_t>(t)]);
        return v;
    };
    bool sound = true;
    db.scan(std::string("SELECT k3row(SQQH, L1A, L2A, L3A") + (segments ? ", L1F, L2F, L3F" : "") +
                ") FROM lishi INDEXED BY " + kDiceIndexName + " ORDER BY SQQH",
            [&](sqlite3_value** a) {
                const int32_t issue = ruleIssue(a[0]);
                if (issue == 0) sound = false;
                const std::array<int8_t, 3> dice{ruleValue(a[1]), ruleValue(a[2]), ruleValue(a[3])};
                std::array<int8_t, 3> segment{};
                if (segments) segment = {ruleValue(a[4]), ruleValue(a[5]), ruleValue(a[6])};
                uint32_t set;
                if (validDie(dice[0]) && validDie(dice[1]) && validDie(dice[2]) &&
                    std::all_of(segment.begin(), segment.end(), [](int8_t f) { return f >= 0 && f <= 3; })) {
                    size_t key = static_cast<size_t>((dice[0] - 1) * 36 + (dice[1] - 1) * 6 + dice[2] - 1);
                    if (segments) key = key * 64 + static_cast<size_t>(segment[0] * 16 + segment[1] * 4 + segment[2]);
                    if (setOf[key] == ~0u) setOf[key] = values->add(valuesOfRow(dice, segment));
                    set = setOf[key];
                } else {
                    set = values->add(valuesOfRow(dice, segment));  // found by the check below
                }
                values->index.push_back(set);
                issues.push_back(issue);
            });
    // A text or a real sorts after every number in the index: said, with its row, by the read of the
    // table; so is an index that does not list every draw.
    if (!sound || issues.size() != n) return readSnapshot(db, path, parts);
    std::vector<int32_t> ranks(issues.size());
    std::iota(ranks.begin(), ranks.end(), 1);
    if (auto f = issuesFault(issues, ranks, false)) throw brokenRule(path, f->what);
    checkValues(db, path, *values, values->parts, kNoRow, [&](size_t row) { return int64_t{issues[row]}; });
    Snapshot snap(std::move(issues), std::move(ranks), {}, readyValues(std::move(values)));
    snap.setContentToken(readContentToken(db));
    return snap;
}

HistoryReader::HistoryReader(const std::string& path, Db::Mode mode) : path_(path), db_(path, mode) {
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
    DrawColumns d = readDrawColumns(db_, path_);
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
    return readDrawValues(db_, path_, position_, rows_, parts, &stop_);
}

void HistoryReader::interrupt() { stop_ = true; }

}  // namespace k3
