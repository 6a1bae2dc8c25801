// A grid as the user sees it: header row and data rows of cell texts. The search results, the group
// table and the history are handed to the window, the command line and the export in this form.
#pragma once
#include <string>
#include <vector>

namespace k3 {

struct Grid {
    std::vector<std::string> header;             // row 0
    std::vector<std::vector<std::string>> rows;  // rows 1..n
    std::vector<int> widths;                     // column widths in twips (1440 a inch), may be empty

    size_t rowCount() const { return rows.size() + 1; }  // header included
    size_t columnCount() const { return header.size(); }
    // Cell (r, c) counted from the header row.
    const std::string& cell(size_t r, size_t c) const { return r == 0 ? header.at(c) : rows.at(r - 1).at(c); }
};

// The grid as text: header row first, one line per row, cells separated by one tab, each line ended by "\n".
std::string gridText(const Grid& g);

}  // namespace k3
