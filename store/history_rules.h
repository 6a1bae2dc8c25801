// The rules a stored history keeps that SQLite's own check of the file does not see: every issue an
// integer 1..2147483647 stored once, IDX the place 1..n of the draw in issue order, the dice 1..6 and
// the values and pattern texts derived from them, nothing empty. Reading the history checks them on
// what it reads (history_reader.h); a row that breaks one makes the history damaged.
#pragma once
#include <sqlite3.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "snapshot.h"
#include "sqlite_db.h"

namespace k3 {

// A stored value as the rules read it: the number when it is an integer that fits, else kBrokenValue,
// which no rule accepts (NULL, a text, a real, a number out of range).
inline constexpr int8_t kBrokenValue = INT8_MIN;
inline int8_t ruleValue(sqlite3_value* v) {
    if (sqlite3_value_type(v) != SQLITE_INTEGER) return kBrokenValue;
    const int64_t x = sqlite3_value_int64(v);
    return x > INT8_MIN && x <= INT8_MAX ? static_cast<int8_t>(x) : kBrokenValue;
}
// An issue: an integer 1..2147483647; 0 when it is not one.
inline int32_t ruleIssue(sqlite3_value* v) {
    if (sqlite3_value_type(v) != SQLITE_INTEGER) return 0;
    const int64_t x = sqlite3_value_int64(v);
    return x >= 1 && x <= INT32_MAX ? static_cast<int32_t>(x) : 0;
}
// A rank: any 32-bit integer (whether it is the draw's place is checked once all are read); nothing for
// NULL, a text, a real or a larger number.
inline std::optional<int32_t> ruleRank(sqlite3_value* v) {
    if (sqlite3_value_type(v) != SQLITE_INTEGER) return std::nullopt;
    const int64_t x = sqlite3_value_int64(v);
    if (x < INT32_MIN || x > INT32_MAX) return std::nullopt;
    return static_cast<int32_t>(x);
}

// The group bits of the pattern text of three stored values of one type (patternGroups(patternText())),
// without the text; values outside 0..9 have no group.
uint32_t valueGroups(const std::array<int8_t, 3>& values);

// The first column of a set of values read as `parts` (valuesPart, groupsPart) that breaks a rule, and
// what it should hold; nothing when the set keeps every rule. Values are checked against the dice when
// the dice were read, the group bits against the values of their type when those were read.
struct ValueFault {
    std::string column;  // "L2A", "txtHisLstDx"
    std::string should;  // "应为 1～6", "与号码不符"
};
std::optional<ValueFault> valuesFault(const DrawValues& v, unsigned parts);

// The first row of the issues (ascending) and their ranks that breaks a rule: an issue stored twice, or,
// with `checkRanks`, a rank that is not the row's place 1..n. The row and what is wrong with it.
struct RowFault {
    size_t row = 0;
    std::string what;
};
std::optional<RowFault> issuesFault(const std::vector<int32_t>& issues, const std::vector<int32_t>& ranks,
                                    bool checkRanks);

// The error of a broken rule in the history at `path` (kDamaged): `what` names the row and the fault.
StoreError brokenRule(const std::string& path, const std::string& what);

// A stored value as a message shows it: SQLite's quote() of it (NULL, 'abc', 3.5, 9999999999).
std::string storedText(Db& db, const std::string& column, const std::string& where, int64_t key);

}  // namespace k3
