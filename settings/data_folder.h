// Where both programs keep gapbook.db, the backup, the exports and the history files: one rule, here.
#pragma once
#include <QString>

namespace k3 {

struct DataFolder {
    QString dir;
    // Said once at start-up: the program's folder holds a history database that is not used. Empty
    // otherwise.
    QString note;
};

// Whether a program in `programDir` is installed into the system (under /usr or /opt): such a program
// never keeps its data beside itself, even where it may write there (run as root).
bool installedProgram(const QString& programDir);

// The program's own folder when the program is not installed and may write there (a build tree, a
// portable copy); else the user's data folder (made when missing).
DataFolder chooseDataFolder(const QString& programDir, const QString& userDataDir);

// chooseDataFolder for the running program: its folder and the user's data folder of "K3MIVLOR/k3gap".
DataFolder defaultDataFolder();

}  // namespace k3
