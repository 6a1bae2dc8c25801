// The files of a data folder's histories: the databases gapbook.db and gapbook-XX.db (one a province),
// each with its -wal, -shm and -journal, and the trimming backups lsbf*.txt. Only SQLite may open a
// history database or its side files: on POSIX, closing any other descriptor of one of them drops every
// lock this process holds on it, and the next program to close the file takes itself for the last one
// and deletes the log under this one. So whether a path is one of them is decided here without opening
// it: by the file's identity (device and file number), or by its folder and name when it does not exist.
#pragma once
#include <string>
#include <string_view>

namespace k3 {

enum class HistoryFile {
    kNone,
    kDatabase,  // a history database or one of its side files
    kBackup,    // a trimming backup
};

// By the name alone, in any folder (ASCII letters in any case, as Windows and macOS file systems match
// them): gapbook.db, gapbook-XX.db, either with -wal, -shm or -journal.
bool isHistoryDatabaseName(std::string_view fileName);
// lsbf.txt, lsbf-XX.txt, ...
bool isHistoryBackupName(std::string_view fileName);

// Which of the history files of `dataDir` the path names, however it names it (another spelling, a
// symbolic link, a hard link); a path that does not exist, by its folder and name. kNone when `dataDir`
// is empty. Opens no file of either.
HistoryFile historyFileOf(const std::string& path, const std::string& dataDir);

// The folder of a file ("." for a bare name): the data folder of a history database's path.
std::string folderOf(const std::string& path);

}  // namespace k3
