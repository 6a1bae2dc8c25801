#include "export/xlsx_book.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <string_view>
#include <thread>

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#include <zip.h>
#endif

#include "export/output_file.h"
#include "store/error_text.h"
#include "store/platform.h"

namespace k3 {

namespace fs = std::filesystem;

// ---------------------------------------------------------------- the library's standard error

namespace {

// Shared by every LibraryStderr alive: the first one in captures standard error, the last one out puts
// it back. Other threads' output in between is kept and written out afterwards, so it is late, never lost.
struct Capture {
    std::mutex mutex;
    int users = 0;
    StderrCapture held;
};

Capture& capture() {
    static Capture c;
    return c;
}

// A line libxlsxwriter printed, in the forms it prints them.
bool libraryLine(std::string_view line) { return line.starts_with("[ERROR]") || line.starts_with("[WARNING]"); }

}  // namespace

LibraryStderr::LibraryStderr() {
    Capture& c = capture();
    std::lock_guard<std::mutex> lock(c.mutex);
    if (c.users++ == 0) c.held = captureStderr();
}

LibraryStderr::~LibraryStderr() {
    Capture& c = capture();
    std::lock_guard<std::mutex> lock(c.mutex);
    if (--c.users == 0) releaseStderr(c.held, libraryLine);
}

// ---------------------------------------------------------------- the workbook

namespace {

OutputFailure failure(lxw_error err) { return OutputFailure(workbookErrorText(err), lxw_strerror(err)); }

// Bytes free for this user in the folder; the largest number when it cannot be told.
uintmax_t roomIn(const std::string& folder) {
    std::error_code ec;
    const fs::space_info s = fs::space(folder, ec);
    return ec ? UINTMAX_MAX : s.available;
}

// The uncompressed size of the sheet in a written workbook, or -1 when it cannot be read.
int64_t sheetSize(const std::string& path) {
#ifdef _WIN32
    (void)path;
    return INT64_MAX;
#else
    int err = 0;
    zip_t* z = zip_open(path.c_str(), ZIP_RDONLY, &err);
    if (!z) return -1;
    zip_stat_t st;
    zip_stat_init(&st);
    const int64_t size = zip_stat(z, "xl/worksheets/sheet1.xml", 0, &st) == 0 && (st.valid & ZIP_STAT_SIZE)
                             ? static_cast<int64_t>(st.size)
                             : -1;
    zip_discard(z);
    return size;
#endif
}

// How far libxlsxwriter is with packing a workbook, watched from a thread of its own. It copies the rows
// from its temporary file into the sheet, then deflates the sheet into the file, reading each from start
// to end; both temporary files live in the workbook's own folder. The kernel shows where each descriptor
// is (/proc/self/fdinfo); only those /proc entries are opened, never a descriptor of the process, which
// may by then stand for another file (closing a copy of the history's would drop its locks).
class PackingWatch {
public:
    PackingWatch(std::string dir, int rowsFd, int64_t rowsBytes, const XlsxBook::PackingProgress& report)
        : m_dir(std::move(dir) + "/"), m_rowsFd(rowsFd), m_bytes(std::max<int64_t>(rowsBytes, 1)), m_report(report) {
        if (m_report) m_thread = std::thread([this] { run(); });
    }
    ~PackingWatch() {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_done = true;
        }
        m_wake.notify_all();
        if (m_thread.joinable()) m_thread.join();
    }
    PackingWatch(const PackingWatch&) = delete;
    PackingWatch& operator=(const PackingWatch&) = delete;
    bool stopAsked() const { return m_stop.load(); }

private:
    void run() {
        std::unique_lock<std::mutex> lock(m_mutex);
        do {
            lock.unlock();
            const int perMille = packed();
            if (!m_report(perMille) && !m_stop.exchange(true)) cutShort();
            lock.lock();
        } while (!m_wake.wait_for(lock, std::chrono::milliseconds(200), [this] { return m_done; }));
    }

    // The copy takes about a fifth of the packing, the deflating the rest.
    int packed() {
#ifdef __linux__
        const off_t copied = m_rowsFd >= 0 ? ::lseek(m_rowsFd, 0, SEEK_CUR) : -1;
        if (copied < 0) return -1;
        if (copied < m_bytes) return static_cast<int>(200 * copied / m_bytes);
        // The sheet, once it is read again from its start, is what is deflated.
        int64_t read = -1;
        std::error_code ec;
        for (const auto& e : fs::directory_iterator("/proc/self/fd", ec)) {
            const std::string fd = e.path().filename().string();
            if (fd == std::to_string(m_rowsFd)) continue;
            std::error_code linkEc;
            const std::string target = fs::read_symlink(e.path(), linkEc).string();
            if (linkEc || !target.starts_with(m_dir)) continue;
            std::FILE* info = std::fopen(("/proc/self/fdinfo/" + fd).c_str(), "r");
            if (!info) continue;
            long long pos = -1;
            if (std::fscanf(info, "pos: %lld", &pos) == 1) read = std::max<int64_t>(read, pos);
            std::fclose(info);
        }
        if (read >= 0 && read < m_bytes / 2) m_rewound = true;
        if (m_rewound && read >= 0) m_deflated = std::max(m_deflated, std::min<int64_t>(read, m_bytes));
        return 200 + static_cast<int>(800 * m_deflated / m_bytes);
#else
        return -1;
#endif
    }

    // The rows not yet copied are dropped, so that the library has little left to deflate.
    void cutShort() {
#ifndef _WIN32
        if (m_rowsFd >= 0 && ::lseek(m_rowsFd, 0, SEEK_CUR) < m_bytes) (void)!::ftruncate(m_rowsFd, 0);
#endif
    }

    std::string m_dir;
    int m_rowsFd;
    int64_t m_bytes;
    const XlsxBook::PackingProgress& m_report;
    std::atomic<bool> m_stop{false};
    bool m_rewound = false;
    int64_t m_deflated = 0;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_done = false;
    std::thread m_thread;
};

}  // namespace

XlsxBook::XlsxBook(const std::string& sidePath) : m_path(sidePath) {
    // The library's temporary files (the rows, then the sheet it packs) take about twice the sheet: they
    // go beside the file on the disk it is written to, in a folder of this workbook's own.
    const fs::path side(sidePath);
    std::string dir = (side.parent_path() / (side.filename().string() + ".tmp.XXXXXX")).string();
#ifdef _WIN32
    dir.clear();
#else
    if (!::mkdtemp(dir.data())) {
        const int err = errno;
        throw OutputFailure("无法创建临时文件夹（" + systemErrorText(err) + "）", {});
    }
#endif
    m_tmpDir = dir;
    lxw_workbook_options opt{};
    opt.constant_memory = LXW_TRUE;  // rows go out in order; a long history needs no grid-sized memory
    opt.tmpdir = m_tmpDir.empty() ? nullptr : m_tmpDir.data();
    {
        LibraryStderr quiet;
        m_workbook = workbook_new_opt(sidePath.c_str(), &opt);
        if (m_workbook) m_sheet = workbook_add_worksheet(m_workbook, "Sheet1");
    }
    if (!m_workbook || !m_sheet) {
        drop();
        throw failure(m_workbook ? LXW_ERROR_CREATING_TMPFILE : LXW_ERROR_MEMORY_MALLOC_FAILED);
    }
}

XlsxBook::~XlsxBook() { drop(); }

void XlsxBook::drop() {
    if (m_workbook) {
        LibraryStderr quiet;
        lxw_workbook_free(m_workbook);
        m_workbook = nullptr;
        m_sheet = nullptr;
    }
    if (!m_tmpDir.empty()) {
        std::error_code ec;
        fs::remove_all(m_tmpDir, ec);
        m_tmpDir.clear();
    }
}

bool XlsxBook::close(lxw_error cellError, const PackingProgress& packing) {
    if (cellError != LXW_NO_ERROR) throw failure(cellError);
    // The library writes the rows to its temporary file without looking whether they arrived: a full
    // disk would cut the sheet short without a word.
    int64_t rows = 0;
    if (FILE* f = m_sheet->optimize_tmpfile) {
        if (std::fflush(f) != 0 || std::ferror(f)) {
            const int err = errno ? errno : ENOSPC;
            throw OutputFailure(systemErrorText(err), "");
        }
        rows = static_cast<int64_t>(std::ftell(f));
    }
    // Nor does it look when it copies them into the sheet it packs: that copy and the packed file need
    // about as much room again.
    if (rows > 0 && roomIn(m_tmpDir.empty() ? "." : m_tmpDir) < static_cast<uintmax_t>(rows) / 4 * 5 + (1 << 20))
        throw OutputFailure(systemErrorText(ENOSPC), "");
    // A descriptor of the rows' temporary file of this workbook's own: its position is how far the copy
    // is, and it outlives the library's.
    int rowsFd = -1;
#ifndef _WIN32
    if (m_sheet->optimize_tmpfile) rowsFd = ::fcntl(::fileno(m_sheet->optimize_tmpfile), F_DUPFD_CLOEXEC, 3);
#endif
    lxw_error err;
    bool stopped = false;
    {
        PackingWatch watch(m_tmpDir, rowsFd, rows, packing);
        LibraryStderr quiet;
        err = workbook_close(m_workbook);  // frees the workbook, written or not
        stopped = watch.stopAsked();
    }
#ifndef _WIN32
    if (rowsFd >= 0) ::close(rowsFd);
#endif
    m_workbook = nullptr;
    m_sheet = nullptr;
    drop();
    if (stopped) return false;
    if (packing && !packing(1000)) return false;
    if (err != LXW_NO_ERROR) throw failure(err);
    // Whatever the library did not check: the sheet in the file holds every row written.
    if (rows > 0 && sheetSize(m_path) < rows) throw OutputFailure(systemErrorText(ENOSPC), "工作表不完整");
    return true;
}

}  // namespace k3
