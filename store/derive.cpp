#include "derive.h"

#include <stdexcept>

namespace k3 {

std::string fieldName(int pos, int type) {
    return std::string("L") + static_cast<char>('0' + pos) + kTypeLetters.at(type);
}

std::string valueLabel(int type, int value) {
    if (type == kBigSmall && (value == 0 || value == 1)) return kBigSmallLabels[value];
    if (type == kOddEven && (value == 0 || value == 1)) return kOddEvenLabels[value];
    return std::to_string(value);
}

std::string patternText(int u1, int u2, int u3) {
    std::array<int, 10> count{};
    std::string out;
    out.reserve(12);
    for (int u : {u1, u2, u3}) {
        int c = ++count.at(u);
        out += static_cast<char>('0' + c);
        out += 'X';
        out += static_cast<char>('0' + u);
        out += ' ';
    }
    return out;
}

bool validDie(int d) { return d >= 1 && d <= 6; }

DerivedDraw deriveDraw(int32_t sqqh, int d1, int d2, int d3, int segBase) {
    if (!validDie(d1) || !validDie(d2) || !validDie(d3)) throw std::invalid_argument("dice must be 1..6");
    DerivedDraw d;
    d.sqqh = sqqh;
    const int dice[3] = {d1, d2, d3};
    for (int i = 0; i < 3; ++i) {
        d.values[kNumber][i] = dice[i];
        d.values[kBigSmall][i] = dice[i] > 2 ? 1 : 0;  // 3 counts as big
        d.values[kOddEven][i] = dice[i] % 2;
        d.values[kSegment][i] = (dice[i] - 1) / 2 + segBase;
        d.txtHisLst += static_cast<char>('0' + dice[i]);
    }
    for (int t = 0; t < kTypeCount; ++t) d.pattern[t] = patternText(d.values[t][0], d.values[t][1], d.values[t][2]);
    return d;
}

}  // namespace k3
