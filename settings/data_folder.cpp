#include "settings/data_folder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include "store/history_store.h"

namespace k3 {

bool installedProgram(const QString& programDir) {
    const QString canonical = QFileInfo(programDir).canonicalFilePath();
    const QString dir = QDir::cleanPath(canonical.isEmpty() ? QDir(programDir).absolutePath() : canonical);
    for (const QString& root : {QStringLiteral("/usr"), QStringLiteral("/opt")})
        if (dir == root || dir.startsWith(root + '/')) return true;
    return false;
}

DataFolder chooseDataFolder(const QString& programDir, const QString& userDataDir) {
    const bool installed = installedProgram(programDir);
    if (!installed && QFileInfo(programDir).isWritable()) return {programDir, {}};
    QDir().mkpath(userDataDir);
    DataFolder folder{userDataDir, {}};
    const QString unused = QDir(programDir).filePath(kDatabaseFileName);
    if (QFileInfo(unused).isFile())
        folder.note =
            (installed ? QString("程序安装在 %1，因此使用用户数据文件夹 %2 中的历史数据库；%3 未被使用")
                       : QString("程序文件夹 %1 不能写入，因此使用用户数据文件夹 %2 中的历史数据库；%3 未被使用"))
                .arg(QDir::toNativeSeparators(programDir), QDir::toNativeSeparators(userDataDir),
                     QDir::toNativeSeparators(unused));
    return folder;
}

DataFolder defaultDataFolder() {
    QCoreApplication::setOrganizationName("K3MIVLOR");
    QCoreApplication::setApplicationName("k3gap");
    return chooseDataFolder(QCoreApplication::applicationDirPath(),
                            QStandardPaths::writableLocation(QStandardPaths::AppDataLocation));
}

}  // namespace k3
