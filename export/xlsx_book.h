// libxlsxwriter as the program's workbooks use it: one sheet written row by row (constant memory) into
// the side file of writeOutputFile, the library's temporary files in a folder of their own beside it,
// what the library prints on stderr kept from the user, and every failure thrown as OutputFailure.
#pragma once
#include <xlsxwriter.h>

#include <functional>
#include <string>

namespace k3 {

// While one exists, what is written to the process's standard error goes to a file of its own; when the
// last one ends, the lines libxlsxwriter prints ("[ERROR]…", "[WARNING]…") are dropped and the rest is
// written out to standard error after all. Several may exist at once on different threads. Only around
// the library's calls that print (opening, closing): the rows in between are written without it.
class LibraryStderr {
public:
    LibraryStderr();
    ~LibraryStderr();
    LibraryStderr(const LibraryStderr&) = delete;
    LibraryStderr& operator=(const LibraryStderr&) = delete;
};

class XlsxBook {
public:
    // A new workbook at `sidePath` with the sheet "Sheet1". Throws OutputFailure.
    explicit XlsxBook(const std::string& sidePath);
    // Without close(): the workbook is dropped unwritten.
    ~XlsxBook();
    XlsxBook(const XlsxBook&) = delete;
    XlsxBook& operator=(const XlsxBook&) = delete;

    lxw_workbook* workbook() const { return m_workbook; }
    lxw_worksheet* sheet() const { return m_sheet; }
    // How far the library is with packing the file, per mille (-1: it cannot be told here), called from
    // a thread of its own while close() runs; returning false asks to stop. The library cannot be stopped
    // once it packs the sheet: a stop asked for before that cuts its work short, a later one waits for
    // its end. The caller throws its ExportCancelled after close() returned.
    using PackingProgress = std::function<bool(int perMille)>;
    // Writes the file, unless a cell could not be written (`cellError`, the first error of the rows) or
    // the rows did not all reach the library's temporary file (a full disk, which the library does not
    // check). Throws OutputFailure; returns false when `packing` asked to stop.
    bool close(lxw_error cellError, const PackingProgress& packing = {});

private:
    void drop();

    std::string m_path;
    std::string m_tmpDir;
    lxw_workbook* m_workbook = nullptr;
    lxw_worksheet* m_sheet = nullptr;
};

}  // namespace k3
