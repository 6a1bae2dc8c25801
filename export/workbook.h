#pragma once

#include <string>

#include "export/export_error.h"
#include "store/grid.h"

namespace k3 {

// Writes every cell of the grid (header row and first column included) to
// "Sheet1" of a new workbook at path: cell (i, j) goes to row i+1, column j+1
// (1-based, as a user sees them). A cell that reads as a number is written as
// a number, every other cell as text; an issue of nine digits with a leading zero (080101001) as a
// number with the format 000000000. Throws ExportError when the workbook
// cannot be written, and when exportTarget refuses the path (with `dataDir`
// naming the folder whose database and backup it must not replace).
void writeWorkbook(const Grid& grid, const std::string& path, const std::string& dataDir = {});

}  // namespace k3
