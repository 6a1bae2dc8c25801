#pragma once

#include "store/grid.h"

#include <string>

namespace k3 {

// Writes every cell of the grid (header row and first column included) to
// "Sheet1" of a new workbook at path: cell (i, j) goes to row i+1, column j+1
// (1-based, as a user sees them). A cell that reads as a number is written as
// a number, every other cell as text. Throws std::runtime_error with a
// readable message when the workbook cannot be written.
void writeWorkbook(const Grid& grid, const std::string& path);

}  // namespace k3
