// The 216 ordered outcomes of three dice, numbered (d1-1)*36 + (d2-1)*6 + (d3-1).
#pragma once

namespace k3 {

inline constexpr int kOutcomeCount = 216;

struct OutcomeDice {
    int d1, d2, d3;  // 1..6 each
};

// The dice of outcome 0..215.
constexpr OutcomeDice diceOf(int outcome) { return {outcome / 36 + 1, outcome / 6 % 6 + 1, outcome % 6 + 1}; }

// The outcome of dice 1..6; -1 for a die outside 1..6.
constexpr int outcomeOf(int d1, int d2, int d3) {
    if (d1 < 1 || d1 > 6 || d2 < 1 || d2 > 6 || d3 < 1 || d3 > 6) return -1;
    return (d1 - 1) * 36 + (d2 - 1) * 6 + (d3 - 1);
}

}  // namespace k3
