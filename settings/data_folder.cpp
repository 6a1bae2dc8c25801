#include "data_folder.h"

#include <QDir>
#include <QFileInfo>

#include "store/history_store.h"

namespace k3 {

DataFolder chooseDataFolder(const QString& programDir, const QString& userDataDir) {
    if (QFileInfo(programDir).isWritable()) return {programDir, {}};
    QDir().mkpath(userDataDir);
    DataFolder folder{userDataDir, {}};
    const QString unused = QDir(programDir).filePath(kDatabaseFileName);
    if (QFileInfo(unused).isFile())
        folder.note = QString("程序文件夹 %1 不能写入，因此使用用户数据文件夹 %2 中的历史数据库；%3 未被使用")
                          .arg(QDir::toNativeSeparators(programDir), QDir::toNativeSeparators(userDataDir),
                               QDir::toNativeSeparators(unused));
    return folder;
}

}  // namespace k3
