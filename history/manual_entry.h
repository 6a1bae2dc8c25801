// The checks of a draw typed by hand: its issue number and its three dice.
#pragma once
#include <stdexcept>
#include <string>
#include <string_view>

#include "store/history_store.h"

namespace k3 {

// A typed draw that cannot be stored; the message says why.
struct EntryRejected : Error {
    using Error::Error;
};

// Checks the issue text and the three dice texts (one digit 1..6 each) and appends the draw.
// Throws EntryRejected, with nothing stored, when the issue is not a number or already stored, or a die
// is missing or outside 1..6. Returns the draw stored.
DerivedDraw addManualDraw(HistoryStore& store, std::string_view issueText, std::string_view d1, std::string_view d2,
                          std::string_view d3, int segBase);

}  // namespace k3
