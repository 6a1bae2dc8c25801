// Where the window keeps gapbook.db, the backup, the exports and the history files.
#pragma once
#include <QString>

namespace k3 {

struct DataFolder {
    QString dir;
    // Said once at start-up: the program's folder holds a history database that is not used because
    // the program may not write there. Empty otherwise.
    QString note;
};

// The program's own folder when the program may write there; else the user's data folder (made when
// missing).
DataFolder chooseDataFolder(const QString& programDir, const QString& userDataDir);

}  // namespace k3
