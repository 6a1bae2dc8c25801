// Derivation of a draw's stored values from its three dice.
#pragma once
#include <array>
#include <cstdint>
#include <string>

namespace k3 {

// The four readings of a draw, in the order of the search-type choice.
enum SearchType : int { kNumber = 0, kBigSmall = 1, kOddEven = 2, kSegment = 3 };
inline constexpr int kTypeCount = 4;
inline constexpr std::array<char, kTypeCount> kTypeLetters{'A', 'B', 'E', 'F'};
inline constexpr std::array<const char*, kTypeCount> kPatternFields{"txtHisLstHm", "txtHisLstDx", "txtHisLstDs",
                                                                    "txtHisLstDuan"};
// Display labels of the flag values, index 0 and 1.
inline constexpr std::array<const char*, 2> kBigSmallLabels{"小", "大"};
inline constexpr std::array<const char*, 2> kOddEvenLabels{"双", "单"};

// Column name of a per-position field: "L", the position 1..3, the type letter.
std::string fieldName(int pos, int type);

// Display text of a stored value of the given type: labels for flags, digits otherwise.
std::string valueLabel(int type, int value);

// A draw as the history text file and the backup file carry it: the issue and the three dice.
struct IssueDice {
    int32_t issue;
    int d1, d2, d3;
};

struct DerivedDraw {
    int32_t sqqh = 0;
    // values[type][pos-1]: dice, big/small flag, odd/even flag, segment number.
    std::array<std::array<int, 3>, kTypeCount> values{};
    std::string txtHisLst;                        // the dice as three digits
    std::array<std::string, kTypeCount> pattern;  // txtHisLstHm, Dx, Ds, Duan
};

// Pattern text over three values: per position the running count of the value, "X", the value, a blank.
std::string patternText(int u1, int u2, int u3);

bool validDie(int d);

// Derives every stored value of a draw. The dice must be 1..6; segBase is 0 or 1.
DerivedDraw deriveDraw(int32_t sqqh, int d1, int d2, int d3, int segBase);

}  // namespace k3
