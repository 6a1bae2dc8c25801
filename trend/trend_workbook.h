// The trend chart as a workbook: the header, one row per draw, the statistic rows. Numbers are written
// as numbers; a hit cell holds its omission and is filled with its group's colour.
#pragma once
#include <cstddef>
#include <functional>
#include <string>

#include "export/export_error.h"
#include "trend/trend.h"

namespace k3 {

// How far the workbook is: `done` of `rows` draws written, as the rows go out; then (done == rows) once
// before the library packs the file, which it does without telling how far it is, and once after. Returns
// false to stop: the workbook is then not written (ExportCancelled), a stop asked for while the library
// packs taking effect when it is done.
using WorkbookProgress = std::function<bool(size_t done, size_t rows)>;

// Writes "Sheet1" of a new workbook at `path` through writeOutputFile (never the history database of
// `dataDir` or its side files). Throws ExportError, ExportCancelled when `progress` stopped it.
void writeTrendWorkbook(const TrendChart& chart, const std::string& path, const std::string& dataDir = {},
                        const WorkbookProgress& progress = {});

}  // namespace k3
