// The one way any command writes an output file (text export, workbooks, pictures).
#pragma once
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "export/export_error.h"

namespace k3 {

// Writes the file at `path` whole or not at all. The target is checked first (exportTarget: never the
// history database of `dataDir`, its side files or the trimming backup; only a regular file or a link
// to one, written through; a pipe is refused without being opened, so it never blocks). `write` is
// handed a new, empty side file of its own in the target's folder to fill; it throws (any exception)
// when it cannot. The side file is renamed over the target only when `write` returned and the file is
// on disk (synced, with the earlier file's mode); on any failure it is removed and the file that was at
// `path` stays as it was. Throws ExportError, in Chinese, naming `path`; a full disk is said as such.
// An ExportCancelled that `write` throws is passed on as it is, the side file removed.
// What a `write` callback throws when a library failed: the cause in Chinese (what()) and the library's
// own words, which the message shows only in parentheses.
struct OutputFailure : std::runtime_error {
    OutputFailure(const std::string& cause, std::string libraryText)
        : std::runtime_error(cause), detail(std::move(libraryText)) {}
    std::string detail;
};

void writeOutputFile(const std::string& path, const std::string& dataDir,
                     const std::function<void(const std::string& sidePath)>& write);

// The same for content already in memory.
void writeOutputBytes(const std::string& path, const std::string& dataDir, std::string_view bytes);

}  // namespace k3
