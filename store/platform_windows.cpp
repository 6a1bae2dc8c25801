// The platform layer on Windows, written from the Win32 and C runtime documentation. It cannot run where
// k3gap is developed; scripts/check-windows.sh compiles it with MinGW-w64 so that it keeps up.
#define NOMINMAX
#ifndef _WIN32_WINNT
#define _WIN32_WINNT 0x0602  // Windows 8: the 128-bit file numbers of FILE_ID_INFO
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <stdio.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <random>

#include "store/platform.h"

namespace k3 {

namespace {

std::wstring wide(const std::string& utf8) {
    if (utf8.empty()) return {};
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0) MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
    return out;
}

std::string narrow(const std::wstring& text) {
    if (text.empty()) return {};
    const int n =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n > 0 ? n : 0), '\0');
    if (n > 0)
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

// The errno value nearest to a Win32 error.
int errnoOf(DWORD code) {
    switch (code) {
        case ERROR_SUCCESS: return 0;
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_DRIVE:
        case ERROR_BAD_NETPATH:
        case ERROR_BAD_PATHNAME: return ENOENT;
        case ERROR_ACCESS_DENIED:
        case ERROR_INVALID_ACCESS: return EACCES;
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION: return EBUSY;
        case ERROR_WRITE_PROTECT: return EROFS;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL: return ENOSPC;
        case ERROR_FILE_TOO_LARGE: return EFBIG;
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS: return EEXIST;
        case ERROR_NOT_ENOUGH_MEMORY:
        case ERROR_OUTOFMEMORY: return ENOMEM;
        case ERROR_FILENAME_EXCED_RANGE: return ENAMETOOLONG;
        case ERROR_DIRECTORY: return ENOTDIR;
        case ERROR_NOT_SAME_DEVICE: return EXDEV;
        case ERROR_TOO_MANY_OPEN_FILES: return EMFILE;
        default: return EIO;
    }
}

int lastErrno() { return errnoOf(GetLastError()); }

class Handle {
public:
    explicit Handle(HANDLE h) : h_(h) {}
    ~Handle() {
        if (h_ != INVALID_HANDLE_VALUE) CloseHandle(h_);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    bool ok() const { return h_ != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return h_ != INVALID_HANDLE_VALUE ? h_ : nullptr; }

private:
    HANDLE h_;
};

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// A handle of a file of its own for writing: a link or a folder put in its place is refused (EEXIST).
int openOwnFileForWriting(const std::string& path, DWORD disposition, HANDLE& out) {
    out = CreateFileW(wide(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, disposition,
                      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (out == INVALID_HANDLE_VALUE) return lastErrno();
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(out, &info)) return lastErrno();
    if (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) return EEXIST;
    return 0;
}

std::string randomPart() {
    static const char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    thread_local std::mt19937 random{std::random_device{}()};
    std::string part;
    for (int i = 0; i < 6; ++i) part += kLetters[random() % (sizeof kLetters - 1)];
    return part;
}

}  // namespace

std::optional<FileIdentity> fileIdentity(const std::string& path) {
    // No access rights asked for: the handle reads attributes only. A lock SQLite takes belongs to the
    // handle that took it, so closing this one leaves every lock as it was. Links are followed; the
    // backup flag opens folders too.
    Handle f(
        CreateFileW(wide(path).c_str(), 0, kShareAll, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!f.ok()) return std::nullopt;
    // The 128-bit file number where there is one (ReFS, whose 64-bit numbers need not be unique), else the
    // 64-bit one.
    FILE_ID_INFO id{};
    if (GetFileInformationByHandleEx(f.get(), FileIdInfo, &id, sizeof id)) {
        uint64_t low = 0, high = 0;
        static_assert(sizeof id.FileId.Identifier == 2 * sizeof low);
        std::memcpy(&low, id.FileId.Identifier, sizeof low);
        std::memcpy(&high, id.FileId.Identifier + sizeof low, sizeof high);
        return FileIdentity{id.VolumeSerialNumber, low, high};
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(f.get(), &info)) return std::nullopt;
    return FileIdentity{info.dwVolumeSerialNumber, (uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow, 0};
}

bool folderFull(const std::string& folder) {
    // Any folder of the disk will do; a network path (\\server\share\) must end with a backslash.
    std::wstring name = wide(folder.empty() ? "." : folder);
    if (name.empty()) return false;
    if (name.back() != L'\\' && name.back() != L'/') name += L'\\';
    ULARGE_INTEGER available{};
    if (!GetDiskFreeSpaceExW(name.c_str(), &available, nullptr, nullptr)) return false;
    return available.QuadPart < 64 * 1024;
}

int sqliteSystemErrno(int code) { return errnoOf(static_cast<DWORD>(code)); }

std::string makePrivateTempFolder(const std::string& prefix, int& err) {
    // The user's temporary folder is the user's own; a folder made in it inherits its permissions.
    std::error_code ec;
    const std::wstring temp = std::filesystem::temp_directory_path(ec).wstring();
    if (ec) {
        err = ENOENT;
        return {};
    }
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::wstring name = temp + L"\\" + wide(prefix + randomPart());
        if (CreateDirectoryW(name.c_str(), nullptr)) return narrow(name);
        if (GetLastError() != ERROR_ALREADY_EXISTS) {
            err = lastErrno();
            return {};
        }
    }
    err = EEXIST;
    return {};
}

std::string createNewFile(const std::string& folder, const std::string& stem, unsigned, int& err) {
    const std::string base = (folder.empty() ? std::string(".") : folder) + "\\" + stem;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string name = base + randomPart();
        // CREATE_NEW: a name that exists, a link among them, is never opened.
        Handle f(CreateFileW(wide(name).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                             FILE_ATTRIBUTE_NORMAL, nullptr));
        if (f.ok()) return name;  // no permission bits: the folder's permissions apply
        if (GetLastError() != ERROR_FILE_EXISTS) {
            err = lastErrno();
            return {};
        }
    }
    err = EEXIST;
    return {};
}

int writeWholeFile(const std::string& path, std::string_view bytes) {
    HANDLE raw = INVALID_HANDLE_VALUE;
    const int opened = openOwnFileForWriting(path, TRUNCATE_EXISTING, raw);
    Handle f(raw);
    if (opened) return opened;
    size_t done = 0;
    while (done < bytes.size()) {
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 30));
        DWORD written = 0;
        if (!WriteFile(f.get(), bytes.data() + done, chunk, &written, nullptr)) return lastErrno();
        if (written == 0) return ENOSPC;
        done += written;
    }
    return 0;
}

int settleFile(const std::string& path, std::optional<unsigned>) {
    // Windows keeps no permission bits: the read-only attribute is all there is, and the writer never
    // replaces a file the user may not write.
    HANDLE raw = INVALID_HANDLE_VALUE;
    const int opened = openOwnFileForWriting(path, OPEN_EXISTING, raw);
    Handle f(raw);
    if (opened) return opened;
    return FlushFileBuffers(f.get()) ? 0 : lastErrno();
}

int replaceFile(const std::string& from, const std::string& to) {
    // Write-through: the rename is on disk when the call returns. A target another program holds open
    // (a workbook open in a spreadsheet program) cannot be replaced: EBUSY or EACCES.
    return MoveFileExW(wide(from).c_str(), wide(to).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)
               ? 0
               : lastErrno();
}

void syncFolder(const std::string&) {}  // replaceFile writes the rename through

std::optional<unsigned> fileMode(const std::string&) { return std::nullopt; }

// A program with a window has no standard error to keep clean.
StderrCapture captureStderr() { return {}; }

void releaseStderr(StderrCapture&, bool (*)(std::string_view)) {}

}  // namespace k3
