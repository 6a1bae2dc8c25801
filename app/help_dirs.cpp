#include "help_dirs.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace k3 {

QStringList helpDocumentDirs() { return helpDocumentDirs(QCoreApplication::applicationDirPath()); }

QStringList helpDocumentDirs(const QString& programDir) {
    const QDir dir(programDir);
    return {QDir::cleanPath(dir.filePath("docs")), QDir::cleanPath(dir.filePath(K3GAP_INSTALLED_DOCS_DIR)),
            QDir::cleanPath(K3GAP_SOURCE_DOCS_DIR)};
}

QString findHelpDocument(const QString& file, const QStringList& dirs) {
    for (const QString& d : dirs) {
        const QFileInfo fi(QDir(d).filePath(file));
        if (fi.isFile()) return fi.absoluteFilePath();
    }
    return QString();
}

}  // namespace k3
