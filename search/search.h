// The search, the partial search and the listing of the group table: the analyses that fill
// result grid 2 (one row per match) and result grid 3 (the summary or the group table).
#pragma once
#include <array>
#include <string>
#include <vector>

#include "omission.h"
#include "search/grids.h"
#include "store/history_store.h"

namespace k3 {

struct SearchInput {
    int type = kNumber;
    bool free = true;                    // values anywhere in the draw, else at their positions
    std::array<bool, 3> selected{};      // positions 1..3 ticked
    std::array<int, 3> values{};         // search values of positions 1..3 (stored codes)
    std::array<std::string, 3> texts{};  // texts of the boxes the values came from
    std::string from, to;                // range texts
    bool runningNumbers = false;         // the province counts its issues on (issueText)
};

struct PartialInput {
    int type = kNumber;
    bool free = true;
    std::array<int, 3> values{};
    std::array<std::string, 3> texts{};
    int width = 2;          // k: agreement in at least k positions
    std::string widthText;  // the width as its box shows it; empty: the number
    std::string from, to;
    bool runningNumbers = false;
};

struct SearchOutput {
    Grid matches;  // grid 2
    Grid summary;  // grid 3
    std::string description;
    Note note;  // what was found; a warning when a search value is one the type cannot hold
    Omissions stats;
};

// An analysis that cannot run on its input: an empty history, range texts that are not issue numbers.
struct AnalysisError : Error {
    using Error::Error;
};

// The search: one condition per ticked position, fixed or free; matches are the draws of the
// range that satisfy all of them. Throws AnalysisError.
SearchOutput runSearch(const Snapshot& snap, const SearchInput& in);

// The partial search: draws of the range that agree with the three values in at least k positions
// (fixed) or that show some k of the three values, repetitions counted (free). Throws AnalysisError.
SearchOutput runPartialSearch(const Snapshot& snap, const PartialInput& in);
// The partial search reads all three value boxes: throws AnalysisError naming the first that is blank
// (rather than searching with whatever value it held before).
void requireThreeValues(const PartialInput& in);

}  // namespace k3
