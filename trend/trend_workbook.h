// The trend chart as a workbook: the header, one row per draw, the statistic rows. Numbers are written
// as numbers; a hit cell holds its omission and is filled with its group's colour.
#pragma once
#include <string>

#include "export/export_error.h"
#include "trend/trend.h"

namespace k3 {

// Writes "Sheet1" of a new workbook at `path` through writeOutputFile (never the history database of
// `dataDir` or its side files). Throws ExportError.
void writeTrendWorkbook(const TrendChart& chart, const std::string& path, const std::string& dataDir = {});

}  // namespace k3
