// The trend chart as a workbook: the header, one row per draw, the statistic rows. Numbers are written
// as numbers; a hit cell holds its omission and is filled with its group's colour.
#pragma once
#include <cstddef>
#include <functional>
#include <string>

#include "export/export_error.h"
#include "trend/trend.h"

namespace k3 {

// How far the workbook is: `done` of `rows` draws written; then, once every row is out, `packing` while the
// library packs the file, with `packed` per mille (-1 where that cannot be told). Returning false stops:
// nothing is written (ExportCancelled). The library cannot be stopped in the last part of its packing: a
// stop asked for then takes effect when it is done.
struct WorkbookStep {
    size_t done = 0, rows = 0;
    bool packing = false;
    int packed = 0;
};
using WorkbookProgress = std::function<bool(const WorkbookStep& step)>;

// Writes "Sheet1" of a new workbook at `path` through writeOutputFile (never the history database of
// `dataDir` or its side files). Throws ExportError, ExportCancelled when `progress` stopped it.
void writeTrendWorkbook(const TrendChart& chart, const std::string& path, const std::string& dataDir = {},
                        const WorkbookProgress& progress = {});

}  // namespace k3
