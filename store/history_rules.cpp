#include "history_rules.h"

#include <bit>

namespace k3 {

namespace {

// The range of a stored value of each type: dice, big/small and odd/even flags, segment numbers.
constexpr int kLowest[kTypeCount] = {1, 0, 0, 0};
constexpr int kHighest[kTypeCount] = {6, 1, 1, 3};

std::string valueColumns(int type) { return fieldName(1, type) + "～" + fieldName(3, type); }

}  // namespace

uint32_t valueGroups(const std::array<int8_t, 3>& values) {
    uint32_t bits = 0;
    int count[10] = {};
    for (int8_t x : values)
        if (x >= 0 && x <= 9) bits |= 1u << ((++count[x] - 1) * 10 + x);
    return bits;
}

std::optional<ValueFault> valuesFault(const DrawValues& v, unsigned parts) {
    const bool dice = parts & valuesPart(kNumber);
    const auto& d = v.v[kNumber];
    for (int t = 0; t < kTypeCount; ++t) {
        if (!(parts & valuesPart(t))) continue;
        const auto& u = v.v[static_cast<size_t>(t)];
        for (size_t p = 0; p < 3; ++p)
            if (u[p] < kLowest[t] || u[p] > kHighest[t])
                return ValueFault{fieldName(static_cast<int>(p) + 1, t), "应为 " + std::to_string(kLowest[t]) + "～" +
                                                                             std::to_string(kHighest[t]) + " 的整数"};
        if (!dice || t == kNumber) continue;
        for (size_t p = 0; p < 3; ++p) {
            const int die = d[p];
            bool fits = true;
            switch (t) {
                case kBigSmall: fits = u[p] == (die > 2 ? 1 : 0); break;
                case kOddEven: fits = u[p] == die % 2; break;
                default: {
                    // The segment base (0 or 1) a draw was stored with, the same at every position.
                    const int base = u[p] - (die - 1) / 2, first = u[0] - (d[0] - 1) / 2;
                    fits = (base == 0 || base == 1) && base == first;
                }
            }
            if (!fits)
                return ValueFault{fieldName(static_cast<int>(p) + 1, t),
                                  "与第" + std::to_string(p + 1) + "位的号码 " + std::to_string(die) + " 不符"};
        }
    }
    for (int t = 0; t < kTypeCount; ++t) {
        if (!(parts & groupsPart(t))) continue;
        const uint32_t bits = v.groups[static_cast<size_t>(t)];
        if (parts & valuesPart(t)) {
            if (bits != valueGroups(v.v[static_cast<size_t>(t)]))
                return ValueFault{kPatternFields[static_cast<size_t>(t)], "与 " + valueColumns(t) + " 的值不符"};
        } else if (std::popcount(bits) != 3) {
            // Three values always make three distinct groups.
            return ValueFault{kPatternFields[static_cast<size_t>(t)], "应为三组「次数X值」"};
        }
    }
    return std::nullopt;
}

std::optional<RowFault> issuesFault(const std::vector<int32_t>& issues, const std::vector<int32_t>& ranks,
                                    bool checkRanks) {
    for (size_t i = 0; i < issues.size(); ++i) {
        if (i > 0 && issues[i] == issues[i - 1])
            return RowFault{i, "期号 " + std::to_string(issues[i]) + " 存了不止一次"};
        if (checkRanks && ranks[i] != static_cast<int64_t>(i) + 1)
            return RowFault{i, "期号 " + std::to_string(issues[i]) + " 的 IDX 是 " + std::to_string(ranks[i]) +
                                   "，应为 " + std::to_string(i + 1) + "（IDX 是按期号排列的序号 1～" +
                                   std::to_string(issues.size()) + "）"};
    }
    return std::nullopt;
}

StoreError brokenRule(const std::string& path, const std::string& what) {
    return StoreError(storeFailureText(StoreFailure::kDamaged, path, what), StoreFailure::kDamaged);
}

std::string storedText(Db& db, const std::string& column, const std::string& where, int64_t key) {
    try {
        Stmt st = db.prepare("SELECT quote(" + column + ") FROM lishi WHERE " + where + " = ?");
        st.bind(1, key);
        if (st.step()) return std::string(st.colText(0));
    } catch (const StoreError&) {
    }
    return "?";
}

}  // namespace k3
