// What the core needs of the file system and the process that POSIX and Windows offer differently. One
// file per platform implements it (platform_posix.cpp, platform_windows.cpp); nothing else in the core
// calls what only one of them has. Paths are UTF-8 (on Windows the programs declare UTF-8 their code
// page, so that the standard library's narrow paths are UTF-8 too); errors are errno values (Windows
// errors are turned into the nearest one), which systemErrorText says in Chinese.
#pragma once
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

namespace k3 {

// Which file a path names, however it is spelt: its device (volume) and its number there. Links are
// followed. Asked without opening the file for reading or writing (POSIX: stat; Windows: a handle without
// access rights), so that it may be asked of a database that SQLite holds open.
struct FileIdentity {
    uint64_t device = 0;
    uint64_t file = 0;
    uint64_t fileHigh = 0;  // the upper half of a 128-bit file number (Windows ReFS)
    bool operator==(const FileIdentity&) const = default;
};
std::optional<FileIdentity> fileIdentity(const std::string& path);

// The folder has (next to) no room left for this user: less than 64 KiB, or no free file entries.
bool folderFull(const std::string& folder);

// The system error behind a failed SQLite call (sqlite3_system_errno: errno on POSIX, the Win32 error
// on Windows) as an errno value.
int sqliteSystemErrno(int code);

// A new, empty folder only this user may enter, under the system's temporary folder, named `prefix` and
// a random part; empty with `err` set when none can be made.
std::string makePrivateTempFolder(const std::string& prefix, int& err);

// A new, empty file in `folder` named `stem` and a random part, created as every new file in that folder
// is (the umask and the folder's default permissions apply to `mode`), so that nothing else is ever
// written in its place. Returns the path, or empty with `err` set.
std::string createNewFile(const std::string& folder, const std::string& stem, unsigned mode, int& err);
// Writes `bytes` over the content of an existing file (never through a link put in its place); 0 or the
// error.
int writeWholeFile(const std::string& path, std::string_view bytes);
// The file on disk for good: still a regular file of its own (not a link put in its place), with `mode`
// when given (POSIX permission bits), its content synced. 0 or the error.
int settleFile(const std::string& path, std::optional<unsigned> mode);
// Renames `from` over `to`, which is replaced as one step; 0 or the error.
int replaceFile(const std::string& from, const std::string& to);
// The folder's entries on disk after a rename; a folder that cannot be synced keeps the rename all the
// same.
void syncFolder(const std::string& folder);
// The POSIX permission bits of an existing file (links followed); nothing where there are none.
std::optional<unsigned> fileMode(const std::string& path);

// The process's standard error held in a file of its own while a library prints its own lines there, then
// put back: what was written to it meanwhile goes out then, without the lines `dropped` picks. A program
// started meanwhile inherits the capture as its standard error. Where a process has no standard error to
// keep clean (a Windows program with a window), nothing changes.
struct StderrCapture {
    int saved = -1;             // standard error as it was
    std::FILE* file = nullptr;  // what was written meanwhile (null: thrown away)
};
StderrCapture captureStderr();
void releaseStderr(StderrCapture& capture, bool (*dropped)(std::string_view line));

}  // namespace k3
