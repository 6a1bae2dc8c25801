// The analyses done the statement way: counting UPDATE statements on the scratch columns of lishi
// (intTh, bolOk, txtHisP6) and a select of the marked rows, on a real SQLite file. The benchmark
// measures it and a test checks the in-memory analyses against it.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "search/conditions.h"
#include "store/derive.h"
#include "store/history_store.h"

namespace k3ref {

struct RefStats {
    std::vector<int32_t> idx;  // IDX of the matches, in order
    std::vector<int32_t> omissions;
    int32_t minimum = 32767, maximum = 0, last = 0;
    double ratio = 0;
};

struct RefCond {
    bool fixed;
    int pos;  // fixed: 1..3
    int value;
};

inline std::string likeStatement(const std::string& field, int r, int v) {
    return "UPDATE lishi SET intTh=(intTh +1) WHERE [" + field + "] LIKE '%" + std::to_string(r) + "X" +
           std::to_string(v) + "%'";
}

inline std::string fixedStatement(int pos, int type, int v) {
    return "UPDATE lishi SET intTh=(intTh +1) WHERE [" + k3::fieldName(pos, type) + "] = " + std::to_string(v);
}

// Walks the selected matches and computes the statistics; `startIssue` gives the starting point
// (0 when it is not stored), the last omission is measured to the last stored IDX.
inline RefStats walk(k3::Db& db, const std::string& select, int32_t startIssue) {
    RefStats s;
    int32_t p = 0;
    {
        k3::Stmt st = db.prepare("SELECT IDX FROM lishi WHERE SQQH = " + std::to_string(startIssue));
        if (st.step()) p = static_cast<int32_t>(st.colInt(0)) - 1;
    }
    k3::Stmt st = db.prepare(select);
    while (st.step()) {
        int32_t idx = static_cast<int32_t>(st.colInt(0));
        int32_t o = idx - p;
        if (o > s.maximum) s.maximum = o;
        if (s.idx.empty() || o < s.minimum) s.minimum = o;
        p = idx;
        s.idx.push_back(idx);
        s.omissions.push_back(o);
    }
    if (s.idx.empty()) s.minimum = s.maximum = 32767;
    s.last = static_cast<int32_t>(db.scalarInt("SELECT IDX FROM lishi ORDER BY SQQH DESC LIMIT 1")) + 1 - p;
    s.ratio = static_cast<double>(s.maximum) / s.last;
    return s;
}

inline std::string rangeSelect(int32_t from, int32_t to, const std::string& mark) {
    return "SELECT IDX FROM lishi WHERE SQQH >= " + std::to_string(from) + " AND  SQQH <= " + std::to_string(to) +
           " AND " + mark + " ORDER BY IDX";
}

// Occurrence counters of the searches (dice 1..6 or 0..6 for the groups, flags 0..1, segments 0..3):
// the statement of a value without a counter is never sent.
struct Counters {
    std::array<int, 10> n{};
    bool counts(int type, int v, k3::CountRange range) const { return k3::hasCounter(type, v, range); }
};

// The search: one counting statement per condition, then the rows whose counter reaches k.
inline RefStats search(k3::Db& db, int type, const std::vector<RefCond>& conds, int32_t from, int32_t to) {
    db.exec("UPDATE lishi SET intTh=0");
    Counters c;
    for (const RefCond& cd : conds) {
        if (cd.fixed) {
            db.exec(fixedStatement(cd.pos, type, cd.value));
        } else if (c.counts(type, cd.value, k3::CountRange::kSearch)) {
            int r = ++c.n[static_cast<size_t>(cd.value)];
            db.exec(likeStatement(k3::kPatternFields[static_cast<size_t>(type)], r, cd.value));
        }
    }
    return walk(db, rangeSelect(from, to, "intTh = " + std::to_string(conds.size())), from);
}

// The partial search: every combination of k positions marks bolOk for the rows meeting all of it.
inline RefStats partial(k3::Db& db, int type, bool free, std::array<int, 3> values, int k, int32_t from, int32_t to) {
    db.exec("UPDATE lishi SET bolOk= 0");
    if (free)
        db.exec(std::string("UPDATE lishi SET txtHisP6= [") + k3::kPatternFields[static_cast<size_t>(type)] + "]");
    std::vector<std::vector<int>> combos;
    if (k == 1) combos = {{1}, {2}, {3}};
    if (k == 2) combos = {{1, 2}, {1, 3}, {2, 3}};
    if (k == 3) combos = {{1, 2, 3}};
    for (const auto& combo : combos) {
        db.exec("UPDATE lishi SET intTh=0");
        Counters c;
        for (int p : combo) {
            int v = values[static_cast<size_t>(p - 1)];
            if (!free) {
                db.exec(fixedStatement(p, type, v));
            } else if (c.counts(type, v, k3::CountRange::kSearch)) {
                int r = ++c.n[static_cast<size_t>(v)];
                db.exec(likeStatement("txtHisP6", r, v));
            }
        }
        db.exec("UPDATE lishi SET bolOk= 1 WHERE intTh = " + std::to_string(k));
    }
    return walk(db, rangeSelect(from, to, "bolOk= 1"), from);
}

// The group calculation: per group of k values, one counting statement per value on txtHisP6, then
// the statistics and a row of YL. A group without a match is written with the no-match values.
inline std::vector<k3::YLRow> groups(k3::Db& db, int type, const std::vector<int>& selection, int k, int32_t from,
                                     int32_t to) {
    std::vector<k3::YLRow> out;
    db.exec("DELETE FROM YL");
    db.exec("UPDATE lishi SET intTh=0");
    db.exec(std::string("UPDATE lishi SET txtHisP6= [") + k3::kPatternFields[static_cast<size_t>(type)] + "]");
    int n = static_cast<int>(selection.size());
    if (k < 1 || k > 6 || n < k) return out;
    std::vector<int> s(static_cast<size_t>(k));
    for (int i = 0; i < k; ++i) s[static_cast<size_t>(i)] = i;
    for (;;) {
        db.exec("UPDATE lishi SET intTh=0");
        std::string content;
        for (int slot : s) {
            int v = selection[static_cast<size_t>(slot)];
            db.exec(likeStatement("txtHisP6", 1, v));
            if (!content.empty()) content += ' ';
            content += k3::valueLabel(type, v);
        }
        RefStats st = walk(db, rangeSelect(from, to, "intTh = " + std::to_string(k)), from);
        k3::YLRow row{content, st.minimum, st.maximum, st.last, static_cast<float>(st.ratio)};
        k3::Stmt ins = db.prepare("INSERT INTO YL (content, intMaxYL, intMinYL, intLstYl, sglLlr) VALUES (?,?,?,?,?)");
        ins.bind(1, row.content).bind(2, int64_t{row.maxGap}).bind(3, int64_t{row.minGap});
        ins.bind(4, int64_t{row.lastGap}).bind(5, static_cast<double>(row.ratio));
        ins.run();
        out.push_back(row);
        int i = k - 1;
        while (i >= 0 && s[static_cast<size_t>(i)] == n - k + i) --i;
        if (i < 0) break;
        ++s[static_cast<size_t>(i)];
        for (int j = i + 1; j < k; ++j) s[static_cast<size_t>(j)] = s[static_cast<size_t>(j - 1)] + 1;
    }
    return out;
}

}  // namespace k3ref
